#include "thumbnails/thumbexplorer.h"
#include "platform/dialogscale.h"

#include "platform/filenames.h"

#include "engine/runtargets.h"

#include "metadata/ui/exifwindow.h"
#include "platform/fileops.h"
#include "platform/foldertree.h"
#include "platform/prompt.h"
#include "platform/settingsstore.h"
#include "thumbnails/batchwindow.h"
#include "thumbnails/thumbcache.h"
#include "thumbnails/savethumbdialog.h"
#include "thumbnails/tesslyviewer.h"
#include "thumbnails/thumbcell.h"
#include "thumbnails/thumblistmodel.h"
#include "thumbnails/thumbloader.h"
#include "view/fileprop.h"
#include "view/filelist.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace orbisk {

namespace {

std::string Encoded(const QString& Path) {
  return EncodeFileName(Path).toStdString();
}

} // namespace

TfrmThumbnails::TfrmThumbnails(QWidget* Parent) : QMainWindow(Parent, Qt::Window) {
  setWindowTitle("Thumbnail Explorer");
  resize(ScaledSize(594, 467));
  {
    const TSettingsStore S;
    const int Size = S.ReadInteger(kThumbSizeSetting, kThumbCellSize);
    if (std::find(std::begin(kThumbCellSizes), std::end(kThumbCellSizes), Size) !=
        std::end(kThumbCellSizes))
      FCellSize = Size;
    FUseCache = S.ReadInteger(kThumbCacheSetting, 1) != 0;
  }
  CreateWidgets();
  // A tool bar wider than the window would hide its last buttons behind its extension.
  if (QToolBar* Bar = findChild<QToolBar*>()) {
    const int Need = Bar->sizeHint().width() + ProgressBar1->maximumWidth();
    if (Need > width()) resize(Need, height());
  }
  // File operations anywhere in the program announce the folders they changed.
  connect(&FileEvents(), &TFileEvents::FolderChanged, this,
          [this](const QString& Folder) { FilesChanged(Folder); });
  if (QScreen* S = QGuiApplication::primaryScreen())
    move(S->availableGeometry().center() - rect().center());
}

TfrmThumbnails::~TfrmThumbnails() {
  FLoader.reset();
  EndCursor();
}

