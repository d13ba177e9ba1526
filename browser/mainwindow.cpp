#include "browser/mainwindow.h"
#include "platform/dialogscale.h"
#include "platform/waitcursor.h"
#include "albums/albumwindow.h"
#include "view/fileprop.h"
#include "metadata/ui/exifwindow.h"
#include "processing/editor/acquire.h"
#include "processing/editor/filterdialogeditor.h"

#include "browser/batchwindow.h"
#include "browser/bmedit.h"
#include "browser/converterwindow.h"
#include "browser/searchwindow.h"
#include "browser/bookmarks.h"
#include "browser/display.h"
#include "view/filelist.h"
#include "browser/mainsettings.h"
#include "browser/prefs.h"
#include "browser/shellcommands.h"
#include "platform/help.h"
#include "platform/icons.h"
#include "platform/printing.h"
#include "platform/prompt.h"
#include "platform/scanner.h"
#include "browser/slideshow.h"
#include "browser/windowgeometry.h"
#include "platform/filenames.h"
#include "platform/fileops.h"
#include "platform/pgqt.h"
#include "platform/settingsstore.h"
#include "platform/autoorient.h"
#include "platform/codecsettings.h"
#include "view/pgimage.h"
#include "thumbnails/thumbedit.h"
#include "thumbnails/thumbexplorer.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include <exception>

