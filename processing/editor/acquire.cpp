#include "processing/editor/acquire.h"

#include "engine/formats/jpeg.h"
#include "engine/registry.h"
#include "engine/safefile.h"
#include "platform/autoorient.h"
#include "platform/codecsettings.h"
#include "platform/dialogscale.h"
#include "platform/dragfiles.h"
#include "platform/filenames.h"
#include "platform/help.h"
#include "platform/icons.h"
#include "platform/pgqt.h"
#include "platform/prompt.h"
#include "platform/settingsstore.h"
#include "platform/waitcursor.h"
#include "processing/colorfilters.h"
#include "processing/colorresolution.h"
#include "processing/editor/filterdialogeditor.h"
#include "processing/editor/barrel.h"
#include "processing/editor/colorrezwindow.h"
#include "processing/editor/editordialogs.h"
#include "processing/editor/saveoptions.h"
#include "processing/effects.h"
#include "processing/filter.h"
#include "processing/gifwriter.h"
#include "processing/transforms.h"
#include "view/pgimage.h"
#include "view/previewdialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <QWindow>

#include <algorithm>
#include <stdexcept>

namespace orbisk {

namespace {

// A picture can take part in an operation only when it has pixels.
bool HasPixels(const TPixelGraphic* G) {
  return G && !G->Empty();
}

} // namespace

// The Gaussian blur reports its passes as percentages; they go through the same pace.
class TfrmAcquire::TGaugeAdapter : public TStatusGauge {
public:
  explicit TGaugeAdapter(TfrmAcquire* W) : FW(W) {}
  void ShowGauge() override {}
  void SetGaugePosition(int Percent) override { FW->Progress(Percent, 100); }
  void HideGauge() override {}

private:
  TfrmAcquire* FW;
};

// ---- creation and placement

TfrmAcquire::TfrmAcquire(QWidget* Parent)
    : QMainWindow(Parent, Qt::Window | Qt::WindowStaysOnTopHint) {
  setObjectName("frmAcquire");
  setWindowTitle(kEditorCaption);
  FClock.start();
  PGImage1 = new TPGImage(this);
  PGImage1->setObjectName("PGImage1");
  setCentralWidget(PGImage1);
  TEditorPictureHost Host;
  Host.Picture = [this] { return PGImage1->PixelGraphic(); };
  Host.TakePicture = [this](std::unique_ptr<TPixelGraphic> G) {
    PGImage1->TakePixelGraphic(std::move(G));
  };
  Host.Changed = [this] { PGImage1->Rearrange(); };
  Host.SaveState = [this] { return std::any(TKept{FSource, FLossless}); };
  Host.RestoreState = [this](std::any& State) {
    if (auto* K = std::any_cast<TKept>(&State)) {
      FSource = K->Source;
      FLossless = K->Lossless;
    } else {
      FSource = TSource();
      FLossless.Forget();
    }
    FLossless.Rebind(PGImage1->PixelGraphicNoWait());
  };
  FModel = std::make_unique<TEditorModel>(std::move(Host));
  FModel->OnProgress = [this](TPixelGraphic*, int Step, bool&, int Max) { Progress(Step, Max); };
  FGaugeAdapter = std::make_unique<TGaugeAdapter>(this);

  StatusPanel0 = new QLabel(this);
  StatusPanel0->setObjectName("StatusPanel0");
  StatusPanel0->setFixedWidth(120);
  StatusPanel1 = new QLabel(this);
  StatusPanel1->setObjectName("StatusPanel1");
  Gauge = new QProgressBar(this);
  Gauge->setObjectName("Gauge");
  Gauge->setRange(0, 100);
  Gauge->setTextVisible(false);
  Gauge->hide();
  statusBar()->addWidget(StatusPanel0);
  statusBar()->addWidget(StatusPanel1, 1);
  statusBar()->addWidget(Gauge, 1);

  // The filter dialogs keep their settings between uses, like the operation windows.
  FFilters = new TEditorFilterDialogs(*this);
  CreateActions();
  CreateMenus();
  CreateToolBar();

  // The operation windows, in the program's creation order.
  SaveOptionsWindow = new TfrmFileSaveOptions(this);
  RotateWindow = new TfRotate(this);
  BorderWindow = new TfrmBorder(this);
  ColorRezWindow = new TfrmColorRez(this);
  ResizeWindow = new TfrmResize(this);
  EffectWindow = new TfrmNewEFX(this);
  GIFTransWindow = new TfrmGIFTrans(this);
  RedEyeWindow = new TfrmRedEyeReduction(this);
  BarrelWindow = new TfrmBarrel(this);
  BarrelWindow->OnHelp = [this](int Topic) { ShowHelp(Topic); };
  GaussianBlurWindow = new TfrmGaussianBlur(this);

  PGImage1->OnPixelGraphicChange = [this](QWidget*) { PictureChanged(); };
  PGImage1->OnPixelGraphicProgress = [this](QWidget*, int Step, int Max, bool&) {
    Progress(Step, Max);
  };
  PGImage1->OnDragOver = [this](QWidget*, const QMimeData* D, int, int) { return CanDropFiles(D); };
  PGImage1->PicBoxOnDragOver = PGImage1->OnDragOver;
  PGImage1->OnDragDrop = [this](QWidget*, const QMimeData* D, int, int) { DropFiles(D); };
  PGImage1->PicBoxOnDragDrop = PGImage1->OnDragDrop;
  PGImage1->PicBoxOnMouseDown = [this](QWidget*, Qt::MouseButton Button, Qt::KeyboardModifiers,
                                       int X, int Y) {
    if (ZoomButton->isChecked()) ZoomPictureClick(Button == Qt::RightButton, X, Y);
  };

  PrintSetup = [this](QPrinter& Printer) {
    QPrintDialog Dialog(&Printer, this);
    return Dialog.exec() == QDialog::Accepted;
  };
  GrabScreen = [](QScreen* Screen) { return Screen ? Screen->grabWindow(0).toImage() : QImage(); };
  ReadMetadata = [](const QString& Path) {
    return ReadImageMetadata(EncodeFileName(Path).toStdString());
  };

  TSettingsStore S;
  move(S.ReadInteger("AcquireLeft", 50), S.ReadInteger("AcquireTop", 50));
  // The first time the window is as wide as its tool bar, so that no button hides behind the
  // bar's extension; afterwards the size the user left it at.
  const int Width = std::max(ScaledWidth(600), ToolBar1->sizeHint().width());
  resize(std::max(S.ReadInteger("AcquireWidth", Width), 100),
         std::max(S.ReadInteger("AcquireHeight", ScaledHeight(400)), 100));
  PictureChanged();
  UpdateUndo();
}

TfrmAcquire::~TfrmAcquire() {
  // An open filter window's preview workers read the picture: they stop before it goes.
  for (auto* Dialogs : findChildren<TEditorFilterDialogs*>(Qt::FindDirectChildrenOnly))
    Dialogs->CloseWindows();
  TSettingsStore S;
  S.WriteInteger("AcquireLeft", pos().x());
  S.WriteInteger("AcquireTop", pos().y());
  S.WriteInteger("AcquireWidth", width());
  S.WriteInteger("AcquireHeight", height());
  // The view goes before the model: its picture events must not reach a half-destroyed window.
  PGImage1->OnPixelGraphicChange = nullptr;
  PGImage1->OnPixelGraphicProgress = nullptr;
}

void TfrmAcquire::CreateActions() {
  auto Make = [this](const QString& Text, auto Slot) {
    auto* A = new QAction(Text, this);
    connect(A, &QAction::triggered, this, Slot);
    return A;
  };
  // The colour filters run in place, the convolution filters make a new picture.
  auto Color = [this, Make](const QString& Text, TPreviewFilterDialog* D, const char* Name) {
    return Make(Text, [this, D, Name] { FFilters->RunColorFilter(*D, Name); });
  };
  auto Conv = [this, Make](const QString& Text, TConvFilterDialog* D, const char* Name) {
    return Make(Text, [this, D, Name] { FFilters->RunConvFilter(*D, Name); });
  };
  auto Op = [this, Make](const QString& Text, const QString& Name, auto Change) {
    return Make(Text, [this, Name, Change] { RunOperation(Name, Change); });
  };

  New1 = Make("New", [this] { NewClick(); });
  New1->setVisible(false);
  Open1 = Make("Open...", [this] { OpenClick(); });
  Open1->setShortcut(QKeySequence::Open);
  Save1 = Make("Save", [] {});
  Save1->setVisible(false);
  SaveAs1 = Make("Save As...", [this] { SaveAsClick(); });
  SaveAs1->setShortcut(QKeySequence::SaveAs);
  ExportGIF1 = Make("Export as GIF89a", [this] { ExportGIFClick(); });
  ExportGIF1->setVisible(false);
  SaveOptions1 = Make("Save Options...", [this] { SaveOptionsClick(); });
  Print1 = Make("Print", [this] { PrintClick(); });
  Print1->setShortcut(QKeySequence::Print);
  // Enabled by the main window when a scanner is there.
  Select1 = Make("Select...", [this] { SelectSourceClick(); });
  Select1->setEnabled(false);
  Acquire1 = Make("Acquire...", [this] { AcquireClick(); });
  Acquire1->setEnabled(false);
  Close1 = Make("Close", [this] { CloseClick(); });

  Undo1 = Make(kUndoCaption, [this] { UndoClick(); });
  Undo1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  Undo1->setShortcutContext(Qt::WindowShortcut);
  Redo1 = Make(kRedoCaption, [this] { RedoClick(); });
  Redo1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
  Redo1->setShortcutContext(Qt::WindowShortcut);

  Rotate180 = Make("180 Degrees", [this] { RotateClick(180); });
  Rotate90CW = Make("90 Degrees CW", [this] { RotateClick(90); });
  Rotate90CCW = Make("90 Degrees CCW", [this] { RotateClick(270); });
  RotateArbitrary = Make("Arbitrary...", [this] { RotateArbitraryClick(); });
  FlipHorizontal1 = Make("Flip Horizontal", [this] {
    Tracked(2, [this] {
      return RunOperation("Flip Horizontal", [](TPixelGraphic& G) { FlipHorizontal(G); });
    });
  });
  FlipVertical1 = Make("Flip Vertical", [this] {
    Tracked(4, [this] {
      return RunOperation("Flip Vertical", [](TPixelGraphic& G) { FlipVertical(G); });
    });
  });
  Crop1 = Make("Crop", [this] { CropClick(); });
  DropShadow1 = Op("Drop Shadow", "Drop Shadow", [](TPixelGraphic& G) { DropShadow(G); });
  WhiteBorder1 =
      Op("White Border", "White Border", [](TPixelGraphic& G) { WhiteBorderPicture(G); });
  GradientBorder1 = Make("Gradient...", [this] { GradientBorderClick(); });
  Bevel1 = Op("Bevel", "3D Bevel", [](TPixelGraphic& G) { BevelPicture(G); });
  ColorResolution1 = Make("Color Resolution...", [this] { ColorResolutionClick(); });
  Resize1 = Make("Resize...", [this] { ResizeClick(); });
  RadialAdjust1 = Make("Radial Adjustment (Barrel Distortion)...", [this] { RadialAdjustClick(); });

  TEditorFilterDialogs& F = *FFilters;
  RGB1 = Color("RGB...", F.RGBFilterDialog1, "RGB");
  CMY1 = Color("CMY...", F.CMYFilterDialog1, "CMY");
  YCbCr1 = Color("YCbCr...", F.YCbCrFilterDialog1, "YCbCr");
  HSL1 = Color("HSL...", F.HLSFilterDialog1, "HSL");
  HSV1 = Color("HSV...", F.HSVFilterDialog1, "HSV");
  BCG1 = Color("Brightness, Contrast, Gamma...", F.BCGFilterDialog1, "BCG");
  Greyscale1 = Color("Convert To Greyscale...", F.GrayScaleFilterDialog1, "Greyscale");
  Negative1 = Color("Negative...", F.NegativeFilterDialog1, "Negative");
  Sharpen1 = Conv("Sharpen...", F.SharpenFilterDialog1, "Sharpen");
  Detail1 = Conv("Detail...", F.DetailFilterDialog1, "Detail");
  Smooth1 = Conv("Smooth...", F.SmoothFilterDialog1, "Smooth");
  Blur1 = Conv("Blur...", F.BlurFilterDialog1, "Blur");
  Contour1 = Conv("Contour...", F.ContourFilterDialog1, "Contour");
  RedEye1 = Make("Red Eye Reduction...", [this] { RedEyeClick(); });
  GaussianBlur1 = Make("Gaussian Blur...", [this] { GaussianBlurClick(); });
  Emboss1 = Op("Emboss", "Emboss", [](TPixelGraphic& G) { EmbossPicture(G); });
  Fisheye1 = Op("Fisheye", "Fisheye", [](TPixelGraphic& G) { FisheyePicture(G, 1.0f); });
  Swirl1 = Op("Swirl", "Swirl", [](TPixelGraphic& G) { SwirlPicture(G, 100.0f); });
  SprayPaint1 = Make("Spray Paint", [this] { EffectClick(feSprayPaint); });
  BWNoise1 = Make("B/W Noise", [this] { EffectClick(feMonoNoise); });
  ColorNoise1 = Make("Color Noise", [this] { EffectClick(feColorNoise); });
  Mosaic1 = Make("Mosaic", [this] { EffectClick(feMosaic); });
  PencilDrawing1 = Op("Pencil Drawing", "Pencil Draw", [](TPixelGraphic& G) { PencilDrawing(G); });
  Posterize1 = Make("Posterize", [this] {
    RunReplacement("Posterize", [](const TPixelGraphic& Old, const auto& Progress) {
      return Posterize(Old, 8, Progress);
    });
  });
  Antique1 = Op("Antique", "Greyscale", [](TPixelGraphic& G) {
    TGrayScaleFilter F;
    F.RGBWeighting = false;
    ApplyFilter(G, F, G);
  });
  Antique1->setVisible(false);

  HelpTwain1 = Make("Help on acquiring an image from a TWAIN device",
                    [this] { ShowHelp(HelpTopic::Acquire); });
  HelpEditing1 = Make("Help on editing an image", [this] { ShowHelp(HelpTopic::Editor); });

  AutoSizeButton = Make("Auto Size", [this](bool Down) { AutoSizeClick(Down); });
  AutoSizeButton->setCheckable(true);
  TileButton = Make("Tile Image", [this](bool Down) { TileClick(Down); });
  TileButton->setCheckable(true);
  PointerButton = Make("Pointer", [this] { PointerClick(); });
  PointerButton->setCheckable(true);
  PointerButton->setChecked(true);
  ZoomButton = Make("Zoom In/Out", [this](bool Down) { ZoomClick(Down); });
  ZoomButton->setCheckable(true);
  SelectButton = Make("Select area for cropping", [this](bool Down) { SelectClick(Down); });
  SelectButton->setCheckable(true);
  CaptureButton = Make("Screen Capture", [this] { ScreenCaptureClick(); });
  RotateLeftButton = Make("Rotate Left", [this] { RotateClick(270); });
  RotateRightButton = Make("Rotate Right", [this] { RotateClick(90); });
  RedEyeButton = Make("Red Eye Reduction", [this] { RedEyeClick(); });

  // Icons from the desktop's theme (ours where we drew one); a button without one shows its text.
  const std::pair<QAction*, const char*> Icons[] = {{Open1, "document-open"},
                                                    {SaveAs1, "document-save-as"},
                                                    {Print1, "document-print"},
                                                    {AutoSizeButton, "zoom-fit-best"},
                                                    {ZoomButton, "zoom-in"},
                                                    {SelectButton, "edit-select-all"},
                                                    {RotateLeftButton, "object-rotate-left"},
                                                    {RotateRightButton, "object-rotate-right"},
                                                    {CaptureButton, "camera-photo"},
                                                    {Close1, "window-close"}};
  for (auto [A, Name] : Icons)
    A->setIcon(ThemeIcon(QString::fromLatin1(Name)));

  // Every command is found by its name (the tests, other windows' hosts).
  const std::pair<QObject*, const char*> Names[] = {
      {New1, "New1"},
      {Open1, "Open1"},
      {Save1, "Save1"},
      {SaveAs1, "SaveAs1"},
      {ExportGIF1, "ExportGIF1"},
      {SaveOptions1, "SaveOptions1"},
      {Print1, "Print1"},
      {Select1, "Select1"},
      {Acquire1, "Acquire1"},
      {Close1, "Close1"},
      {Undo1, "Undo1"},
      {Redo1, "Redo1"},
      {Rotate180, "Rotate180"},
      {Rotate90CW, "Rotate90CW"},
      {Rotate90CCW, "Rotate90CCW"},
      {RotateArbitrary, "RotateArbitrary"},
      {FlipHorizontal1, "FlipHorizontal1"},
      {FlipVertical1, "FlipVertical1"},
      {Crop1, "Crop1"},
      {DropShadow1, "DropShadow1"},
      {WhiteBorder1, "WhiteBorder1"},
      {GradientBorder1, "GradientBorder1"},
      {Bevel1, "Bevel1"},
      {ColorResolution1, "ColorResolution1"},
      {Resize1, "Resize1"},
      {RadialAdjust1, "RadialAdjust1"},
      {RGB1, "RGB1"},
      {CMY1, "CMY1"},
      {YCbCr1, "YCbCr1"},
      {HSL1, "HSL1"},
      {HSV1, "HSV1"},
      {BCG1, "BCG1"},
      {Greyscale1, "Greyscale1"},
      {Negative1, "Negative1"},
      {Sharpen1, "Sharpen1"},
      {Detail1, "Detail1"},
      {Smooth1, "Smooth1"},
      {Blur1, "Blur1"},
      {Contour1, "Contour1"},
      {RedEye1, "RedEye1"},
      {GaussianBlur1, "GaussianBlur1"},
      {Emboss1, "Emboss1"},
      {Fisheye1, "Fisheye1"},
      {Swirl1, "Swirl1"},
      {SprayPaint1, "SprayPaint1"},
      {BWNoise1, "BWNoise1"},
      {ColorNoise1, "ColorNoise1"},
      {Mosaic1, "Mosaic1"},
      {PencilDrawing1, "PencilDrawing1"},
      {Posterize1, "Posterize1"},
      {Antique1, "Antique1"},
      {HelpTwain1, "HelpTwain1"},
      {HelpEditing1, "HelpEditing1"},
      {AutoSizeButton, "AutoSizeButton"},
      {TileButton, "TileButton"},
      {PointerButton, "PointerButton"},
      {ZoomButton, "ZoomButton"},
      {SelectButton, "SelectButton"},
      {CaptureButton, "CaptureButton"},
      {RotateLeftButton, "RotateLeftButton"},
      {RotateRightButton, "RotateRightButton"},
      {RedEyeButton, "RedEyeButton"},
  };
  for (auto [O, Name] : Names)
    O->setObjectName(QString::fromLatin1(Name));
}

void TfrmAcquire::CreateMenus() {
  FileMenu = menuBar()->addMenu("&File");
  FileMenu->setObjectName("FileMenu");
  FileMenu->addActions({New1, Open1, Save1, SaveAs1, ExportGIF1, SaveOptions1});
  FileMenu->addSeparator();
  FileMenu->addAction(Print1);
  FileMenu->addSeparator();
  FileMenu->addActions({Select1, Acquire1});
  FileMenu->addSeparator();
  FileMenu->addAction(Close1);

  EditMenu = menuBar()->addMenu("&Edit");
  EditMenu->setObjectName("EditMenu");
  EditMenu->addAction(Undo1);
  EditMenu->addAction(Redo1);

  ImageMenu = menuBar()->addMenu("&Image");
  ImageMenu->setObjectName("ImageMenu");
  QMenu* Rotate = ImageMenu->addMenu("Rotate");
  Rotate->addActions({Rotate180, Rotate90CW, Rotate90CCW, RotateArbitrary});
  Rotate->addSeparator();
  Rotate->addActions({FlipHorizontal1, FlipVertical1});
  ImageMenu->addAction(Crop1);
  QMenu* Borders = ImageMenu->addMenu("Borders");
  Borders->addActions({DropShadow1, WhiteBorder1, GradientBorder1, Bevel1});
  ImageMenu->addSeparator();
  ImageMenu->addActions({ColorResolution1, Resize1, RadialAdjust1});

  FiltersMenu = menuBar()->addMenu("Fi&lters");
  FiltersMenu->setObjectName("FiltersMenu");
  QMenu* Color = FiltersMenu->addMenu("Color");
  Color->addActions({RGB1, CMY1, YCbCr1, HSL1, HSV1});
  FiltersMenu->addActions({BCG1, RedEye1, Greyscale1, Negative1});
  FiltersMenu->addSeparator();
  FiltersMenu->addActions({Sharpen1, Detail1, Smooth1, Blur1, Contour1, GaussianBlur1});
  FiltersMenu->addSeparator();
  FiltersMenu->addActions({Emboss1, Fisheye1, Swirl1, SprayPaint1, BWNoise1, ColorNoise1, Mosaic1,
                           PencilDrawing1, Posterize1, Antique1});

  HelpMenu = menuBar()->addMenu("&Help");
  HelpMenu->setObjectName("HelpMenu");
  HelpMenu->addActions({HelpTwain1, HelpEditing1});
}

void TfrmAcquire::CreateToolBar() {
  ToolBar1 = addToolBar("Tools");
  ToolBar1->setObjectName("ToolBar1");
  ToolBar1->setMovable(false);
  ToolBar1->addActions({Open1, SaveAs1, Print1});
  ToolBar1->addSeparator();
  ToolBar1->addActions({AutoSizeButton, TileButton, PointerButton, ZoomButton, SelectButton});
  ToolBar1->addSeparator();
  ToolBar1->addActions({RotateLeftButton, RotateRightButton, RedEyeButton, CaptureButton});
  ToolBar1->addSeparator();
  ToolBar1->addAction(Close1);
}

void TfrmAcquire::showEvent(QShowEvent* E) {
  QMainWindow::showEvent(E);
  ChangeCurrentWriteOptions([](TWriteOptions& W) { W.JPEGQuality = 80; });
  SaveOptionsWindow->SetQuality(80);
  PictureChanged();
}

// ---- the picture

TPixelGraphic* TfrmAcquire::Picture() const {
  return PGImage1->PixelGraphic();
}

QString TfrmAcquire::SizeText() const {
  const TPixelGraphic* G = PGImage1->PixelGraphicNoWait();
  if (!G) return QString();
  return QString::number(G->Width()) + " X " + QString::number(G->Height());
}

void TfrmAcquire::PictureChanged() {
  StatusPanel0->setText(SizeText());
  const bool Has = HasPixels(PGImage1->PixelGraphicNoWait());
  ImageMenu->menuAction()->setEnabled(Has);
  FiltersMenu->menuAction()->setEnabled(Has);
  if (PGImage1->PixelGraphicNoWait()) {
    if (PGImage1->Tiling() != tNone) PGImage1->SetTiling(tNone);
    TileButton->setChecked(false);
  }
}

std::unique_ptr<TPixelGraphic> TfrmAcquire::ReadPicture(const QString& Path, int& Turned,
                                                        QString* Error) {
  // The file is read into a picture of its own: a file that cannot be read leaves the picture
  // being edited as it is.
  auto G = std::make_unique<TPixelGraphic>();
  G->ReadWarningAction = PGImage1->ReadWarningAction();
  G->SetBackGroundColor(PGImage1->BackGroundColor());
  Turned = 1;
  try {
    TWaitCursor Wait;
    G->LoadFromFile(EncodeFileName(Path).toStdString(), CurrentReadOptions());
    Turned = OrientForDisplay(*G);
  } catch (const std::exception& E) {
    if (Error) *Error = QString::fromUtf8(E.what());
    return nullptr;
  }
  return G;
}

bool TfrmAcquire::OpenPicture(const QString& Path, const QString& UndoAction, QString* Error) {
  int Turned = 1;
  std::unique_ptr<TPixelGraphic> G = ReadPicture(Path, Turned, Error);
  if (!G) return false;
  FLastSaved.clear();
  if (!AskToSaveChanges()) {
    if (Error) Error->clear();
    return false;
  }
  // The changes were just saved over this very file: what it holds now is the picture.
  if (!FLastSaved.isEmpty() && QFileInfo(FLastSaved) == QFileInfo(Path)) {
    G = ReadPicture(Path, Turned, Error);
    if (!G) return false;
  }
  InstallPicture(std::move(G), UndoAction, Path, Turned, false, true);
  return true;
}

void TfrmAcquire::InstallPicture(std::unique_ptr<TPixelGraphic> G, const QString& UndoAction,
                                 const QString& Path, int Turned, bool Unsaved, bool ResetZoom) {
  if (UndoAction.isEmpty() || !FModel->HasPicture())
    FModel->ClearUndo();
  else
    FModel->TakeSnapshot(UndoAction, true);
  if (ResetZoom) PGImage1->SetZoomFactor(1.0L);
  PGImage1->SetSelection(false);
  PGImage1->TakePixelGraphic(std::move(G));
  if (Path.isEmpty())
    FLossless.Forget();
  else
    FLossless.Loaded(Path, Turned, PGImage1->PixelGraphicNoWait());
  FSource = TSource();
  FSource.SaveName = Path;
  if (!Path.isEmpty() && ReadMetadata) FSource.Metadata = ReadMetadata(Path);
  FitMetadataToViewPixels(FSource.Metadata);
  FSource.Upright = Turned != 1;
  FModel->SetModified(Unsaved);
  UpdateUndo();
}

bool TfrmAcquire::AskToSaveChanges() {
  if (!FModel->Modified() || !FModel->HasPicture()) return true;
  const QString Name =
      FSource.SaveName.isEmpty() ? QString(kUntitled) : QFileInfo(FSource.SaveName).fileName();
  switch (AskYesNoCancel(QString(kSaveChangesTo).arg(Name), this)) {
  case TPrompt::paNo:
    return true;
  case TPrompt::paCancel:
    return false;
  case TPrompt::paYes:
    break;
  }
  // Its own file when the engine can write that type, else the user picks one.
  bool Writable = !FSource.SaveName.isEmpty();
  if (Writable) {
    try {
      FindWriter(FileExtension(EncodeFileName(FSource.SaveName).toStdString()));
    } catch (const std::exception&) {
      Writable = false;
    }
  }
  return Writable ? SaveTo(FSource.SaveName) : SaveAsClick();
}

bool TfrmAcquire::EditFile(const QString& Path) {
  QString Error;
  if (!OpenPicture(Path, QString(), &Error)) {
    if (!Error.isEmpty()) {
      ShowMessage(kCanNotEdit + Path, this);
    } else {
      show(); // cancelled: the picture with its changes is still here
      raise();
    }
    return false;
  }
  show();
  raise();
  activateWindow();
  return true;
}

bool TfrmAcquire::LoadAcquiredFile(const QString& Path) {
  int Turned = 1;
  std::unique_ptr<TPixelGraphic> G = ReadPicture(Path, Turned, nullptr);
  if (!G) {
    ShowMessage("Unable to aquire image", this);
    return false;
  }
  // A temporary file's name is no name to keep, nor its blocks.
  InstallPicture(std::move(G), "Acquire", QString(), 1, true, true);
  return true;
}

void TfrmAcquire::TakeAcquiredPicture(std::unique_ptr<TPixelGraphic> Picture) {
  if (!Picture) return;
  InstallPicture(std::move(Picture), "Acquire", QString(), 1, true, true);
}

bool TfrmAcquire::CanDropFiles(const QMimeData* Data) const {
  return DraggedLocalFiles(Data).size() == 1;
}

void TfrmAcquire::DropFiles(const QMimeData* Data) {
  const QStringList Files = DraggedLocalFiles(Data);
  if (Files.size() != 1) return;
  const QString Path = Files.first();
  QString Error;
  if (!IsEditablePicture(Path) || (!OpenPicture(Path, "Drop", &Error) && !Error.isEmpty()))
    ShowMessage(kCantEdit + Path, this);
}

// ---- running operations

void TfrmAcquire::BeginOperation() {
  if (FOperationDepth++ > 0) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  FPace.Start();
  FGaugeUpdates = 0;
  Gauge->setValue(0);
  StatusPanel1->hide();
  Gauge->show();
}

void TfrmAcquire::EndOperation() {
  if (--FOperationDepth > 0) return;
  Gauge->hide();
  StatusPanel1->show();
  QApplication::restoreOverrideCursor();
}

void TfrmAcquire::Progress(int Row, int LastRow) {
  if (FOperationDepth == 0) return;
  const int64_t Now = FClock.elapsed() + TProgressPace::kIntervalMs + 1; // the first row shows
  int Percent = 0;
  if (FPace.Pass(Row, LastRow, Now, Percent)) SetGaugePercent(Percent);
}

void TfrmAcquire::SetGaugePercent(int Percent) {
  Gauge->setValue(std::clamp(Percent, 0, 100));
  ++FGaugeUpdates;
  // The operation holds the event loop: the gauge is painted at once.
  if (Gauge->isVisible()) Gauge->repaint();
}

void TfrmAcquire::UpdateUndo() {
  Undo1->setText(FModel->UndoCaption());
  Undo1->setEnabled(FModel->CanUndo());
  Redo1->setText(FModel->RedoCaption());
  Redo1->setEnabled(FModel->CanRedo());
}

bool TfrmAcquire::RunOperation(const QString& ActionName,
                               const std::function<void(TPixelGraphic& Picture)>& Change) {
  return Tracked(0, [&] {
    return RunStep([&](QString* Error) { return FModel->RunOperation(ActionName, Change, Error); });
  });
}

bool TfrmAcquire::RunReplacement(const QString& ActionName, const TEditorModel::TMake& Make) {
  return Tracked(0, [&] {
    return RunStep([&](QString* Error) { return FModel->RunReplacement(ActionName, Make, Error); });
  });
}

bool TfrmAcquire::Tracked(int Turn, const std::function<bool()>& Run) {
  const TLosslessJPEGTracker Before = FLossless;
  const int Snapshots = FModel->SnapshotCount();
  const bool Ok = Run();
  // Nested calls (a turn runs through RunOperation) settle in the outermost one.
  if (FModel->SnapshotCount() == Snapshots) return Ok;
  FLossless = Before;
  if (Ok && Turn != 0) FSource.Turned = true;
  if (Ok && Turn != 0)
    FLossless.Turned(Turn, PGImage1->PixelGraphicNoWait());
  else
    FLossless.Forget();
  return Ok;
}

bool TfrmAcquire::RunStep(const std::function<bool(QString* Error)>& Step) {
  if (!FModel->HasPicture() || FOperationDepth > 0) return false;
  QString Error;
  bool Ok;
  BeginOperation();
  try {
    Ok = Step(&Error);
  } catch (...) {
    EndOperation();
    throw;
  }
  EndOperation();
  UpdateUndo();
  if (!Ok && !Error.isEmpty()) ShowMessage(Error, this);
  return Ok;
}

int TfrmAcquire::RunDialog(QDialog& D) {
  return ExecDialog ? ExecDialog(D) : D.exec();
}

bool TfrmAcquire::RunFileDialog(TPGOpenDialog& D) {
  return ExecFileDialog ? ExecFileDialog(D) : D.Execute();
}

QString TfrmAcquire::StartFolder() const {
  return CurrentFolder ? CurrentFolder() : QString();
}

bool TfrmAcquire::SelectionRect(int& Left, int& Top, int& Width, int& Height) const {
  const TPixelGraphic* G = PGImage1->PixelGraphicNoWait();
  if (!PGImage1->Selection() || !HasPixels(G)) return false;
  // Only the part of the selection that covers the picture counts.
  const int L = std::max(PGImage1->SelectionLeft(), 0);
  const int T = std::max(PGImage1->SelectionTop(), 0);
  const int R = std::min<int64_t>(int64_t(PGImage1->SelectionLeft()) + PGImage1->SelectionWidth(),
                                  G->Width());
  const int B = std::min<int64_t>(int64_t(PGImage1->SelectionTop()) + PGImage1->SelectionHeight(),
                                  G->Height());
  if (R <= L || B <= T) return false;
  Left = L, Top = T, Width = R - L, Height = B - T;
  return true;
}

// ---- file menu

void TfrmAcquire::NewClick() {
  if (!AskToSaveChanges()) return;
  FLossless.Forget();
  FSource = TSource();
  FModel->SetModified(false);
  PGImage1->SetSelection(false);
  PGImage1->TakePixelGraphic(nullptr);
}

void TfrmAcquire::OpenClick() {
  PGImage1->SetSelection(false);
  if (!FOpenDialog) FOpenDialog = new TPGOpenDialog(this);
  FOpenDialog->UseDefaultFilter = false;
  FOpenDialog->Filter = EditorOpenFilter();
  FOpenDialog->InitialDir = StartFolder();
  if (!RunFileDialog(*FOpenDialog)) return;
  // Another file: the undo must not bring back the previous file's picture under this name.
  QString Error;
  if (!OpenPicture(FOpenDialog->FileName, QString(), &Error) && !Error.isEmpty())
    ShowMessage(Error, this);
}

bool TfrmAcquire::SaveAsClick() {
  if (!FModel->HasPicture()) return false;
  if (!FSaveDialog) FSaveDialog = new TPGSaveDialog(this);
  FSaveDialog->Title = "Orbisk Save File";
  FSaveDialog->SetOptions(FSaveDialog->Options() | ofOverwritePrompt);
  FSaveDialog->StretchMode = smFast;
  FSaveDialog->UseDefaultFilter = false;
  FSaveDialog->Filter = EditorSaveFilter();
  FSaveDialog->FileName = FSource.SaveName;
  FSaveDialog->InitialDir = StartFolder();
  if (!RunFileDialog(*FSaveDialog)) return false;
  return SaveTo(FSaveDialog->FileName);
}

bool TfrmAcquire::SaveTo(const QString& Name) {
  TPixelGraphic* G = PGImage1->PixelGraphic();
  if (!HasPixels(G)) return false;
  try {
    TWaitCursor Wait;
    // A JPEG changed only by right-angle turns is written from its DCT coefficients; the
    // engine writes a temporary file and renames it over the target when it is whole.
    std::optional<std::vector<uint8_t>> Lossless = FLossless.LosslessFile(*G, Name);
    FLastSaveLossless = false;
    if (Lossless) {
      WriteFileSafely(EncodeFileName(Name).toStdString(), Lossless->data(), Lossless->size(),
                      TCommitMode::cmReplace);
      FLastSaveLossless = true;
      FLossless.Loaded(Name, 1, G);
    } else {
      // The opened file's camera data, profile and XMP go into the new file, fitted to the
      // pixels as they are now; the picture holds them only while it is written.
      struct TDrop {
        TPixelGraphic* G;
        ~TDrop() { G->Metadata = TImageMetadata(); }
      } Drop{G};
      G->Metadata = FSource.Metadata;
      FitMetadataToPicture(G->Metadata, G->Width(), G->Height(), FSource.Upright || FSource.Turned);
      PGImage1->SaveToFile(Name);
    }
    FSource.SaveName = Name;
    FLastSaved = Name;
    // Undoing or redoing a change of this picture gives it back under the name it is saved as
    // now.
    FModel->Saved([&Name](std::any& State) {
      if (auto* K = std::any_cast<TKept>(&State)) K->Source.SaveName = Name;
    });
  } catch (const std::exception& E) {
    ShowMessage(QString::fromUtf8(E.what()), this);
    return false;
  }
  emit FilesChanged();
  return true;
}

void TfrmAcquire::CloseClick() {
  if (!AskToSaveChanges()) return;
  // Not saved on purpose: the window keeps showing the picture, but asks no more about it.
  FModel->SetModified(false);
  hide();
}

void TfrmAcquire::closeEvent(QCloseEvent* E) {
  if (!AskToSaveChanges()) {
    E->ignore();
    return;
  }
  FModel->SetModified(false);
  QMainWindow::closeEvent(E);
}

void TfrmAcquire::ShowHelp(int Topic) {
  if (OnHelp)
    OnHelp(Topic);
  else
    ShowHelpTopic(Topic, this);
}

void TfrmAcquire::ExportGIFClick() {
  TPixelGraphic* G = Picture();
  if (!HasPixels(G)) return;
  if (G->BitCountNum() == 3) ShowMessage(kGIFColorsMessage, this);
  std::unique_ptr<TPixelGraphic> Out;
  try {
    TWaitCursor Wait;
    Out = PrepareGIFExport(*G);
  } catch (const std::exception& E) {
    ShowMessage(QString::fromUtf8(E.what()), this);
    return;
  }
  if (!Out) return;
  QFileDialog D(this, "GIF89a Export", StartFolder(), "GIF (*.gif)");
  D.setOption(QFileDialog::DontUseNativeDialog);
  D.setAcceptMode(QFileDialog::AcceptSave);
  D.setDefaultSuffix("gif");
  QString Name = ExecGIFDialog
                     ? ExecGIFDialog(D)
                     : (D.exec() == QDialog::Accepted ? D.selectedFiles().value(0) : QString());
  if (Name.isEmpty()) return;
  if (QFileInfo(Name).suffix().isEmpty()) Name += ".gif";
  int Code = 0;
  bool Ok;
  {
    TWaitCursor Wait;
    Ok = WriteGIF(EncodeFileName(Name).toStdString(), *Out, false, 0, false, &Code);
  }
  if (Ok) {
    emit FilesChanged();
  } else {
    ShowMessage(kGIFErrorPrefix + QString::number(Code) + ")", this);
  }
}

void TfrmAcquire::SaveOptionsClick() {
  SaveOptionsWindow->ExecDialog = ExecDialog;
  SaveOptionsWindow->Execute();
}

void TfrmAcquire::PrintClick() {
  TPixelGraphic* G = Picture();
  if (!HasPixels(G)) return;
  QPrinter Printer;
  if (PrintSetup && !PrintSetup(Printer)) return;
  TWaitCursor Wait;
  PrintPixelGraphic(*G, Printer, false, true, this, "Orbisk");
}

void TfrmAcquire::UndoClick() {
  if (FOperationDepth > 0) return;
  FModel->Undo();
  UpdateUndo();
}

void TfrmAcquire::RedoClick() {
  if (FOperationDepth > 0) return;
  FModel->Redo();
  UpdateUndo();
}

// ---- image menu

void TfrmAcquire::RotateClick(long double Angle) {
  // The turn's orientation code for lossless saving: 90 clockwise is 6, 270 is 8, 180 is 3.
  const int Turn = Angle == 90 ? 6 : Angle == 270 ? 8 : Angle == 180 ? 3 : 0;
  if (Angle != 90 && Angle != 270) {
    Tracked(Turn, [&] {
      return RunOperation("Rotate", [Angle](TPixelGraphic& G) { RotatePicture(G, Angle); });
    });
    return;
  }
  // A quarter turn is made into a new picture that the view takes over, which saves copying the
  // turned pixels back into the old one.
  Tracked(Turn, [&] {
    return RunReplacement("Rotate", [Angle](const TPixelGraphic& Old, const auto& Progress) {
      auto New = std::make_unique<TPixelGraphic>();
      New->SetBackGroundColor(Old.BackGroundColor());
      New->Dither = Old.Dither;
      New->SetRGBWeighting(Old.RGBWeighting());
      New->StretchMode = Old.StretchMode;
      New->OnProgress = Progress;
      RotateQuarterTurns(*New, Old, Angle == 90 ? 1 : 3);
      return New;
    });
  });
}

void TfrmAcquire::RotateArbitraryClick() {
  if (!FModel->HasPicture() || RunDialog(*RotateWindow) != QDialog::Accepted) return;
  long double Angle = 0;
  const bool Valid = RotateWindow->Angle(Angle);
  const QString Text = RotateWindow->AngleText();
  if (Valid) FLastAngle = Angle;
  if (RunOperation("Rotate", [Valid, Angle, Text](TPixelGraphic& G) {
        if (!Valid)
          throw std::runtime_error("'" + Text.toStdString() +
                                   "' is not a valid floating point value");
        RotatePicture(G, Angle);
      }))
    FSource.Turned = true;
}

void TfrmAcquire::CropClick() {
  if (!FModel->HasPicture()) return;
  int L, T, W, H;
  if (!SelectionRect(L, T, W, H)) {
    ShowMessage(kNeedSelection, this);
    return;
  }
  if (RunOperation("Crop", [=](TPixelGraphic& G) { CropPicture(G, L, T, W, H); }))
    PGImage1->SetSelection(false);
}

void TfrmAcquire::GradientBorderClick() {
  if (!FModel->HasPicture() || RunDialog(*BorderWindow) != QDialog::Accepted) return;
  const bool Oval = BorderWindow->Oval();
  const int Width = BorderWindow->BorderWidth();
  const TRGB Color = BorderWindow->Color();
  RunOperation("Gradient Border",
               [=](TPixelGraphic& G) { GradientBorderPicture(G, Oval, Width, Color); });
}

void TfrmAcquire::ColorResolutionClick() {
  if (!FModel->HasPicture() || RunDialog(*ColorRezWindow) != QDialog::Accepted) return;
  if (!ColorRezWindow->Model().CanConfirm()) return;
  const TColorResolutionChoice Choice = ColorRezWindow->Choice();
  RunReplacement("Color Resolution", [Choice](const TPixelGraphic& Old, const auto& Progress) {
    return ApplyColorResolution(Old, Choice, Progress);
  });
}

void TfrmAcquire::ResizeClick() {
  TPixelGraphic* G = Picture();
  if (!HasPixels(G)) return;
  ResizeWindow->Setup(G->Width(), G->Height());
  if (RunDialog(*ResizeWindow) != QDialog::Accepted) return;
  const int W = ResizeWindow->NewWidth(), H = ResizeWindow->NewHeight();
  RunOperation("Resize", [W, H](TPixelGraphic& Picture) { ResizePicture(Picture, W, H); });
}

void TfrmAcquire::RadialAdjustClick() {
  if (!FModel->HasPicture()) return;
  BarrelWindow->Setup(PGImage1->CopyPixelGraphic());
  if (RunDialog(*BarrelWindow) != QDialog::Accepted) return;
  if (!BarrelWindow->HasResult()) {
    ShowMessage(kRadialNotApplied, this);
    return;
  }
  RunReplacement("Radial Adjust",
                 [this](const TPixelGraphic&, const auto&) { return BarrelWindow->TakeResult(); });
}

// ---- filters menu

void TfrmAcquire::RedEyeClick() {
  TPixelGraphic* G = Picture();
  if (!HasPixels(G)) return;
  int L, T, W, H;
  if (!SelectionRect(L, T, W, H)) {
    ShowMessage(kNeedEyeSelection, this);
    return;
  }
  TPixelGraphic Area;
  Area.SetSize(W, H, 3);
  Area.CopyRect(0, 0, *G, L, T, W, H);
  RedEyeWindow->Setup(Area);
  if (RunDialog(*RedEyeWindow) != QDialog::Accepted) return;
  const int Position = RedEyeWindow->Position();
  RunOperation("Red Eye Reduction",
               [=](TPixelGraphic& Picture) { RedEyeReduce(Picture, L, T, W, H, Position); });
}

void TfrmAcquire::GaussianBlurClick() {
  if (!FModel->HasPicture() || RunDialog(*GaussianBlurWindow) != QDialog::Accepted) return;
  const float Radius = GaussianBlurWindow->Radius();
  RunOperation("Gaussian Blur",
               [this, Radius](TPixelGraphic& G) { GaussianBlur(G, FGaugeAdapter.get(), Radius); });
}

void TfrmAcquire::EffectClick(int Effect) {
  TPixelGraphic* G = Picture();
  if (!HasPixels(G)) return;
  const auto E = static_cast<TFastEffect>(Effect);
  const QString Name = E == feSprayPaint   ? "Spray Paint"
                       : E == feMonoNoise  ? "Monochrome Noise"
                       : E == feColorNoise ? "Color Noise"
                                           : "Mosaic";
  EffectWindow->Setup(E, Name, *G);
  if (RunDialog(*EffectWindow) != QDialog::Accepted) return;
  const int Amount = EffectWindow->Amount();
  RunOperation(Name,
               [E, Amount](TPixelGraphic& Picture) { FastEffectPicture(Picture, E, Amount); });
}

// ---- tools

void TfrmAcquire::AutoSizeClick(bool Down) {
  AutoSizeButton->setChecked(Down);
  if (Down) {
    ZoomButton->setChecked(false);
    SelectButton->setChecked(false);
    PointerButton->setChecked(true);
    PGImage1->SetActionMode(amMoveImage);
    PGImage1->SetPicBoxCursor(QCursor());
    PGImage1->SetStretch(sAlwaysKAR);
  } else {
    PGImage1->SetStretch(sNeverKAR);
  }
}

void TfrmAcquire::TileClick(bool Down) {
  TileButton->setChecked(Down);
  PGImage1->SetTiling(Down ? tRepeat : tNone);
}

void TfrmAcquire::PointerClick() {
  PGImage1->SetSelection(false);
  ZoomButton->setChecked(false);
  SelectButton->setChecked(false);
  PointerMode();
}

void TfrmAcquire::PointerMode() {
  PointerButton->setChecked(true);
  PGImage1->SetActionMode(amMoveImage);
  PGImage1->SetPicBoxCursor(QCursor());
  PGImage1->SetStretch(AutoSizeButton->isChecked() ? sAlwaysKAR : sNeverKAR);
}

void TfrmAcquire::ZoomClick(bool Down) {
  PGImage1->SetSelection(false);
  ZoomButton->setChecked(Down);
  if (Down) {
    // Zooming goes on from the scale the picture is shown at.
    const long double Shown = PGImage1->EffectiveZoom();
    const int H = PGImage1->horizontalScrollBar()->value(),
              V = PGImage1->verticalScrollBar()->value();
    AutoSizeButton->setChecked(false);
    PointerButton->setChecked(false);
    SelectButton->setChecked(false);
    PGImage1->SetActionMode(amNone);
    if (Shown > 0) PGImage1->SetZoomFactor(Shown);
    PGImage1->SetStretch(sZoomKAR);
    PGImage1->horizontalScrollBar()->setValue(H);
    PGImage1->verticalScrollBar()->setValue(V);
    PGImage1->SetPicBoxCursor(QCursor(Qt::CrossCursor));
  } else {
    PointerMode();
  }
}

void TfrmAcquire::SelectClick(bool Down) {
  SelectButton->setChecked(Down);
  if (Down) {
    if (ZoomButton->isChecked()) ZoomClick(false);
    PointerButton->setChecked(false);
    PGImage1->SetActionMode(amCreateSelection);
  } else {
    PGImage1->SetSelection(false);
    PointerButton->setChecked(true);
    PGImage1->SetActionMode(amMoveImage);
  }
}

void TfrmAcquire::ZoomPictureClick(bool RightButton, int X, int Y) {
  const long double Old = PGImage1->ZoomFactor();
  const long double New = ZoomClickFactor(Old, RightButton);
  if (New == Old) return;
  PGImage1->SetZoomFactor(New);
  QScrollBar* HBar = PGImage1->horizontalScrollBar();
  QScrollBar* VBar = PGImage1->verticalScrollBar();
  if (HBar->maximum() > 0)
    HBar->setValue(ZoomScrollPosition(X, Old, New, PGImage1->viewport()->width()));
  if (VBar->maximum() > 0)
    VBar->setValue(ZoomScrollPosition(Y, Old, New, PGImage1->viewport()->height()));
}

void TfrmAcquire::ScreenCaptureClick() {
  QScreen* Screen = nullptr;
  if (windowHandle()) Screen = windowHandle()->screen();
  if (!Screen) Screen = QGuiApplication::screenAt(geometry().center());
  if (!Screen) Screen = QGuiApplication::primaryScreen();
  QImage Shot;
  {
    TWaitCursor Wait;
    if (GrabScreen) Shot = GrabScreen(Screen);
  }
  bool AllBlack = !Shot.isNull();
  if (AllBlack && QGuiApplication::platformName().startsWith("wayland")) {
    // Compositors that refuse the grab hand out a black picture.
    const QImage Rgb = Shot.convertToFormat(QImage::Format_RGB32);
    for (int Y = 0; Y < Rgb.height() && AllBlack; ++Y) {
      const QRgb* Row = reinterpret_cast<const QRgb*>(Rgb.constScanLine(Y));
      for (int X = 0; X < Rgb.width(); ++X)
        if ((Row[X] & 0xFFFFFF) != 0) {
          AllBlack = false;
          break;
        }
    }
  } else {
    AllBlack = false;
  }
  if (Shot.isNull() || AllBlack) {
    ShowMessage(kScreenCaptureFailed, this);
    return;
  }
  if (!AskToSaveChanges()) return;
  auto G = std::make_unique<TPixelGraphic>();
  try {
    TWaitCursor Wait;
    const QImage Rgb = Shot.convertToFormat(QImage::Format_RGB32);
    AssignFromQImage(*G, Rgb);
    const int Bits = CaptureBitCount(ScreenDepth());
    if (Bits != 24) {
      TColorResolutionChoice C;
      C.BitCount = Bits;
      C.Kind = Bits == 4 ? pSys16 : pUnknown;
      C.Colors = 256;
      G = ApplyColorResolution(*G, C);
    }
  } catch (const std::exception& E) {
    ShowMessage(QString::fromUtf8(E.what()), this);
    return;
  }
  if (!G) return;
  // A capture is a picture no file holds yet; the one it replaces stays for Undo.
  InstallPicture(std::move(G), "Screen Capture", QString(), 1, true, false);
}

} // namespace orbisk
