#include "browser/display.h"
#include "platform/codecsettings.h"
#include "platform/waitcursor.h"

#include "platform/filenames.h"
#include "view/filelist.h"
#include "browser/mainsettings.h"
#include "platform/prompt.h"
#include "view/typemask.h"
#include "engine/animation.h"
#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "platform/pgqt.h"
#include "platform/settingsstore.h"
#include "platform/autoorient.h"
#include "view/pgimage.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QProcess>

#include <algorithm>
#include <cmath>

namespace orbisk {

namespace {

constexpr char kPictureExtensions[] = ".JPG.GIF.BMP.ICO.TIF.PNG.PCX.TGA.WMF";

// ".JPG" for "a.jpg", "" without a dot.
QString UpperExtension(const QString& Path) {
  const QString Name = QFileInfo(Path).fileName();
  const int Dot = Name.lastIndexOf('.');
  return Dot < 0 ? QString() : Name.mid(Dot).toUpper();
}

} // namespace

// ---- pure rules

TViewerKind ViewerForType(const QString& Type) {
  if (Type == QLatin1String("AVI")) return TViewerKind::Avi;
  if (Type == QLatin1String("GIF")) return TViewerKind::Gif;
  if (Type == QLatin1String("WMF") || Type == QLatin1String("ICO")) return TViewerKind::Picture;
  return TViewerKind::Image;
}

TViewerKind ViewerForFile(const QString& Path) {
  const QString Type = FileTypeOfPath(Path);
  static const QStringList Moving = {"WEBP", "AVIF", "JXL", "PNG"};
  if (Moving.contains(Type) && TAnimation::IsAnimated(EnginePath(Path)))
    return TViewerKind::Animation;
  return ViewerForType(Type);
}

QString FileTypeOfPath(const QString& Path) {
  return FileTypeOf(QFileInfo(Path).fileName());
}

std::optional<QSize> FitViewerSize(int PicW, int PicH, int AreaW, int AreaH) {
  if (PicW <= 0 || PicH <= 0 || AreaW <= 8 || AreaH <= 8) return std::nullopt;
  const long double R = static_cast<long double>(PicH) / PicW;
  const long double A = static_cast<long double>(AreaH) / AreaW;
  long double W, H;
  if (A >= R) {
    W = AreaW - 8;
    H = std::nearbyint(R * W);
  } else {
    H = AreaH - 8;
    W = std::nearbyint(H / R);
  }
  // A very thin picture may round to nothing on its short side; keep one pixel.
  return QSize(int(std::clamp<long double>(W, 1, 1 << 30)),
               int(std::clamp<long double>(H, 1, 1 << 30)));
}

bool ExceedsArea(int PicW, int PicH, int AreaW, int AreaH) {
  return int64_t(AreaW) < int64_t(PicW) + 8 || int64_t(AreaH) < int64_t(PicH) + 8;
}

QSize AviPlayerSize(int FrameW, int FrameH, int AreaW, int AreaH) {
  if (FrameW <= 0 || FrameH <= 0) return QSize(0, 0);
  if (int64_t(FrameH) > int64_t(AreaH) - 8 || int64_t(FrameW) > int64_t(AreaW) - 8) {
    if (FrameW >= FrameH)
      return QSize(145, std::max(1, int(std::nearbyint(145.0L * FrameH / FrameW))));
    return QSize(std::max(1, int(std::nearbyint(145.0L * FrameW / FrameH))), 145);
  }
  return QSize(FrameW, FrameH);
}

long double StepZoom(long double Current, int Steps) {
  if (!(Current > 0)) Current = 1;
  // The exponent of Current in powers of the square root of 2; a factor within a hair of a
  // power counts as that power.
  const long double X = 2 * std::log2(Current);
  const long double Near = std::nearbyint(X);
  long double K;
  if (std::fabs(X - Near) < 1e-6L)
    K = Near + Steps;
  else
    K = Steps > 0 ? std::floor(X) + Steps : std::ceil(X) + Steps;
  const long double Z = std::clamp(std::pow(2.0L, K / 2), kMinZoom, kMaxZoom);
  // Beyond the bounds already (a fit of a huge or tiny picture): never the other way.
  if ((Steps > 0 && Z < Current) || (Steps < 0 && Z > Current)) return Current;
  return Z;
}

QString ZoomPanelText(long double Zoom) {
  const long double P = Zoom * 100;
  if (P < 9.95L) return QString::number(double(P), 'f', 1) + QStringLiteral("%");
  return QString::number(static_cast<long long>(std::llround(P))) + QStringLiteral("%");
}

int PlaceSide(int Shown, int Area, int Margin, bool Centre, int Wanted) {
  if (int64_t(Shown) <= int64_t(Area) - 2 * Margin) return Centre ? (Area - Shown) / 2 : Margin;
  return std::clamp(Wanted, Area - Margin - Shown, Margin);
}

QString SizePanelText(qint64 Bytes) {
  return SizeText(Bytes) + QStringLiteral("K");
}

QString PicturePanelText(const QString& Name, int Width, int Height) {
  return QStringLiteral(" ") + ShownName(Name) + QStringLiteral("  (") + QString::number(Width) +
         QStringLiteral(" x ") + QString::number(Height) + QStringLiteral(")");
}

QString UnreadablePanelText(const QString& Name) {
  return QStringLiteral(" ") + ShownName(Name) + QStringLiteral(" (unreadable)");
}

int NextImageIndex(int Focused, int Count) {
  if (Count <= 0) return -1;
  const int I = Focused < 0 ? 0 : Focused + 1;
  return I >= Count ? 0 : I;
}

int PreviousImageIndex(int Focused, int Count) {
  if (Count <= 0) return -1;
  const int I = (Focused < 0 || Focused >= Count ? Count : Focused) - 1;
  return I < 0 ? Count - 1 : I;
}

QRect PrintImageRect(int PicW, int PicH, const QRect& Printable) {
  const int PW = Printable.width(), PH = Printable.height();
  if (PicW <= 0 || PicH <= 0 || PW <= 0 || PH <= 0) return QRect();
  const long double R = static_cast<long double>(PicH) / PicW;
  int W = PW;
  int H = int(std::trunc(R * W));
  if (H > PH) {
    H = PH;
    W = int(std::trunc(H / R));
  }
  return QRect(Printable.left() + (PW - W) / 2, Printable.top() + (PH - H) / 2, W, H);
}

bool IsPrintableFile(const QString& Path) {
  const QString Ext = UpperExtension(Path);
  return Ext.size() > 1 && QString::fromLatin1(kPictureExtensions).contains(Ext);
}

TExternalEditor ChooseExternalEditor(const QString& FullPath, const TSettingsStore& Store) {
  TExternalEditor E;
  const QString Ext = UpperExtension(FullPath).left(4);
  static const char* const kTypes[] = {"JPG", "GIF", "BMP", "ICO"};
  const char* Type = nullptr;
  for (const char* T : kTypes)
    if (Ext == QLatin1Char('.') + QLatin1String(T)) Type = T;
  if (!Type) {
    E.Kind = TExternalEditor::Unsupported;
    E.Message = QStringLiteral("File type of ") + Ext + QStringLiteral(" not supported");
    return E;
  }
  const QString Value = Store.ReadString(QLatin1String(Type) + QStringLiteral(" Editor"), "");
  if (Value.compare(QStringLiteral(" ")) <= 0 || Value.trimmed().isEmpty()) {
    E.Kind = TExternalEditor::NoEditor;
    E.Message = QStringLiteral("You need to select a ") + QLatin1String(Type) +
                QStringLiteral(" editor under File/Set Preferences...");
    return E;
  }
  E.Kind = TExternalEditor::Launch;
  const QString Trimmed = Value.trimmed();
  if (QFileInfo(Trimmed).isFile()) {
    E.Program = Trimmed;
  } else {
    E.Args = QProcess::splitCommand(Trimmed);
    E.Program = E.Args.isEmpty() ? Trimmed : E.Args.takeFirst();
  }
  E.Args << QFileInfo(FullPath).absoluteFilePath();
  return E;
}

// ---- decode ahead

TDecodeAheadCache::TDecodeAheadCache(size_t MaxEntries, int64_t MaxBytes)
    : FMaxEntries(std::max<size_t>(1, MaxEntries)), FMaxBytes(MaxBytes) {}

TDecodeAheadCache::~TDecodeAheadCache() {
  {
    std::lock_guard L(FMutex);
    FStop = true;
    FAbortCurrent = true;
  }
  FWorker.Stop();
}

TDecodeAheadCache::TStamp TDecodeAheadCache::StampOf(const QString& Path) {
  const TFileStat I = StatPath(Path);
  if (!I.IsFile) return {};
  return {I.Size, I.Modified.toMSecsSinceEpoch()};
}

void TDecodeAheadCache::SetLoadSettings(int ReadWarningAction, uint32_t BackGroundColor) {
  std::lock_guard L(FMutex);
  FReadWarningAction = ReadWarningAction;
  FBackGroundColor = BackGroundColor;
}

bool TDecodeAheadCache::Wanted(const QString& Path) const {
  return FWanted.contains(Path);
}

void TDecodeAheadCache::Want(const QStringList& Paths) {
  {
    std::lock_guard L(FMutex);
    FWanted.clear();
    for (const QString& P : Paths)
      if (!P.isEmpty() && !FWanted.contains(P) && size_t(FWanted.size()) < FMaxEntries)
        FWanted << P;
    for (auto It = FDone.begin(); It != FDone.end();)
      It = Wanted(It->first) ? std::next(It) : FDone.erase(It);
    if (!FCurrent.isEmpty() && !Wanted(FCurrent)) FAbortCurrent = true;
    if (!FWorker.Busy() && !FWanted.isEmpty())
      FWorker.Start([this](const TWorker::TRun& R, int) { Run(R); },
                    [this] {
                      std::lock_guard W(FMutex);
                      FChanged.notify_all();
                    });
  }
  FChanged.notify_all();
}

std::unique_ptr<TPixelGraphic> TDecodeAheadCache::Take(const QString& Path) {
  std::unique_lock L(FMutex);
  FChanged.wait(L, [&] { return FCurrent != Path || FStop; });
  auto It = FDone.find(Path);
  if (It == FDone.end() || !It->second.Picture) {
    ++FMisses;
    return nullptr;
  }
  TEntry E = std::move(It->second);
  FDone.erase(It);
  // Handed out once; the next file's decode may use the room.
  FWanted.removeAll(Path);
  L.unlock();
  if (!(StampOf(Path) == E.Stamp)) {
    ++FMisses;
    return nullptr;
  }
  ++FHits;
  return std::move(E.Picture);
}

void TDecodeAheadCache::Clear() {
  {
    std::lock_guard L(FMutex);
    FWanted.clear();
    FDone.clear();
    if (!FCurrent.isEmpty()) FAbortCurrent = true;
  }
  FChanged.notify_all();
}

void TDecodeAheadCache::WaitIdle() {
  std::unique_lock L(FMutex);
  FChanged.wait(L, [&] {
    if (FStop) return true;
    if (!FCurrent.isEmpty()) return false;
    for (const QString& P : FWanted)
      if (!FDone.count(P)) return false;
    return true;
  });
}

size_t TDecodeAheadCache::Entries() const {
  std::lock_guard L(FMutex);
  return FDone.size();
}

void TDecodeAheadCache::Run(const TWorker::TRun& R) {
  std::unique_lock L(FMutex);
  for (;;) {
    QString Path;
    FChanged.wait(L, [&] {
      if (FStop || R.Cancelled()) return true;
      for (const QString& P : FWanted)
        if (!FDone.count(P)) {
          Path = P;
          return true;
        }
      return false;
    });
    if (FStop || R.Cancelled()) return;
    FCurrent = Path;
    FAbortCurrent = false;
    const auto Action = static_cast<TPGWarningAction>(FReadWarningAction);
    const uint32_t Back = FBackGroundColor;
    L.unlock();

    TEntry E;
    E.Stamp = StampOf(Path);
    bool Keep = false;
    try {
      TGraphicFileInfo Info;
      // Too large for the cache: leave it to the ordinary load.
      if (E.Stamp.Size >= 0 && GetGraphicFileInfo(EnginePath(Path), 0, Info) &&
          int64_t(Info.Width) * Info.Height * 4 <= FMaxBytes) {
        auto G = std::make_unique<TPixelGraphic>();
        G->ReadWarningAction = Action;
        G->SetBackGroundColor(Back);
        bool Aborted = false;
        G->OnProgress = [&](TPixelGraphic*, int, bool& Abort, int) {
          if (FAbortCurrent) Abort = Aborted = true;
        };
        G->LoadFromFile(EnginePath(Path), ViewReadOptions());
        G->OnProgress = nullptr;
        OrientForDisplay(*G);
        // An aborted decode keeps a partial picture: never hand that out.
        if (!Aborted && !FAbortCurrent && StampOf(Path) == E.Stamp) {
          E.Picture = std::move(G);
          Keep = true;
        }
      } else {
        Keep = true; // remembered as "not cached" so it is not tried again
      }
    } catch (...) {
      Keep = true; // the ordinary load reports the error
    }

    L.lock();
    FCurrent.clear();
    if (Keep && Wanted(Path) && !FStop) FDone[Path] = std::move(E);
    FChanged.notify_all();
  }
}

// ---- the controller

TDisplayController::TDisplayController(QWidget* Area, TPGImage* View, TDisplayHost Host,
                                       QObject* Parent)
    : QObject(Parent), FArea(Area), FView(View), FHost(std::move(Host)) {
  FAvi = new TAviPlayer(Area);
  FGif = new TAnimatedGifViewer(Area);
  FPicture = new TStretchedPictureViewer(Area);
  for (QWidget* W : {static_cast<QWidget*>(FAvi), static_cast<QWidget*>(FGif),
                     static_cast<QWidget*>(FPicture)}) {
    W->move(4, 4);
    W->hide();
  }
  FAnim = new TAnimationViewer(Area);
  FAnim->move(4, 4);
  FAnim->hide();
  FAnim->SetBackgroundColor(BackgroundColor());
  connect(FAvi, &TAviPlayer::Error, this, [this] { VideoFailed(); });
  if (FArea) FArea->installEventFilter(this);
  FGif->SetBackgroundColor(BackgroundColor());
  Launcher = [](const QString& Program, const QStringList& Args, const QString& Dir) {
    return QProcess::startDetached(Program, Args, Dir);
  };
  ColorChooser = [this](const QColor& Initial) {
    return QColorDialog::getColor(Initial, FArea ? FArea->window() : nullptr, QString(),
                                  QColorDialog::DontUseNativeDialog);
  };
  HookViewers();
}

void TDisplayController::HookViewers() {
  // The mouse and the wheel over any viewer (and its inner widgets) zoom and pan the picture.
  if (!FArea) return;
  for (QWidget* W : FArea->findChildren<QWidget*>())
    W->installEventFilter(this);
}

TDisplayController::~TDisplayController() {
  if (FArea) {
    FArea->removeEventFilter(this);
    for (QWidget* W : FArea->findChildren<QWidget*>())
      W->removeEventFilter(this);
  }
  if (FDragging) QApplication::restoreOverrideCursor();
  Stop();
}

void TDisplayController::Panel(int I, const QString& T) const {
  if (FHost.SetPanelText) FHost.SetPanelText(I, T);
}

void TDisplayController::Lamp(bool On) const {
  if (FHost.SetLamp) FHost.SetLamp(On);
}

void TDisplayController::ShowFile(const QString& Path) {
  FShownFile = Path;
  FShownType = FileTypeOfPath(Path);
  FQueue.push_back(Path);
  if (!FScheduled) {
    FScheduled = true;
    QMetaObject::invokeMethod(
        this, [this] { ServeQueue(); }, Qt::QueuedConnection);
  }
}

void TDisplayController::ShowFileNow(const QString& Path) {
  FShownFile = Path;
  FShownType = FileTypeOfPath(Path);
  FQueue.push_back(Path);
  ServeQueue();
}

void TDisplayController::ServeQueue() {
  FScheduled = false;
  // A display that lets events run must not start another one inside it.
  if (FServing) return;
  FServing = true;
  while (!FQueue.empty()) {
    const QString Path = FQueue.front();
    FQueue.pop_front();
    Display(Path);
  }
  FServing = false;
}

QWidget* TDisplayController::VisibleViewer() const {
  if (FView && !FView->isHidden()) return FView;
  if (!FAnim->isHidden()) return FAnim;
  for (QWidget* W :
       {static_cast<QWidget*>(FAvi), static_cast<QWidget*>(FGif), static_cast<QWidget*>(FPicture)})
    if (!W->isHidden()) return W;
  return nullptr;
}

void TDisplayController::HideAll() {
  if (FDragging) {
    FDragging = false;
    QApplication::restoreOverrideCursor();
  }
  FAvi->Stop();
  FAvi->hide();
  FPicture->hide();
  FGif->SetAnimate(false);
  FGif->hide();
  FAnim->SetAnimate(false);
  FAnim->hide();
  if (FView) FView->hide();
}

void TDisplayController::PlaceNatural(QWidget* W, int PicW, int PicH) {
  W->move(4, 4);
  const bool Fit = (FArea && ExceedsArea(PicW, PicH, FArea->width(), FArea->height())) ||
                   (FHost.AutoZoom && FHost.AutoZoom());
  const std::optional<QSize> S =
      Fit && FArea ? FitViewerSize(PicW, PicH, FArea->width(), FArea->height()) : std::nullopt;
  W->resize(S ? *S : QSize(PicW, PicH));
}

void TDisplayController::Display(const QString& Path) {
  Lamp(true);
  const TFileStat Info = StatPath(Path);
  const QString Name = QFileInfo(Path).fileName();
  // The size panel never keeps another file's size.
  Panel(2, Info.IsFile ? SizePanelText(Info.Size) : QString());
  HideAll();
  FDisplayedFile.clear();
  FMode = TZoomMode::Auto;
  if (!FFullScreen) FReturn.reset(); // a placement to come back to is another file's now
  ShowZoom();
  const QString Type = FileTypeOfPath(Path);
  const TViewerKind Kind = ViewerForFile(Path);
  bool Shown = false;
  try {
    if (FHost.SetEditItemsEnabled) FHost.SetEditItemsEnabled(Kind != TViewerKind::Avi);
    switch (Kind) {
    case TViewerKind::Avi: {
      FAvi->Open(Path);
      const QSize F = FAvi->FrameSize();
      FAvi->move(4, 4);
      FAvi->resize(AviPlayerSize(F.width(), F.height(), FArea ? FArea->width() : 0,
                                 FArea ? FArea->height() : 0));
      Panel(3, PicturePanelText(Name, F.width(), F.height()));
      FAvi->show();
      FDisplayedFile = Path;
      if (FHost.AutoZoom && FHost.AutoZoom()) FitShown();
      FAvi->Play();
      break;
    }
    case TViewerKind::Gif: {
      FGif->LoadFromFile(Path);
      const QSize S = FGif->GifSize();
      Panel(3, PicturePanelText(Name, S.width(), S.height()));
      FGif->show();
      FDisplayedFile = Path;
      PlaceNatural(FGif, S.width(), S.height());
      FGif->SetAnimate(FGif->FrameCount() > 1);
      break;
    }
    case TViewerKind::Picture: {
      try {
        FPicture->LoadFromFile(Path);
      } catch (...) {
        FPicture->Clear();
        Panel(3, UnreadablePanelText(Name));
        Lamp(false);
        ShowMessage(QStringLiteral("Error reading image file"), FArea);
        emit Displayed(Path, false);
        return;
      }
      const int W = FPicture->PictureWidth(), H = FPicture->PictureHeight();
      Panel(3, PicturePanelText(Name, W, H));
      FPicture->show();
      FDisplayedFile = Path;
      PlaceNatural(FPicture, W, H);
      break;
    }
    case TViewerKind::Image:
      ShowImage(Path);
      break;
    case TViewerKind::Animation: {
      FAnim->LoadFromFile(Path);
      const QSize S = FAnim->PictureSize();
      Panel(3, PicturePanelText(Name, S.width(), S.height()));
      FAnim->show();
      FDisplayedFile = Path;
      PlaceNatural(FAnim, S.width(), S.height());
      FAnim->SetAnimate(FAnim->FrameCount() > 1);
      break;
    }
    }
    Shown = true;
    Placed();
  } catch (...) {
    // The area stays empty and the status bar says so, rather than naming the last file.
    HideAll();
    FDisplayedFile.clear();
    Panel(3, UnreadablePanelText(Name));
    ShowZoom();
  }
  Lamp(false);
  if (Shown && Kind == TViewerKind::Image && DecodeAheadEnabled && FHost.Neighbours) {
    QStringList Next;
    for (const QString& P : FHost.Neighbours())
      if (P != Path && ViewerForType(FileTypeOfPath(P)) == TViewerKind::Image) Next << P;
    FCache.Want(Next);
  }
  emit Displayed(Path, Shown);
}

void TDisplayController::ShowImage(const QString& Path) {
  if (!FView) throw std::runtime_error("no picture view");
  std::unique_ptr<TPixelGraphic> Ahead =
      DecodeAheadEnabled ? FCache.Take(Path) : std::unique_ptr<TPixelGraphic>();
  // Decoded ahead while the preference may have been different; a picture already turned stays.
  if (Ahead) OrientForDisplay(*Ahead);
  if (Ahead)
    FView->TakePixelGraphic(std::move(Ahead));
  else
    FView->SetFileName(Path);
  const int W = FView->ImageWidth(), H = FView->ImageHeight();
  if (W <= 0 || H <= 0) throw std::runtime_error("empty picture");
  Panel(3, PicturePanelText(QFileInfo(Path).fileName(), W, H));
  FDisplayedFile = Path;
  FView->show();
  PlaceNatural(FView, W, H);
}

QSize TDisplayController::ShownContentSize() const {
  QWidget* V = VisibleViewer();
  if (!V) return {};
  if (V == FView) return QSize(FView->ImageWidth(), FView->ImageHeight());
  if (V == FAvi) return FAvi->FrameSize();
  if (V == FGif) return FGif->GifSize();
  if (V == FAnim) return FAnim->PictureSize();
  return QSize(FPicture->PictureWidth(), FPicture->PictureHeight());
}

void TDisplayController::FitShown() {
  QWidget* V = VisibleViewer();
  if (!V || !FArea) return;
  const QSize C = ShownContentSize();
  // Full screen has no margin: the fit's 4 pixels on each side are given back.
  const int Extra = FFullScreen ? 8 : 0;
  const std::optional<QSize> S =
      FitViewerSize(C.width(), C.height(), FArea->width() + Extra, FArea->height() + Extra);
  if (!S) return;
  V->move(4, 4);
  V->resize(*S);
  Place(V, V->pos());
}

// ---- zoom and pan

void TDisplayController::Placed() {
  HookViewers();
  QWidget* V = VisibleViewer();
  if (!V) return;
  if (FFullScreen)
    FitShown();
  else
    Place(V, V->pos());
}

void TDisplayController::Place(QWidget* V, QPoint Wanted) {
  if (FArea) {
    const int Margin = FFullScreen ? 0 : 4;
    const bool Centre = FCentre || FFullScreen;
    V->move(PlaceSide(V->width(), FArea->width(), Margin, Centre, Wanted.x()),
            PlaceSide(V->height(), FArea->height(), Margin, Centre, Wanted.y()));
  }
  ShowZoom();
}

long double TDisplayController::Zoom() const {
  QWidget* V = VisibleViewer();
  const QSize C = ShownContentSize();
  if (!V || C.isEmpty()) return 0;
  if (FMode == TZoomMode::Chosen) return FScale;
  // The longer side gives the finer figure.
  return C.width() >= C.height() ? (long double)V->width() / C.width()
                                 : (long double)V->height() / C.height();
}

void TDisplayController::ShowZoom() const {
  if (!FHost.SetZoomText) return;
  const long double Z = Zoom();
  FHost.SetZoomText(Z > 0 ? ZoomPanelText(Z) : QString());
}

void TDisplayController::SetScale(long double Scale, std::optional<QPointF> About) {
  QWidget* V = VisibleViewer();
  const QSize C = ShownContentSize();
  if (!V || !FArea || C.isEmpty()) return;
  // No side beyond a million pixels, whatever the factor.
  const long double Longest = std::max(C.width(), C.height());
  Scale = std::min({std::clamp(Scale, kMinZoom, kMaxZoom), (1 << 20) / Longest});
  const QSize S(std::max(1, int(std::nearbyint(C.width() * Scale))),
                std::max(1, int(std::nearbyint(C.height() * Scale))));
  const QPointF A = About ? *About : QPointF(FArea->width() / 2.0, FArea->height() / 2.0);
  const QRect Old = V->geometry();
  // The picture point under A, as a fraction of the shown picture, stays under A.
  const long double FX = (A.x() - Old.x()) / std::max(1, Old.width());
  const long double FY = (A.y() - Old.y()) / std::max(1, Old.height());
  const QPoint Wanted(int(std::lround(A.x() - FX * S.width())),
                      int(std::lround(A.y() - FY * S.height())));
  FMode = TZoomMode::Chosen;
  FScale = Scale;
  if (!FFullScreen) FReturn.reset();
  V->resize(S);
  Place(V, Wanted);
}

void TDisplayController::ActualSize() {
  SetScale(1, std::nullopt);
}

void TDisplayController::ZoomBy(int Steps, std::optional<QPoint> About) {
  const long double Z = Zoom();
  if (Z <= 0 || Steps == 0 || StepZoom(Z, Steps) == Z) return;
  SetScale(StepZoom(Z, Steps), About ? std::optional<QPointF>(QPointF(*About)) : std::nullopt);
}

void TDisplayController::Fit() {
  if (!VisibleViewer()) return;
  FMode = TZoomMode::Fitted;
  if (!FFullScreen) FReturn.reset();
  FitShown();
}

bool TDisplayController::CanPan(Qt::Orientation O) const {
  QWidget* V = VisibleViewer();
  if (!V || !FArea) return false;
  const int Margin = FFullScreen ? 0 : 4;
  return O == Qt::Horizontal ? V->width() > FArea->width() - 2 * Margin
                             : V->height() > FArea->height() - 2 * Margin;
}

bool TDisplayController::Pan(int DX, int DY) {
  QWidget* V = VisibleViewer();
  if (!V) return false;
  const QPoint Before = V->pos();
  Place(V, Before + QPoint(DX, DY));
  return V->pos() != Before;
}

void TDisplayController::SetCentrePictures(bool On) {
  if (On == FCentre) return;
  FCentre = On;
  if (QWidget* V = VisibleViewer()) Place(V, V->pos());
}

void TDisplayController::SetFullScreen(bool On) {
  if (On == FFullScreen) return;
  QWidget* V = VisibleViewer();
  if (On) {
    FWindowArea = FArea ? FArea->size() : QSize();
    if (V)
      FReturn = TReturnPlacement{FDisplayedFile, FMode, V->geometry(), FWindowArea, FScale};
    else
      FReturn.reset();
    FWindowColor = BackgroundColor();
    const bool Changed = FColorChanged;
    SetBackgroundColor(Qt::black, false);
    FColorChanged = Changed;
    FFullScreen = true;
    FMode = TZoomMode::Auto;
    FitShown();
    return;
  }
  FFullScreen = false;
  SetBackgroundColor(FWindowColor, false);
  if (!V) {
    FReturn.reset();
    return;
  }
  if (!FReturn || FReturn->File != FDisplayedFile)
    FReturn = TReturnPlacement{FDisplayedFile, TZoomMode::Auto, QRect(), FWindowArea};
  // The window may get its old size only later (a window manager answers when it pleases):
  // the placement is made again at each resize until the area is back to its size.
  Restore(*FReturn);
}

void TDisplayController::Restore(const TReturnPlacement& R) {
  QWidget* V = VisibleViewer();
  if (!V) return;
  FMode = R.Mode;
  FScale = R.Scale;
  if (R.Geometry.isValid()) {
    V->resize(R.Geometry.size());
    Place(V, R.Geometry.topLeft());
  } else {
    const QSize C = ShownContentSize();
    PlaceNatural(V, C.width(), C.height());
    Place(V, V->pos());
  }
  if (FArea && FArea->size() == R.Area) FReturn.reset();
}

void TDisplayController::ShowAgain() {
  FCache.Clear();
  if (!FDisplayedFile.isEmpty() && VisibleViewer() && VisibleViewer() != FAvi)
    ShowFileNow(FDisplayedFile);
}

bool TDisplayController::MouseEvent(QObject* O, QEvent* E) {
  if (!FArea || !O->isWidgetType()) return false;
  QWidget* V = VisibleViewer();
  switch (E->type()) {
  case QEvent::MouseButtonDblClick: {
    auto* M = static_cast<QMouseEvent*>(E);
    if (M->button() != Qt::LeftButton || !FHost.ToggleFullScreen) return false;
    FHost.ToggleFullScreen();
    return true;
  }
  case QEvent::MouseButtonPress: {
    auto* M = static_cast<QMouseEvent*>(E);
    if (M->button() != Qt::LeftButton || !V || !(CanPan(Qt::Horizontal) || CanPan(Qt::Vertical)))
      return false;
    FDragging = true;
    FDragStart = M->globalPosition().toPoint();
    FDragOrigin = V->pos();
    QApplication::setOverrideCursor(Qt::ClosedHandCursor);
    return true;
  }
  case QEvent::MouseMove: {
    if (!FDragging || !V) return false;
    auto* M = static_cast<QMouseEvent*>(E);
    Place(V, FDragOrigin + (M->globalPosition().toPoint() - FDragStart));
    return true;
  }
  case QEvent::MouseButtonRelease: {
    if (!FDragging) return false;
    FDragging = false;
    QApplication::restoreOverrideCursor();
    return true;
  }
  case QEvent::Wheel: {
    auto* W = static_cast<QWheelEvent*>(E);
    const bool Ctrl = W->modifiers() & Qt::ControlModifier;
    if (Ctrl || FFullScreen) {
      FWheelRest += W->angleDelta().y();
      const int Steps = FWheelRest / 120;
      FWheelRest -= Steps * 120;
      if (Ctrl)
        ZoomBy(Steps, FArea->mapFromGlobal(W->globalPosition()).toPoint());
      else if (Steps != 0 && FHost.StepFile)
        FHost.StepFile(Steps > 0 ? -1 : 1); // turned away from the user: the previous file
      return true;
    }
    if (!V || !(CanPan(Qt::Horizontal) || CanPan(Qt::Vertical))) return false;
    QPoint D = W->angleDelta();
    if ((W->modifiers() & Qt::ShiftModifier) && D.x() == 0) D = QPoint(D.y(), 0);
    // A notch moves the picture by a tenth of the area.
    Pan(D.x() * std::max(16, FArea->width() / 10) / 120,
        D.y() * std::max(16, FArea->height() / 10) / 120);
    return true;
  }
  default:
    return false;
  }
}

void TDisplayController::ZoomOut() {
  const QStringList Files = FHost.SelectedFiles ? FHost.SelectedFiles() : QStringList();
  if (Files.size() == 1) ShowFile(Files.first());
}

void TDisplayController::AutoZoomClick(bool Down) {
  if (Down)
    FitShown();
  else
    ZoomOut();
}

bool TDisplayController::eventFilter(QObject* O, QEvent* E) {
  if (O == FArea && E->type() == QEvent::Resize) {
    QWidget* V = VisibleViewer();
    if (FReturn && !FFullScreen)
      Restore(*FReturn);
    else if (FMode == TZoomMode::Fitted || (FMode == TZoomMode::Auto && FFullScreen))
      FitShown();
    else if (FMode == TZoomMode::Auto && FHost.SelectedFiles && FHost.SelectedFiles().size() == 1)
      FitShown();
    else if (V)
      Place(V, V->pos());
  }
  if (MouseEvent(O, E)) return true;
  return QObject::eventFilter(O, E);
}

void TDisplayController::VideoFailed() {
  if (FDisplayedFile.isEmpty() || FAvi->isHidden()) return;
  FAvi->hide();
  Panel(3, UnreadablePanelText(QFileInfo(FDisplayedFile).fileName()));
  FDisplayedFile.clear();
  emit Displayed(FShownFile, false);
}

// ---- background colour

QColor TDisplayController::BackgroundColor() const {
  return FArea ? FArea->palette().color(QPalette::Window) : QColor(Qt::white);
}

void TDisplayController::SetBackgroundColor(const QColor& C, bool ByUser) {
  if (!C.isValid()) return;
  if (FArea) {
    QPalette P = FArea->palette();
    P.setColor(QPalette::Window, C);
    FArea->setPalette(P);
    FArea->setAutoFillBackground(true);
  }
  if (FView) FView->SetColor(C);
  FGif->SetBackgroundColor(C);
  FAnim->SetBackgroundColor(C);
  FPicture->update();
  if (ByUser) FColorChanged = true;
}

void TDisplayController::ChooseBackgroundColor() {
  if (!ColorChooser) return;
  const QColor C = ColorChooser(BackgroundColor());
  if (C.isValid()) SetBackgroundColor(C, true);
}

void TDisplayController::LoadBackgroundColor(const TSettingsStore& Store) {
  const int V = Store.ReadInteger(QStringLiteral("BG Color"), -1);
  if (V >= 0 && V <= 0xFFFFFF) SetBackgroundColor(ColorFromValue(V), false);
}

void TDisplayController::SaveBackgroundColor(TSettingsStore& Store) const {
  // Full screen's black is not the area's colour.
  if (FColorChanged)
    Store.WriteInteger(QStringLiteral("BG Color"),
                       ValueFromColor(FFullScreen ? FWindowColor : BackgroundColor()));
}

// ---- commands on the shown picture

bool TDisplayController::CopyToClipboard() {
  if (FDisplayedFile.isEmpty() || !IsPictureType(FShownType)) return false;
  QWidget* V = VisibleViewer();
  if (V == FGif) {
    const QImage Frame = FGif->CurrentFrame();
    if (Frame.isNull()) return false;
    QGuiApplication::clipboard()->setImage(Frame);
    return true;
  }
  if (V == FAnim) {
    const QImage Frame = FAnim->CurrentFrame();
    if (Frame.isNull()) return false;
    QGuiApplication::clipboard()->setImage(Frame);
    return true;
  }
  TPixelGraphic* G = nullptr;
  if (V == FPicture)
    G = FPicture->PixelGraphic();
  else if (V == FView)
    G = FView->PixelGraphic();
  if (!G || G->Empty()) return false;
  orbisk::CopyToClipboard(*G);
  return true;
}

void TDisplayController::EditWithExternalEditor() {
  const QStringList Files = FHost.SelectedFiles ? FHost.SelectedFiles() : QStringList();
  if (Files.size() != 1) return;
  const QString Path = QFileInfo(Files.first()).absoluteFilePath();
  TSettingsStore Store;
  const TExternalEditor E = ChooseExternalEditor(Path, Store);
  QWidget* Owner = FArea ? FArea->window() : nullptr;
  switch (E.Kind) {
  case TExternalEditor::Launch:
    if (!Launcher || !Launcher(E.Program, E.Args, QFileInfo(Path).absolutePath()))
      ShowMessage(QStringLiteral("Can not start ") + E.Program, Owner);
    break;
  case TExternalEditor::NoEditor:
    ShowMessage(E.Message, Owner);
    if (FHost.OpenPreferences) FHost.OpenPreferences();
    break;
  case TExternalEditor::Unsupported:
    ShowMessage(E.Message, Owner);
    break;
  }
}

int TDisplayController::PrintImages(QPrinter& Printer, const QStringList& Files) {
  if (Files.isEmpty()) return 0;
  TWaitCursor Busy;
  auto Gauge = [this](bool Visible, int Percent) {
    if (FHost.SetGauge) FHost.SetGauge(Visible, Percent);
  };
  QPainter P;
  if (!P.begin(&Printer)) {
    ShowMessage(QStringLiteral("Can not print"), FArea ? FArea->window() : nullptr);
    return 0;
  }
  Gauge(true, 0);
  // The painter's device is the printable part of the page (page less margins).
  const QRect Printable(0, 0, P.device()->width(), P.device()->height());
  int Printed = 0;
  for (const QString& File : Files) {
    if (!IsPrintableFile(File)) continue;
    TPixelGraphic G;
    G.StretchMode = smPrecise;
    G.ReadWarningAction = pgwaIgnore;
    try {
      G.LoadFromFile(EnginePath(File), ViewReadOptions());
      OrientForDisplay(G);
    } catch (const std::exception&) {
      // One unreadable file neither ends the job nor leaves a blank page.
      ShowMessage(QStringLiteral("Can not print ") + File, FArea ? FArea->window() : nullptr);
      continue;
    }
    if (Printed > 0) Printer.newPage();
    const QRect R = PrintImageRect(G.Width(), G.Height(), Printable);
    P.setRenderHint(QPainter::SmoothPixmapTransform);
    DrawPixelGraphic(P, R, G);
    ++Printed;
    Gauge(true, int(int64_t(Printed) * 100 / Files.size()));
  }
  P.end();
  Gauge(false, 0);
  return Printed;
}

void TDisplayController::AutoOrientChanged() {
  FCache.Clear();
  if (!FDisplayedFile.isEmpty() && FView && VisibleViewer() == FView) ShowFileNow(FDisplayedFile);
}

void TDisplayController::Stop() {
  if (FAvi) FAvi->Stop();
  FCache.Clear();
}

} // namespace orbisk
