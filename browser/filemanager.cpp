#include "browser/filemanager.h"
#include "platform/waitcursor.h"

#include "browser/viewers.h"
#include "platform/dialogscale.h"
#include "platform/filenames.h"
#include "platform/foldertree.h"
#include "platform/fileops.h"
#include "platform/fileundo.h"
#include "platform/help.h"
#include "platform/prompt.h"
#include "platform/settingsstore.h"
#include "view/fileprop.h"
#include "view/filelist.h"
#include "view/pgimage.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFileSystemWatcher>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <cmath>

namespace orbisk {

namespace {

constexpr int kBox = 145;

QString PictureSizeText(int W, int H) {
  return " (" + QString::number(W) + " x " + QString::number(H) + ")";
}

// The window's list: the first column is plain "Name" here.
class TSelectFilesList : public TFileListModel {
public:
  using TFileListModel::TFileListModel;
  QVariant headerData(int Section, Qt::Orientation O, int Role) const override {
    if (Section == 0 && O == Qt::Horizontal && Role == Qt::DisplayRole)
      return QStringLiteral("Name");
    return TFileListModel::headerData(Section, O, Role);
  }
};

// The window's file list: the Delete key there deletes the selected files.
class TSelectFilesView : public QTreeView {
public:
  TSelectFilesView(QAction* Delete, QWidget* Parent) : QTreeView(Parent), FDelete(Delete) {}

protected:
  void keyPressEvent(QKeyEvent* E) override {
    if (E->key() == Qt::Key_Delete) {
      FDelete->trigger();
      return;
    }
    QTreeView::keyPressEvent(E);
  }

private:
  QAction* FDelete;
};

// How long a new file must stay unchanged before it is previewed again.
constexpr int kSettleMs = 500;

// Size and modification time; size -1 when the file is gone.
std::pair<qint64, qint64> StampOf(const QString& Path) {
  const QFileInfo I(Path);
  if (!I.exists()) return {-1, 0};
  return {I.size(), I.lastModified().toMSecsSinceEpoch()};
}

// Natural size when it fits the box, else fitted.
QSize NaturalOrFit(int W, int H) {
  if (W <= kBox && H <= kBox && W > 0 && H > 0) return QSize(W, H);
  return FitPreviewBox(W, H);
}

} // namespace

QSize FitPreviewBox(int W, int H) {
  if (W <= 0 || H <= 0) return QSize(kBox, kBox);
  // Halves go to the even neighbour (400 x 200 gives 145 x 72).
  const double R = double(H) / double(W);
  if (R > 1) return QSize(int(std::nearbyint(kBox / R)), kBox);
  return QSize(kBox, int(std::nearbyint(R * kBox)));
}

QString PreviewSizeText(qint64 Bytes) {
  return QString::number(Bytes / 1024 + 1) + "K";
}

QStringList FolderSnapshot(const QString& Folder, const QString& Mask) {
  QStringList Names;
  try {
    for (const TFileItem& It : ListFolderItems(Folder, Mask, false))
      Names << It.Name;
  } catch (const std::exception&) {
  }
  Names.sort();
  return Names;
}

QString FirstNewName(const QStringList& Names, const QStringList& Snapshot) {
  for (const QString& N : Names)
    if (!std::binary_search(Snapshot.begin(), Snapshot.end(), N)) return N;
  return QString();
}

// ---- the window

TfSelectFiles::TfSelectFiles(QWidget* Parent, TSelectFilesHooks Hooks)
    : QWidget(Parent, Qt::Window | Qt::WindowStaysOnTopHint), FHooks(std::move(Hooks)) {
  setObjectName("fSelectFiles");
  setWindowTitle("File Manager");
  FWatcher = new QFileSystemWatcher(this);
  connect(FWatcher, &QFileSystemWatcher::directoryChanged, this, [this] { FolderChangedOnDisk(); });
  // A new file may still be written when it is first previewed: once it has stopped changing
  // it is previewed again.
  FSettle = new QTimer(this);
  FSettle->setSingleShot(true);
  FSettle->setInterval(kSettleMs);
  connect(FSettle, &QTimer::timeout, this, [this] { NewFileSettled(); });
  connect(FWatcher, &QFileSystemWatcher::fileChanged, this, [this](const QString& Path) {
    if (Path == FGrowing) FSettle->start();
  });
  BuildWindow();
  // The size given for the window, grown to this desktop's font; wide enough for every button
  // of the tool bar, whichever operation Undo is named after.
  QSize Size = ScaledSize(454, 386);
  const QString UndoText = Undo1->text();
  for (const char* Text : {"Undo Delete", "Undo Rename", "Undo Move"}) {
    Undo1->setText(QString::fromLatin1(Text));
    Size.setWidth(std::max(Size.width(), ToolBar->sizeHint().width()));
  }
  Undo1->setText(UndoText);
  if (screen()) Size = Size.boundedTo(screen()->availableSize());
  resize(Size);
  LargeView = [this](const QString& Path) {
    QDialog D(this);
    D.setWindowTitle(DisplayFileName(QFileInfo(Path).fileName()));
    auto* L = new QVBoxLayout(&D);
    L->setContentsMargins(2, 2, 2, 2);
    auto* V = new TPGImage(&D);
    L->addWidget(V);
    try {
      V->LoadFromFile(Path);
    } catch (const std::exception&) {
      return;
    }
    QSize S(V->ImageWidth() + 4, V->ImageHeight() + 4);
    const QSize Screen = screen() ? screen()->availableSize() : QSize(1024, 768);
    if (S.width() > Screen.width() || S.height() > Screen.height()) {
      V->SetStretch(sAlwaysKAR);
      S = S.scaled(Screen * 9 / 10, Qt::KeepAspectRatio);
    }
    D.resize(S);
    D.exec();
  };
}

TfSelectFiles::~TfSelectFiles() = default;

void TfSelectFiles::BuildWindow() {
  auto Act = [this](const char* Name, const QString& Text, auto Slot) {
    auto* A = new QAction(Text, this);
    A->setObjectName(QString::fromLatin1(Name));
    connect(A, &QAction::triggered, this, Slot);
    return A;
  };
  // The list menu; its entries follow the selection.
  Refresh1 = Act("Refresh1", "Refresh", [this] { RefreshClick(); });
  Delete1 = Act("Delete1", "Delete Files", [this] { DeleteClick(); });
  Rename1 = Act("Rename1", "Rename File", [this] { RenameClick(); });
  Move1 = Act("Move1", "Move Files", [this] { TransferClick(true); });
  Copy1 = Act("Copy1", "Copy Files", [this] { TransferClick(false); });
  Preview1 = Act("Preview1", "Force Preview", [this] { PreviewClick(); });
  Attributes1 = Act("Attributes1", "File Attributes...", [this] { AttributesClick(); });
  ImageInfo1 = Act("ImageInfo1", "Image Properties...", [this] { ImageInfoClick(); });
  LargeView1 = Act("LargeView1", "Large View...", [this] { LargeViewClick(); });
  SelectAll1 = Act("SelectAll1", "Select All", [this] { SelectAllClick(); });
  SelectNone1 = Act("SelectNone1", "Select None", [this] { SelectNoneClick(); });
  AddFolder1 = Act("AddFolder1", "Add Folder...", [this] { AddFolderClick(); });
  DeleteFolder1 = Act("DeleteFolder1", "Delete Folder...", [this] { DeleteFolderClick(); });
  RefreshTree1 = Act("RefreshTree1", "Refresh", [this] { RefreshTreeClick(); });
  SaveDefaultPath1 =
      Act("SaveDefaultPath1", "Save Default Path", [this] { SaveDefaultPathClick(); });
  // The last file operation of the program, wherever it was made; ctrl+Z anywhere in the window.
  Undo1 = Act("Undo1", FileUndo().Caption(), [this] { UndoClick(); });
  Undo1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  Undo1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  Undo1->setEnabled(FileUndo().CanUndo());
  addAction(Undo1);
  connect(&FileUndo(), &TFileUndo::Changed, this, [this] {
    Undo1->setText(FileUndo().Caption());
    Undo1->setEnabled(FileUndo().CanUndo());
  });

  auto* Main = new QVBoxLayout(this);
  Main->setContentsMargins(0, 0, 0, 0);
  Main->setSpacing(0);
  // The tool bar has its own commands: they stay enabled and explain what is missing.
  ToolBar = new QToolBar(this);
  ToolBar->setObjectName("ToolBar");
  ToolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  const std::pair<const char*, std::function<void()>> Buttons[] = {
      {"Refresh", [this] { RefreshClick(); }},
      {"Delete", [this] { DeleteClick(); }},
      {"Rename", [this] { RenameClick(); }},
      {"Move to...", [this] { TransferClick(true); }},
      {"Copy to...", [this] { TransferClick(false); }},
      {"Preview", [this] { PreviewClick(); }},
      {"Image Info", [this] { ImageInfoClick(); }},
      {"View", [this] { LargeViewClick(); }},
      {"Select All", [this] { SelectAllClick(); }},
      {"Select None", [this] { SelectNoneClick(); }}};
  for (const auto& [Text, Slot] : Buttons) {
    QAction* A = ToolBar->addAction(QString::fromLatin1(Text));
    A->setObjectName(QString::fromLatin1(Text) + " button");
    A->setToolTip(QString::fromLatin1(Text));
    connect(A, &QAction::triggered, this, Slot);
  }
  // The last file operation's undo, named after it, also where the user looks for it.
  ToolBar->addSeparator();
  ToolBar->addAction(Undo1);
  Main->addWidget(ToolBar);

  auto* Body = new QHBoxLayout;
  Body->setContentsMargins(2, 2, 2, 2);
  Splitter = new QSplitter(Qt::Vertical, this);
  Splitter->setObjectName("Splitter");
  // The tree keeps the source folder in view while it reads the folders above it.
  TreeView = new TFolderTree(QDir::AllDirs | QDir::NoDotAndDotDot, Splitter);
  TreeView->setObjectName("SelectFilesTree");
  TreeView->setContextMenuPolicy(Qt::CustomContextMenu);
  TreeMenu = new QMenu(this);
  TreeMenu->setObjectName("TreeMenu");
  TreeMenu->addActions({AddFolder1, DeleteFolder1, RefreshTree1, SaveDefaultPath1});
  connect(TreeView, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& P) { TreeMenu->popup(TreeView->viewport()->mapToGlobal(P)); });
  connect(TreeView, &TFolderTree::FolderChanged, this,
          [this](const QString& Folder) { TreeChanged(Folder); });

