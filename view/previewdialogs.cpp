#include "view/previewdialogs.h"

#include "platform/codecsettings.h"
#include "platform/filenames.h"

#include "engine/messages.h"
#include "engine/optimizedpalette.h"
#include "platform/pgqt.h"
#include "platform/autoorient.h"
#include "view/viewlayout.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaMethod>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>

namespace orbisk {

// ---------------------------------------------------------------- the parts without a window

QStringList NameFiltersFromFilter(const std::string& Filter) {
  QStringList Parts = QString::fromStdString(Filter).split('|');
  if (!Parts.isEmpty() && Parts.last().isEmpty()) Parts.removeLast();
  QStringList Out;
  for (qsizetype I = 0; I + 1 < Parts.size(); I += 2) {
    QStringList Patterns;
    for (const QString& P : Parts[I + 1].split(';', Qt::SkipEmptyParts))
      if (!P.trimmed().isEmpty()) Patterns << P.trimmed();
    Out << Parts[I] + " (" + Patterns.join(' ') + ")";
  }
  return Out;
}

// The extension of a name filter's first pattern ("*.png" gives "png"; "*.*" gives "").
static QString ExtensionOfNameFilter(const QString& NameFilter) {
  qsizetype Open = NameFilter.lastIndexOf('('), Close = NameFilter.lastIndexOf(')');
  QString Patterns =
      (Open >= 0 && Close > Open) ? NameFilter.mid(Open + 1, Close - Open - 1) : NameFilter;
  QString First = Patterns.split(' ', Qt::SkipEmptyParts).value(0);
  if (!First.startsWith("*.")) return {};
  QString Ext = First.mid(2);
  if (Ext.isEmpty() || Ext.contains('*') || Ext.contains('?')) return {};
  return Ext.toLower();
}

QSize PreviewShrinkSize(int PicW, int PicH, int BoxW, int BoxH) {
  BoxW = std::max(BoxW, 1);
  BoxH = std::max(BoxH, 1);
  if (PicW <= 0 || PicH <= 0 || (PicW <= BoxW && PicH <= BoxH)) return {PicW, PicH};
  const double R = double(PicW) / PicH;
  if (double(BoxW) / BoxH >= R) {
    int W = int(std::clamp<double>(std::trunc(R * BoxH), 1, PicW));
    return {W, BoxH};
  }
  int H = int(std::clamp<double>(std::trunc(BoxW / R), 1, PicH));
  return {BoxW, H};
}

QRect PreviewDrawRect(int PicW, int PicH, int AreaW, int AreaH) {
  if (PicW <= 0 || PicH <= 0 || AreaW <= 0 || AreaH <= 0) return {};
  int W = PicW, H = PicH;
  if (PicW > AreaW || PicH > AreaH) {
    if (int64_t(AreaW) * PicH <= int64_t(AreaH) * PicW) {
      W = AreaW;
      H = int(std::max<int64_t>(1, int64_t(PicH) * AreaW / PicW));
    } else {
      H = AreaH;
      W = int(std::max<int64_t>(1, int64_t(PicW) * AreaH / PicH));
    }
  }
  return {(AreaW - W) / 2, (AreaH - H) / 2, W, H};
}

QStringList PreviewInfoLines(const TGraphicFileInfo& Info) {
  QStringList Lines;
  for (const std::string* S : {&Info.Type, &Info.SubType, &Info.Options})
    if (!S->empty()) Lines << QString::fromStdString(*S);
  QString Size = QString("%1x%2x%3 %4 %5")
                     .arg(Info.Width)
                     .arg(Info.Height)
                     .arg(QString::fromStdString(Info.Colors))
                     .arg(Info.BitsPerPixel)
                     .arg(QString::fromStdString(EngineMessage(msgBit)));
  if (Info.GraphicCount > 1) Size += QString(", %1").arg(Info.GraphicCount);
  Lines << Size;
  return Lines;
}

std::optional<QString> SaveNameForType(const QString& Text, const QString& Folder,
                                       const QString& NewExt) {
  if (Text.trimmed().isEmpty() || NewExt.isEmpty()) return std::nullopt;
  const QFileInfo Full(QDir(Folder).absoluteFilePath(Text));
  if (Full.isDir()) return std::nullopt;
  QString Name = Full.fileName();
  if (Name.isEmpty()) return std::nullopt;
  qsizetype Dot = Name.lastIndexOf('.');
  Name = (Dot <= 0 ? Name + "." : Name.left(Dot + 1)) + NewExt;
  const QString Dir = QDir::cleanPath(Full.absolutePath());
  if (Dir == QDir::cleanPath(QDir(Folder).absolutePath())) return Name;
  return Dir + "/" + Name;
}

QString WithDefaultExtension(const QString& Name, const QString& Ext) {
  if (Name.isEmpty() || Ext.isEmpty() || !QFileInfo(Name).suffix().isEmpty()) return Name;
  return Name + "." + Ext;
}

bool TPreviewProgressGate::Pass(int Step, int Row, int Rows, int64_t TickMs) {
  const int P = Rows > 0 ? int(std::clamp<int64_t>(int64_t(Row) * 100 / Rows, 0, 100)) : 100;
  const int64_t Bucket = TickMs / 100;
  if (Step == FLastStep && P == FPercent) return false;
  if (Step == FLastStep && Bucket == FLastBucket && P / 16 == FPercent / 16) return false;
  FLastStep = Step;
  FPercent = P;
  FLastBucket = Bucket;
  return true;
}

namespace {

int64_t TickMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A copy of G with the screen's colour resolution.
std::unique_ptr<TPixelGraphic> AdaptToScreen(const TPixelGraphic& G, const TPreviewRequest& R) {
  auto D = std::make_unique<TPixelGraphic>();
  if (R.ScreenBits < 8) {
    D->SetSize(G.Width(), G.Height(), 1);
    D->SetPaletteKind(pSys16);
  } else {
    const TPaletteIdent Kind =
        G.BitCount() == 24 ? R.Palette8BitSys24BitGraphic : R.Palette8BitSys8BitGraphic;
    if (Kind == pSource && G.BitCount() != 24) {
      D->SetSize(G.Width(), G.Height(), G.BitCountNum());
      D->AssignPalette(G);
    } else {
      D->SetSize(G.Width(), G.Height(), 2);
      if (Kind == pOptimized252Sys16 || Kind == pSource || StandardPalette(Kind).empty())
        BuildOptimizedPalette(*D, G, 252, true);
      else
        D->SetPaletteKind(Kind);
    }
  }
  D->StretchFrom(G);
  return D;
}

} // namespace

std::unique_ptr<TPixelGraphic>
MakePreviewPicture(const TPreviewRequest& R, const std::atomic<bool>& Cancel,
                   const std::function<void(int Step, int Percent)>& Progress) {
  try {
    std::error_code Ec;
    if (!std::filesystem::is_regular_file(R.Path, Ec)) return nullptr;
    TPreviewProgressGate Gate;
    auto Hook = [&](TPixelGraphic& G, int Step) {
      G.OnProgress = [&, Step](TPixelGraphic*, int Row, bool& Abort, int Max) {
        if (Cancel) {
          Abort = true;
          return;
        }
        if (Progress && Gate.Pass(Step, Row, Max, TickMs())) Progress(Step, Gate.Percent());
      };
    };
    auto G = std::make_unique<TPixelGraphic>();
    G->ReadWarningAction = pgwaIgnore;
    Hook(*G, 1);
    G->LoadFromFile(R.Path, ViewReadOptions());
    if (Cancel || G->Empty()) return nullptr;
    OrientForDisplay(*G);
    int Step = 1;
    if (G->Width() > R.BoxWidth || G->Height() > R.BoxHeight) {
      const QSize S = PreviewShrinkSize(G->Width(), G->Height(), R.BoxWidth, R.BoxHeight);
      auto N = std::make_unique<TPixelGraphic>();
      N->StretchMode = R.StretchMode;
      N->SetSize(S.width(), S.height(), 3);
      Hook(*N, ++Step);
      N->StretchFrom(*G);
      G = std::move(N);
      if (Cancel) return nullptr;
    }
    if (R.ScreenBits <= 8) G = AdaptToScreen(*G, R);
    G->OnProgress = nullptr;
    if (Cancel) return nullptr;
    return G;
  } catch (...) {
    // An unreadable file simply has no preview.
    return nullptr;
  }
}

// ---------------------------------------------------------------- TPreviewLoader

TPreviewLoader::TPreviewLoader() = default;

TPreviewLoader::~TPreviewLoader() {
  FWorker.Stop();
}

uint64_t TPreviewLoader::Start(const TPreviewRequest& R) {
  return FWorker.Start([this, R](const TWorker::TRun& Run, int) {
    auto Report = [this, &Run](int Step, int Percent) {
      if (Run.Cancelled()) return;
      const uint64_t Id = Run.Id();
      Run.Post([this, Id, Step, Percent] { emit OnProgress(Id, Step, Percent); });
    };
    std::shared_ptr<const TPixelGraphic> Picture = MakePreviewPicture(R, *Run.CancelFlag(), Report);
    const uint64_t Id = Run.Id();
    if (!Run.Cancelled()) Run.Post([this, Id, Picture] { Deliver(Id, Picture); });
  });
}

void TPreviewLoader::Stop() {
  FWorker.Cancel();
}

void TPreviewLoader::StopAndWait() {
  FWorker.Stop();
}

void TPreviewLoader::WaitForIdle() {
  FWorker.WaitAndDeliver();
}

void TPreviewLoader::Deliver(uint64_t Id, std::shared_ptr<const TPixelGraphic> Picture) {
  if (Id != Current()) return; // a result of an earlier file
  FWorker.Finish(Id);
  emit OnReady(Id, std::move(Picture));
}

// ---------------------------------------------------------------- the panel

namespace {

// Dialog units to pixels, from the dialog font's average character size.
struct TDialogUnits {
  explicit TDialogUnits(const QFontMetrics& M)
      : BaseX(std::max(1.0,
                       M.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") /
                           52.0)),
        BaseY(std::max(1, M.height())) {}
  int X(int Dlu) const { return int(std::lround(Dlu * BaseX / 4)); }
  int Y(int Dlu) const { return int(std::lround(Dlu * BaseY / 8.0)); }
  double BaseX;
  int BaseY;
};

} // namespace

class TPreviewBox : public QWidget {
public:
  TPreviewBox(TPGOpenDialog* Owner, QWidget* Parent) : QWidget(Parent), FOwner(Owner) {
    setObjectName("PreviewBox");
  }
  QRect PictureRect() const {
    const TPixelGraphic* G = FOwner->PreviewPicture();
    if (!G || G->Empty()) return {};
    return PreviewDrawRect(G->Width(), G->Height(), width() - 4, height() - 4).translated(2, 2);
  }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter P(this);
    const QColor Face = palette().color(QPalette::Button);
    const QColor Shadow = palette().color(QPalette::Dark);
    const int W = width(), H = height();
    P.fillRect(rect(), Face);
    // Sunken frame: shadow and black on the top and left, white and face on the bottom and right.
    P.setPen(Shadow);
    P.drawLine(0, 0, W - 1, 0);
    P.drawLine(0, 0, 0, H - 1);
    P.setPen(Qt::black);
    P.drawLine(1, 1, W - 2, 1);
    P.drawLine(1, 1, 1, H - 2);
    P.setPen(Qt::white);
    P.drawLine(0, H - 1, W - 1, H - 1);
    P.drawLine(W - 1, 0, W - 1, H - 1);
    P.setPen(Face);
    P.drawLine(1, H - 2, W - 2, H - 2);
    P.drawLine(W - 2, 1, W - 2, H - 2);
    if (const TPixelGraphic* G = FOwner->PreviewPicture(); G && !G->Empty()) {
      P.setClipRect(2, 2, W - 4, H - 4);
      DrawPixelGraphic(P, QRectF(PictureRect()), *G);
    } else if (FOwner->PreviewLoading() && FOwner->ProgressClockVisible) {
      DrawClock(P);
    }
  }

private:
  void DrawClock(QPainter& P) {
    const TIntPoint Corner{width() / 2 - 8, height() / 2 - 8};
    P.fillRect(Corner.X, Corner.Y, 15, 15, palette().color(QPalette::Button));
    P.setRenderHint(QPainter::Antialiasing, false);
    P.setPen(FOwner->ProgressClockLineColor);
    P.setBrush(FOwner->ProgressClockBkColor);
    P.drawEllipse(Corner.X, Corner.Y, 14, 14);
    TIntPoint Long, Short;
    ClockHands(Corner, FOwner->ProgressPercent(), FOwner->ProgressStep(), Long, Short);
    const QPoint C(Corner.X + 7, Corner.Y + 7);
    P.drawLine(C, QPoint(Long.X, Long.Y));
    P.drawLine(C, QPoint(Short.X, Short.Y));
  }
  TPGOpenDialog* FOwner;
};

