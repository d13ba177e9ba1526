#include "albums/albumwindow.h"
#include "platform/waitcursor.h"

#include "albums/aprefs.h"
#include "albums/pubwizard.h"
#include "engine/pixelgraphic.h"
#include "engine/picturenames.h"
#include "engine/registry.h"
#include "platform/dialogscale.h"
#include "platform/filenames.h"
#include "thumbnails/tesslyviewer.h"
#include "platform/dragfiles.h"
#include "platform/prompt.h"
#include "platform/settingsstore.h"
#include "view/fileprop.h"
#include "view/pgimage.h"
#include "view/viewlayout.h"

#include <QAction>
#include <algorithm>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLayout>
#include <QShowEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace orbisk {

namespace {

// The folder of the album last opened or saved, kept between runs for the file dialogs.
constexpr const char* kLastAlbumFolderValue = "AlbumFolder";

// The list's small picture of a rotation: an arrow pointing where the picture's top goes.
QIcon RotationIcon(int Rotation) {
  QPixmap Pm(16, 16);
  Pm.fill(Qt::transparent);
  QPainter P(&Pm);
  P.setRenderHint(QPainter::Antialiasing);
  P.translate(8, 8);
  P.rotate(90.0 * Rotation);
  P.setPen(Qt::NoPen);
  P.setBrush(Rotation == 0 ? QColor(90, 90, 90) : QColor(200, 60, 20));
  const QPointF Arrow[] = {{0, -7}, {6, 0}, {2, 0}, {2, 7}, {-2, 7}, {-2, 0}, {-6, 0}};
  P.drawPolygon(Arrow, 7);
  return QIcon(Pm);
}

// The picture of an entry, turned by its rotation, in a viewer window of its own: the client
// area is the picture plus 4 pixels each way when the screen has room for it, otherwise the size
// the view fits the picture to (aspect ratio kept) plus 4.
void ShowEntryViewer(QWidget* Owner, const QString& Path, int Rotation) {
  auto Pic = std::make_unique<TPixelGraphic>();
  try {
    LoadEntryPicture({Path, QString(), Rotation}, *Pic);
  } catch (const EAlbumPicture& E) {
    ShowMessage(E.what(), Owner);
    return;
  } catch (const std::exception&) {
    ShowMessage(kCantLoadGraphic + Path, Owner);
    return;
  }
  auto* W = new TfrmTessly();
  W->setWindowTitle(DisplayFileName(Path));
  W->View()->setMinimumSize(1, 1); // small pictures get a small window
  const int PW = Pic->Width(), PH = Pic->Height();
  W->View()->TakePixelGraphic(std::move(Pic));
  const QSize Screen = QGuiApplication::primaryScreen()
                           ? QGuiApplication::primaryScreen()->availableGeometry().size()
                           : QSize(1024, 768);
  constexpr int kMargin = 4;
  if (PW < Screen.width() && PH < Screen.height()) {
    W->resize(PW + kMargin, PH + kMargin);
  } else {
    // The displayed size: the view's fit of the picture at the window's default size.
    const int Border = W->View()->BorderWidth();
    const TBoxSize Box = StretchBox(W->View()->Stretch(), PW, PH, W->width() - 2 * Border,
                                    W->height() - 2 * Border, 0, 0, 1.0L);
    W->resize(std::max(Box.Width, 1) + kMargin, std::max(Box.Height, 1) + kMargin);
  }
  W->show();
}

} // namespace

bool IsAlbumPictureFile(const QString& Path) {
  return IsReadablePictureName(QFile::encodeName(Path).toStdString());
}

// ---- caption editor

TfrmEdit::TfrmEdit(QWidget* Parent) : QDialog(Parent) {
  setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
  auto* L = new QVBoxLayout(this);
  L->setContentsMargins(0, 0, 0, 0);
  Edit = new QLineEdit(this);
  Edit->setFrame(false);
  Edit->setStyleSheet("background: white;");
  L->addWidget(Edit);
  resize(ScaledSize(kWidth, kHeight));
  connect(Edit, &QLineEdit::returnPressed, this, &QDialog::accept);
}

// ---- window

