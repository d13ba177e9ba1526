// Showing files in the main window's picture area: the choice of viewer by file type, the fit
// arithmetic, the status-bar texts, previous/next over the list, the background colour, the
// clipboard, the external editor and printing of the selected files. TDisplayController holds
// the logic; the main window hands it its picture area, its picture view and a few callbacks.
#pragma once

#include "platform/worker.h"
#include "browser/viewers.h"
#include "view/pgimage.h"

#include <QColor>
#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

class QPrinter;
class QWidget;

namespace orbisk {

class TSettingsStore;

// ---- pure rules (no window needed)

enum class TViewerKind { Avi, Gif, Picture, Image, Animation };
// "AVI", "GIF", "WMF"/"ICO" (the stretched picture control), anything else the picture view.
TViewerKind ViewerForType(const QString& Type);
// The viewer for a file: by its type, and WebP, AVIF, JPEG XL and PNG files that hold more than
// one frame to the animation viewer (stills of those types stay with the picture view).
TViewerKind ViewerForFile(const QString& Path);
// The three-letter type of a path's file name ("x/a.jpeg" gives "JPE").
QString FileTypeOfPath(const QString& Path);

// The size of a picture of PicW x PicH fitted into an area of AreaW x AreaH (4 pixels free on
// each side, aspect kept, halves to even). Nothing when either size is empty.
std::optional<QSize> FitViewerSize(int PicW, int PicH, int AreaW, int AreaH);
// Whether a picture shown at its natural size would not fit the area (area narrower than
// width + 8 or lower than height + 8).
bool ExceedsArea(int PicW, int PicH, int AreaW, int AreaH);
// The AVI player's size: the frame size, or when the frame is larger than the area less 8,
// longer side 145 and the other side by the frame's aspect.
QSize AviPlayerSize(int FrameW, int FrameH, int AreaW, int AreaH);

// Zoom factors lie on the powers of the square root of 2 between these bounds.
constexpr long double kMinZoom = 1.0L / 64, kMaxZoom = 64;
// The factor Steps powers of the square root of 2 above (below, when negative) Current; a factor
// between two powers goes to the next one in that direction. Kept within kMinZoom..kMaxZoom; a
// factor already beyond them stays as it is rather than moving the other way.
long double StepZoom(long double Current, int Steps);
// The zoom panel's text: "100%", "141%", "6.3%" (one decimal below 10%).
QString ZoomPanelText(long double Zoom);
// Where a picture side of Shown pixels starts in an area side of Area pixels with Margin kept
// free: when it fits, centred (Centre) or at Margin; otherwise Wanted, kept so that the picture
// covers the area between the margins.
int PlaceSide(int Shown, int Area, int Margin, bool Centre, int Wanted);

// Status panel texts: the size panel ("13K"), the picture panel (" a.jpg  (640 x 480)") and the
// picture panel of a file that could not be shown (" a.jpg (unreadable)").
QString SizePanelText(qint64 Bytes);
QString PicturePanelText(const QString& Name, int Width, int Height);
QString UnreadablePanelText(const QString& Name);

// "Next Image" and "Previous Image": the index to select, given the focused index (-1 for
// none) and the item count; -1 when the list is empty.
int NextImageIndex(int Focused, int Count);
int PreviousImageIndex(int Focused, int Count);

// Where a picture of PicW x PicH is printed inside Printable: as wide as possible (heights and
// widths truncated), centred.
QRect PrintImageRect(int PicW, int PicH, const QRect& Printable);
// Whether a file's extension marks a printable and copyable picture.
bool IsPrintableFile(const QString& Path);

// The external editor for a file.
struct TExternalEditor {
  enum TKind { Launch, NoEditor, Unsupported } Kind = Unsupported;
  QString Program;  // Launch: the program
  QStringList Args; // Launch: its arguments, ending with the file's full path
  QString Message;  // NoEditor / Unsupported: the text to show
};
// The extension (upper case, cut to four characters, ".JPE" for .jpeg) chooses the editor value
// ("JPG Editor" ...). A value that names an existing file is the program as it stands;
// otherwise it is split like a command line. The full path is always one argument of its own.
TExternalEditor ChooseExternalEditor(const QString& FullPath, const TSettingsStore& Store);

// ---- decode ahead

// Pictures of the files likely shown next, decoded by a worker thread. Bounded by entry count
// and bytes; an entry is only handed out while the file's size and modification time are
// those it was decoded from.
class TDecodeAheadCache {
public:
  explicit TDecodeAheadCache(size_t MaxEntries = 2, int64_t MaxBytes = int64_t(512) << 20);
  ~TDecodeAheadCache();
  TDecodeAheadCache(const TDecodeAheadCache&) = delete;
  TDecodeAheadCache& operator=(const TDecodeAheadCache&) = delete;