namespace orbisk {

namespace {

const char* const WebSiteAddress = "https://orbisk.brenmoor.example/";
const char* const SupportAddress = "mailto:support@brenmoor.example";

} // namespace

TfAbout::TfAbout(QWidget* Parent) : QDialog(Parent) {
  setObjectName("fAbout");
  setWindowTitle(QStringLiteral("About Orbisk"));
  auto* L = new QVBoxLayout(this);
  auto* Title = new QLabel(QStringLiteral("Orbisk 7.8"), this);
  QFont F = Title->font();
  F.setPointSize(F.pointSize() * 2);
  F.setBold(true);
  Title->setFont(F);
  L->addWidget(Title, 0, Qt::AlignHCenter);
  L->addWidget(new QLabel(QStringLiteral("by Brenmoor Software"), this), 0, Qt::AlignHCenter);
  L->addWidget(new QLabel(QStringLiteral("A picture viewer and organiser"), this), 0,
               Qt::AlignHCenter);
  auto* OK = new QPushButton(QStringLiteral("OK"), this);
  OK->setDefault(true);
  connect(OK, &QPushButton::clicked, this, &QDialog::accept);
  L->addWidget(OK, 0, Qt::AlignHCenter);
}

// ---- creation

TForm1::TForm1(QWidget* Parent) : QMainWindow(Parent) {
  setObjectName("Form1");
  setWindowTitle(QStringLiteral("Orbisk 7.8") + QStringLiteral(" by Brenmoor Software"));
  BookmarksFile = DefaultBookmarksFile();
  CreateActions();
  CreateViewActions();
  CreateMenus();
  CreateToolBars();
  CreatePanes();
  CreateStatusBar();
  TSlideShowHost H;
  H.ItemCount = [this] { return FileList->Count(); };
  H.SelectedCount = [this] { return SelectedCount(); };
  H.SelectFirst = [this] { SelectRow(0, false); };
  H.NextImage = [this] { NextImageButtonClick(); };
  H.SecondsText = [this] { return SecondsEdit->text(); };
  H.SetButtonDown = [this](bool Down) { RunButton->setChecked(Down); };
  H.SetBookmarksEnabled = [this](bool On) { BookmarksMenu->setEnabled(On); };
  H.Message = [this](const QString& Text) { ShowMessage(Text, this); };
  SlideShow = std::make_unique<TSlideShow>(std::move(H));
  connect(RunButton, &QAction::triggered, this, [this](bool Down) { RunButtonClick(Down); });
  connect(SecondsEdit, &QSpinBox::valueChanged, this, [this] { SlideShow->SecondsChanged(); });
  FileList->SetSortState(0, true);
  RebuildBookmarksMenu();
  ReadSettings();
  InstallShellCommands(*this);
  UndoFileOperation1 = MakeUndoFileOperationAction(*this, EditMenu, {ShellTreeView1, ListView1});
  // The window's keys (Delete, F1-F8, keypad + and -) belong to the folder tree, the file list
  // and the picture area with the viewers inside it.
  for (QWidget* W :
       {static_cast<QWidget*>(ShellTreeView1), static_cast<QWidget*>(ListView1), ImagePanel})
    ScopeKeys(W);
  // The main keyboard's + and - also zoom from the file list (the folder tree keeps them for
  // opening and closing folders).
  ListView1->addActions({Enlarge1, Reduce1});
  // Files dropped from the desktop are moved into the listed folder.
  setAcceptDrops(true);
}

TForm1::~TForm1() {
  RemoveShellCommands(*this);
  // Tearing down the list must not ask the controller, gone before the widgets, to show a file.
  ListView1->selectionModel()->disconnect(this);
  SlideShow->Stop();
  Display->Stop();
}

void TForm1::SetEditItemsEnabled(bool Enabled) {
  FEditItemsEnabled = Enabled;
  for (QAction* A :
       {EditWithOrbisk1, EditInOrbisk1, OpenOrbiskEditor1, ConvertWithTransmo1, Transmo1})
    A->setEnabled(Enabled);
}

void TForm1::CreateActions() {
  auto Plain = [this](const char* Name, const QString& Text) {
    auto* A = new QAction(Text, this);
    A->setObjectName(QLatin1String(Name));
    return A;
  };
  auto Make = [this, Plain](const char* Name, const QString& Text, auto Slot) {
    QAction* A = Plain(Name, Text);
    connect(A, &QAction::triggered, this, Slot);
    return A;
  };
  // Commands carried out by a tool that is given to the window later: enabled when it is set.
  auto Later = [Plain](const char* Name, const QString& Text) {
    QAction* A = Plain(Name, Text);
    A->setEnabled(false);
    return A;
  };

  // Tool bar (the texts are the hints). Shiftra, Folvanas, Thumbnail Explorer and Tessly Creator
  // are the Tools menu's commands.
  PreviousImageButton =
      Make("PreviousImageButton", "Previous Image", [this] { PreviousImageButtonClick(); });
  NextImageButton = Make("NextImageButton", "Next Image", [this] { NextImageButtonClick(); });
  RunButton = Plain("RunButton", "Run a Orbisk");
  RunButton->setCheckable(true);
  EditorButton = Make("EditorButton", "Image Editor / Acquire Images from Twain Device",
                      [this] { ImageEditorClick(); });
  ConvertButton = Make("ConvertButton", "Transmo", [this] { ConvertClick(); });
  SearchButton = Make("SearchButton", "Search Engine", [this] { SearchFiles1Click(); });
  BGColorButton = Make("BGColorButton", "Set Background Color", [this] { SetColor1Click(); });
  AutoZoomButton = Make("AutoZoomButton", "Auto Zoom", [this] { AutoZoomButtonClick(); });
  AutoZoomButton->setCheckable(true);

  // File menu.
  MoveFiles1 = Make("MoveFiles1", "Move files...", [this] { MoveFilesClick(); });
  EditInOrbisk1 = Make("EditInOrbisk1", "In Orbisk", [this] { EditWithOrbiskClick(); });
  EditInExternal1 =
      Make("EditInExternal1", "In External Editor", [this] { EditWithExternalClick(); });
  RenameFile1 = Make("RenameFile1", "Rename File...", [this] { RenameFileClick(); });
  DeleteFile1 = Make("DeleteFile1", "Delete File", [this] { DeleteFilesClick(); });
  FileAttributes1 =
      Make("FileAttributes1", "File Attributes...", [this] { FileAttributesClick(); });
  SearchFiles1 = Make("SearchFiles1", "Search Files...", [this] { SearchFiles1Click(); });
  PageSetup1 = Make("PageSetup1", "Page Setup...", [this] { PageSetup(this); });
  PrintFolderListing1 = Make("PrintFolderListing1", "Print Folder Listing",
                             [this] { PrintFolderListingClick(*this); });
  // Also the list's and the picture area's pop-up entry.
  PrintImage1 = Make("PrintImage1", "Print Image", [this] { PrintImageClick(); });
  SetPreferences1 =
      Make("SetPreferences1", "Set Preferences...", [this] { SetPreferences1Click(); });
  SetColor1 = Make("SetColor1", "Set Color...", [this] { SetColor1Click(); });
  Quit1 = Make("Quit1", "Quit", [this] { close(); });

  // Edit menu.
  OpenOrbiskEditor1 =
      Make("OpenOrbiskEditor1", "Open Orbisk Editor", [this] { EditWithOrbiskClick(); });
  OpenExternalEditor1 =
      Make("OpenExternalEditor1", "Open External Editor", [this] { EditWithExternalClick(); });
  CopyToClipboard1 =
      Make("CopyToClipboard1", "Copy to clipboard", [this] { CopyToClipboard1Click(); });
  CopyToClipboard1->setVisible(false);

  // Bookmarks menu.
  AddBookmark1 = Make("AddBookmark1", "Add Bookmark", [this] { AddBookmark1Click(); });
  EditBookmarks1 = Make("EditBookmarks1", "Edit Bookmarks...", [this] { EditBookmarks1Click(); });

  // Tools menu (Shiftra, Folvanas, Thumbnail Explorer and Tessly Creator also on the tool bar).
  Shiftra1 = Make("Shiftra1", "Shiftra", [this] { MoveFilesClick(); });
  Paintrel1 = Make("Paintrel1", "Paintrel", [this] { ImageEditorClick(); });
  Folvanas1 = Make("Folvanas1", "Folvanas", [this] {
    AlbumWindow()->show();
    AlbumWindow()->raise();
    AlbumWindow()->activateWindow();
  });
  Transmo1 = Make("Transmo1", "Transmo", [this] { ConvertClick(); });
  Quenty1 = Make("Quenty1", "Quenty", [this] { SearchFiles1Click(); });
  ThumbnailExplorer1 = Later("ThumbnailExplorer1", "Thumbnail Explorer");
  TesslyCreator1 = Later("TesslyCreator1", "Tessly Creator");

  // Help menu.
  Contents1 = Make("Contents1", "Contents", [this] { HelpContents(); });
  Contents1->setVisible(false);
  SearchForHelpOn1 = Make("SearchForHelpOn1", "Search For Help On...", [this] { HelpContents(); });
  SearchForHelpOn1->setVisible(false);
  FeatureOverview1 = Make("FeatureOverview1", "Feature Overview...", [this] { HelpContents(); });
  HowToUseHelp1 = Make("HowToUseHelp1", "How To Use Help...",
                       [this] { ShowHelpTopic(HelpTopic::UsingHelp, this); });
  WebSite1 = Make("WebSite1", "Go to our web site",
                  [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(WebSiteAddress))); });
  Email1 = Make("Email1", "email us",
                [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(SupportAddress))); });
  AboutOrbisk1 = Make("AboutOrbisk1", "About Orbisk", [this] { AboutOrbisk1Click(); });

  // Pop-up menu.
  ZoomIn1 = Make("ZoomIn1", "Zoom In (+)", [this] { ZoomIn1Click(); });
  ZoomOut1 = Make("ZoomOut1", "Zoom Out (-)", [this] { ZoomOut1Click(); });
  EditWithOrbisk1 =
      Make("EditWithOrbisk1", "Edit with Orbisk...", [this] { EditWithOrbiskClick(); });
  EditWithExternal1 = Make("EditWithExternal1", "Edit with External Editor...",
                           [this] { EditWithExternalClick(); });
  ConvertWithTransmo1 =
      Make("ConvertWithTransmo1", "Convert with Transmo...", [this] { ConvertClick(); });
  ConvertAndResize1 = Make("ConvertAndResize1", "Convert and Resize...", [this] {
    const QStringList Files = SelectedFullNames();
    if (Files.isEmpty())
      ShowMessage("Select the pictures to convert and resize first", this);
    else if (TfBatch* W = ShowBatchWindow(Files, this))
      // Pictures written into the listed folder appear in the list.
      connect(W, &TfBatch::batchEnded, this, [this, W] {
        const QString Into = QFile::decodeName(QByteArray::fromStdString(W->Settings().Folder));
        if (W->Report().Converted > 0 && SameFolder(Into, SelectedFolder()))
          ListAndSort(SelectedFolder());
      });
  });
  ViewAllFiles1 = Make("ViewAllFiles1", "View All Files", [this] { ViewAllFilesClick(); });
  ViewAllFiles1->setCheckable(true);
  RefreshList1 = Make("RefreshList1", "Refresh List (F5)", [this] { RefreshListClick(); });
  RenameFile2 = Make("RenameFile2", "Rename File (F2)", [this] { RenameFileClick(); });
  IncrementalRename1 =
      Make("IncrementalRename1", "Incremental Rename...", [this] { IncrementalRenameClick(); });
  DeleteFiles1 = Make("DeleteFiles1", "Delete Files (Del)", [this] { DeleteFilesClick(); });
  FileAttributes2 =
      Make("FileAttributes2", "File Attributes...", [this] { FileAttributesClick(); });
  EXIFData1 = Make("EXIFData1", "EXIF Data...", [this] { EXIFData1Click(); });
  ImageProperties1 =
      Make("ImageProperties1", "Image Properties...", [this] { ImageProperties1Click(); });
  auto Wallpaper = [this, Make](const char* Name, const QString& Text, TWallpaperStyle Style) {
    return Make(Name, Text, [this, Style] { WallpaperClick(*this, Style); });
  };
  WallpaperCentered1 = Wallpaper("WallpaperCentered1", "Centered", TWallpaperStyle::Centered);
  WallpaperTiled1 = Wallpaper("WallpaperTiled1", "Tiled", TWallpaperStyle::Tiled);
  WallpaperStretched1 = Wallpaper("WallpaperStretched1", "Stretched", TWallpaperStyle::Stretched);
  RemoveWallpaper1 = Wallpaper("RemoveWallpaper1", "Remove Wallpaper", TWallpaperStyle::Remove);

  // Folder tree pop-up.
  AddFolder1 = Make("AddFolder1", "Add Folder...", [this] { AddFolderClick(); });
  DeleteFolder1 = Make("DeleteFolder1", "Delete Folder", [this] { DeleteFolderClick(); });
  RefreshTree1 = Make("RefreshTree1", "Refresh", [this] { RefreshTreeClick(); });

  // The window's keys. They belong to the folder tree, the file list and the picture area (the
  // actions are added to them in CreatePanes): typed into another control, the slide show's
  // seconds box, they stay its own. Zooming takes the keypad's + and - only.
  DeleteFile1->setShortcut(Qt::Key_Delete);
  RenameFile1->setShortcut(Qt::Key_F2);
  SearchFiles1->setShortcut(Qt::Key_F3);
  RefreshList1->setShortcut(Qt::Key_F5);
  EditWithOrbisk1->setShortcut(Qt::Key_F8);
  FeatureOverview1->setShortcut(Qt::Key_F1);
  ZoomIn1->setShortcut(QKeySequence(Qt::KeypadModifier | Qt::Key_Plus));
  ZoomOut1->setShortcut(QKeySequence(Qt::KeypadModifier | Qt::Key_Minus));
}