TfAlbum::TfAlbum(QWidget* Parent) : QMainWindow(Parent) {
  setWindowTitle("Orbisk Folvana Maker");
  setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                 Qt::WindowStaysOnTopHint);
  FPrefsDialog = new TfAPrefs(FPrefs, this);

  auto* Central = new QWidget(this);
  auto* L = new QVBoxLayout(Central);
  L->setContentsMargins(0, 0, 0, 0);
  ListView1 = new QTreeWidget(Central);
  ListView1->setColumnCount(2);
  ListView1->setHeaderLabels({"Filename", "Caption"});
  ListView1->setColumnWidth(0, ScaledWidth(220));
  ListView1->setColumnWidth(1, ScaledWidth(240));
  ListView1->setRootIsDecorated(false);
  ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
  ListView1->setAcceptDrops(false); // drops are taken by the window
  ListView1->viewport()->setAcceptDrops(false);
  L->addWidget(ListView1);
  ProgressBar1 = new QProgressBar(Central);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setMaximumHeight(12);
  L->addWidget(ProgressBar1);
  setCentralWidget(Central);
  StatusPanel0 = new QLabel;
  StatusPanel0->setFixedWidth(300);
  StatusPanel1 = new QLabel("0");
  StatusPanel1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  statusBar()->addWidget(StatusPanel0);
  statusBar()->addWidget(StatusPanel1, 1);
  statusBar()->setSizeGripEnabled(false);
  setAcceptDrops(true);

  CreateActions();
  FDoc.CaptionFont.Color = kWindowTextColor; // until New or an album file sets a colour
  FDoc.OnChange = [this] { RefreshList(); };

  AskOpenFileName = [this] {
    QFileDialog D(this, "Orbisk Open Album", AlbumDialogFolder(OpenFolder), "Album files (*.alb)");
    D.setOption(QFileDialog::DontUseNativeDialog);
    D.setFileMode(QFileDialog::ExistingFile);
    if (D.exec() != QDialog::Accepted || D.selectedFiles().isEmpty()) return QString();
    OpenFolder = D.directory().absolutePath();
    return D.selectedFiles().first();
  };
  AskSaveFileName = [this] {
    QFileDialog D(this, "Orbisk Save Album", AlbumDialogFolder(SaveFolder), "Album files (*.alb)");
    D.setOption(QFileDialog::DontUseNativeDialog);
    D.setAcceptMode(QFileDialog::AcceptSave);
    D.setDefaultSuffix("alb");
    if (FDoc.HasFileName()) D.selectFile(FDoc.FileName);
    if (D.exec() != QDialog::Accepted || D.selectedFiles().isEmpty()) return QString();
    SaveFolder = D.directory().absolutePath();
    return D.selectedFiles().first();
  };
  ShowPreview = [this](QPrinter& P) {
    QPrintPreviewDialog D(&P, this);
    D.setWindowTitle("Orbisk Folvana Preview");
    connect(&D, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* Pr) { PrintPages(*Pr); });
    D.showMaximized();
    D.exec();
  };
  // The described size grown with this desktop's fonts, and wide enough for the whole tool bar.
  QSize Size = ScaledSize(kWidth, kHeight);
  Size.setWidth(std::max(Size.width(), ToolBar1->sizeHint().width()));
  setFixedSize(Size);
  if (QScreen* S = QGuiApplication::primaryScreen())
    move(S->availableGeometry().center() - rect().center());
  UpdateCount();
}

TfAlbum::~TfAlbum() = default;