  FileList = new TSelectFilesList(this);
  FileList->setObjectName("FileList");
  FileList->SetSortState(0, true);
  ListView = new TSelectFilesView(Delete1, Splitter);
  ListView->setObjectName("SelectFilesList");
  ListView->setModel(FileList);
  ListView->setRootIsDecorated(false);
  ListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListView->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView->setDragEnabled(true);
  ListView->setContextMenuPolicy(Qt::CustomContextMenu);
  for (auto [Col, W] : {std::pair{0, 160}, {1, 60}, {3, 140}})
    ListView->setColumnWidth(Col, W);
  ListView->header()->setSectionsClickable(true);
  connect(ListView->header(), &QHeaderView::sectionClicked, this, [this](int C) {
    try {
      FileList->ColumnClick(C);
    } catch (const std::exception&) {
      ShowMessage("Error sorting items", this);
    }
  });
  ListMenu = new QMenu(this);
  ListMenu->setObjectName("ListMenu");
  ListMenu->addActions({Refresh1, Delete1, Rename1});
  ListMenu->addSeparator();
  ListMenu->addActions({Move1, Copy1});
  ListMenu->addSeparator();
  ListMenu->addActions({Preview1, ImageInfo1, Attributes1, LargeView1});
  ListMenu->addSeparator();
  ListMenu->addActions({SelectAll1, SelectNone1});
  ListMenu->addSeparator();
  ListMenu->addAction(Undo1);
  connect(ListMenu, &QMenu::aboutToShow, this, [this] { UpdateMenu(); });
  connect(ListView, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& P) { ListMenu->popup(ListView->viewport()->mapToGlobal(P)); });
  connect(ListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { SelectionChanged(); });
  connect(ListView, &QAbstractItemView::doubleClicked, this, [this] { LargeViewClick(); });
  Splitter->setSizes({120, 200});
  Body->addWidget(Splitter, 1);

  auto* Right = new QVBoxLayout;
  auto* RightBox = new QWidget(this);
  RightBox->setFixedWidth(ScaledWidth(168));
  RightBox->setLayout(Right);
  AutoPreviewCheck = new QCheckBox("Auto Preview", RightBox);
  AutoPreviewCheck->setObjectName("AutoPreviewCheck");
  AutoPreviewCheck->setChecked(true);
  AutoPreviewCheck->setToolTip("Automatically preview images when clicking the filename");
  AutoRenameCheck = new QCheckBox("Auto Rename", RightBox);
  AutoRenameCheck->setObjectName("AutoRenameCheck");
  AutoRenameCheck->setChecked(true);
  AutoRenameCheck->setToolTip("Rename file if exists when copying or moving");
  AutoUpdateCheck = new QCheckBox("Auto Update", RightBox);
  AutoUpdateCheck->setObjectName("AutoUpdateCheck");
  AutoUpdateCheck->setToolTip("Update file list when new files are added to the current directory");
  connect(AutoUpdateCheck, &QCheckBox::toggled, this, [this](bool On) { SetAutoUpdate(On); });
  HelpButton = new QPushButton("Help", RightBox);
  HelpButton->setObjectName("HelpButton");
  connect(HelpButton, &QPushButton::clicked, this,
          [this] { ShowHelpTopic(HelpTopic::FileManager, this); });
  PreviewFrame = new QFrame(RightBox);
  PreviewFrame->setObjectName("PreviewFrame");
  PreviewFrame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  PreviewFrame->setFixedSize(150, 150);
  PreviewImage = new TPGImage(PreviewFrame);
  PreviewImage->setObjectName("PreviewImage");
  PreviewImage->SetStretch(sAlwaysKAR);
  PreviewImage->setGeometry(2, 2, kBox, kBox);
  PreviewGif = new TAnimatedGifViewer(PreviewFrame);
  PreviewGif->setObjectName("PreviewGif");
  PreviewPicture = new TStretchedPictureViewer(PreviewFrame);
  PreviewPicture->setObjectName("PreviewPicture");
  PreviewVideo = new TAviPlayer(PreviewFrame);
  PreviewVideo->setObjectName("PreviewVideo");
  NamePanel = new QLabel(RightBox);
  NamePanel->setObjectName("NamePanel");
  NamePanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  NamePanel->setAlignment(Qt::AlignCenter);
  for (QWidget* W : std::initializer_list<QWidget*>{
           AutoPreviewCheck, AutoRenameCheck, AutoUpdateCheck, HelpButton, PreviewFrame, NamePanel})
    Right->addWidget(W);
  Right->addStretch();
  Body->addWidget(RightBox);
  Main->addLayout(Body, 1);
  HidePreviews();

  auto* Bar = new QStatusBar(this);
  Bar->setSizeGripEnabled(false);
  const int Widths[] = {25, 80, 60, 50};
  for (int I = 0; I < 4; ++I) {
    StatusPanels[I] = new QLabel(Bar);
    StatusPanels[I]->setObjectName("StatusPanels" + QString::number(I));
    StatusPanels[I]->setMinimumWidth(Widths[I]);
    StatusPanels[I]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Bar->addWidget(StatusPanels[I], I == 3 ? 1 : 0);
  }
  BusyLamp = new QLabel(StatusPanels[0]);
  BusyLamp->setObjectName("BusyLamp");
  BusyLamp->setGeometry(7, 4, 10, 10);
  BusyLamp->setStyleSheet("background: #800000; border-radius: 5px;");
  Main->addWidget(Bar);
}