class TPreviewInfoBox : public QWidget {
public:
  TPreviewInfoBox(TPGOpenDialog* Owner, QWidget* Parent) : QWidget(Parent), FOwner(Owner) {
    setObjectName("InfoBox");
  }

protected:
  void paintEvent(QPaintEvent*) override {
    const QStringList Lines = FOwner->ShownInfoLines();
    if (Lines.isEmpty()) return;
    QPainter P(this);
    P.setFont(FOwner->font());
    P.setPen(palette().color(QPalette::WindowText));
    const int K = int(Lines.size());
    for (int J = 0; J < K; ++J)
      P.drawText(QRect(0, J * height() / K, width(), height() / K + 1),
                 Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, Lines[J]);
  }

private:
  TPGOpenDialog* FOwner;
};

// ---------------------------------------------------------------- TPGOpenDialog

TPGOpenDialog::TPGOpenDialog(QWidget* Parent) : TPGOpenDialog(false, Parent) {}

TPGOpenDialog::TPGOpenDialog(bool Save, QWidget* Parent) : QFileDialog(Parent), FSave(Save) {
  setOption(QFileDialog::DontUseNativeDialog, true);
  ProgressClockBkColor = palette().color(QPalette::Button);
  ProgressClockLineColor = palette().color(QPalette::Dark);
  ApplyOptions();
  BuildPanel();

  FTimer.setSingleShot(true);
  FTimer.setInterval(kPreviewDelayMs);
  connect(&FTimer, &QTimer::timeout, this, &TPGOpenDialog::StartPreview);
  connect(this, &QFileDialog::currentChanged, this, &TPGOpenDialog::SelectionChange);
  connect(&FLoader, &TPreviewLoader::OnReady, this, &TPGOpenDialog::PreviewArrived);
  connect(&FLoader, &TPreviewLoader::OnProgress, this, &TPGOpenDialog::ProgressArrived);
}

