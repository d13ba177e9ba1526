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
#include <QLayout>
#include <QShowEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
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
  setObjectName("frmEdit");
  setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
  auto* L = new QVBoxLayout(this);
  L->setContentsMargins(0, 0, 0, 0);
  FEdit = new QLineEdit(this);
  FEdit->setObjectName("Edit");
  FEdit->setFrame(false);
  FEdit->setStyleSheet("background: white;");
  L->addWidget(FEdit);
  resize(ScaledSize(kWidth, kHeight));
  connect(FEdit, &QLineEdit::returnPressed, this, &QDialog::accept);
}

QString TfrmEdit::Text() const {
  return FEdit->text();
}

void TfrmEdit::SetText(const QString& Text) {
  FEdit->setText(Text);
  FEdit->selectAll();
}

int TfrmEdit::FieldHeight() const {
  return FEdit->sizeHint().height();
}

// ---- window

// The window's widgets and commands. Every command is one action, added to each menu, tool bar
// and pop-up that shows it; the tool bar shows an action's icon text.
struct TfAlbum::Private {
  QTreeWidget* ListView1 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QLabel* StatusPanel0 = nullptr;
  QLabel* StatusPanel1 = nullptr;
  QToolBar* ToolBar1 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* WebAlbumButton = nullptr;
  // Remembered folders of the file dialogs.
  QString OpenFolder, SaveFolder;
};

TfAlbum::TfAlbum(QWidget* Parent) : QMainWindow(Parent), d(std::make_unique<Private>()) {
  setObjectName("fAlbum");
  setWindowTitle("Orbisk Folvana Maker");
  setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                 Qt::WindowStaysOnTopHint);
  FPrefsDialog = new TfAPrefs(FPrefs, this);

  CreateWidgets();
  CreateActions();
  FDoc.CaptionFont.Color = kWindowTextColor; // until New or an album file sets a colour
  connect(&FDoc, &TAlbumDocument::OnChange, this, [this] { RefreshList(); });

  AskOpenFileName = [this] {
    QFileDialog D(this, "Orbisk Open Album", AlbumDialogFolder(d->OpenFolder),
                  "Album files (*.alb)");
    D.setOption(QFileDialog::DontUseNativeDialog);
    D.setFileMode(QFileDialog::ExistingFile);
    if (D.exec() != QDialog::Accepted || D.selectedFiles().isEmpty()) return QString();
    d->OpenFolder = D.directory().absolutePath();
    return D.selectedFiles().first();
  };
  AskSaveFileName = [this] {
    QFileDialog D(this, "Orbisk Save Album", AlbumDialogFolder(d->SaveFolder),
                  "Album files (*.alb)");
    D.setOption(QFileDialog::DontUseNativeDialog);
    D.setAcceptMode(QFileDialog::AcceptSave);
    D.setDefaultSuffix("alb");
    if (FDoc.HasFileName()) D.selectFile(FDoc.FileName);
    if (D.exec() != QDialog::Accepted || D.selectedFiles().isEmpty()) return QString();
    d->SaveFolder = D.directory().absolutePath();
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
  Size.setWidth(std::max(Size.width(), d->ToolBar1->sizeHint().width()));
  setFixedSize(Size);
  if (QScreen* S = QGuiApplication::primaryScreen())
    move(S->availableGeometry().center() - rect().center());
  UpdateCount();
}

TfAlbum::~TfAlbum() = default;

