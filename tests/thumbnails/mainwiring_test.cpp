// The main window's entries for the thumbnail explorer and the sheet creator.
#include "tests/browser/browsertest.h"
#include "tests/thumbnails/cachehome.h"
#include "tests/common/widgetfind.h"

#include "browser/mainwindow.h"
#include "thumbnails/thumbedit.h"
#include "thumbnails/thumbexplorer.h"
#include "view/filelist.h"

#include <QAction>
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
  EXPECT_FALSE(F.CommandAvailable(F.ThumbnailsButton));
  auto* Explorer = new TfrmThumbnails(&F);
  auto* Creator = new TfrmThumbEdit(&F);
  F.SetThumbnailWindows(Explorer, Creator);
  for (QAction* A : {F.ThumbnailsButton, F.ThumbnailExplorer1, F.TesslyButton, F.TesslyCreator1})
    EXPECT_TRUE(A->isEnabled()) << A->text().toStdString();
  F.ShellTreeView1->setCurrentIndex(F.FolderModel->index(Pics));
  QApplication::processEvents();

  Explorer->SetViewStyle(TThumbViewStyle::vsList);
  F.ThumbnailsButton->trigger();
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
  F.TesslyCreator1->trigger();
  EXPECT_TRUE(Creator->isVisible());
  EXPECT_EQ(Creator->windowTitle(), "Tessly Creator");
}