void TForm1::CreateViewActions() {
  auto Make = [this](const char* Name, const QString& Text, auto Slot) {
    auto* A = new QAction(Text, this);
    A->setObjectName(QLatin1String(Name));
    connect(A, &QAction::triggered, this, Slot);
    return A;
  };
  ActualSize1 = Make("ActualSize1", "Actual Size", [this] { Display->ActualSize(); });
  Enlarge1 = Make("Enlarge1", "Enlarge", [this] { Display->ZoomBy(1); });
  Reduce1 = Make("Reduce1", "Reduce", [this] { Display->ZoomBy(-1); });
  Fit1 = Make("Fit1", "Fit", [this] { Display->Fit(); });
  FullScreen1 = Make("FullScreen1", "Full Screen", [this] { SetFullScreen(!FFullScreen); });
  FullScreen1->setCheckable(true);
  LeaveFullScreen1 =
      Make("LeaveFullScreen1", "Leave Full Screen", [this] { SetFullScreen(false); });
  LeaveFullScreen1->setEnabled(false);
  PanLeft1 = Make("PanLeft1", "Pan Left", [this] { ArrowKey(-1, 0); });
  PanRight1 = Make("PanRight1", "Pan Right", [this] { ArrowKey(1, 0); });
  PanUp1 = Make("PanUp1", "Pan Up", [this] { ArrowKey(0, -1); });
  PanDown1 = Make("PanDown1", "Pan Down", [this] { ArrowKey(0, 1); });
  FullScreenNext1 = Make("FullScreenNext1", "Next Image", [this] { NextImageButtonClick(); });
  FullScreenPrevious1 =
      Make("FullScreenPrevious1", "Previous Image", [this] { PreviousImageButtonClick(); });
  for (QAction* A : {FullScreenNext1, FullScreenPrevious1})
    A->setEnabled(false);

  // The keypad's + and - stay "Zoom In (+)" and "Zoom Out (-)"; the main keyboard's step.
  ActualSize1->setShortcut(Qt::Key_1);
  Enlarge1->setShortcuts({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal)});
  Reduce1->setShortcut(Qt::Key_Minus);
  Fit1->setShortcuts({QKeySequence(Qt::Key_0), QKeySequence(Qt::Key_F)});
  PanLeft1->setShortcut(Qt::Key_Left);
  PanRight1->setShortcut(Qt::Key_Right);
  PanUp1->setShortcut(Qt::Key_Up);
  PanDown1->setShortcut(Qt::Key_Down);
  FullScreenNext1->setShortcuts({QKeySequence(Qt::Key_PageDown), QKeySequence(Qt::Key_Space)});
  FullScreenPrevious1->setShortcuts(
      {QKeySequence(Qt::Key_PageUp), QKeySequence(Qt::Key_Backspace)});
  // F11 anywhere in the window; Esc only while the window is full screen.
  FullScreen1->setShortcut(Qt::Key_F11);
  LeaveFullScreen1->setShortcut(Qt::Key_Escape);
  for (QAction* A : {FullScreen1, LeaveFullScreen1}) {
    A->setShortcutContext(Qt::WindowShortcut);
    addAction(A);
  }
}

void TForm1::ArrowKey(int DX, int DY) {
  const Qt::Orientation O = DX != 0 ? Qt::Horizontal : Qt::Vertical;
  if (Display->CanPan(O)) {
    QWidget* A = ImagePanel;
    // The view moves the way of the arrow: the picture the other way, by a tenth of the area.
    Display->Pan(-DX * std::max(16, A->width() / 10), -DY * std::max(16, A->height() / 10));
  } else if (FFullScreen && DX != 0) {
    if (DX > 0)
      NextImageButtonClick();
    else
      PreviousImageButtonClick();
  }
}

void TForm1::SetFullScreen(bool On) {
  if (On == FFullScreen) return;
  FFullScreen = On;
  if (On) {
    FWasMaximized = isMaximized();
    FNormalRect = QRect(pos(), size());
    FSplit1Sizes = Splitter1->sizes();
    FSplit2Sizes = Splitter2->sizes();
    Display->SetFullScreen(true);
  }
  for (QWidget* W : {static_cast<QWidget*>(menuBar()), static_cast<QWidget*>(ToolBar1),
                     static_cast<QWidget*>(ToolBar2), static_cast<QWidget*>(statusBar()),
                     static_cast<QWidget*>(Splitter2)})
    W->setVisible(!On);
  Splitter1->handle(1)->setVisible(!On);
  if (On) {
    showFullScreen();
    ImagePanel->setFocus(Qt::OtherFocusReason);
  } else {
    if (FWasMaximized)
      showMaximized();
    else
      showNormal();
    Splitter1->setSizes(FSplit1Sizes);
    Splitter2->setSizes(FSplit2Sizes);
    Display->SetFullScreen(false);
  }
  FullScreen1->setChecked(On);
  for (QAction* A : {LeaveFullScreen1, FullScreenNext1, FullScreenPrevious1})
    A->setEnabled(On);
}

QList<QAction*> TForm1::KeyActions() const {
  return {DeleteFile1,     RenameFile1,      SearchFiles1, RefreshList1,
          EditWithOrbisk1, FeatureOverview1, ZoomIn1,      ZoomOut1};
}

void TForm1::ScopeKeys(QWidget* W) {
  for (QAction* A : KeyActions()) {
    A->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    W->addAction(A);
  }
}