void TfAlbum::CreateWidgets() {
  auto* Central = new QWidget(this);
  Central->setObjectName("Central");
  auto* L = new QVBoxLayout(Central);
  L->setContentsMargins(0, 0, 0, 0);
  auto* List = d->ListView1 = new QTreeWidget(Central);
  List->setObjectName("ListView1");
  List->setColumnCount(2);
  List->setHeaderLabels({"Filename", "Caption"});
  List->setColumnWidth(0, ScaledWidth(220));
  List->setColumnWidth(1, ScaledWidth(240));
  List->setRootIsDecorated(false);
  List->setSelectionMode(QAbstractItemView::SingleSelection);
  List->setContextMenuPolicy(Qt::CustomContextMenu);
  List->setAcceptDrops(false); // drops are taken by the window
  List->viewport()->setAcceptDrops(false);
  L->addWidget(List);
  d->ProgressBar1 = new QProgressBar(Central);
  d->ProgressBar1->setObjectName("ProgressBar1");
  d->ProgressBar1->setTextVisible(false);
  d->ProgressBar1->setMaximumHeight(12);
  L->addWidget(d->ProgressBar1);
  setCentralWidget(Central);
  d->StatusPanel0 = new QLabel;
  d->StatusPanel0->setObjectName("StatusPanel0");
  d->StatusPanel0->setFixedWidth(300);
  d->StatusPanel1 = new QLabel("0");
  d->StatusPanel1->setObjectName("StatusPanel1");
  d->StatusPanel1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  statusBar()->addWidget(d->StatusPanel0);
  statusBar()->addWidget(d->StatusPanel1, 1);
  statusBar()->setSizeGripEnabled(false);
  setAcceptDrops(true);
}