void TfrmThumbnails::CreateWidgets() {
  auto Act = [this](const QString& Text, auto Fn) {
    auto* A = new QAction(Text, this);
    connect(A, &QAction::triggered, this, Fn);
    return A;
  };
  SaveButton = Act("Save thumbnails to disk", [this] { SaveAsThumbnailClick(); });
  TesslyButton = Act("Tessly Creator", [this] {
    if (ShowTesslyCreator) ShowTesslyCreator();
  });
  ListButton = Act("List", [this] { SetViewStyle(TThumbViewStyle::vsList); });
  DetailsButton = Act("Details", [this] { SetViewStyle(TThumbViewStyle::vsDetails); });
  ThumbnailsButton = Act("Thumbnails", [this] { SetViewStyle(TThumbViewStyle::vsThumbnails); });
  auto* Group = new QActionGroup(this);
  for (QAction* A : {ListButton, DetailsButton, ThumbnailsButton}) {
    A->setCheckable(true);
    Group->addAction(A);
  }
  DetailsButton->setChecked(true);
  ViewImage1 = Act("View Image...", [this] { ViewImageClick(); });
  ImageProperties1 = Act("Image Properties...", [this] { ImagePropertiesClick(); });
  EXIFData1 = Act("EXIF Data...", [this] { EXIFDataClick(); });
  SaveAsThumbnail1 = Act("Save As Thumbnail...", [this] { SaveAsThumbnailClick(); });
  ConvertAndResize1 = Act("Convert and Resize...", [this] { ConvertAndResizeClick(); });
  Refresh1 = Act("Refresh", [this] { RefreshClick(); });

  ViewMenu = menuBar()->addMenu("&View");
  ViewMenu->addActions({ListButton, DetailsButton, ThumbnailsButton});
  ViewMenu->addSeparator();
  ThumbnailSize1 = ViewMenu->addMenu("Thumbnail &Size");
  auto* Sizes = new QActionGroup(this);
  for (int S : kThumbCellSizes) {
    QAction* A = ThumbnailSize1->addAction(QString("%1 X %1").arg(S));
    A->setCheckable(true);
    A->setChecked(S == FCellSize);
    Sizes->addAction(A);
    connect(A, &QAction::triggered, this, [this, S] { SetCellSize(S); });
    SizeActions.push_back(A);
  }
  UseThumbnailCache1 = ViewMenu->addAction("Use Thumbnail &Cache");
  UseThumbnailCache1->setCheckable(true);
  UseThumbnailCache1->setChecked(FUseCache);
  UseThumbnailCache1->setStatusTip(
      "Keep thumbnails in the desktop's thumbnail cache and take them from there");
  connect(UseThumbnailCache1, &QAction::toggled, this,
          [this](bool On) { SetUseThumbnailCache(On); });
  ViewMenu->addSeparator();
  ViewMenu->addAction(Refresh1);

  auto* Bar = addToolBar("Tools");
  Bar->setMovable(false);
  Bar->addAction(SaveButton);
  Bar->addAction(TesslyButton);
  Bar->addSeparator();
  Bar->addAction(ListButton);
  Bar->addAction(DetailsButton);
  Bar->addAction(ThumbnailsButton);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setMaximumWidth(150);
  // A tool bar shows and hides its widgets through their actions.
  ProgressBarAction = Bar->addWidget(ProgressBar1);
  ProgressBarAction->setVisible(false);

  // The tree reads folders in the background and keeps the chosen one in view as they arrive.
  FolderTree = new TFolderTree(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
  connect(FolderTree, &TFolderTree::FolderChanged, this,
          [this](const QString& Folder) { ChangeFolder(Folder); });

  FileList = new TFileListModel(this);
  ListModel = new TThumbListModel(FileList, this);
  ListModel->SetCellSize(FCellSize);
  DetailsView = new QTreeView;
  DetailsView->setModel(ListModel);
  DetailsView->setRootIsDecorated(false);
  DetailsView->setSelectionMode(QAbstractItemView::ExtendedSelection);
  DetailsView->setSortingEnabled(false);
  DetailsView->header()->setSectionsClickable(true);
  DetailsView->setColumnWidth(0, 160);
  DetailsView->setColumnWidth(1, 60);
  DetailsView->setColumnWidth(3, 120);
  connect(DetailsView->header(), &QHeaderView::sectionClicked, this,
          [this](int C) { ColumnClick(C); });
  ListView1 = new QListView;
  ListView1->setModel(ListModel);
  ListView1->setSelectionModel(DetailsView->selectionModel());
  ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  // Whole rows, so that the details view shows what the grid selected.
  ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1->setUniformItemSizes(true);
  ListView1->setResizeMode(QListView::Adjust);
  // The cells in view are made first, also after scrolling during a load.
  connect(ListView1->verticalScrollBar(), &QScrollBar::valueChanged, this,
          [this] { PreferVisible(); });
  const QColor Background(254, 255, 230);
  for (QAbstractItemView* V :
       {static_cast<QAbstractItemView*>(DetailsView), static_cast<QAbstractItemView*>(ListView1)}) {
    V->setDragEnabled(true);
    V->setDragDropMode(QAbstractItemView::DragOnly);
    V->setContextMenuPolicy(Qt::CustomContextMenu);
    QPalette P = V->palette();
    P.setColor(QPalette::Base, Background);
    V->setPalette(P);
    connect(V, &QWidget::customContextMenuRequested, this, [this, V](const QPoint& At) {
      UpdateMenu();
      PopupMenu1->popup(V->viewport()->mapToGlobal(At));
    });
    connect(V, &QAbstractItemView::doubleClicked, this, [this] { ViewImageClick(); });
    connect(V, &QAbstractItemView::clicked, this, [this](const QModelIndex& I) {
      if (ExifWindow && I.isValid()) {
        TfrmEXIF* W = ExifWindow();
        if (W && W->isVisible()) W->SelectionChanged(FileList->FullName(I.row()));
      }
    });
  }
  connect(DetailsView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { UpdateMenu(); });
  Views = new QStackedWidget;
  Views->addWidget(DetailsView);
  Views->addWidget(ListView1);
  Views->setCurrentWidget(DetailsView);

  auto* Split = new QSplitter(Qt::Horizontal, this);
  Split->addWidget(FolderTree);
  Split->addWidget(Views);
  Split->setSizes({180, 414});
  Split->setStretchFactor(1, 1);
  setCentralWidget(Split);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->addActions({ViewImage1, ImageProperties1, EXIFData1, SaveAsThumbnail1, Refresh1});
  PopupMenu1->insertAction(Refresh1, ConvertAndResize1);

  const int Widths[5] = {0, 140, 100, 150, 50};
  for (int I = 0; I < 5; ++I) {
    StatusPanels[I] = new QLabel(this);
    if (I == 0)
      StatusPanels[I]->setVisible(false);
    else
      StatusPanels[I]->setMinimumWidth(Widths[I]);
    statusBar()->addWidget(StatusPanels[I], I == 4 ? 1 : 0);
  }
  SaveDialog = new TfrmSaveThumbnail(this);
  for (QWidget* W : {static_cast<QWidget*>(FolderTree), static_cast<QWidget*>(DetailsView),
                     static_cast<QWidget*>(ListView1), FolderTree->viewport(),
                     DetailsView->viewport(), ListView1->viewport()})
    WatchKeys(W);
  // Every part is named as its member, so that it can be found by name.
  const std::pair<QObject*, const char*> Named[] = {
      {FolderTree, "FolderTree"},
      {FileList, "FileList"},
      {ListModel, "ListModel"},
      {Views, "Views"},
      {DetailsView, "DetailsView"},
      {ListView1, "ListView1"},
      {ProgressBar1, "ProgressBar1"},
      {ProgressBarAction, "ProgressBarAction"},
      {SaveButton, "SaveButton"},
      {TesslyButton, "TesslyButton"},
      {ListButton, "ListButton"},
      {DetailsButton, "DetailsButton"},
      {ThumbnailsButton, "ThumbnailsButton"},
      {ViewImage1, "ViewImage1"},
      {ImageProperties1, "ImageProperties1"},
      {EXIFData1, "EXIFData1"},
      {SaveAsThumbnail1, "SaveAsThumbnail1"},
      {Refresh1, "Refresh1"},
      {ConvertAndResize1, "ConvertAndResize1"},
      {ViewMenu, "ViewMenu"},
      {ThumbnailSize1, "ThumbnailSize1"},
      {UseThumbnailCache1, "UseThumbnailCache1"},
      {PopupMenu1, "PopupMenu1"},
      {SaveDialog, "SaveDialog"},
  };
  for (const auto& [Object, Name] : Named)
    Object->setObjectName(Name);
  for (size_t I = 0; I < SizeActions.size(); ++I)
    SizeActions[I]->setObjectName(QString("SizeActions%1").arg(I));
  for (size_t I = 0; I < StatusPanels.size(); ++I)
    StatusPanels[I]->setObjectName(QString("StatusPanels%1").arg(I));
  UpdateMenu();
}

void TfrmThumbnails::WatchKeys(QWidget* W) {
  W->installEventFilter(this);
}

bool TfrmThumbnails::eventFilter(QObject* O, QEvent* E) {
  // The window sees Esc before its controls.
  if (E->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(E)->key() == Qt::Key_Escape) {
    EscPressed();
    return true;
  }
  return QMainWindow::eventFilter(O, E);
}

void TfrmThumbnails::keyPressEvent(QKeyEvent* E) {
  if (E->key() == Qt::Key_Escape) {
    EscPressed();
    return;
  }
  QMainWindow::keyPressEvent(E);
}

void TfrmThumbnails::showEvent(QShowEvent* E) {
  // Every showing starts sorted by name, ascending.
  FileList->SetSortState(0, true);
  FileList->Sort();
  QMainWindow::showEvent(E);
}

void TfrmThumbnails::closeEvent(QCloseEvent* E) {
  DetailsView->clearSelection();
  QMainWindow::closeEvent(E);
}

QString TfrmThumbnails::PanelText(int Panel) const {
  return StatusPanels[size_t(Panel)]->text();
}

QString TfrmThumbnails::Folder() const {
  return FListedFolder;
}

bool TfrmThumbnails::ThumbnailsCurrent() const {
  return !FRefilledSinceLoad && FListedFolder == FLastLoadFolder;
}

QList<int> TfrmThumbnails::SelectedRows() const {
  // The grid and the list select single cells of column 0, the details view whole rows: an item
  // counts as selected when any of its cells is.
  QList<int> Rows;
  for (const QModelIndex& I : DetailsView->selectionModel()->selectedIndexes())
    Rows << I.row();
  std::sort(Rows.begin(), Rows.end());
  Rows.erase(std::unique(Rows.begin(), Rows.end()), Rows.end());
  return Rows;
}

QStringList TfrmThumbnails::SelectedNames() const {
  QStringList Names;
  for (int R : SelectedRows())
    Names << FileList->Item(R).Name;
  return Names;
}

QString TfrmThumbnails::SelectedFile() const {
  const QList<int> Rows = SelectedRows();
  return Rows.size() == 1 ? FileList->FullName(Rows[0]) : QString();
}

void TfrmThumbnails::UpdateMenu() {
  const int N = static_cast<int>(SelectedRows().size());
  ViewImage1->setEnabled(N == 1);
  ImageProperties1->setEnabled(N == 1);
  EXIFData1->setEnabled(N == 1);
  SaveAsThumbnail1->setEnabled(N >= 1);
  ConvertAndResize1->setEnabled(N >= 1);
}

void TfrmThumbnails::StartCursor() {
  if (FCursor) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  FCursor = true;
}

void TfrmThumbnails::EndCursor() {
  if (!FCursor) return;
  QApplication::restoreOverrideCursor();
  FCursor = false;
}

// ---- folders and listing

void TfrmThumbnails::OpenOn(const QString& Folder) {
  SetViewStyle(TThumbViewStyle::vsDetails);
  FolderTree->SelectFolder(Folder);
  if (FListedFolder != FolderWithSeparator(Folder)) ChangeFolder(Folder);
  show();
  raise();
  activateWindow();
}

void TfrmThumbnails::ChangeFolder(const QString& Folder) {
  if (FolderWithSeparator(Folder) == FListedFolder && !FListedFolder.isEmpty()) return;
  // The results of the old folder are stale from now on.
  StopLoad();
  FListedFolder = FolderWithSeparator(Folder);
  Relist();
  if (FStyle == TThumbViewStyle::vsThumbnails && !ThumbnailsCurrent()) MakeThumbnails();
}

void TfrmThumbnails::Relist() {
  if (FListedFolder.isEmpty()) return;
  StopLoad();
  const QString Mask = TypeMask ? TypeMask() : QString("*.*;");
  FileList->SetAllFiles(AllFiles ? AllFiles() : false);
  try {
    FileList->ListFolder(FListedFolder, Mask);
  } catch (const std::exception&) {
    // The list stays empty; the count below says so.
  }
  ListModel->ClearCells();
  FRefilledSinceLoad = true;
  StatusPanels[1]->setText(QString::number(FileList->Count()) + " files");
  try {
    FileList->Sort();
  } catch (...) {
    ShowMessage("Error sorting items", this);
  }
  UpdateMenu();
}

void TfrmThumbnails::FilesChanged(const QString& Folder) {
  if (!isVisible() || FListedFolder.isEmpty() || !SameFolder(Folder, FListedFolder)) return;
  Relist();
  if (FStyle == TThumbViewStyle::vsThumbnails) MakeThumbnails();
}

void TfrmThumbnails::ColumnClick(int Column) {
  try {
    FileList->ColumnClick(Column);
  } catch (...) {
    ShowMessage("Error sorting items", this);
  }
}

void TfrmThumbnails::SetViewStyle(TThumbViewStyle S) {
  FStyle = S;
  const bool Thumbs = S == TThumbViewStyle::vsThumbnails;
  (S == TThumbViewStyle::vsList      ? ListButton
   : S == TThumbViewStyle::vsDetails ? DetailsButton
                                     : ThumbnailsButton)
      ->setChecked(true);
  ListModel->SetShowCells(Thumbs);
  if (S == TThumbViewStyle::vsDetails) {
    Views->setCurrentWidget(DetailsView);
  } else {
    ListView1->setViewMode(Thumbs ? QListView::IconMode : QListView::ListMode);
    ListView1->setFlow(Thumbs ? QListView::LeftToRight : QListView::TopToBottom);
    ListView1->setWrapping(true);
    ListView1->setIconSize(Thumbs ? QSize(FCellSize, FCellSize) : QSize(16, 16));
    ListView1->setGridSize(Thumbs ? QSize(FCellSize + 40, FCellSize + 36) : QSize());
    ListView1->setMovement(QListView::Static);
    ListView1->setDragEnabled(true);
    ListView1->setDragDropMode(QAbstractItemView::DragOnly);
    Views->setCurrentWidget(ListView1);
  }
  if (Thumbs && !ThumbnailsCurrent()) MakeThumbnails();
}

void TfrmThumbnails::SetCellSize(int S) {
  if (std::find(std::begin(kThumbCellSizes), std::end(kThumbCellSizes), S) ==
      std::end(kThumbCellSizes))
    return;
  for (size_t I = 0; I < SizeActions.size(); ++I)
    SizeActions[I]->setChecked(kThumbCellSizes[I] == S);
  if (S == FCellSize) return;
  FCellSize = S;
  {
    TSettingsStore Store;
    Store.WriteInteger(kThumbSizeSetting, S);
  }
  // The cells of the old size go; the thumbnail view makes the new ones.
  StopLoad();
  ListModel->SetCellSize(S);
  FRefilledSinceLoad = true;
  if (FStyle == TThumbViewStyle::vsThumbnails) SetViewStyle(FStyle);
}

void TfrmThumbnails::SetUseThumbnailCache(bool On) {
  if (UseThumbnailCache1->isChecked() != On) UseThumbnailCache1->setChecked(On);
  if (On == FUseCache) return;
  FUseCache = On;
  TSettingsStore Store;
  Store.WriteInteger(kThumbCacheSetting, On ? 1 : 0);
}

// ---- making the thumbnails

void TfrmThumbnails::MakeThumbnails() {
  // A second load replaces the first instead of interleaving with it.
  StopLoad();
  StartCursor();
  ListModel->ClearCells();
  FRunning = true;
  FLastLoadFolder = FListedFolder;
  FRefilledSinceLoad = false;
  const int N = FileList->Count();
  StatusPanels[1]->setText("Press ESC to cancel...");
  ProgressBar1->setRange(0, std::max(N, 1));
  ProgressBar1->setValue(0);
  ProgressBarAction->setVisible(true);
  FLoadNames.clear();
  std::vector<std::string> Paths;
  Paths.reserve(size_t(N));
  for (int I = 0; I < N; ++I) {
    FLoadNames << FileList->Item(I).Name;
    Paths.push_back(Encoded(FileList->FullName(I)));
  }
  if (N == 0) {
    EndLoad(true);
    return;
  }
  const uint64_t Gen = ++FGeneration;
  TThumbCellOptions Options;
  Options.Size = FCellSize;
  if (FUseCache) Options.Cache = std::make_shared<TThumbCache>(TThumbCache::DefaultRoot());
  FLoader = std::make_unique<TThumbLoader>(std::move(Paths), Options, 0, [this, Gen] {
    QMetaObject::invokeMethod(
        this, [this, Gen] { TakeCells(Gen); }, Qt::QueuedConnection);
  });
  PreferVisible();
}

void TfrmThumbnails::PreferVisible() {
  if (!FLoader || FStyle != TThumbViewStyle::vsThumbnails) return;
  // The load's indices of the items whose places touch the visible part of the grid.
  const QRect Seen = ListView1->viewport()->rect();
  int First = -1, Last = -1;
  const int N = std::min<int>(FileList->Count(), static_cast<int>(FLoadNames.size()));
  for (int R = 0; R < N; ++R) {
    if (!ListView1->visualRect(ListModel->index(R, 0)).intersects(Seen)) continue;
    const QString& Name = FileList->Item(R).Name;
    const int I = FLoadNames.value(R) == Name ? R : static_cast<int>(FLoadNames.indexOf(Name));
    if (I < 0) continue;
    First = First < 0 ? I : std::min(First, I);
    Last = std::max(Last, I);
  }
  if (First < 0) {
    // Not laid out yet: the first screenful of the grid's geometry.
    const QSize Grid = ListView1->gridSize().isValid() ? ListView1->gridSize()
                                                       : QSize(FCellSize + 40, FCellSize + 36);
    const int PerRow = std::max(1, Seen.width() / std::max(1, Grid.width()));
    const int Rows = Seen.height() / std::max(1, Grid.height()) + 1;
    First = 0;
    Last = PerRow * Rows - 1;
  }
  FLoader->Prefer(First, Last);
}

void TfrmThumbnails::TakeCells(uint64_t Generation) {
  if (Generation != FGeneration || !FLoader) return;
  std::vector<TThumbResult> Ready = FLoader->TakeReady();
  const int N = FLoader->Count();
  for (auto& R : Ready) {
    ProgressBar1->setValue(FLoader->Delivered());
    StatusPanels[3]->setText(QString::number(R.Index + 1) + " of " + QString::number(N) + " (" +
                             FLoadNames[R.Index] + ")");
    ListModel->SetCell(R.Index, FLoadNames[R.Index], *R.Cell.Picture);
    if (!R.Cell.PlaceholderError.empty())
      ShowMessage(QString::fromStdString(R.Cell.PlaceholderError), this);
  }
  if (FLoader && Generation == FGeneration && FLoader->Finished()) EndLoad(true);
}

void TfrmThumbnails::EndLoad(bool Completed) {
  if (Completed && FRunning) StatusPanels[1]->setText("Thumbnails loaded");
  FLoader.reset();
  ++FGeneration;
  ProgressBarAction->setVisible(false);
  EndCursor();
  StatusPanels[3]->clear();
}

void TfrmThumbnails::StopLoad() {
  if (FLoader) EndLoad(false);
}

void TfrmThumbnails::EscPressed() {
  FRunning = false;
  StatusPanels[1]->setText("Stopped by user!");
  // Outstanding work stops at once; the cells made so far stay.
  if (FLoader) FLoader->Cancel();
  StopLoad();
}

void TfrmThumbnails::RefreshClick() {
  if (FStyle == TThumbViewStyle::vsThumbnails) MakeThumbnails();
}

// ---- the context menu

void TfrmThumbnails::ViewImageClick() {
  const QString Path = SelectedFile();
  if (Path.isEmpty()) return;
  try {
    ViewImage(Path, 4);
  } catch (const std::exception& E) {
    ShowMessage(QString::fromLocal8Bit(E.what()), this);
  }
}

void TfrmThumbnails::ImagePropertiesClick() {
  const QString Path = SelectedFile();
  if (Path.isEmpty()) return;
  TfrmFileProp* W = FilePropWindow ? FilePropWindow() : nullptr;
  if (!W) {
    FilePropWindow = [Own = new TfrmFileProp(this)] { return Own; };
    W = FilePropWindow();
  }
  W->Execute(Path);
}

void TfrmThumbnails::EXIFDataClick() {
  const QString Path = SelectedFile();
  if (Path.isEmpty()) return;
  TfrmEXIF* W = ExifWindow ? ExifWindow() : nullptr;
  if (!W) {
    ExifWindow = [Own = new TfrmEXIF(this)] { return Own; };
    W = ExifWindow();
  }
  W->ShowFile(Path);
}

// ---- saving thumbnails

void TfrmThumbnails::ConvertAndResizeClick() {
  QStringList Files;
  for (int R : SelectedRows())
    if (!QFileInfo(FileList->FullName(R)).isDir()) Files << FileList->FullName(R);
  ShowBatchWindow(Files, this);
}

void TfrmThumbnails::SaveAsThumbnailClick() {
  if (FSaving) return;
  const QList<int> Rows = SelectedRows();
  if (Rows.isEmpty()) {
    ShowMessage("Select files to convert by clicking on them", this);
    return;
  }
  if (!SaveDialog->Execute(FListedFolder, static_cast<int>(Rows.size()))) return;
  StopLoad();
  FSaving = true;
  const int S = SaveDialog->CellSize();
  const QString Ext = SaveDialog->Extension();
  const QString Prefix = SaveDialog->Prefix();
  const QString Target = SaveDialog->SaveFolder();
  const QString SourceFolder = FListedFolder;
  const int Count = static_cast<int>(Rows.size());
  QStringList Names;
  std::vector<std::string> Sources;
  for (int R : Rows) {
    Names << FileList->Item(R).Name;
    Sources.push_back(Encoded(FileList->FullName(R)));
  }
  // Saved thumbnails never replace one of the files they are made from.
  const TSourceFiles Guard(Sources);
  StatusPanels[1]->setText(QString::number(Count) + " selected...");
  FRunning = true;
  ProgressBar1->setRange(0, Count);
  ProgressBar1->setValue(0);
  ProgressBarAction->setVisible(true);
  // Names given twice in this run are numbered; files the run did not write stay untouched
  // unless the user asked to replace them.
  TRunTargets Targets(SaveDialog->ReplaceExisting());
  std::string TargetDir = Encoded(Target);
  while (TargetDir.size() > 1 && TargetDir.back() == '/')
    TargetDir.pop_back();
  QStringList Skipped;
  for (int I = 0; I < Count && FRunning; ++I) {
    QCoreApplication::processEvents();
    if (!FRunning) break;
    StatusPanels[3]->setText(QString::number(I + 1) + " of " + QString::number(Count) + " : " +
                             Names[I]);
    const TThumbNameParts Parts = ThumbnailNameParts(
        Prefix.toStdString(), EncodeFileName(Names[I]).toStdString(), Ext.toStdString());
    const TRunTarget Claimed = Targets.Claim(TargetDir, Parts.Stem, Parts.DotExt);
    const std::string& Out = Claimed.Path;
    try {
      // The source guard comes first: a file that would be replaced is not even read.
      if (Guard.Contains(Out)) throw std::runtime_error("would replace a source file");
      if (Claimed.Existing) {
        Skipped << DecodeFileName(QByteArray::fromStdString(Out));
        ProgressBar1->setValue(I);
        continue;
      }
      TThumbCellOptions Saving;
      Saving.Size = S;
      Saving.Fast = false;
      TThumbCell Cell = MakeThumbCell(Sources[size_t(I)], Saving);
      SaveThumbnail(*Cell.Picture, Out, Ext.toStdString(), Guard);
    } catch (...) {
      ShowMessage("Error reading " + FullFileName(SourceFolder, Names[I]), this);
    }
    ProgressBar1->setValue(I);
  }
  ProgressBarAction->setVisible(false);
  StatusPanels[1]->setText("Done processing");
  StatusPanels[3]->clear();
  FSaving = false;
  if (!Skipped.isEmpty())
    ShowMessage("Not saved, because a file of that name exists (check \"Replace existing "
                "files\" to replace it):\n" +
                    Skipped.join("\n"),
                this);
  // Every window listing the target folder lists it again, this one included.
  NotifyFolderChanged(Target);
  if (MainFolder && RelistMain && !MainFolder().isEmpty() && SameFolder(Target, MainFolder()))
    RelistMain();
}

} // namespace orbisk