void TForm1::CreateMenus() {
  FileMenu = menuBar()->addMenu("&File");
  FileMenu->setObjectName("FileMenu");
  FileMenu->addAction(MoveFiles1);
  QMenu* EditFile = FileMenu->addMenu("Edit File");
  EditFile->addAction(EditInOrbisk1);
  EditFile->addAction(EditInExternal1);
  FileMenu->addSeparator();
  FileMenu->addActions({RenameFile1, DeleteFile1, FileAttributes1, SearchFiles1});
  FileMenu->addSeparator();
  FileMenu->addActions({PageSetup1, PrintFolderListing1, PrintImage1});
  FileMenu->addSeparator();
  FileMenu->addActions({SetPreferences1, SetColor1});
  FileMenu->addSeparator();
  FileMenu->addAction(Quit1);

  EditMenu = menuBar()->addMenu("&Edit");
  EditMenu->setObjectName("EditMenu");
  EditMenu->addActions({OpenOrbiskEditor1, OpenExternalEditor1, CopyToClipboard1});

  ViewMenu = menuBar()->addMenu("&View");
  ViewMenu->setObjectName("ViewMenu");
  ViewMenu->addActions({ActualSize1, Enlarge1, Reduce1, Fit1});
  ViewMenu->addSeparator();
  ViewMenu->addActions({FullScreen1, RunButton});

  BookmarksMenu = menuBar()->addMenu("&Bookmarks");
  BookmarksMenu->setObjectName("BookmarksMenu");
  BookmarksMenu->addAction(AddBookmark1);
  BookmarksMenu->addAction(EditBookmarks1);
  BookmarksMenu->addSeparator();

  ToolsMenu = menuBar()->addMenu("&Tools");
  ToolsMenu->setObjectName("ToolsMenu");
  ToolsMenu->addActions(
      {Shiftra1, Paintrel1, Folvanas1, Transmo1, Quenty1, ThumbnailExplorer1, TesslyCreator1});
  ToolsMenu->addSeparator();
  ToolsMenu->addAction(ConvertAndResize1);

  HelpMenu = menuBar()->addMenu("&Help");
  HelpMenu->setObjectName("HelpMenu");
  HelpMenu->addActions({Contents1, SearchForHelpOn1, FeatureOverview1, HowToUseHelp1});
  QMenu* Contact = HelpMenu->addMenu("Contacting us...");
  Contact->addActions({WebSite1, Email1});
  HelpMenu->addSeparator();
  HelpMenu->addAction(AboutOrbisk1);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  PopupMenu1->addActions({ZoomIn1, ZoomOut1});
  PopupMenu1->addSeparator();
  PopupMenu1->addActions(
      {EditWithOrbisk1, EditWithExternal1, ConvertWithTransmo1, ConvertAndResize1, PrintImage1});
  PopupMenu1->addSeparator();
  PopupMenu1->addActions({ViewAllFiles1, RefreshList1});
  PopupMenu1->addSeparator();
  PopupMenu1->addActions({RenameFile2, IncrementalRename1, DeleteFiles1, FileAttributes2});
  PopupMenu1->addSeparator();
  PopupMenu1->addActions({EXIFData1, ImageProperties1});
  QMenu* Wallpaper = PopupMenu1->addMenu("Set As Wallpaper");
  Wallpaper->setObjectName("SetAsWallpaper1");
  Wallpaper->addActions({WallpaperCentered1, WallpaperTiled1, WallpaperStretched1});
  PopupMenu1->addAction(RemoveWallpaper1);
  PopupMenu1->addSeparator();
  PopupMenu1->addActions({ActualSize1, Enlarge1, Reduce1, Fit1, FullScreen1, RunButton});
  connect(PopupMenu1, &QMenu::aboutToShow, this, [this] { PopupMenu1Popup(); });

  TreePopupMenu = new QMenu(this);
  TreePopupMenu->setObjectName("TreePopupMenu");
  TreePopupMenu->addActions({AddFolder1, DeleteFolder1, RefreshTree1});
}

void TForm1::CreateToolBars() {
  ToolBar1 = addToolBar("Navigation");
  ToolBar1->setObjectName("ToolBar1");
  ToolBar1->setIconSize(QSize(16, 16));
  ToolBar1->setMovable(false);
  ToolBar1->addAction(PreviousImageButton);
  ToolBar1->addAction(NextImageButton);
  ToolBar1->addSeparator();
  SecondsEdit = new TSecondsBox(this);
  SecondsEdit->setObjectName("SecondsEdit");
  SecondsEdit->setValue(4);
  SecondsEdit->setToolTip("Seconds");
  // Read-only text; only the arrows change it.
  if (auto* Edit = SecondsEdit->findChild<QLineEdit*>()) Edit->setReadOnly(true);
  ToolBar1->addWidget(SecondsEdit);
  ToolBar1->addAction(RunButton);
  addToolBarBreak();
  ToolBar2 = addToolBar("Tools");
  ToolBar2->setObjectName("ToolBar2");
  ToolBar2->setMovable(false);
  ToolBar2->addActions({Shiftra1, EditorButton, Folvanas1, ConvertButton, SearchButton,
                        ThumbnailExplorer1, TesslyCreator1});
  ToolBar2->addSeparator();
  ToolBar2->addActions({BGColorButton, AutoZoomButton});
  // Icon buttons; the full texts are their hints.
  const std::pair<QAction*, const char*> Icons[] = {
      {PreviousImageButton, "go-previous"},    {NextImageButton, "go-next"},
      {RunButton, "media-playback-start"},     {Shiftra1, "system-file-manager"},
      {EditorButton, "applications-graphics"}, {Folvanas1, "x-office-address-book"},
      {ConvertButton, "document-save-as"},     {SearchButton, "edit-find"},
      {ThumbnailExplorer1, "view-list-icons"}, {TesslyCreator1, "insert-image"},
      {BGColorButton, "color-fill"},           {AutoZoomButton, "zoom-fit-best"}};
  for (const auto& [A, Name] : Icons)
    A->setIcon(ThemeIcon(QString::fromLatin1(Name)));
  for (QAction* A : {PreviousImageButton, NextImageButton, RunButton, Shiftra1, EditorButton,
                     Folvanas1, ConvertButton, SearchButton, ThumbnailExplorer1, TesslyCreator1,
                     BGColorButton, AutoZoomButton})
    A->setToolTip(A->text());
  // The Tools menu shows these without their tool bar icons.
  for (QAction* A : {Shiftra1, Folvanas1, ThumbnailExplorer1, TesslyCreator1})
    A->setIconVisibleInMenu(false);
  for (QToolBar* T : {ToolBar1, ToolBar2}) {
    T->setIconSize(QSize(16, 16));
    T->setToolButtonStyle(Qt::ToolButtonIconOnly);
  }
}