void TfSelectFiles::SetPanel(int Panel, const QString& Text) {
  StatusPanels[Panel]->setText(DisplayFileName(Text));
  emit OnPanelText(Panel, Text);
}

QString TfSelectFiles::PanelText(int Panel) const {
  return StatusPanels[Panel]->text();
}

void TfSelectFiles::Open() {
  if (isVisible()) { // already open: keep the folder the user is in
    raise();
    activateWindow();
    return;
  }
  TSettingsStore S;
  QString Folder = S.ReadString("SourceDir", QDir::homePath());
  if (!QFileInfo(Folder).isDir()) Folder = QDir::homePath();
  SetSourceFolder(Folder);
  FLastPreviewed.clear();
  // Centred on the screen of the main window.
  QWidget* Host = parentWidget();
  if (QScreen* Sc = Host && Host->screen() ? Host->screen() : screen()) {
    const QRect Area = Sc->availableGeometry();
    QRect R = frameGeometry();
    R.moveCenter(Area.center());
    move(R.topLeft());
  }
  show();
  raise();
  activateWindow();
  RevealSourceFolder();
  // The tree may still be reading: the folder is brought into view again once it has been.
  QTimer::singleShot(0, this, [this] { RevealSourceFolder(); });
}

void TfSelectFiles::RevealSourceFolder() {
  TreeView->Reveal();
}