void TfAlbum::CreateActions() {
  auto Make = [this](const char* Name, const QString& Text, auto Slot) {
    auto* A = new QAction(Text, this);
    A->setObjectName(Name);
    connect(A, &QAction::triggered, this, Slot);
    return A;
  };
  // A command the tool bar shows as well: there its short text, with the hint as tip.
  auto Tool = [](QAction* A, const QString& Short, const QString& Hint) {
    A->setIconText(Short);
    A->setToolTip(Hint);
    A->setStatusTip(Hint);
    return A;
  };
  // A key that means the command where it is pressed: on the list (and, for Esc, the whole
  // client area), shown in no menu.
  auto Key = [](QAction* A, const QKeySequence& Keys, QWidget* Where) {
    A->setShortcut(Keys);
    A->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    A->setShortcutVisibleInContextMenu(false);
    Where->addAction(A);
    return A;
  };

  QAction* New1 = Make("New1", "New", [this] { NewClick(); });
  QAction* Open1 = Make("Open1", "Open", [this] { OpenClick(); });
  QAction* Save1 = Make("Save1", "Save", [this] { SaveClick(); });
  QAction* SaveAs1 = Make("SaveAs1", "Save as...", [this] { SaveAsClick(); });
  QAction* SelectPrinter1 =
      Make("SelectPrinter1", "Select Printer...", [this] { SelectPrinterClick(); });
  QAction* PageSetup1 = Tool(Make("PageSetup1", "Page Setup...", [this] { PageSetupClick(); }),
                             "Setup", "Page Setup");
  QAction* Preview1 = Tool(Make("Preview1", "Preview Current Album", [this] { PreviewClick(); }),
                           "Preview", "Preview");
  QAction* Close1 = Make("Close1", "Close", [this] { close(); });
  QAction* ClearAll1 = Tool(Make("ClearAll1", "Clear All Entries", [this] { ClearAllClick(); }),
                            "Clear", "Clear List");
  QAction* ImportAll1 = Tool(Make("ImportAll1", "Import All Files", [this] { ImportAllClick(); }),
                             "Import", "Import Directory");
  QAction* FrameSetup1 = Tool(Make("FrameSetup1", "Frame Setup...", [this] { FrameSetupClick(); }),
                              "Frames", "Frame Setup");

  QMenu* FileMenu = menuBar()->addMenu("File");
  FileMenu->setObjectName("FileMenu");
  FileMenu->addActions({New1, Open1, Save1, SaveAs1});
  FileMenu->addSeparator();
  FileMenu->addActions({SelectPrinter1, PageSetup1, Preview1});
  FileMenu->addSeparator();
  FileMenu->addAction(Close1);
  QMenu* EditMenu = menuBar()->addMenu("Edit");
  EditMenu->setObjectName("EditMenu");
  EditMenu->addActions({ClearAll1, ImportAll1, FrameSetup1});

  // Commands of the tool bar alone: the texts are the hints.
  auto Button = [&](const char* Name, const QString& Hint, const QString& Short, auto Slot) {
    return Tool(Make(Name, Short, Slot), Short, Hint);
  };
  QAction* MoveUpButton = Button("MoveUpButton", "Move Up", "Up", [this] { MoveUpClick(); });
  QAction* MoveDownButton =
      Button("MoveDownButton", "Move Down", "Down", [this] { MoveDownClick(); });
  QAction* RotateCWButton =
      Button("RotateCWButton", "Rotate Clockwise", "CW", [this] { RotateClockwiseClick(); });
  QAction* RotateCCWButton = Button("RotateCCWButton", "Rotate Counter Clockwise", "CCW",
                                    [this] { RotateCounterClockwiseClick(); });
  QAction* ContactSheetButton =
      Button("ContactSheetButton", "Contact Sheet", "Sheet", [this] { ContactSheetClick(); });
  d->WebAlbumButton =
      Button("WebAlbumButton", "Create Web Photo Album", "Web", [this] { CreateWebAlbumClick(); });
  d->ToolBar1 = addToolBar("Tools");
  d->ToolBar1->setObjectName("ToolBar1");
  d->ToolBar1->setMovable(false);
  d->ToolBar1->addActions({PageSetup1, Preview1, ClearAll1, ImportAll1, FrameSetup1});
  d->ToolBar1->addSeparator();
  d->ToolBar1->addActions({MoveUpButton, MoveDownButton, RotateCWButton, RotateCCWButton});
  d->ToolBar1->addSeparator();
  d->ToolBar1->addActions({ContactSheetButton, d->WebAlbumButton});

  // The list's pop-up: its own wording for previewing and clearing, the same "Frame Setup...".
  QAction* PreviewAlbum2 = Make("PreviewAlbum2", "Preview Album...", [this] { PreviewClick(); });
  QAction* DeleteAll2 = Make("DeleteAll2", "Delete All", [this] { ClearAllClick(); });
  QAction* ViewImage2 = Make("ViewImage2", "View Image", [this] { ViewImageClick(); });
  QAction* ImageProperties2 =
      Make("ImageProperties2", "Image Properties", [this] { ImagePropertiesClick(); });
  QAction* DeleteSelection2 =
      Make("DeleteSelection2", "Delete Selection", [this] { DeleteSelectionClick(); });
  d->PopupMenu1 = new QMenu(this);
  d->PopupMenu1->setObjectName("PopupMenu1");
  d->PopupMenu1->addActions({PreviewAlbum2, DeleteAll2, FrameSetup1});
  d->PopupMenu1->addSeparator();
  d->PopupMenu1->addActions({ViewImage2, ImageProperties2});
  d->PopupMenu1->addSeparator();
  d->PopupMenu1->addAction(DeleteSelection2);
  connect(d->ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& P) {
    d->PopupMenu1->popup(d->ListView1->viewport()->mapToGlobal(P));
  });
  connect(d->ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { EditCaptionClick(); });

  // Keys: Delete removes the selected entry, Insert edits its caption, Esc stops a preview run.
  Key(DeleteSelection2, QKeySequence(Qt::Key_Delete), d->ListView1);
  Key(Make("EditCaption", "Edit Caption", [this] { EditCaptionClick(); }),
      QKeySequence(Qt::Key_Insert), d->ListView1);
  Key(Make("StopRun", "Stop", [this] { FRunning = false; }), QKeySequence(Qt::Key_Escape),
      centralWidget());

  UpdateCommands();
}

bool TfAlbum::Listens(const QMetaMethod& Signal) const {
  return isSignalConnected(Signal);
}

// Qt calls these with its connection lock held, where no QObject function may be called: the
// commands are brought up to date from the event loop.
void TfAlbum::connectNotify(const QMetaMethod& Signal) {
  QMainWindow::connectNotify(Signal);
  if (Signal == QMetaMethod::fromSignal(&TfAlbum::OnCreateWebAlbum))
    QMetaObject::invokeMethod(
        this, [this] { UpdateCommands(); }, Qt::QueuedConnection);
}

void TfAlbum::disconnectNotify(const QMetaMethod& Signal) {
  QMainWindow::disconnectNotify(Signal);
  // Called on disconnection as well as when a receiver goes away.
  if (Signal == QMetaMethod::fromSignal(&TfAlbum::OnCreateWebAlbum))
    QMetaObject::invokeMethod(
        this, [this] { UpdateCommands(); }, Qt::QueuedConnection);
}