void TForm1::CreatePanes() {
  Splitter1 = new QSplitter(Qt::Horizontal, this);
  Splitter1->setObjectName("Splitter1");
  Splitter1->setChildrenCollapsible(false);
  Splitter2 = new QSplitter(Qt::Vertical, Splitter1);
  Splitter2->setObjectName("Splitter2");
  Splitter2->setChildrenCollapsible(false);
  Splitter2->setContentsMargins(4, 4, 4, 4);

  // Hidden folders are listed too.
  ShellTreeView1 = new TFolderTree(QDir::AllDirs | QDir::NoDotAndDotDot, Splitter2);
  ShellTreeView1->setObjectName("ShellTreeView1");
  FolderModel = ShellTreeView1->Model();
  ShellTreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ShellTreeView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& P) {
    TreePopupMenu->popup(ShellTreeView1->viewport()->mapToGlobal(P));
  });
  connect(ShellTreeView1, &TFolderTree::FolderChanged, this, [this] { ShellTreeView1Change(); });

  FileList = new TFileListModel(this);
  FileList->setObjectName("FileList");
  ListView1 = new QTreeView(Splitter2);
  ListView1->setObjectName("ListView1");
  ListView1->setModel(FileList);
  ListView1->setRootIsDecorated(false);
  ListView1->setItemsExpandable(false);
  ListView1->setUniformRowHeights(true);
  ListView1->setAllColumnsShowFocus(true);
  ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView1->setDragEnabled(true);
  ListView1->setDragDropMode(QAbstractItemView::DragOnly);
  ListView1->header()->setSectionsClickable(true);
  ListView1->header()->setSortIndicatorShown(false);
  ListView1->header()->setStretchLastSection(false);
  ListView1->setColumnWidth(0, 160);
  ListView1->setColumnWidth(1, 60);
  ListView1->setColumnWidth(3, 140);
  // The selection stays visible when the list loses the focus.
  QPalette P = ListView1->palette();
  P.setColor(QPalette::Inactive, QPalette::Highlight,
             P.color(QPalette::Active, QPalette::Highlight));
  P.setColor(QPalette::Inactive, QPalette::HighlightedText,
             P.color(QPalette::Active, QPalette::HighlightedText));
  ListView1->setPalette(P);
  ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ListView1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& Pt) { PopupMenu1->popup(ListView1->viewport()->mapToGlobal(Pt)); });
  connect(ListView1->header(), &QHeaderView::sectionClicked, this,
          [this](int C) { ListView1ColumnClick(C); });
  connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { ListView1SelectItem(); });
  connect(ListView1, &QTreeView::doubleClicked, this, [this] {
    if (FEditItemsEnabled) EditWithOrbiskClick();
  });
  Splitter2->addWidget(ShellTreeView1);
  Splitter2->addWidget(ListView1);
  Splitter2->setStretchFactor(1, 1);

  ImagePanel = new QWidget(Splitter1);
  ImagePanel->setObjectName("ImagePanel");
  ImagePanel->setAutoFillBackground(true);
  // A click anywhere in the area (a viewer that takes no focus included) gives it the keys.
  ImagePanel->setFocusPolicy(Qt::ClickFocus);
  for (QAction* A : {ActualSize1, Enlarge1, Reduce1, Fit1, PanLeft1, PanRight1, PanUp1, PanDown1,
                     FullScreenNext1, FullScreenPrevious1}) {
    A->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    ImagePanel->addAction(A);
  }
  ImagePanel->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ImagePanel, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& Pt) { PopupMenu1->popup(ImagePanel->mapToGlobal(Pt)); });
  PGImage1 = new TPGImage(ImagePanel);
  PGImage1->setObjectName("PGImage1");
  PGImage1->setFrameShape(QFrame::NoFrame);
  PGImage1->SetAutoSize(true);
  PGImage1->SetStretch(sAlwaysKAR);
  PGImage1->SetUseThread(false);
  PGImage1->SetShowHourGlass(false);
  PGImage1->SetReadWarningAction(pgwaIgnore);
  PGImage1->SetZoomFactor(1.0L);
  PGImage1->SetPopupMenu(PopupMenu1);
  PGImage1->SetPicBoxPopupMenu(PopupMenu1);
  PGImage1->move(4, 4);
  PGImage1->hide();
  Splitter1->addWidget(Splitter2);
  Splitter1->addWidget(ImagePanel);
  Splitter1->setStretchFactor(1, 1);
  setCentralWidget(Splitter1);

  TDisplayHost H;
  H.SetLamp = [this](bool On) { SetLamp(On); };
  // Names in status texts never show control or direction-override characters as such.
  H.SetPanelText = [this](int Panel, const QString& Text) {
    StatusPanels[Panel]->setText(DisplayFileName(Text));
  };
  H.SetEditItemsEnabled = [this](bool On) { SetEditItemsEnabled(On); };
  H.AutoZoom = [this] { return AutoZoomButton->isChecked(); };
  H.SelectedFiles = [this] { return SelectedFullNames(); };
  H.Neighbours = [this] { return NeighbourFiles(); };
  H.OpenPreferences = [this] { SetPreferences1Click(); };
  H.SetGauge = [this](bool Visible, int Percent) {
    PrintGauge->setValue(Percent);
    PrintGauge->setVisible(Visible);
  };
  H.SetZoomText = [this](const QString& Text) {
    if (ZoomPanel) ZoomPanel->setText(Text);
  };
  H.ToggleFullScreen = [this] { SetFullScreen(!FFullScreen); };
  H.StepFile = [this](int Direction) {
    if (Direction > 0)
      NextImageButtonClick();
    else
      PreviousImageButtonClick();
  };
  Display = std::make_unique<TDisplayController>(ImagePanel, PGImage1, std::move(H));
  // The picture view's box takes the area's colour from the start.
  Display->SetBackgroundColor(Display->BackgroundColor(), false);
}

void TForm1::CreateStatusBar() {
  const int Widths[5] = {25, 80, 60, 250, 50};
  for (int I = 0; I < 5; ++I) {
    auto* L = new QLabel(this);
    L->setObjectName(QStringLiteral("StatusPanel%1").arg(I));
    L->setFixedWidth(Widths[I]);
    L->setFrameShape(QFrame::StyledPanel);
    L->setFrameShadow(QFrame::Sunken);
    StatusPanels[I] = L;
    statusBar()->addWidget(L, I == 3 ? 1 : 0);
  }
  ZoomPanel = new QLabel(this);
  ZoomPanel->setObjectName("ZoomPanel");
  ZoomPanel->setFixedWidth(60);
  ZoomPanel->setFrameShape(QFrame::StyledPanel);
  ZoomPanel->setFrameShadow(QFrame::Sunken);
  ZoomPanel->setAlignment(Qt::AlignCenter);
  statusBar()->insertWidget(4, ZoomPanel);
  StatusPanels[3]->setMinimumWidth(Widths[3]);
  StatusPanels[3]->setMaximumWidth(QWIDGETSIZE_MAX);
  BusyLamp = new QLabel(StatusPanels[0]);
  BusyLamp->setObjectName("BusyLamp");
  BusyLamp->setGeometry(7, 4, 10, 10);
  PrintGauge = new QProgressBar(StatusPanels[4]);
  PrintGauge->setObjectName("PrintGauge");
  PrintGauge->setGeometry(2, 2, 46, 14);
  PrintGauge->setRange(0, 100);
  PrintGauge->hide();
  SetLamp(false);
}

void TForm1::SetLamp(bool On) {
  BusyLamp->setStyleSheet(On ? "background: #ff0000; border-radius: 5px;"
                             : "background: #800000; border-radius: 5px;");
}

QString TForm1::PanelText(int Panel) const {
  return StatusPanels[Panel]->text();
}

void TForm1::SetPanelText(int Panel, const QString& Text) {
  StatusPanels[Panel]->setText(Text);
}

int TForm1::ListColumnWidth(int Column) const {
  return ListView1->columnWidth(Column);
}

void TForm1::ClearListSelection() {
  ListView1->clearSelection();
}

void TForm1::RepaintList() {
  ListView1->viewport()->update();
}

TfPrefs* TForm1::PrefsWindow() {
  if (!FPrefs) FPrefs = new TfPrefs(this);
  return FPrefs;
}

TfBMEdit* TForm1::BookmarkEditor() {
  if (!FBMEdit) FBMEdit = new TfBMEdit(this);
  return FBMEdit;
}

// ---- settings

