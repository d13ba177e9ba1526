#include "processing/editor/editormodel.h"

#include "engine/registry.h"
#include "engine/picturenames.h"

#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <exception>

namespace orbisk {

QString EditorOpenFilter() {
  return "Image files|*.bmp; *.dib; *.jif; *.jpeg; *.jpg; *.pbm; *.pcx; *.pgm; *.png; *.ppm; "
         "*.rle; *.tga; *.tif; *.tiff; *.avif; *.heic; *.heif; *.jxl; *.webp|BMP - "
         "Bitmap|*.bmp|DIB - Bitmap|*.dib|JIF - JPEG (JFIF "
         "compliant)|*.jif|JPEG - JPEG (JFIF compliant)|*.jpeg|JPG - JPEG (JFIF "
         "compliant)|*.jpg|PBM - Portable Bitmap|*.pbm|PCX - Paintbrush|*.pcx|PGM - Portable "
         "Graymap|*.pgm|PNG - Portable Network Graphics|*.png|PPM - Portable Pixelmap|*.ppm|RLE "
         "- Bitmap|*.rle|TGA - Truevision Targa|*.tga|TIF - Tagged Image File Format|*.tif|TIFF "
         "- Tagged Image File Format|*.tiff|AVIF - AV1 Image File Format|*.avif|HEIC - High "
         "Efficiency Image File Format|*.heic|HEIF - High Efficiency Image File Format|*.heif|JXL "
         "- JPEG XL|*.jxl|WEBP - WebP|*.webp|All files|*.*";
}

QString EditorSaveFilter() {
  return "BMP - Bitmap|*.bmp|JPG - JPEG (JFIF compliant)|*.jpg|PBM - Portable Bitmap|*.pbm|PGM "
         "- Portable Graymap|*.pgm|PNG - Portable Network Graphics|*.png|PPM - Portable "
         "Pixelmap|*.ppm|TGA - Truevision Targa|*.tga|TIF - Tagged Image File Format|*.tif|"
         "AVIF - AV1 Image File Format|*.avif|WEBP - WebP|*.webp";
}

bool IsEditablePicture(const QString& Path) {
  return IsReadablePictureName(QFile::encodeName(Path).toStdString());
}

// ---- undo and operations

TEditorModel::TEditorModel(TEditorPictureHost Host) : FHost(std::move(Host)) {}

bool TEditorModel::HasPicture() const {
  const TPixelGraphic* G = Picture();
  return G && !G->Empty();
}

QString TEditorModel::UndoCaption() const {
  return FUndo.empty() ? QString(kUndoCaption) : QString(kUndoCaption) + " " + FUndo.back().Action;
}

QString TEditorModel::RedoCaption() const {
  return FRedo.empty() ? QString(kRedoCaption) : QString(kRedoCaption) + " " + FRedo.back().Action;
}

namespace {
int64_t PictureBytes(const TPixelGraphic* G) {
  return G ? std::max<int64_t>(G->ImageSize(), 0) : 0;
}
} // namespace

int64_t TEditorModel::HistoryBytes() const {
  int64_t Sum = 0;
  for (const TStep& S : FUndo)
    Sum += PictureBytes(S.Picture.get());
  for (const TStep& S : FRedo)
    Sum += PictureBytes(S.Picture.get());
  return Sum;
}

void TEditorModel::SetHistoryLimits(int Steps, int64_t Bytes) {
  FSteps = std::max(Steps, 1);
  FBytes = std::max<int64_t>(Bytes, 0);
  Trim(FUndo);
}

TEditorModel::TStep TEditorModel::CurrentStep(const QString& Action, bool Replaces) {
  TStep S;
  if (TPixelGraphic* G = Picture()) {
    S.Picture = std::make_unique<TPixelGraphic>();
    S.Picture->Assign(G);
  }
  S.Action = Action;
  S.Modified = FModified;
  S.Replaces = Replaces;
  if (FHost.SaveState) S.State = FHost.SaveState();
  return S;
}

void TEditorModel::Restore(TStep& Step) {
  FModified = Step.Modified;
  if (FHost.TakePicture) FHost.TakePicture(std::move(Step.Picture));
  if (FHost.RestoreState) FHost.RestoreState(Step.State);
}

void TEditorModel::Trim(const std::deque<TStep>& Nearest) {
  while (int(FUndo.size()) > FSteps)
    FUndo.pop_front();
  while (int(FRedo.size()) > FSteps)
    FRedo.pop_front();
  int64_t Bytes = HistoryBytes();
  while (Bytes > FBytes) {
    std::deque<TStep>* From = nullptr;
    if (FUndo.size() > (&Nearest == &FUndo ? 1u : 0u))
      From = &FUndo;
    else if (FRedo.size() > (&Nearest == &FRedo ? 1u : 0u))
      From = &FRedo;
    else
      break;
    Bytes -= PictureBytes(From->front().Picture.get());
    From->pop_front();
  }
}

void TEditorModel::TakeSnapshot(const QString& ActionName, bool Replaces) {
  TPixelGraphic* G = Picture();
  if (!G) return;
  FRedo.clear();
  // Room is made first, so that the copy never joins more than the bound allows.
  const int64_t New = PictureBytes(G);
  int64_t Bytes = HistoryBytes();
  while (!FUndo.empty() && (int(FUndo.size()) >= FSteps || Bytes + New > FBytes)) {
    Bytes -= PictureBytes(FUndo.front().Picture.get());
    FUndo.pop_front();
  }
  FUndo.push_back(CurrentStep(ActionName, Replaces));
  ++FSnapshotCount;
}

void TEditorModel::ClearUndo() {
  FUndo.clear();
  FRedo.clear();
}

bool TEditorModel::Undo() {
  if (FUndo.empty()) return false;
  TStep S = std::move(FUndo.back());
  FUndo.pop_back();
  // Without a picture ("New" cleared it) there is no state to make again.
  if (Picture())
    FRedo.push_back(CurrentStep(S.Action, S.Replaces));
  else
    FRedo.clear();
  Restore(S);
  Trim(FRedo);
  return true;
}

bool TEditorModel::Redo() {
  if (FRedo.empty()) return false;
  TStep S = std::move(FRedo.back());
  FRedo.pop_back();
  if (Picture()) FUndo.push_back(CurrentStep(S.Action, S.Replaces));
  Restore(S);
  Trim(FUndo);
  return true;
}

void TEditorModel::Saved(const std::function<void(std::any& State)>& SameDocument) {
  FModified = false;
  // Outwards from the current state, until a step that put another picture in place.
  for (auto* Steps : {&FUndo, &FRedo}) {
    for (auto It = Steps->rbegin(); It != Steps->rend() && !It->Replaces; ++It) {
      It->Modified = true;
      if (SameDocument) SameDocument(It->State);
    }
  }
}

namespace {
QString ErrorText(std::exception_ptr E) {
  try {
    std::rethrow_exception(E);
  } catch (const std::exception& X) {
    return QString::fromUtf8(X.what());
  } catch (...) {
    return "Unknown error";
  }
}
} // namespace

bool TEditorModel::RunOperation(const QString& ActionName, const TChange& Change, QString* Error) {
  if (!HasPicture()) return false;
  TakeSnapshot(ActionName);
  TPixelGraphic* G = Picture();
  bool Ok = true;
  // A change that failed half-way may still have touched the pixels.
  FModified = true;
  try {
    Change(*G);
  } catch (...) {
    Ok = false;
    if (Error) *Error = ErrorText(std::current_exception());
  }
  if (FHost.Changed) FHost.Changed();
  return Ok;
}

bool TEditorModel::RunReplacement(const QString& ActionName, const TMake& Make, QString* Error) {
  if (!HasPicture()) return false;
  TakeSnapshot(ActionName);
  TPixelGraphic* G = Picture();
  try {
    std::unique_ptr<TPixelGraphic> New = Make(*G, OnProgress);
    if (New) {
      FModified = true;
      New->OnProgress = nullptr;
      if (FHost.TakePicture) FHost.TakePicture(std::move(New));
    }
  } catch (...) {
    if (Error) *Error = ErrorText(std::current_exception());
    if (FHost.Changed) FHost.Changed();
    return false;
  }
  return true;
}

// ---- progress gauge

bool TProgressPace::Pass(int Row, int LastRow, int64_t NowMs, int& Percent) {
  if (LastRow <= 0) return false;
  if (NowMs - FLast <= kIntervalMs) return false;
  Percent = int(int64_t(Row) * 100 / LastRow);
  FLast = NowMs;
  return true;
}

// ---- zooming by clicks

long double ZoomClickFactor(long double Factor, bool RightButton) {
  if (!std::isfinite(double(Factor)) || Factor <= 0) Factor = 1.0L;
  long double New = Factor;
  if (RightButton) {
    if (Factor > 0.3L) New = Factor - 0.2L;
  } else {
    if (Factor < 3.0L) New = Factor + 0.2L;
  }
  // Steps of 0.2 from 1.0 land on 0.8, 0.6, ... exactly instead of 0.19999...
  New = std::nearbyint(New * 1e6L) / 1e6L;
  if (New <= 0) New = Factor;
  return New;
}

int ZoomScrollPosition(int ClickAt, long double OldFactor, long double NewFactor, int Extent) {
  if (OldFactor <= 0) OldFactor = 1;
  const long double Picture = std::trunc(ClickAt / OldFactor);
  const long double P = std::trunc(Picture * NewFactor);
  const long double Pos = P - (Extent - 21) / 2;
  if (Pos < -2147483647.0L) return -2147483647;
  if (Pos > 2147483647.0L) return 2147483647;
  return int(Pos);
}

int CaptureBitCount(int ScreenBits) {
  if (ScreenBits == 4) return 4;
  if (ScreenBits == 8) return 8;
  return 24;
}

} // namespace orbisk