  // The files wanted next, most wanted first. Entries and work for other files are dropped.
  void Want(const QStringList& Paths);
  // The decoded picture of Path (waiting when it is being decoded right now), or nullptr.
  std::unique_ptr<TPixelGraphic> Take(const QString& Path);
  void Clear();
  // Blocks until no decode is running or queued (tests, benchmarks).
  void WaitIdle();
  size_t Entries() const;
  int Hits() const { return FHits; }
  int Misses() const { return FMisses; }
  // Settings the pictures are loaded with (as the picture view would).
  void SetLoadSettings(int ReadWarningAction, uint32_t BackGroundColor);

private:
  struct TStamp {
    qint64 Size = -1;
    qint64 Modified = 0;
    bool operator==(const TStamp&) const = default;
  };
  struct TEntry {
    TStamp Stamp;
    std::unique_ptr<TPixelGraphic> Picture; // nullptr: the decode failed
  };
  static TStamp StampOf(const QString& Path);
  void Run(const TWorker::TRun& R);
  bool Wanted(const QString& Path) const; // under FMutex

  const size_t FMaxEntries;
  const int64_t FMaxBytes;
  mutable std::mutex FMutex;
  std::condition_variable FChanged;
  QStringList FWanted;
  std::map<QString, TEntry> FDone;
  QString FCurrent; // being decoded
  std::atomic<bool> FAbortCurrent{false};
  bool FStop = false;
  int FReadWarningAction = 0;
  uint32_t FBackGroundColor = 0;
  int FHits = 0, FMisses = 0;
  // One run for the cache's life: it sleeps on FChanged while nothing is wanted.
  TWorker FWorker;
};

// ---- the controller

// What the controller needs from the main window. Unset callbacks do nothing.
struct TDisplayHost {
  std::function<void(bool On)> SetLamp; // status panel 0
  std::function<void(int Panel, const QString& Text)> SetPanelText;
  std::function<void(bool Enabled)> SetEditItemsEnabled; // "Convert with Transmo...",
                                                         // "Edit with Orbisk..."
  std::function<bool()> AutoZoom;                        // "Auto Zoom" is down
  std::function<QStringList()> SelectedFiles;            // full paths in list order
  std::function<QStringList()> Neighbours;               // next and previous full paths
  std::function<void()> OpenPreferences;
  std::function<void(bool Visible, int Percent)> SetGauge; // status panel 4
  std::function<void(const QString& Text)> SetZoomText;    // the zoom panel
  std::function<void()> ToggleFullScreen;                  // a double click on the picture
  // The wheel in full screen: 1 for the next file, -1 for the previous one.
  std::function<void(int Direction)> StepFile;
};

class TDisplayController : public QObject {
  Q_OBJECT
public:
  // The viewers are created as children of Area; View is the area's picture view.
  TDisplayController(QWidget* Area, TPGImage* View, TDisplayHost Host, QObject* Parent = nullptr);
  ~TDisplayController() override;

  // Asks for a file to be shown. Requests are served in order, one at a time, from the event
  // loop; the remembered path and type are those of the last request at once.
  void ShowFile(const QString& Path);
  // The same, served before returning (unless a display is running, then it waits its turn).
  void ShowFileNow(const QString& Path);
  int PendingCount() const { return int(FQueue.size()); }
  QString ShownFile() const { return FShownFile; }
  QString ShownType() const { return FShownType; }
  // The visible viewer, nullptr when nothing is shown.
  QWidget* VisibleViewer() const;

  // Fit and zoom.
  void FitShown();
  void ZoomIn() { FitShown(); }
  // Shows the one selected file again (natural size unless too large or "Auto Zoom").
  void ZoomOut();
  // "Auto Zoom" has toggled itself to Down.
  void AutoZoomClick(bool Down);

  // Zoom as chosen by the user; the choice holds for the shown file and survives resizing.
  // "Actual Size": one screen pixel per picture pixel.
  void ActualSize();
  // Steps powers of the square root of 2 larger (smaller when negative), keeping the picture
  // point under About (area coordinates; the area's centre when not given) where it is.
  void ZoomBy(int Steps, std::optional<QPoint> About = std::nullopt);
  // "Fit": fitted now and again whenever the area changes size.
  void Fit();
  // The shown picture's scale (shown width over picture width), 0 when nothing is shown.
  long double Zoom() const;
  // Moves the picture by DX, DY pixels as far as it may go (only a picture larger than the area
  // moves); false when it did not move.
  bool Pan(int DX, int DY);
  // Whether the picture is larger than the area across (Horizontal) or down.
  bool CanPan(Qt::Orientation O) const;
  // "Centre pictures": a picture smaller than the area is centred rather than placed at (4, 4).
  bool CentrePictures() const { return FCentre; }
  void SetCentrePictures(bool On);
  // Full screen: the area is the whole screen, black, every picture fitted and centred with no
  // margin. Leaving puts the shown file back as it was shown before, or, when another file is
  // shown now, as a newly shown file.
  bool FullScreen() const { return FFullScreen; }
  void SetFullScreen(bool On);
  // The shown file is read and shown again (reading options changed).
  void ShowAgain();