void TfSelectFiles::SetSourceFolder(const QString& Folder) {
  TreeView->SelectFolder(Folder);
  FFolder = QDir::cleanPath(QFileInfo(Folder).absoluteFilePath());
  setWindowTitle(DisplayFileName(FFolder));
  if (AutoUpdateCheck->isChecked()) AutoUpdateCheck->setChecked(false);
  ListAndSort();
}

void TfSelectFiles::TreeChanged(const QString& Folder) {
  if (!QFileInfo(Folder).isDir()) return;
  FFolder = Folder;
  setWindowTitle(DisplayFileName(Folder));
  ListAndSort();
  AutoUpdateCheck->setChecked(false); // also stops watching
}

QString TfSelectFiles::TypeMask() const {
  return FHooks.TypeMask ? FHooks.TypeMask() : QString();
}

void TfSelectFiles::ListAndSort() {
  try {
    FileList->ListFolder(FFolder, TypeMask());
  } catch (const std::exception&) {
  }
  try {
    FileList->Sort();
  } catch (const std::exception&) {
    ShowMessage("Error sorting items", this);
  }
  SetPanel(1, QString::number(FileList->Count()) + " files");
}

QList<int> TfSelectFiles::SelectedRows() const {
  QList<int> Rows;
  for (const QModelIndex& I : ListView->selectionModel()->selectedRows())
    Rows << I.row();
  std::sort(Rows.begin(), Rows.end());
  return Rows;
}