void TfAlbum::UpdateCommands() {
  d->WebAlbumButton->setEnabled(Listens(QMetaMethod::fromSignal(&TfAlbum::OnCreateWebAlbum)));
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
  d->ListView1->clear();
  QList<QTreeWidgetItem*> Items;
  for (const AlbumEntry& E : FDoc.Entries()) {
    auto* It = new QTreeWidgetItem(QStringList{E.FileName, E.Caption});
    It->setIcon(0, RotationIcon(E.Rotation));
    Items << It;
  }
  d->ListView1->addTopLevelItems(Items);
  if (Sel >= 0 && Sel < FDoc.Count()) SelectRow(Sel);
  UpdateCount();
}

void TfAlbum::UpdateCount() {
  d->StatusPanel1->setText(QString::number(FDoc.Count()));
}

int TfAlbum::SelectedRow() const {
  const QList<QTreeWidgetItem*> S = d->ListView1->selectedItems();
  return S.size() == 1 ? d->ListView1->indexOfTopLevelItem(S.first()) : -1;
}

void TfAlbum::SelectRow(int Row) {
  d->ListView1->clearSelection();
  if (QTreeWidgetItem* It = d->ListView1->topLevelItem(Row)) {
    It->setSelected(true);
    d->ListView1->setCurrentItem(It);
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
  d->SaveFolder = QFileInfo(Path).absolutePath();
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
  Editor.SetText(FDoc.Entry(R).Caption);
  QTreeWidgetItem* It = d->ListView1->topLevelItem(R);
  const QRect Cell = d->ListView1->visualItemRect(It);
  const QPoint At =
      d->ListView1->viewport()->mapToGlobal(QPoint(d->ListView1->columnWidth(0) + 5, Cell.top()));
  Editor.setGeometry(At.x(), At.y(), d->ListView1->columnWidth(1),
                     std::max(ScaledHeight(TfrmEdit::kHeight), Editor.FieldHeight()));
  const bool Ok = RunCaptionEditor ? RunCaptionEditor(Editor) : Editor.exec() == QDialog::Accepted;
  if (!Ok) return;
  TellReplaced(FDoc.SetCaption(R, Editor.Text()));
  SelectRow(R);
}

void TfAlbum::ViewImageClick() {
  const int R = SelectedRow();
  if (R < 0) {
    ShowMessage("You must click on a filename first", this);
    return;
  }
  const AlbumEntry& E = FDoc.Entry(R);
  if (Listens(QMetaMethod::fromSignal(&TfAlbum::OnViewImage)))
    emit OnViewImage(E.FileName, E.Rotation);
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
  if (Listens(QMetaMethod::fromSignal(&TfAlbum::OnImageProperties))) {
    emit OnImageProperties(Path);
  } else {
    TfrmFileProp W(this);
    W.Execute(Path);
  }
}

void TfAlbum::CreateWebAlbumClick() {
  emit OnCreateWebAlbum();
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
  d->ProgressBar1->setRange(0, std::max(N, 1));
  d->ProgressBar1->setValue(0);
  FRunning = true;
  TAlbumRunHooks Hooks;
  FRunEntries = 0;
  Hooks.OnEntry = [this, N](int I, const QString& Path) {
    FRunEntries = size_t(I) + 1;
    d->StatusPanel0->setText("Hit ESC to break - " + Path);
    d->StatusPanel1->setText(QString("%1/%2    ").arg(I + 1).arg(N));
  };
  Hooks.KeepRunning = [this](int I) {
    d->ProgressBar1->setValue(I + 1);
    QCoreApplication::processEvents();
    return FRunning;
  };
  Hooks.OnMessage = [this](const QString& Text) { ShowMessage(Text, this); };
  FPagesPage = PrintPageOf(Printer());
  std::vector<TAlbumPage> Pages =
      BuildAlbumPages(FDoc.Entries(), FPrefs, FDoc.CaptionFont, FPagesPage, Hooks);
  FRunning = false;
  d->ProgressBar1->setValue(0);
  d->StatusPanel0->setText("Done");
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