TPGOpenDialog::~TPGOpenDialog() {
  StopPreview();
}

void TPGOpenDialog::BuildPanel() {
  const TDialogUnits U(fontMetrics());
  auto* Panel = new QWidget(this);
  Panel->setObjectName("PreviewPanel");
  // The panel holds the part of the 288 x 144 unit template right of the standard controls.
  Panel->setFixedSize(U.X(288 - 191), U.Y(144));
  FPreviewBox = new TPreviewBox(this, Panel);
  FPreviewBox->setGeometry(U.X(192 - 191), U.Y(20), U.X(92), U.Y(85));
  FInfoBox = new TPreviewInfoBox(this, Panel);
  FInfoBox->setGeometry(U.X(193 - 191), U.Y(110), U.X(92), U.Y(33));
  if (auto* Grid = qobject_cast<QGridLayout*>(layout()))
    Grid->addWidget(Panel, 0, Grid->columnCount(), std::max(1, Grid->rowCount()), 1, Qt::AlignTop);
  else if (layout())
    layout()->addWidget(Panel);
}

QWidget* TPGOpenDialog::PreviewBox() const {
  return FPreviewBox;
}
QWidget* TPGOpenDialog::InfoBox() const {
  return FInfoBox;
}
QRect TPGOpenDialog::PreviewRect() const {
  return FPreviewBox->PictureRect();
}