void TfAlbum::CreateActions() {
  auto Make = [this](const QString& Text, auto Slot) {
    auto* A = new QAction(Text, this);
    connect(A, &QAction::triggered, this, Slot);
    return A;
  };
  New1 = Make("New", [this] { NewClick(); });
  Open1 = Make("Open", [this] { OpenClick(); });
  Save1 = Make("Save", [this] { SaveClick(); });
  SaveAs1 = Make("Save as...", [this] { SaveAsClick(); });
  SelectPrinter1 = Make("Select Printer...", [this] { SelectPrinterClick(); });
  PageSetup1 = Make("Page Setup...", [this] { PageSetupClick(); });
  Preview1 = Make("Preview Current Album", [this] { PreviewClick(); });
  Close1 = Make("Close", [this] { close(); });
  ClearAll1 = Make("Clear All Entries", [this] { ClearAllClick(); });
  ImportAll1 = Make("Import All Files", [this] { ImportAllClick(); });
  FrameSetup1 = Make("Frame Setup...", [this] { FrameSetupClick(); });

  FileMenu = menuBar()->addMenu("File");
  FileMenu->addActions({New1, Open1, Save1, SaveAs1});
  FileMenu->addSeparator();
  FileMenu->addActions({SelectPrinter1, PageSetup1, Preview1});
  FileMenu->addSeparator();
  FileMenu->addAction(Close1);
  EditMenu = menuBar()->addMenu("Edit");
  EditMenu->addActions({ClearAll1, ImportAll1, FrameSetup1});

  // Tool bar: the texts are the hints.
  auto Button = [&](const QString& Hint, const QString& Short, auto Slot) {
    QAction* A = Make(Short, Slot);
    A->setToolTip(Hint);
    A->setStatusTip(Hint);
    return A;
  };
  PageSetupButton = Button("Page Setup", "Setup", [this] { PageSetupClick(); });
  PreviewButton = Button("Preview", "Preview", [this] { PreviewClick(); });
  ClearListButton = Button("Clear List", "Clear", [this] { ClearAllClick(); });
  ImportButton = Button("Import Directory", "Import", [this] { ImportAllClick(); });
  FrameSetupButton = Button("Frame Setup", "Frames", [this] { FrameSetupClick(); });
  MoveUpButton = Button("Move Up", "Up", [this] { MoveUpClick(); });
  MoveDownButton = Button("Move Down", "Down", [this] { MoveDownClick(); });
  RotateCWButton = Button("Rotate Clockwise", "CW", [this] { RotateClockwiseClick(); });
  RotateCCWButton =
      Button("Rotate Counter Clockwise", "CCW", [this] { RotateCounterClockwiseClick(); });
  ContactSheetButton = Button("Contact Sheet", "Sheet", [this] { ContactSheetClick(); });
  WebAlbumButton = Button("Create Web Photo Album", "Web", [this] { CreateWebAlbumClick(); });
  ToolBar1 = addToolBar("Tools");
  ToolBar1->setMovable(false);
  ToolBar1->addActions(
      {PageSetupButton, PreviewButton, ClearListButton, ImportButton, FrameSetupButton});
  ToolBar1->addSeparator();
  ToolBar1->addActions({MoveUpButton, MoveDownButton, RotateCWButton, RotateCCWButton});
  ToolBar1->addSeparator();
  ToolBar1->addActions({ContactSheetButton, WebAlbumButton});

  PreviewAlbum2 = Make("Preview Album...", [this] { PreviewClick(); });
  DeleteAll2 = Make("Delete All", [this] { ClearAllClick(); });
  FrameSetup2 = Make("Frame Setup...", [this] { FrameSetupClick(); });
  ViewImage2 = Make("View Image", [this] { ViewImageClick(); });
  ImageProperties2 = Make("Image Properties", [this] { ImagePropertiesClick(); });
  DeleteSelection2 = Make("Delete Selection", [this] { DeleteSelectionClick(); });
  PopupMenu1 = new QMenu(this);
  PopupMenu1->addActions({PreviewAlbum2, DeleteAll2, FrameSetup2});
  PopupMenu1->addSeparator();
  PopupMenu1->addActions({ViewImage2, ImageProperties2});
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(DeleteSelection2);
  connect(ListView1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& P) { PopupMenu1->popup(ListView1->viewport()->mapToGlobal(P)); });
  connect(ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { EditCaptionClick(); });

  UpdateCommands();
}

void TfAlbum::UpdateCommands() {
  WebAlbumButton->setEnabled(bool(OnCreateWebAlbum));
}

void TfAlbum::RememberAlbumFolder(const QString& AlbumPath) {
  FLastAlbumFolder = QFileInfo(AlbumPath).absolutePath();
  TSettingsStore Store;
  Store.WriteString(kLastAlbumFolderValue, FLastAlbumFolder);
  Store.Flush();
}

QString TfAlbum::AlbumDialogFolder(const QString& Remembered) const {
  // The program's own folder is read-only once installed: the folder of the album last opened
  // or saved, else the dialog's own last folder, else the home folder.
  QString Last = FLastAlbumFolder;
  if (Last.isEmpty()) Last = TSettingsStore().ReadString(kLastAlbumFolderValue, QString());
  if (!Last.isEmpty() && QDir(Last).exists()) return Last;
  if (!Remembered.isEmpty() && QDir(Remembered).exists()) return Remembered;
  return QDir::homePath();
}

QPrinter& TfAlbum::Printer() {
  if (!FPrinter) {
    FPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    PrepareAlbumPrinter(*FPrinter);
  }
  return *FPrinter;
}