void TForm1::ReadSettings() {
  TSettingsStore S;
  TMainWindowSettings V = ReadMainWindowSettings(S);
  // A first run's sizes were laid out for a smaller dialog font: grown to this desktop's. Sizes
  // the user left behind are taken as they are.
  auto Stored = [&S](const char* Name) { return !S.ReadString(Name, QString()).isEmpty(); };
  if (!Stored("Width")) V.Width = ScaledWidth(V.Width);
  if (!Stored("Height")) V.Height = ScaledHeight(V.Height);
  if (!Stored("LeftWidth")) V.LeftWidth = ScaledWidth(V.LeftWidth);
  if (!Stored("LeftHeight")) V.LeftHeight = ScaledHeight(V.LeftHeight);
  FDeletePermanently = V.DeletePermanently;
  FConfirmDeletions = V.ConfirmDeletions;
  RestoreGeometry(*this, QRect(V.Left, V.Top, V.Width, V.Height));
  Splitter1->setSizes({V.LeftWidth, std::max(1, V.Width - V.LeftWidth)});
  Splitter2->setSizes({V.LeftHeight, std::max(1, V.Height - V.LeftHeight)});
  SecondsEdit->setValue(SecondsFromText(V.Seconds));
  Display->LoadBackgroundColor(S);
  SetAutoOrientPictures(ReadAutoOrient(S));
  Display->SetCentrePictures(SettleCentrePictures(S));
  SetUseColourProfiles(ReadColourProfiles(S));
}

void TForm1::WriteSettings() {
  TSettingsStore S;
  TMainWindowSettings V;
  // Full screen is not a place to come back to: the window's place before it is.
  const QRect R = FFullScreen ? FNormalRect : QRect(pos(), size());
  V.Left = R.x();
  V.Top = R.y();
  V.Width = R.width();
  V.Height = R.height();
  V.LeftWidth = (FFullScreen ? FSplit1Sizes : Splitter1->sizes()).value(0, V.LeftWidth);
  V.LeftHeight = (FFullScreen ? FSplit2Sizes : Splitter2->sizes()).value(0, V.LeftHeight);
  V.Seconds = SecondsEdit->text();
  WriteMainWindowSettings(S, V, false);
  Display->SaveBackgroundColor(S);
  const QString Folder = SelectedFolder();
  if (!Folder.isEmpty()) WriteDirectory(S, Folder);
}

void TForm1::RebuildTypeMask() {
  TSettingsStore S;
  FTypeMask = ListingTypeMask(ReadFileTypes(S));
}

bool TForm1::AllFiles() const {
  return ViewAllFiles1->isChecked();
}

void TForm1::SetPictureAreaColor(const QColor& C, bool ByUser) {
  Display->SetBackgroundColor(C, ByUser);
}

QColor TForm1::PictureAreaColor() const {
  return Display->BackgroundColor();
}

bool TForm1::BGColorChanged() const {
  return Display->BackgroundColorChanged();
}

// ---- first show and close

void TForm1::showEvent(QShowEvent* E) {
  QMainWindow::showEvent(E);
  if (!FFirstShowDone) {
    FFirstShowDone = true;
    FormShow();
    // Whether a scanner is there: listing devices can take seconds, so it is asked aside.
    CheckScannerAvailable(this, [this](bool Available) {
      if (!Available) return;
      Scanner().RegisterApp(1, 0, 2, 1, "1.0", "Orbisk by Brenmoor Software", "Orbisk", "Orbisk");
      FScannerAvailable = true;
      if (FEditor) FEditor->SetScannerAvailable(true);
    });
    emit FirstShown();
    // Once the window has its size, bring the listed folder into view in the tree.
    QTimer::singleShot(0, this, [this] { ShellTreeView1->Reveal(); });
  }
}

void TForm1::FormShow() {
  RebuildTypeMask();
  if (!FStartFile.isEmpty()) {
    // The one place a relative path is taken from the current directory: the command line.
    // A folder named there (a file manager's "Open with" on a folder) is listed.
    if (QFileInfo(FStartFile).isDir())
      SetSelectedFolder(QFileInfo(FStartFile).absoluteFilePath());
    else
      ShowFileInList(FStartFile);
    return;
  }
  TSettingsStore S;
  const QString Folder = ReadDirectory(S);
  if (QFileInfo(Folder).isDir())
    SetSelectedFolder(Folder);
  else if (QFileInfo(DefaultDirectory()).isDir())
    SetSelectedFolder(DefaultDirectory());
}

void TForm1::ShowFileInList(const QString& Path) {
  QFileInfo Info(Path);
  const QString Folder = Info.absolutePath(), Name = Info.fileName();
  SetSelectedFolder(Folder);
  int Row = -1;
  for (int R = 0; R < FileList->Count() && Row < 0; ++R)
    if (FileList->Item(R).Name.compare(Name, Qt::CaseInsensitive) == 0) Row = R;
  if (Row < 0) Row = FileList->FindByPrefix(Name);
  if (Row >= 0) {
    const QString Shown = FileList->FullName(Row);
    FLastName = Shown; // selecting it below must not show it a second time
    SelectRow(Row, true);
    ListView1->scrollTo(FileList->index(Row, 0));
    ShowFile(Shown);
    UpdateCopyVisibility(true);
  }
}

void TForm1::closeEvent(QCloseEvent* E) {
  // An edited picture in the editor is not lost by quitting: its question may cancel the quit.
  if (!FClosed && FEditor && !FEditor->AskToSaveChanges()) {
    E->ignore();
    return;
  }
  FormClose();
  E->accept();
}

void TForm1::FormClose() {
  if (FClosed) return;
  FClosed = true;
  ListView1->clearSelection();
  SlideShow->Stop();
  Display->Stop();
  PGImage1->hide();
  WriteSettings();
}

// ---- folder tree and list

QString TForm1::SelectedFolder() const {
  const QModelIndex I = ShellTreeView1->currentIndex();
  if (I.isValid()) return FolderModel->filePath(I);
  return FListedFolder;
}

void TForm1::SetSelectedFolder(const QString& Folder) {
  const QString Clean = QDir::cleanPath(QFileInfo(Folder).absoluteFilePath());
  // A folder the tree does not show (a hidden one): the list still follows.
  ShellTreeView1->SelectFolder(Clean);
  ListAndSort(Clean, Clean);
}

void TForm1::ShellTreeView1Change() {
  const QString Folder = SelectedFolder();
  if (QFileInfo(Folder).isDir()) {
    ListAndSort(Folder, Folder);
  }
}

void TForm1::ListAndSort(const QString& Folder, const QString& Listed) {
  const bool Changed = !Listed.isNull() && Listed != FListedFolder;
  if (!Listed.isNull()) FListedFolder = Listed;
  QElapsedTimer T;
  T.start();
  try {
    ListFolder(Folder);
    SortList();
  } catch (const std::exception&) {
    // A folder that can not be read leaves an empty list.
  }
  FLastListMs = T.elapsed();
  if (Changed) emit FolderChanged(Listed);
}

void TForm1::ListFolder(const QString& Folder) {
  TWaitCursor Wait;
  ListView1->setUpdatesEnabled(false);
  struct TRestore {
    TForm1* F;
    ~TRestore() {
      F->ListView1->setUpdatesEnabled(true);
      F->StatusPanels[1]->setText(QString::number(F->FileList->Count()) + " files");
    }
  } Restore{this};
  FileList->SetAllFiles(AllFiles());
  FileList->ListFolder(Folder, FTypeMask);
}

void TForm1::SortList() {
  try {
    FileList->Sort();
  } catch (const std::exception&) {
    ShowMessage("Error sorting items", this);
  }
}

QList<int> TForm1::SelectedRows() const {
  QList<int> Rows;
  for (const QModelIndex& I : ListView1->selectionModel()->selectedRows())
    Rows << I.row();
  std::sort(Rows.begin(), Rows.end());
  return Rows;
}