QStringList TPGOpenDialog::ShownInfoLines() const {
  if (!ShowInfo || !FInfoValid) return {};
  return PreviewInfoLines(FInfo);
}

void TPGOpenDialog::SetOptions(TOpenOptions V) {
  if (!(V & ofShareAware)) {
    const QString Text =
        "TPGOpenDialog.Options and TPGSaveDialog.Options must include ofShareAware!";
    if (isSignalConnected(QMetaMethod::fromSignal(&TPGOpenDialog::OnMessage)))
      emit OnMessage(Text);
    else
      QMessageBox::warning(this, windowTitle(), Text);
    V |= ofShareAware;
  }
  FOptions = V;
  ApplyOptions();
}

void TPGOpenDialog::ApplyOptions() {
  if (FSave) {
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setOption(QFileDialog::DontConfirmOverwrite, !(FOptions & ofOverwritePrompt));
  } else {
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode((FOptions & ofAllowMultiSelect) ? QFileDialog::ExistingFiles
                                                : QFileDialog::ExistingFile);
  }
}

void TPGOpenDialog::showEvent(QShowEvent* E) {
  QFileDialog::showEvent(E);
  if (FPlaced) return;
  FPlaced = true;
  // Horizontally centred, one third of the free height from the top.
  if (QScreen* S = screen() ? screen() : QGuiApplication::primaryScreen()) {
    const QRect A = S->availableGeometry();
    const QRect F = frameGeometry();
    move(A.left() + std::max(0, (A.width() - F.width()) / 2),
         A.top() + std::max(0, (A.height() - F.height()) / 3));
  }
}