AlbumSettings TfAlbum::CurrentSettings() const {
  AlbumSettings S;
  S.Rows = FPrefs.Rows();
  S.Cols = FPrefs.Cols();
  S.Border = FPrefs.Border();
  S.PrintFrames = FPrefs.PrintFrames();
  S.CaptionOption = FPrefs.CaptionOption();
  S.CaptionFont = FDoc.CaptionFont;
  return S;
}

// ---- list

void TfAlbum::RefreshList() {
  const int Sel = SelectedRow();
  ListView1->clear();
  QList<QTreeWidgetItem*> Items;
  for (const AlbumEntry& E : FDoc.Entries()) {
    auto* It = new QTreeWidgetItem(QStringList{E.FileName, E.Caption});
    It->setIcon(0, RotationIcon(E.Rotation));
    Items << It;
  }
  ListView1->addTopLevelItems(Items);
  if (Sel >= 0 && Sel < FDoc.Count()) SelectRow(Sel);
  UpdateCount();
}

void TfAlbum::UpdateCount() {
  StatusPanel1->setText(QString::number(FDoc.Count()));
}

int TfAlbum::SelectedRow() const {
  const QList<QTreeWidgetItem*> S = ListView1->selectedItems();
  return S.size() == 1 ? ListView1->indexOfTopLevelItem(S.first()) : -1;
}

void TfAlbum::SelectRow(int Row) {
  ListView1->clearSelection();
  if (QTreeWidgetItem* It = ListView1->topLevelItem(Row)) {
    It->setSelected(true);
    ListView1->setCurrentItem(It);
  }
}

void TfAlbum::TellReplaced(bool AllKept) {
  if (!AllKept) ShowMessage(kCharactersReplaced, this);
}

int TfAlbum::AddFiles(const QStringList& Paths) {
  int Added = 0;
  bool AllKept = true;
  for (const QString& P : Paths) {
    if (!IsAlbumPictureFile(P)) continue;
    try {
      AllKept = FDoc.Add(P) && AllKept;
      ++Added;
    } catch (const std::exception&) {
      ShowMessage("Can't edit " + P, this);
    }
  }
  TellReplaced(AllKept);
  return Added;
}

// ---- drag and drop from the program's file lists

bool TfAlbum::AcceptsDrag(const QMimeData* Data) const {
  const TDragSource S = DragSourceOf(Data);
  return S == TDragSource::dsFileList || S == TDragSource::dsThumbnailList;
}

void TfAlbum::dragEnterEvent(QDragEnterEvent* E) {
  if (AcceptsDrag(E->mimeData())) E->acceptProposedAction();
}

void TfAlbum::dragMoveEvent(QDragMoveEvent* E) {
  if (AcceptsDrag(E->mimeData())) E->acceptProposedAction();
}

void TfAlbum::dropEvent(QDropEvent* E) {
  if (!AcceptsDrag(E->mimeData())) return;
  AddFiles(DraggedLocalFiles(E->mimeData()));
  E->acceptProposedAction();
}

void TfAlbum::keyPressEvent(QKeyEvent* E) {
  // Keys the list leaves alone reach the window: Esc stops a preview run, Delete removes the
  // selected entry, Insert edits its caption.
  switch (E->key()) {
  case Qt::Key_Escape:
    FRunning = false;
    break;
  case Qt::Key_Delete:
    DeleteSelectionClick();
    break;
  case Qt::Key_Insert:
    EditCaptionClick();
    break;
  default:
    QMainWindow::keyPressEvent(E);
    return;
  }
  E->accept();
}

void TfAlbum::showEvent(QShowEvent* E) {
  // The stored preferences are read when the window first opens (and whenever the user opens
  // "Frame Setup"), not when it is restored or shown again: they would replace the layout of an
  // album opened meanwhile, which the next save would then write into the file.
  if (!FPrefsLoaded && !E->spontaneous()) {
    FPrefsLoaded = true;
    FPrefsDialog->LoadAlbumPreferences();
  }
  UpdateCommands();
  QMainWindow::showEvent(E);
}

// ---- file commands

bool TfAlbum::SaveAlbum(const QString& Path) {
  try {
    orbisk::SaveAlbum(Path, FDoc.Entries(), CurrentSettings());
    FDoc.FileName = Path;
    RememberAlbumFolder(Path);
    return true;
  } catch (const std::exception& E) {
    ShowMessage(QString::fromUtf8(E.what()), this);
    return false;
  }
}