void TfSelectFiles::SelectRow(int Row, bool Exclusive) {
  auto Flags = QItemSelectionModel::Select | QItemSelectionModel::Rows;
  if (Exclusive) Flags |= QItemSelectionModel::Clear;
  ListView->selectionModel()->setCurrentIndex(FileList->index(Row, 0), Flags);
  ListView->scrollTo(FileList->index(Row, 0));
}

QString TfSelectFiles::SelectedName() const {
  const QList<int> Rows = SelectedRows();
  return Rows.size() == 1 ? FileList->Item(Rows.first()).Name : QString();
}

void TfSelectFiles::SelectByName(const QString& Name) {
  for (int R = 0; R < FileList->Count(); ++R)
    if (FileList->Item(R).Name == Name) {
      SelectRow(R, true);
      return;
    }
}

void TfSelectFiles::UpdateMenu() {
  const int N = int(SelectedRows().size());
  for (QAction* A : {Rename1, Preview1, ImageInfo1, Attributes1, LargeView1})
    A->setEnabled(N == 1);
  Move1->setEnabled(N >= 1);
  Copy1->setEnabled(N >= 1);
}

void TfSelectFiles::SelectionChanged() {
  UpdateMenu();
  if (!AutoPreviewCheck->isChecked() || FTransferring) return;
  const QString Name = SelectedName();
  if (Name.isEmpty() || Name == FLastPreviewed) return;
  FLastPreviewed = Name;
  const QString Path = FullFileName(FFolder, Name);
  if (QFileInfo::exists(Path)) Preview(Path);
}

void TfSelectFiles::TakeSnapshot() {
  FSnapshot = FolderSnapshot(FFolder, TypeMask());
}

void TfSelectFiles::RelistMain(const QString& Folder) {
  if (FHooks.MainFolder && FHooks.RelistMain && SameFolder(Folder, FHooks.MainFolder()))
    FHooks.RelistMain();
}

// ---- commands

void TfSelectFiles::RefreshClick() {
  const QString Name = SelectedName();
  ListAndSort();
  if (!Name.isEmpty()) SelectByName(Name);
}