void TForm1::SelectRow(int Row, bool Exclusive) {
  const QModelIndex I = FileList->index(Row, 0);
  auto Flags = QItemSelectionModel::Select | QItemSelectionModel::Rows;
  if (Exclusive) Flags |= QItemSelectionModel::Clear;
  ListView1->selectionModel()->setCurrentIndex(I, Flags);
}

void TForm1::SelectFileByName(const QString& Name) {
  ListView1->clearSelection();
  const int Row = FileList->FindByPrefix(Name);
  if (Row < 0) return;
  SelectRow(Row, true);
  ListView1->scrollTo(FileList->index(Row, 0));
  ListView1->setFocus();
}

QString TForm1::FolderWithSeparatorOfList() const {
  return FolderWithSeparator(FileList->Folder());
}

void TForm1::ListView1ColumnClick(int Column) {
  try {
    FileList->ColumnClick(Column);
  } catch (const std::exception&) {
    ShowMessage("Error sorting items", this);
  }
}

void TForm1::UpdateCopyVisibility(bool OneSelected) {
  CopyToClipboard1->setVisible(OneSelected && IsPictureType(ShownType()));
}

void TForm1::ListView1SelectItem() {
  const QList<int> Rows = SelectedRows();
  if (Rows.size() != 1) {
    UpdateCopyVisibility(false);
    return;
  }
  // The full path, not the bare name: a file of the same name in another folder is another file.
  const QString Path = FileList->FullName(Rows.first());
  // The EXIF window and the converter follow the selection while they are open.
  if (FExif) FExif->SelectionChanged(Path);
  if (FConvert) FConvert->SelectionChanged(Path);
  if (Path != FLastName) {
    FLastName = Path;
    if (StatPath(Path).Exists) ShowFile(Path);
  }
  UpdateCopyVisibility(true);
}

void TForm1::RefreshListClick() {
  FileList->SetSortState(0, FileList->SortAscending());
  ListAndSort(SelectedFolder());
}

void TForm1::ViewAllFilesClick() {
  // The action toggles its own check mark before this runs.
  FileList->SetAllFiles(AllFiles());
  RefreshListClick();
}

void TForm1::RefreshTreeClick() {
  TWaitCursor Wait;
  const QString Folder = SelectedFolder();
  // A new model re-reads every folder.
  const QString Root = FolderModel->rootPath();
  FolderModel->setRootPath(QString());
  FolderModel->setRootPath(Root);
  if (!Folder.isEmpty()) {
    const QSignalBlocker Block(ShellTreeView1->selectionModel());
    const QModelIndex I = FolderModel->index(Folder);
    if (I.isValid()) ShellTreeView1->setCurrentIndex(I);
  }
}

void TForm1::PopupMenu1Popup() {
  const int N = SelectedCount();
  for (QAction* A : {EditWithOrbisk1, EditWithExternal1, ConvertWithTransmo1, RenameFile2,
                     EXIFData1, ImageProperties1, FileAttributes2, WallpaperCentered1,
                     WallpaperTiled1, WallpaperStretched1})
    A->setEnabled(N == 1);
  // The "Set As Wallpaper" item itself, whatever its entries are.
  if (auto* Wallpaper = PopupMenu1->findChild<QMenu*>("SetAsWallpaper1"))
    Wallpaper->menuAction()->setEnabled(N == 1);
  // Not for a video.
  for (QAction* A : {EditWithOrbisk1, ConvertWithTransmo1})
    A->setEnabled(A->isEnabled() && FEditItemsEnabled);
  DeleteFiles1->setEnabled(N >= 1);
  ConvertAndResize1->setEnabled(N >= 1);
}

// ---- EXIF data and image properties

void TForm1::SetFilePropWindow(TfrmFileProp* W) {
  FFileProp = W;
}

void TForm1::SetExifWindow(TfrmEXIF* W) {
  FExif = W;
}

void TForm1::SetThumbnailWindows(TfrmThumbnails* Explorer, TfrmThumbEdit* Creator) {
  FThumbnails = Explorer;
  FThumbEdit = Creator;
  auto ShowCreator = [this] {
    FThumbEdit->show();
    FThumbEdit->raise();
  };
  Explorer->TypeMask = [this] { return FTypeMask; };
  Explorer->AllFiles = [this] { return AllFiles(); };
  Explorer->MainFolder = [this] { return SelectedFolder(); };
  Explorer->RelistMain = [this] { ListAndSort(SelectedFolder()); };
  Explorer->ShowTesslyCreator = ShowCreator;
  Explorer->FilePropWindow = [this] { return FilePropWindow(); };
  Explorer->ExifWindow = [this] { return ExifWindow(); };
  Creator->FilePropWindow = [this] { return FilePropWindow(); };
  // Given once: the commands are connected and enabled with the windows.
  connect(ThumbnailExplorer1, &QAction::triggered, this,
          [this] { FThumbnails->OpenOn(SelectedFolder()); });
  ThumbnailExplorer1->setEnabled(true);
  connect(TesslyCreator1, &QAction::triggered, this, ShowCreator);
  TesslyCreator1->setEnabled(true);
}

void TForm1::SetAlbumWindow(TfAlbum* W) {
  FAlbum = W;
  FAlbum->ListedFiles = [this] {
    QStringList Files;
    for (int I = 0; I < FileList->Count(); ++I)
      Files << FileList->FullName(I);
    return Files;
  };
  connect(FAlbum, &TfAlbum::OnImageProperties, this,
          [this](const QString& Path) { FilePropWindow()->Execute(Path); });
  connect(FAlbum, &TfAlbum::OnCreateWebAlbum, FAlbum, &TfAlbum::ShowPubWizard);
  FAlbum->UpdateCommands();
}

TfAlbum* TForm1::AlbumWindow() {
  if (!FAlbum) SetAlbumWindow(new TfAlbum(this));
  return FAlbum;
}

TfrmFileProp* TForm1::FilePropWindow() {
  if (!FFileProp) FFileProp = new TfrmFileProp(this);
  return FFileProp;
}

TfrmEXIF* TForm1::ExifWindow() {
  if (!FExif) FExif = new TfrmEXIF(this);
  return FExif;
}

QString TForm1::SelectedFile() const {
  const QList<int> Rows = SelectedRows();
  return Rows.size() == 1 ? FileList->FullName(Rows.first()) : QString();
}

void TForm1::EXIFData1Click() {
  const QString Path = SelectedFile();
  if (!Path.isEmpty()) ExifWindow()->ShowFile(Path);
}

void TForm1::ImageProperties1Click() {
  const QString Path = SelectedFile();
  if (!Path.isEmpty()) FilePropWindow()->Execute(Path);
}

// ---- converter and search

void TForm1::SetConverterWindow(TfrmConvert* W) {
  FConvert = W;
}

void TForm1::SetSearchWindow(TfSearch* W) {
  FSearch = W;
}

TfrmConvert* TForm1::ConverterWindow() {
  if (!FConvert) {
    FConvert = new TfrmConvert(this);
    connect(FConvert, &TfrmConvert::OnListChanged, this, [this] { RefreshListClick(); });
    FConvert->OnImageProperties = [this](const QString& P) { FilePropWindow()->Execute(P); };
    FConvert->ConfirmDeletions = [this] { return FConfirmDeletions; };
    FConvert->DeletePermanently = [this] { return FDeletePermanently; };
  }
  return FConvert;
}