bool TfAlbum::OpenAlbum(const QString& Path) {
  TAlbumContent C;
  try {
    TWaitCursor Busy;
    C = orbisk::OpenAlbum(Path);
  } catch (const std::exception& E) {
    ShowMessage(QString::fromUtf8(E.what()), this);
    return false;
  }
  FPrefs.SetRows(C.Settings.Rows);
  FPrefs.SetCols(C.Settings.Cols);
  FPrefs.SetBorder(C.Settings.Border);
  FPrefs.SetPrintFrames(C.Settings.PrintFrames);
  FPrefs.SetCaptionOption(C.Settings.CaptionOption);
  FDoc.CaptionFont = C.Settings.CaptionFont;
  FDoc.FileName = Path;
  RememberAlbumFolder(Path);
  FDoc.SetEntries(std::move(C.Entries));
  if (C.Truncated) ShowMessage(TruncatedAlbumText(Path, FDoc.Count()), this);
  if (C.CaptionsCut) ShowMessage(kCaptionsCut, this);
  return true;
}

void TfAlbum::NewClick() {
  FDoc.New();
}

void TfAlbum::OpenClick() {
  const QString Path = AskOpenFileName ? AskOpenFileName() : QString();
  if (Path.isEmpty()) return;
  SaveFolder = QFileInfo(Path).absolutePath();
  OpenAlbum(Path);
}

void TfAlbum::SaveClick() {
  if (FDoc.IsEmpty()) {
    ShowMessage(kNoEntriesToSave, this);
    return;
  }
  if (!FDoc.HasFileName()) {
    SaveAsClick();
    return;
  }
  if (AskYesNo("Replace " + FDoc.FileName + "?", this))
    SaveAlbum(FDoc.FileName);
  else
    SaveAsClick();
}

void TfAlbum::SaveAsClick() {
  if (FDoc.IsEmpty()) {
    ShowMessage(kNoEntriesToSave, this);
    return;
  }
  const QString Path = AskSaveFileName ? AskSaveFileName() : QString();
  if (!Path.isEmpty()) SaveAlbum(Path);
}

void TfAlbum::SelectPrinterClick() {
  QPrintDialog D(&Printer(), this);
  D.exec();
}

void TfAlbum::PageSetupClick() {
  QPageSetupDialog D(&Printer(), this);
  D.exec();
}

// ---- edit commands

void TfAlbum::ClearAllClick() {
  FDoc.Clear();
}

void TfAlbum::ImportAllClick() {
  if (!ListedFiles) return;
  bool AllKept = true;
  for (const QString& P : ListedFiles())
    if (QFileInfo(P).suffix().toUpper() != "AVI") AllKept = FDoc.Add(P) && AllKept;
  TellReplaced(AllKept);
}

void TfAlbum::FrameSetupClick() {
  FPrefsDialog->exec();
}

void TfAlbum::MoveUpClick() {
  const int R = SelectedRow();
  if (R >= 0 && FDoc.MoveUp(R)) SelectRow(R - 1);
}

void TfAlbum::MoveDownClick() {
  const int R = SelectedRow();
  if (R >= 0 && FDoc.MoveDown(R)) SelectRow(R + 1);
}

void TfAlbum::RotateClockwiseClick() {
  if (const int R = SelectedRow(); R >= 0) FDoc.RotateClockwise(R);
}

void TfAlbum::RotateCounterClockwiseClick() {
  if (const int R = SelectedRow(); R >= 0) FDoc.RotateCounterClockwise(R);
}

void TfAlbum::DeleteSelectionClick() {
  if (const int R = SelectedRow(); R >= 0) FDoc.Remove(R);
}

void TfAlbum::EditCaptionClick() {
  const int R = SelectedRow();
  if (R < 0) return;
  TfrmEdit Editor(this);
  Editor.Edit->setText(FDoc.Entry(R).Caption);
  Editor.Edit->selectAll();
  QTreeWidgetItem* It = ListView1->topLevelItem(R);
  const QRect Cell = ListView1->visualItemRect(It);
  const QPoint At =
      ListView1->viewport()->mapToGlobal(QPoint(ListView1->columnWidth(0) + 5, Cell.top()));
  Editor.setGeometry(At.x(), At.y(), ListView1->columnWidth(1),
                     std::max(ScaledHeight(TfrmEdit::kHeight), Editor.Edit->sizeHint().height()));
  const bool Ok = RunCaptionEditor ? RunCaptionEditor(Editor) : Editor.exec() == QDialog::Accepted;
  if (!Ok) return;
  TellReplaced(FDoc.SetCaption(R, Editor.Edit->text()));
  SelectRow(R);
}