void TfSelectFiles::DeleteClick() {
  const QList<int> Rows = SelectedRows();
  QStringList Names, Paths;
  for (int R : Rows) {
    Names << FileList->Item(R).Name;
    Paths << FileList->FullName(R);
  }
  const bool Confirm = !FHooks.ConfirmDeletions || FHooks.ConfirmDeletions();
  if (!ConfirmDeleteFiles(Names, Confirm, this)) return;
  QString Next;
  {
    TWaitCursor Wait;
    const int NextRow = NeighbourAfterDelete(Rows, FileList->Count());
    if (NextRow >= 0) Next = FileList->Item(NextRow).Name;
    DeleteFiles(
        Paths,
        FHooks.DeletePermanently && FHooks.DeletePermanently() ? TDeleteMode::dmPermanent
                                                               : TDeleteMode::dmTrash,
        [this](const QString& S) {
          SetPanel(3, S);
          StatusPanels[3]->repaint();
        },
        this);
    SetPanel(3, "Updating...");
    ListAndSort();
    if (!Next.isEmpty()) SelectByName(Next);
  }
  SetPanel(3, QString());
  RelistMain(FFolder);
  if (AutoUpdateCheck->isChecked()) TakeSnapshot();
}

void TfSelectFiles::RenameClick() {
  const QList<int> Rows = SelectedRows();
  if (Rows.size() >= 2) {
    ShowMessage("You must select a single file for this function", this);
    return;
  }
  if (Rows.isEmpty()) {
    ShowMessage("You must click on a file", this);
    return;
  }
  if (!FHooks.Rename) return;
  const QString New = FHooks.Rename(FFolder, FileList->Item(Rows.first()).Name);
  if (New.isEmpty()) return;
  ListAndSort();
  SelectByName(New);
  RelistMain(FFolder);
  if (AutoUpdateCheck->isChecked()) TakeSnapshot();
}