bool TPGOpenDialog::Execute() {
  PrepareExecute();
  if (exec() != QDialog::Accepted) return false;
  FinishExecute();
  return true;
}

void TPGOpenDialog::PrepareExecute() {
  if (!Title.isEmpty()) setWindowTitle(Title);
  ApplyOptions();
  if (UseDefaultFilter)
    Filter = QString::fromStdString(FSave ? DefaultSaveFilter() : DefaultOpenFilter());
  FNameFilters = NameFiltersFromFilter(Filter.toStdString());
  setNameFilters(FNameFilters);
  if (FilterIndex >= 1 && FilterIndex <= FNameFilters.size())
    selectNameFilter(FNameFilters[FilterIndex - 1]);
  if (!InitialDir.isEmpty()) setDirectory(InitialDir);
  if (!FileName.isEmpty()) selectFile(FileName);
}

void TPGOpenDialog::FinishExecute() {
  Files = selectedFiles();
  FileName = Files.value(0);
  const qsizetype I = FNameFilters.indexOf(selectedNameFilter());
  if (I >= 0) FilterIndex = int(I) + 1;
}

void TPGOpenDialog::done(int Result) {
  StopPreview();
  QFileDialog::done(Result);
}

void TPGOpenDialog::SelectionChange(const QString& Path) {
  StopPreview();
  FSelectedPath = Path;
  FTimer.start();
}

