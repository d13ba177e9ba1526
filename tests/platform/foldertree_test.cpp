// The folder tree: a folder the program chooses becomes current once the background reading
// reaches it and stays in view; the program's choice is not reported as the user's; trees with
// one filter share a model.
#include "platform/foldertree.h"

#include <QDir>
#include <QFileSystemModel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace orbisk;

TEST(FolderTree, FollowsTheChosenFolderAndReportsOnlyTheUsersChoice) {
  QTemporaryDir Root;
  ASSERT_TRUE(Root.isValid());
  const QString Deep = Root.path() + "/a/b/c";
  ASSERT_TRUE(QDir().mkpath(Deep));
  ASSERT_TRUE(QDir().mkpath(Root.path() + "/a/other"));
  TFolderTree Tree(QDir::AllDirs | QDir::NoDotAndDotDot);
  Tree.resize(300, 200);
  Tree.show();
  QSignalSpy Changed(&Tree, &TFolderTree::FolderChanged);
  Tree.SelectFolder(Deep + "/../c/");
  EXPECT_EQ(Tree.CurrentFolder(), Deep); // cleaned, at once, even before the node exists
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return Tree.currentIndex().isValid() && Tree.Model()->filePath(Tree.currentIndex()) == Deep;
      },
      10000));
  EXPECT_EQ(Changed.count(), 0);

  // The user moves to another folder: reported, and no longer overridden by the reading.
  const QModelIndex Other = Tree.Model()->index(Root.path() + "/a/other");
  ASSERT_TRUE(Other.isValid());
  Tree.setCurrentIndex(Other);
  ASSERT_EQ(Changed.count(), 1);
  EXPECT_EQ(Changed.at(0).at(0).toString(), Root.path() + "/a/other");
  Tree.Reveal();
  EXPECT_EQ(Tree.CurrentFolder(), Root.path() + "/a/other");
}

TEST(FolderTree, TheChosenFolderIsCurrentAtOnceAndTreesWithOneFilterShareAModel) {
  QTemporaryDir Root;
  ASSERT_TRUE(Root.isValid());
  const QString Hidden = Root.path() + "/.hidden";
  ASSERT_TRUE(QDir().mkpath(Hidden));
  TFolderTree Tree(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
  Tree.SelectFolder(Hidden);
  EXPECT_EQ(Tree.CurrentFolder(), Hidden);

  TFolderTree Second(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
  TFolderTree Other(QDir::AllDirs | QDir::NoDotAndDotDot);
  EXPECT_EQ(Second.Model(), Tree.Model());
  EXPECT_NE(Other.Model(), Tree.Model());
}