void TfSelectFiles::TransferClick(bool Move) {
  const QList<int> Rows = SelectedRows();
  const QString Dest = FHooks.MainFolder ? FHooks.MainFolder() : QString();
  if (Rows.isEmpty() || Dest.isEmpty()) return;
  if (SameFolder(Dest, FFolder)) {
    // A move would only rename the files (auto rename) or fail on each: refused before any.
    ShowMessage("The files are already in " + Dest +
                    ". Choose the destination folder in the main window first.",
                this);
    return;
  }
  const QString MainName = FHooks.MainSelectedName ? FHooks.MainSelectedName() : QString();
  const int NextRow = NeighbourAfterDelete(Rows, FileList->Count());
  const QString Next = NextRow >= 0 ? FileList->Item(NextRow).Name : QString();
  TTransferRequest R;
  for (int Row : Rows)
    R.Names << FileList->Item(Row).Name;
  R.SourceFolder = FFolder;
  R.DestinationFolder = Dest;
  R.Move = Move;
  R.AutoRename = AutoRenameCheck->isChecked();
  R.Status = [this](const QString& S) {
    SetPanel(3, S);
    StatusPanels[3]->repaint();
  };
  R.ItemDone = [this, &Rows](int I) {
    ListView->selectionModel()->select(FileList->index(Rows[I], 0),
                                       QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    ListView->viewport()->repaint();
  };
  // A long transfer shows its progress after a moment; Esc or Cancel stops it before the next
  // file. The dialog keeps every window from other commands meanwhile.
  QProgressDialog Progress(Move ? "Moving files..." : "Copying files...", "Cancel", 0,
                           int(Rows.size()), this);
  Progress.setObjectName("TransferProgress");
  Progress.setWindowModality(Qt::ApplicationModal);
  Progress.setMinimumDuration(TransferProgressDelay);
  Progress.setAutoClose(false);
  Progress.setAutoReset(false);
  // Esc reaching the dialog itself (not its shortcut) rejects it, which would only hide it.
  connect(&Progress, &QDialog::rejected, &Progress, &QProgressDialog::canceled);
  int Started = 0;
  R.KeepRunning = [&Progress, &Started] {
    Progress.setValue(Started++); // lets the dialog see Esc and Cancel
    return !Progress.wasCanceled();
  };
  TTransferResult Result;
  {
    TWaitCursor Wait;
    // Deselecting the files one by one must not preview those still waiting to go.
    FTransferring = true;
    Result = TransferFiles(R, this);
    FTransferring = false;
  }
  Progress.close();
  SetPanel(3, QString());
  ListAndSort();
  QString Show = Result.LastDestinationName.isEmpty() ? MainName : Result.LastDestinationName;
  if (!QFileInfo::exists(FullFileName(Dest, Show))) Show.clear();
  if (FHooks.RelistMainAndSelect) FHooks.RelistMainAndSelect(Show);
  if (!SameFolder(FFolder, Dest)) RelistMain(FFolder);
  if (!Move) return;
  if (AutoUpdateCheck->isChecked()) TakeSnapshot();
  if (AutoPreviewCheck->isChecked() && !Next.isEmpty()) {
    SelectByName(Next); // previews it through the selection
    const QString Path = FullFileName(FFolder, Next);
    if (FPreviewed != Path && QFileInfo::exists(Path)) {
      FLastPreviewed = Next;
      Preview(Path);
    }
  }
}

void TfSelectFiles::UndoClick() {
  const QString Name = SelectedName();
  {
    TWaitCursor Wait;
    UndoFileOperation(this);
  }
  ListAndSort();
  if (!Name.isEmpty()) SelectByName(Name);
  // Moves go between this folder and the main window's.
  if (FHooks.RelistMain) FHooks.RelistMain();
  if (AutoUpdateCheck->isChecked()) TakeSnapshot();
}

void TfSelectFiles::PreviewClick() {
  const QString Name = SelectedName();
  if (Name.isEmpty()) return;
  FLastPreviewed = Name;
  Preview(FullFileName(FFolder, Name));
}

void TfSelectFiles::AttributesClick() {
  const QString Name = SelectedName();
  if (Name.isEmpty()) return;
  if (FHooks.EditAttributes && !FHooks.EditAttributes(FFolder, Name).isEmpty()) RefreshClick();
}

void TfSelectFiles::ImageInfoClick() {
  const QString Name = SelectedName();
  if (!Name.isEmpty() && FHooks.ImageProperties)
    FHooks.ImageProperties(FullFileName(FFolder, Name));
}

void TfSelectFiles::LargeViewClick() {
  const QString Name = SelectedName();
  if (!Name.isEmpty() && LargeView) LargeView(FullFileName(FFolder, Name));
}

void TfSelectFiles::SelectAllClick() {
  ListView->selectAll();
  ListView->setFocus();
}

void TfSelectFiles::SelectNoneClick() {
  ListView->clearSelection();
  ListView->setFocus();
}

void TfSelectFiles::AddFolderClick() {
  const QString Made = FHooks.AddFolder ? FHooks.AddFolder(FFolder) : QString();
  if (Made.isEmpty()) return;
  RefreshTreeClick();
  SetSourceFolder(Made);
}

void TfSelectFiles::DeleteFolderClick() {
  const QString Folder = FFolder;
  if (Folder.isEmpty() || Folder == "/") return;
  if (DeleteFolderCommand(
          Folder, [&] { SetSourceFolder(NearestExistingFolder(FolderOf(Folder))); }, this) ==
      TDeleteFolderResult::dfDeleted)
    RefreshTreeClick();
}

void TfSelectFiles::RefreshTreeClick() {
  TWaitCursor Wait;
  QFileSystemModel* Model = TreeView->Model();
  const QString Root = Model->rootPath();
  Model->setRootPath(QString());
  Model->setRootPath(Root);
  // Followed again while the tree is read anew.
  TreeView->SelectFolder(FFolder);
}

void TfSelectFiles::SaveDefaultPathClick() {
  TSettingsStore S;
  S.WriteString("SourceDir", FFolder);
  ShowMessage("Saved default as " + FFolder, this);
}

// ---- watching the folder

void TfSelectFiles::SetAutoUpdate(bool On) {
  if (AutoUpdateCheck->isChecked() != On) {
    AutoUpdateCheck->setChecked(On); // comes back here through the signal
    return;
  }
  if (!FWatcher->directories().isEmpty()) FWatcher->removePaths(FWatcher->directories());
  WatchNewFile(QString());
  if (!On) return;
  FWatcher->addPath(FFolder);
  TakeSnapshot();
}

void TfSelectFiles::FolderChangedOnDisk() {
  if (!AutoUpdateCheck->isChecked()) return;
  try {
    ListAndSort();
    QStringList Names;
    for (const TFileItem& It : FileList->Items())
      Names << It.Name;
    const QString New = FirstNewName(Names, FSnapshot);
    if (New.isEmpty()) return;
    FLastPreviewed = New; // previewed below, once
    ListView->clearSelection();
    SelectByName(New);
    TakeSnapshot();
    ListView->setFocus();
    const QString Path = FullFileName(FFolder, New);
    WatchNewFile(Path);
    Preview(Path);
  } catch (const std::exception&) {
    // A file that vanished or cannot be read meanwhile: the next change tries again.
  }
}

void TfSelectFiles::WatchNewFile(const QString& Path) {
  FSettle->stop();
  if (!FGrowing.isEmpty()) FWatcher->removePath(FGrowing);
  FGrowing = Path;
  if (Path.isEmpty()) return;
  FGrowingStamp = StampOf(Path);
  FWatcher->addPath(Path);
  // Written on meanwhile without a notification reaching us: checked once in any case.
  FSettle->start();
}

void TfSelectFiles::NewFileSettled() {
  if (FGrowing.isEmpty() || !AutoUpdateCheck->isChecked()) return;
  const auto Now = StampOf(FGrowing);
  if (Now.first < 0 || Now == FGrowingStamp) return;
  FGrowingStamp = Now;
  // Only while it is still the file in the preview (the user may have moved on).
  if (FPreviewed == FGrowing) Preview(FGrowing);
}

// ---- preview

void TfSelectFiles::HidePreviews() {
  PreviewVideo->Stop();
  for (QWidget* W :
       std::initializer_list<QWidget*>{PreviewVideo, PreviewImage, PreviewPicture, PreviewGif})
    W->hide();
}

QWidget* TfSelectFiles::PreviewWidget() const {
  for (QWidget* W :
       std::initializer_list<QWidget*>{PreviewVideo, PreviewImage, PreviewPicture, PreviewGif})
    if (W->isVisibleTo(PreviewFrame)) return W;
  return nullptr;
}

void TfSelectFiles::Preview(const QString& Path) {
  const QFileInfo Info(Path);
  SetPanel(2, PreviewSizeText(Info.size()));
  BusyLamp->setStyleSheet("background: #ff0000; border-radius: 5px;");
  NamePanel->setText("Loading...");
  HidePreviews();
  auto Place = [](QWidget* W, QSize S) {
    W->setGeometry(2 + (kBox - S.width()) / 2, 2 + (kBox - S.height()) / 2, S.width(), S.height());
    W->show();
  };
  const QString Kind = Info.suffix().left(3).toUpper();
  try {
    if (Kind == "AVI") {
      PreviewVideo->Open(Path);
      Place(PreviewVideo,
            FitPreviewBox(PreviewVideo->FrameSize().width(), PreviewVideo->FrameSize().height()));
      PreviewVideo->Play();
    } else if (Kind == "GIF") {
      PreviewGif->LoadFromFile(Path);
      Place(PreviewGif,
            NaturalOrFit(PreviewGif->GifSize().width(), PreviewGif->GifSize().height()));
      PreviewGif->SetAnimate(PreviewGif->FrameCount() > 1);
    } else if (Kind == "ICO" || Kind == "WMF") {
      try {
        PreviewPicture->LoadFromFile(Path);
        const int W = PreviewPicture->PictureWidth(), H = PreviewPicture->PictureHeight();
        SetPanel(3, PictureSizeText(W, H));
        Place(PreviewPicture, NaturalOrFit(W, H));
      } catch (const std::exception&) {
        if (Info.size() > 0) ShowMessage("Error reading image file", this);
      }
    } else {
      PreviewImage->LoadFromFile(Path);
      SetPanel(3, PictureSizeText(PreviewImage->ImageWidth(), PreviewImage->ImageHeight()));
      Place(PreviewImage, QSize(kBox, kBox));
    }
  } catch (const std::exception&) {
    // A preview that fails shows nothing.
  }
  FPreviewed = Path;
  BusyLamp->setStyleSheet("background: #800000; border-radius: 5px;");
  NamePanel->setText(DisplayFileName(Info.fileName()));
}

void TfSelectFiles::closeEvent(QCloseEvent* E) {
  PreviewVideo->Stop();
  PreviewVideo->hide();
  AutoUpdateCheck->setChecked(false);
  PreviewPicture->Clear();
  PreviewPicture->hide();
  E->accept();
}

} // namespace orbisk