TfSearch* TForm1::SearchWindow() {
  if (!FSearch) FSearch = new TfSearch(this);
  if (!FSearch->OnOpenResult)
    FSearch->OnOpenResult = [this](const QString& Path) {
      TWaitCursor Wait;
      ListView1->clearSelection();
      ShowFileInList(Path);
      // A file the list does not show (another type) is shown all the same.
      if (ShownFile() != Path && QFileInfo(Path).isFile()) ShowFile(Path);
    };
  return FSearch;
}

void TForm1::ConvertClick() {
  const QString Path = SelectedFile();
  if (Path.isEmpty()) {
    ShowMessage("Click on an image filename first", this);
    return;
  }
  ConverterWindow()->Execute(Path);
}

void TForm1::SearchFiles1Click() {
  TfSearch* W = SearchWindow();
  // The listed folder is one choice away beside the drives.
  W->OfferFolder(SelectedFolder());
  W->show();
  W->raise();
  W->activateWindow();
}

// ---- image editor

void TForm1::SetEditorWindow(TfrmAcquire* W) {
  FEditor = W;
  if (!W) return;
  if (W->findChildren<TEditorFilterDialogs*>().isEmpty()) new TEditorFilterDialogs(*W);
  W->CurrentFolder = [this] { return SelectedFolder(); };
  connect(W, &TfrmAcquire::FilesChanged, this, [this] { RefreshListClick(); });
  W->SetScannerAvailable(FScannerAvailable);
}

TfrmAcquire* TForm1::EditorWindow() {
  if (!FEditor) SetEditorWindow(new TfrmAcquire(this));
  return FEditor;
}

void TForm1::ImageEditorClick() {
  TfrmAcquire* W = EditorWindow();
  W->show();
  W->raise();
  W->activateWindow();
}

void TForm1::EditWithOrbiskClick() {
  const QString Path = SelectedFile();
  // The editor says "Can not edit " + the path itself when the file does not load.
  if (!Path.isEmpty()) EditorWindow()->EditFile(Path);
}

// ---- previous and next

QStringList TForm1::SelectedFullNames() const {
  QStringList Files;
  for (int Row : SelectedRows())
    Files << FileList->FullName(Row);
  return Files;
}

QStringList TForm1::NeighbourFiles() const {
  const int Count = FileList->Count(), Focused = ListView1->currentIndex().row();
  QStringList Files;
  for (int Row : {NextImageIndex(Focused, Count), PreviousImageIndex(Focused, Count)})
    if (Row >= 0) Files << FileList->FullName(Row);
  return Files;
}

void TForm1::StepTo(int Row) {
  if (Row < 0) return; // an empty list
  const QModelIndex Cur = ListView1->currentIndex();
  if (Cur.isValid())
    ListView1->selectionModel()->select(Cur,
                                        QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
  SelectRow(Row, false);
  ListView1->scrollTo(FileList->index(Row, 0));
}

void TForm1::NextImageButtonClick() {
  StepTo(NextImageIndex(ListView1->currentIndex().row(), FileList->Count()));
}

void TForm1::PreviousImageButtonClick() {
  StepTo(PreviousImageIndex(ListView1->currentIndex().row(), FileList->Count()));
}

// ---- showing a file

void TForm1::ShowFile(const QString& Path) {
  Display->ShowFile(Path);
}

QString TForm1::ShownFile() const {
  return Display->ShownFile();
}

QString TForm1::ShownType() const {
  return Display->ShownType();
}

void TForm1::FitShown() {
  Display->FitShown();
}

void TForm1::ZoomIn1Click() {
  Display->FitShown();
}

void TForm1::ZoomOut1Click() {
  Display->ZoomOut();
}

void TForm1::AutoZoomButtonClick() {
  Display->AutoZoomClick(AutoZoomButton->isChecked());
}

void TForm1::SetColor1Click() {
  Display->ChooseBackgroundColor();
}

void TForm1::CopyToClipboard1Click() {
  Display->CopyToClipboard();
}

void TForm1::EditWithExternalClick() {
  Display->EditWithExternalEditor();
}

void TForm1::PrintImageClick() {
  const QStringList Files = SelectedFullNames();
  if (Files.isEmpty()) return;
  if (PrintSetup) {
    QPrinter Printer;
    if (PrintSetup(Printer)) Display->PrintImages(Printer, Files);
    return;
  }
  PrintPreview(this, QStringLiteral("Print Image"),
               [this, Files](QPrinter& Printer) { Display->PrintImages(Printer, Files); });
}

void TForm1::RunButtonClick(bool Down) {
  SlideShow->ButtonClick(Down);
}

// ---- preferences and bookmarks

void TForm1::SetPreferences1Click() {
  if (!PrefsWindow()->Execute()) return;
  bool OrientationChanged, ProfilesChanged;
  {
    TSettingsStore S;
    FDeletePermanently = ReadDeletePermanently(S);
    FConfirmDeletions = ReadConfirmDeletions(S);
    OrientationChanged = ReadAutoOrient(S) != AutoOrientPictures();
    SetAutoOrientPictures(ReadAutoOrient(S));
    ProfilesChanged = ReadColourProfiles(S) != UseColourProfiles();
    SetUseColourProfiles(ReadColourProfiles(S));
    Display->SetCentrePictures(ReadCentrePictures(S));
  }
  // The shown picture is read again the way it is to be shown now.
  if (ProfilesChanged)
    Display->ShowAgain();
  else if (OrientationChanged)
    Display->AutoOrientChanged();
  RebuildTypeMask();
  ListAndSort(SelectedFolder());
}

void TForm1::RebuildBookmarksMenu() {
  for (QAction* A : FBookmarkItems) {
    BookmarksMenu->removeAction(A);
    A->deleteLater();
  }
  FBookmarkItems.clear();
  QStringList List;
  ReadBookmarks(BookmarksFile, List);
  for (const QString& Folder : MenuBookmarks(List)) {
    QAction* A = BookmarksMenu->addAction(Folder);
    connect(A, &QAction::triggered, this, [this, Folder] { BookmarkClick(Folder); });
    FBookmarkItems << A;
  }
}

void TForm1::BookmarkClick(const QString& Folder) {
  if (!QFileInfo(Folder).isDir()) {
    ShowMessage(MissingBookmarkMessage(Folder), this);
    return;
  }
  SetSelectedFolder(Folder);
}

void TForm1::AddBookmark1Click() {
  const QString Folder = SelectedFolder();
  if (Folder.isEmpty()) return;
  const TAddBookmark R = AddBookmark(BookmarksFile, Folder);
  if (R != TAddBookmark::Added) {
    ShowMessage(AddBookmarkMessage(R, BookmarksFile, Folder), this);
    return;
  }
  QAction* A = BookmarksMenu->addAction(Folder);
  connect(A, &QAction::triggered, this, [this, Folder] { BookmarkClick(Folder); });
  FBookmarkItems << A;
}

void TForm1::EditBookmarks1Click() {
  if (BookmarkEditor()->Execute(BookmarksFile)) RebuildBookmarksMenu();
}

// ---- help

void TForm1::HelpContents() {
  ShowHelpTopic(HelpTopic::Contents, this);
}

void TForm1::AboutOrbisk1Click() {
  if (!FAbout) FAbout = new TfAbout(this);
  FAbout->exec();
}

} // namespace orbisk
