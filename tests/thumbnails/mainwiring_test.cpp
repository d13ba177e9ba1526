// The main window's entries for the thumbnail explorer and the sheet creator.
#include "tests/browser/browsertest.h"
#include "tests/thumbnails/cachehome.h"
#include "tests/common/widgetfind.h"

#include "browser/mainwindow.h"
#include "thumbnails/thumbedit.h"
#include "thumbnails/thumbexplorer.h"
#include "view/filelist.h"

#include "tests/common/widgetfind.h"

#include <QAction>
#include <QMenu>
#include <QToolBar>
#include <QFileSystemModel>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace orbisk;

TEST(ThumbnailEntries, MainWindowOpensTheExplorerOnItsFolderAndTheCreator) {
  test::ResetUserFiles();
  const QString Pics = test::MakeFolder("wiring");
  test::WritePicture(Pics + "/red.png", 40, 30);
  test::WriteBytes(Pics + "/notes.txt", 10);
  TForm1 F;
  F.show();
  QApplication::processEvents();
  EXPECT_FALSE(test::Action(F, "ThumbnailExplorer1").isEnabled());
  auto* Explorer = new TfrmThumbnails(&F);
  auto* Creator = new TfrmThumbEdit(&F);
  F.SetThumbnailWindows(Explorer, Creator);
  for (const char* Name : {"ThumbnailExplorer1", "TesslyCreator1"}) {
    QAction& A = test::Action(F, Name);
    EXPECT_TRUE(A.isEnabled()) << Name;
    // One command, on the tool bar and in the Tools menu.
    EXPECT_TRUE(test::Child<QToolBar>(F, "ToolBar2").actions().contains(&A)) << Name;
    EXPECT_TRUE(test::Child<QMenu>(F, "ToolsMenu").actions().contains(&A)) << Name;
  }
  test::Child<TFolderTree>(F, "ShellTreeView1")
      .setCurrentIndex(test::Child<TFolderTree>(F, "ShellTreeView1").Model()->index(Pics));
  QApplication::processEvents();

  Explorer->SetViewStyle(TThumbViewStyle::vsList);
  test::Action(F, "ThumbnailExplorer1").trigger();
  EXPECT_TRUE(Explorer->isVisible());
  EXPECT_EQ(Explorer->windowTitle(), "Thumbnail Explorer");
  EXPECT_EQ(Explorer->ViewStyle(), TThumbViewStyle::vsDetails);
  EXPECT_EQ(Explorer->Folder(), FolderWithSeparator(Pics));
  // The main window's file filter holds: the text file is not listed.
  ASSERT_EQ(test::Child<TFileListModel>(*Explorer, "FileList").Count(), 1);
  EXPECT_EQ(test::Child<TFileListModel>(*Explorer, "FileList").Item(0).Name, "red.png");

  EXPECT_FALSE(Creator->isVisible());
  test::Action(*Explorer, "TesslyButton").trigger();
  EXPECT_TRUE(Creator->isVisible());
  Creator->hide();
  test::Action(F, "TesslyCreator1").trigger();
  EXPECT_TRUE(Creator->isVisible());
  EXPECT_EQ(Creator->windowTitle(), "Tessly Creator");
}