void TfAlbum::ViewImageClick() {
  const int R = SelectedRow();
  if (R < 0) {
    ShowMessage("You must click on a filename first", this);
    return;
  }
  const AlbumEntry& E = FDoc.Entry(R);
  if (OnViewImage)
    OnViewImage(E.FileName, E.Rotation);
  else
    ShowEntryViewer(this, E.FileName, E.Rotation);
}

void TfAlbum::ImagePropertiesClick() {
  const int R = SelectedRow();
  if (R < 0) {
    ShowMessage("You must click on a filename first", this);
    return;
  }
  const QString Path = FDoc.Entry(R).FileName;
  if (OnImageProperties) {
    OnImageProperties(Path);
  } else {
    TfrmFileProp W(this);
    W.Execute(Path);
  }
}

void TfAlbum::CreateWebAlbumClick() {
  if (OnCreateWebAlbum) OnCreateWebAlbum();
}

TfrmPubWizard* TfAlbum::PubWizard() {
  if (!FPubWizard) FPubWizard = new TfrmPubWizard(FDoc, FPrefs, this);
  return FPubWizard;
}

void TfAlbum::ShowPubWizard() {
  PubWizard()->exec();
}

void TfAlbum::ContactSheetClick() {
  Printer().setPageOrientation(QPageLayout::Landscape);
  FPrefs.SetCols(6);
  FPrefs.SetRows(6);
  FPrefs.SetBorder(100);
  FPrefs.SetCaptionOption(coFilename);
  FPrefs.SetCaptionPlacement(cpUnderImage);
  PreviewClick();
}

// ---- preview

std::vector<TAlbumPage> TfAlbum::RunPreview() {
  TWaitCursor Busy;
  const int N = FDoc.Count();
  ProgressBar1->setRange(0, std::max(N, 1));
  ProgressBar1->setValue(0);
  FRunning = true;
  TAlbumRunHooks Hooks;
  FRunEntries = 0;
  Hooks.OnEntry = [this, N](int I, const QString& Path) {
    FRunEntries = size_t(I) + 1;
    StatusPanel0->setText("Hit ESC to break - " + Path);
    StatusPanel1->setText(QString("%1/%2    ").arg(I + 1).arg(N));
  };
  Hooks.KeepRunning = [this](int I) {
    ProgressBar1->setValue(I + 1);
    QCoreApplication::processEvents();
    return FRunning;
  };
  Hooks.OnMessage = [this](const QString& Text) { ShowMessage(Text, this); };
  FPagesPage = PrintPageOf(Printer());
  std::vector<TAlbumPage> Pages =
      BuildAlbumPages(FDoc.Entries(), FPrefs, FDoc.CaptionFont, FPagesPage, Hooks);
  FRunning = false;
  ProgressBar1->setValue(0);
  StatusPanel0->setText("Done");
  UpdateCount();
  return Pages;
}

void TfAlbum::PreviewClick() {
  FPages = RunPreview();
  if (ShowPreview) ShowPreview(Printer());
}

void TfAlbum::PrintPages(QPrinter& P) {
  // Printing to a file never writes over the album or one of its pictures.
  if (P.outputFormat() == QPrinter::PdfFormat && !P.outputFileName().isEmpty()) {
    const QString Why = AlbumOutputConflict(FDoc.Entries(), FDoc.FileName, P.outputFileName());
    if (!Why.isEmpty()) {
      ShowMessage(Why, this);
      return;
    }
  }
  const TPrintPage Now = PrintPageOf(P);
  const TPrintPage& Was = FPagesPage;
  if (Now.Width != Was.Width || Now.Height != Was.Height || Now.Px != Was.Px || Now.Py != Was.Py ||
      Now.MarginLeft != Was.MarginLeft || Now.MarginTop != Was.MarginTop ||
      Now.MarginRight != Was.MarginRight || Now.MarginBottom != Was.MarginBottom) {
    // The page changed in the preview window: the entries of the last run are laid out again.
    TWaitCursor Busy;
    const size_t N = std::min(FRunEntries, FDoc.Entries().size());
    std::vector<AlbumEntry> Done(FDoc.Entries().begin(), FDoc.Entries().begin() + long(N));
    FPagesPage = Now;
    FPages = BuildAlbumPages(Done, FPrefs, FDoc.CaptionFont, Now, {});
  }
  PrintAlbumPages(P, FPages, FPagesPage);
}

} // namespace orbisk