  // Background colour of the picture area and the viewers that take it.
  QColor BackgroundColor() const;
  void SetBackgroundColor(const QColor& C, bool ByUser);
  bool BackgroundColorChanged() const { return FColorChanged; }
  // "Set Background Color" / "Set Color...": asks ColorChooser (a colour dialog by default).
  void ChooseBackgroundColor();
  std::function<QColor(const QColor& Initial)> ColorChooser;
  // The stored colour ("BG Color", -1 = none) is applied; written back only when changed.
  void LoadBackgroundColor(const TSettingsStore& Store);
  void SaveBackgroundColor(TSettingsStore& Store) const;

  // "Copy to clipboard" of the shown picture; false when there is nothing to copy.
  bool CopyToClipboard();
  // "Edit with External Editor..." for the one selected file.
  void EditWithExternalEditor();
  // Starts a program detached; false when it cannot be started.
  std::function<bool(const QString& Program, const QStringList& Args, const QString& Dir)> Launcher;
  // "Print Image": prints the files, one page per picture; returns the pages printed.
  int PrintImages(QPrinter& Printer, const QStringList& Files);

  // Stops the video and the decoding (the window closes).
  void Stop();
  // "Rotate pictures by their camera orientation" changed: pictures decoded ahead are dropped
  // and the picture in the view is read again.
  void AutoOrientChanged();

  TPGImage* View() const { return FView; }
  TAviPlayer* AviPlayer() const { return FAvi; }
  TAnimatedGifViewer* GifViewer() const { return FGif; }
  TStretchedPictureViewer* PictureViewer() const { return FPicture; }
  TAnimationViewer* AnimationViewer() const { return FAnim; }
  TDecodeAheadCache& DecodeAhead() { return FCache; }
  bool DecodeAheadEnabled = true;

signals:
  // After every display: the file, and whether it was shown.
  void Displayed(const QString& Path, bool Shown);

protected:
  bool eventFilter(QObject* O, QEvent* E) override;

private:
  enum class TZoomMode { Auto, Fitted, Chosen };
  struct TReturnPlacement {
    QString File;
    TZoomMode Mode = TZoomMode::Auto;
    QRect Geometry; // the viewer's
    QSize Area;
    long double Scale = 1; // the chosen one
  };
  void ServeQueue();
  void Display(const QString& Path);
  void Placed();
  void HookViewers();
  void Place(QWidget* V, QPoint Wanted);
  void SetScale(long double Scale, std::optional<QPointF> About);
  void ShowZoom() const;
  void Restore(const TReturnPlacement& R);
  bool MouseEvent(QObject* O, QEvent* E);
  void ShowImage(const QString& Path);
  void PlaceNatural(QWidget* W, int PicW, int PicH);
  QSize ShownContentSize() const;
  void HideAll();
  void VideoFailed();
  void Panel(int I, const QString& T) const;
  void Lamp(bool On) const;

  QPointer<QWidget> FArea;
  QPointer<TPGImage> FView;
  TDisplayHost FHost;
  TAviPlayer* FAvi = nullptr;
  TAnimatedGifViewer* FGif = nullptr;
  TStretchedPictureViewer* FPicture = nullptr;
  TAnimationViewer* FAnim = nullptr;
  std::deque<QString> FQueue;
  bool FServing = false, FScheduled = false;
  QString FShownFile, FShownType;
  QString FDisplayedFile; // the file the visible viewer holds
  bool FColorChanged = false;
  TZoomMode FMode = TZoomMode::Auto;
  long double FScale = 1; // the factor chosen (sizes are rounded to pixels)
  bool FCentre = false, FFullScreen = false;
  QColor FWindowColor; // the area's colour and size outside full screen
  QSize FWindowArea;
  std::optional<TReturnPlacement> FReturn;
  bool FDragging = false;
  QPoint FDragStart, FDragOrigin; // global pointer, viewer position at the press
  int FWheelRest = 0;             // wheel turns short of a step
  TDecodeAheadCache FCache;
};

} // namespace orbisk