void TPGOpenDialog::StopPreview() {
  FTimer.stop();
  FLoader.Stop();
  FPreview.reset();
  FInfoValid = false;
  FInfo = TGraphicFileInfo{};
  FPreviewPath.clear();
  if (FPreviewBox) FPreviewBox->update();
  if (FInfoBox) FInfoBox->update();
}

void TPGOpenDialog::StartPreview() {
  FTimer.stop();
  FLoader.StopAndWait();
  FPreview.reset();
  FPreviewPath = FSelectedPath;
  FInfoValid = !FPreviewPath.isEmpty() &&
               GetGraphicFileInfo(EncodeFileName(FPreviewPath).toStdString(), 0, FInfo);
  FPreviewBox->update();
  FInfoBox->update();
  if (!FInfoValid) return;
  TPreviewRequest R;
  R.Path = EncodeFileName(FPreviewPath).toStdString();
  R.BoxWidth = std::max(1, FPreviewBox->width() - 4);
  R.BoxHeight = std::max(1, FPreviewBox->height() - 4);
  R.StretchMode = StretchMode;
  R.Palette8BitSys24BitGraphic = Palette8BitSys24BitGraphic;
  R.Palette8BitSys8BitGraphic = Palette8BitSys8BitGraphic;
  R.ScreenBits = ScreenDepth();
  FProgressStep = 1;
  FProgressPercent = 0;
  FLoader.Start(R);
}

void TPGOpenDialog::WaitForPreview() {
  if (FTimer.isActive()) StartPreview();
  FLoader.WaitForIdle();
}

void TPGOpenDialog::PreviewArrived(uint64_t, std::shared_ptr<const TPixelGraphic> Picture) {
  FPreview = std::move(Picture);
  FPreviewBox->update();
}

void TPGOpenDialog::ProgressArrived(uint64_t, int Step, int Percent) {
  FProgressStep = Step;
  FProgressPercent = Percent;
  if (ProgressClockVisible) FPreviewBox->update();
}

// ---------------------------------------------------------------- TPGSaveDialog

TPGSaveDialog::TPGSaveDialog(QWidget* Parent) : TPGOpenDialog(true, Parent) {
  connect(this, &QFileDialog::filterSelected, this, &TPGSaveDialog::TypeChanged);
}

QString TPGSaveDialog::NameBoxText() const {
  auto* Edit = findChild<QLineEdit*>("fileNameEdit");
  return Edit ? Edit->text() : QString();
}

void TPGSaveDialog::SetNameBoxText(const QString& Text) {
  if (auto* Edit = findChild<QLineEdit*>("fileNameEdit"))
    Edit->setText(Text);
  else
    selectFile(Text);
}

void TPGSaveDialog::PrepareExecute() {
  TPGOpenDialog::PrepareExecute();
  // A name with an extension picks its file type.
  const QString Ext = QFileInfo(FileName).suffix().toLower();
  if (Ext.isEmpty()) return;
  const QStringList Filters = CurrentNameFilters();
  for (qsizetype I = 0; I < Filters.size(); ++I)
    if (ExtensionOfNameFilter(Filters[I]) == Ext) {
      FilterIndex = int(I) + 1;
      selectNameFilter(Filters[I]);
      break;
    }
}

void TPGSaveDialog::FinishExecute() {
  TPGOpenDialog::FinishExecute();
  FileName = WithDefaultExtension(FileName, ExtensionOfNameFilter(selectedNameFilter()));
  if (!Files.isEmpty()) Files[0] = FileName;
}

void TPGSaveDialog::TypeChanged(const QString& NameFilter) {
  if (Options() & ofAllowMultiSelect) return;
  const auto Name =
      SaveNameForType(NameBoxText(), directory().absolutePath(), ExtensionOfNameFilter(NameFilter));
  if (Name) SetNameBoxText(*Name);
}

} // namespace orbisk
