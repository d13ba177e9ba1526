// The search window driven as a user would: F3 from the main window, Find with Enter, the
// sorted list and the status texts, Escape during a long walk, the capacity message, a double
// click showing the file in the main window, and the further criteria with their matched values.
#include "browser/mainwindow.h"
#include "browser/searchwindow.h"
#include "engine/pixelgraphic.h"
#include "tests/metadata/criteriaexif.h"
#include "tests/browser/browsertest.h"
#include "view/filelist.h"

#include <QComboBox>
#include <QLabel>
#include <QScreen>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QGroupBox>
#include <QSpinBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using namespace orbisk;
namespace fs = std::filesystem;

namespace {

void Touch(const QString& Path) {
  QDir().mkpath(QFileInfo(Path).absolutePath());
  test::WriteBytes(Path, 10);
}

class SearchWindow : public ::testing::Test {
protected:
  void SetUp() override {
    test::ResetUserFiles();
    Tree = test::MakeFolder("searchtree");
    Touch(Tree + "/zoo/b.jpg");
    Touch(Tree + "/Apple/c.JPG");
    Touch(Tree + "/apple/a.jpg");
    Touch(Tree + "/x.png");
    QDir().mkpath(Tree + "/pics");
    test::WritePicture(Tree + "/pics/shown \"one\".jpg", 30, 20);
  }
  // The window searching the test tree as its only drive.
  static void UseTree(TfSearch& W, const QString& Root) { W.SetVolumes({{Root, Root, "ext4"}}, 0); }
  static QStringList Lines(TfSearch& W) {
    QStringList L;
    for (qsizetype R = 0; R < test::Child<TSearchResultModel>(W, "Results").Count(); ++R)
      L << test::Child<TSearchResultModel>(W, "Results").Line(R).Text;
    return L;
  }
  static bool RunToEnd(TfSearch& W) {
    return test::WaitFor([&] { return !W.Running(); }, 60000);
  }
  QString Tree;
  test::TPromptScope Prompt;
};

TEST_F(SearchWindow, FindListsSortedPathsAndCountsThem) {
  TfSearch W;
  W.show();
  EXPECT_EQ(W.windowTitle(), "File Search");
  EXPECT_EQ(test::Child<QLineEdit>(W, "SearchFor").text(), "*.jpg");
  EXPECT_TRUE(test::Child<QRadioButton>(W, "SelectedDrive").isChecked());
  EXPECT_EQ(W.StatusText(), "Double click filename after a search to view the file");
  EXPECT_FALSE(test::Child<QPushButton>(W, "StopButton").isVisible());
  UseTree(W, Tree);
  test::Key(&test::Child<QLineEdit>(W, "SearchFor"), Qt::Key_Return);
  ASSERT_TRUE(RunToEnd(W));
  EXPECT_EQ(Lines(W), (QStringList{Tree + "/apple/a.jpg", Tree + "/Apple/c.JPG",
                                   Tree + "/pics/shown \"one\".jpg", Tree + "/zoo/b.jpg"}));
  EXPECT_EQ(W.StatusText(), "4 files found - Double click filename to view.");
  EXPECT_TRUE(test::Child<QPushButton>(W, "FindButton").isVisible());
  EXPECT_FALSE(test::Child<QPushButton>(W, "StopButton").isVisible());
  // No match at all.
  test::Child<QLineEdit>(W, "SearchFor").setText("*.tif");
  QTest::mouseClick(&test::Child<QPushButton>(W, "FindButton"), Qt::LeftButton);
  ASSERT_TRUE(RunToEnd(W));
  EXPECT_EQ(test::Child<TSearchResultModel>(W, "Results").Count(), 0);
  EXPECT_EQ(W.StatusText(), "0 files found - Double click filename to view.");
  // The drive selector only while "Selected Drive" is chosen.
  test::Child<QRadioButton>(W, "AllDrives").click();
  EXPECT_FALSE(test::Child<QComboBox>(W, "DriveCombo").isEnabled());
  test::Child<QRadioButton>(W, "SelectedDrive").click();
  EXPECT_TRUE(test::Child<QComboBox>(W, "DriveCombo").isEnabled());
}

TEST_F(SearchWindow, CapacityMessageOnce) {
  TfSearch W;
  W.Capacity = 2;
  UseTree(W, Tree);
  W.FindClick();
  ASSERT_TRUE(RunToEnd(W));
  EXPECT_EQ(Prompt->Messages, QStringList{"Number of files exceeds list box capacity."});
  EXPECT_EQ(test::Child<TSearchResultModel>(W, "Results").Count(), 2);
}

TEST_F(SearchWindow, EscapeStopsALongWalk) {
  const QString Big = test::MakeFolder("searchbig");
  for (int I = 0; I < 6; ++I)
    for (int J = 0; J < 500; ++J)
      fs::create_directories(Big.toStdString() + "/d" + std::to_string(I) + "/e" +
                             std::to_string(J));
  TfSearch W;
  W.show();
  UseTree(W, Big);
  W.FindClick();
  EXPECT_TRUE(test::Child<QPushButton>(W, "StopButton").isVisible());
  ASSERT_TRUE(test::WaitFor([&] { return W.Search().FoldersWalked() > 50; }, 10000));
  test::Key(&test::Child<QAbstractItemView>(W, "ResultList"), Qt::Key_Escape);
  EXPECT_FALSE(W.Running());
  EXPECT_TRUE(test::Child<QPushButton>(W, "FindButton").isVisible());
  EXPECT_FALSE(test::Child<QPushButton>(W, "StopButton").isVisible());
  EXPECT_TRUE(W.StatusText().endsWith(" files found - Double click filename to view."));
  fs::remove_all(Big.toStdString());
}

TEST_F(SearchWindow, F3AndDoubleClickShowTheFileInTheMainWindow) {
  TForm1 F;
  F.show();
  QApplication::processEvents();
  test::Key(&test::Child<QTreeView>(F, "ListView1"), Qt::Key_F3);
  TfSearch* W = F.SearchWindow();
  ASSERT_TRUE(W->isVisible());
  UseTree(*W, Tree);
  // The listed folder is offered beside the drives, not selected; a folder chosen and selected
  // stays when the window is asked for again.
  F.SetSelectedFolder(Tree + "/pics");
  test::Key(&test::Child<QTreeView>(F, "ListView1"), Qt::Key_F3);
  QComboBox& Drives = test::Child<QComboBox>(*W, "DriveCombo");
  ASSERT_EQ(Drives.count(), 3);
  EXPECT_EQ(Drives.itemText(1), Tree + "/pics");
  EXPECT_EQ(Drives.currentIndex(), 0);
  EXPECT_EQ(W->SelectedRoot(), Tree);
  Drives.setCurrentIndex(1);
  EXPECT_EQ(W->SelectedRoot(), Tree + "/pics");
  F.SetSelectedFolder(Tree);
  test::Key(&test::Child<QTreeView>(F, "ListView1"), Qt::Key_F3);
  EXPECT_EQ(W->SelectedRoot(), Tree + "/pics");
  Drives.setCurrentIndex(0);
  test::Child<QLineEdit>(*W, "SearchFor").setText("shown*");
  W->FindClick();
  // While the search runs a double click does nothing.
  W->OpenResult(0);
  ASSERT_TRUE(RunToEnd(*W));
  EXPECT_NE(F.ShownFile(), Tree + "/pics/shown \"one\".jpg");
  ASSERT_EQ(test::Child<TSearchResultModel>(*W, "Results").Count(), 1);
  const QRect R = test::Child<QAbstractItemView>(*W, "ResultList")
                      .visualRect(test::Child<TSearchResultModel>(*W, "Results").index(0));
  QTest::mouseClick(test::Child<QAbstractItemView>(*W, "ResultList").viewport(), Qt::LeftButton,
                    Qt::NoModifier, R.center());
  QTest::mouseDClick(test::Child<QAbstractItemView>(*W, "ResultList").viewport(), Qt::LeftButton,
                     Qt::NoModifier, R.center());
  EXPECT_EQ(F.ShownFile(), Tree + "/pics/shown \"one\".jpg");
  EXPECT_EQ(F.SelectedFolder(), Tree + "/pics");
  EXPECT_EQ(F.SelectedFile(), Tree + "/pics/shown \"one\".jpg");
}

TEST_F(SearchWindow, AFolderOfTheUsersChoiceBesideTheDrives) {
  TfSearch W;
  W.show();
  UseTree(W, Tree);
  // The drives first, then the entry that asks for a folder.
  ASSERT_EQ(test::Child<QComboBox>(W, "DriveCombo").count(), 2);
  EXPECT_EQ(test::Child<QComboBox>(W, "DriveCombo").itemText(0), Tree);
  EXPECT_EQ(test::Child<QComboBox>(W, "DriveCombo").itemText(1), TfSearch::FolderItemText());
  int Asked = 0;
  QString Answer;
  W.ChooseFolder = [&](QWidget*) {
    ++Asked;
    return Answer;
  };
  // Cancelled: the drive stays chosen.
  test::Child<QComboBox>(W, "DriveCombo").setFocus();
  QTest::keyClick(&test::Child<QComboBox>(W, "DriveCombo"), Qt::Key_End);
  EXPECT_EQ(Asked, 1);
  EXPECT_EQ(test::Child<QComboBox>(W, "DriveCombo").currentIndex(), 0);
  Answer = Tree + "/apple";
  QTest::keyClick(&test::Child<QComboBox>(W, "DriveCombo"), Qt::Key_End);
  EXPECT_EQ(Asked, 2);
  EXPECT_EQ(test::Child<QComboBox>(W, "DriveCombo").currentText(), Tree + "/apple");
  EXPECT_EQ(test::Child<QComboBox>(W, "DriveCombo").count(), 3);
  EXPECT_EQ(W.SelectedRoot(), Tree + "/apple");
  // "Selected Drive" searches below that folder only.
  QTest::mouseClick(&test::Child<QPushButton>(W, "FindButton"), Qt::LeftButton);
  ASSERT_TRUE(RunToEnd(W));
  EXPECT_EQ(Lines(W), QStringList{Tree + "/apple/a.jpg"});
  // Back to the drive with the keyboard.
  QTest::keyClick(&test::Child<QComboBox>(W, "DriveCombo"), Qt::Key_Home);
  EXPECT_EQ(W.SelectedRoot(), Tree);

  // "*.*" lists names without a dot too.
  Touch(Tree + "/zoo/README");
  test::Child<QLineEdit>(W, "SearchFor").setText("*.*");
  QTest::mouseClick(&test::Child<QPushButton>(W, "FindButton"), Qt::LeftButton);
  ASSERT_TRUE(RunToEnd(W));
  EXPECT_TRUE(Lines(W).contains(Tree + "/zoo/README")) << Lines(W).join(" ").toStdString();
  EXPECT_EQ(test::Child<TSearchResultModel>(W, "Results").Count(), 6);
}

TEST_F(SearchWindow, ALongFolderInTheStatusBarKeepsTheWindowsSize) {
  TfSearch W;
  W.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&W));
  const QSize Before = W.size();
  // Every button and box inside the window at its default size.
  for (QWidget* C : std::initializer_list<QWidget*>{
           &test::Child<QLineEdit>(W, "SearchFor"), &test::Child<QComboBox>(W, "DriveCombo"),
           &test::Child<QPushButton>(W, "FindButton"), &test::Child<QRadioButton>(W, "AllDrives"),
           &test::Child<QRadioButton>(W, "SelectedDrive")}) {
    EXPECT_TRUE(C->isVisible());
    EXPECT_TRUE(W.rect().contains(QRect(C->mapTo(&W, QPoint(0, 0)), C->size())));
    EXPECT_GE(C->width(), C->minimumSizeHint().width());
  }
  W.StatusLabel()->setText("/" + QString("very long folder name/").repeated(200));
  QApplication::processEvents();
  test::WaitFor([&] { return W.size() != Before; }, 300);
  EXPECT_EQ(W.size(), Before);
  EXPECT_TRUE(test::Child<QPushButton>(W, "FindButton").isVisible());
  EXPECT_TRUE(
      W.rect().contains(QRect(test::Child<QPushButton>(W, "FindButton").mapTo(&W, QPoint(0, 0)),
                              test::Child<QPushButton>(W, "FindButton").size())));
  // The full text is kept for the status; only the painting shortens it.
  EXPECT_TRUE(W.StatusText().endsWith("very long folder name/"));
}

} // namespace

namespace {

void SaveJpeg(const QString& Path, int W, int H, std::vector<uint8_t> Exif) {
  QDir().mkpath(QFileInfo(Path).absolutePath());
  TPixelGraphic G;
  G.SetSize(W, H, 3);
  G.Metadata.Exif = std::move(Exif);
  G.SaveToFile(QFile::encodeName(Path).toStdString());
}

QStringList Matched(TfSearch& W) {
  auto& M = test::Child<TSearchResultModel>(W, "Results");
  QStringList L;
  for (int R = 0; R < M.Count(); ++R)
    L << M.Line(R).Text + " | " + M.index(R, 1).data().toString();
  return L;
}

void Type(QLineEdit& E, const QString& Text) {
  E.selectAll();
  QTest::keyClicks(&E, Text);
}

} // namespace

TEST_F(SearchWindow, MoreCriteriaFindByWhatThePictureCarries) {
  const QString D = test::MakeFolder("searchcriteria");
  SaveJpeg(D + "/canon.jpg", 40, 30,
           test::Exif("Canon", "Canon EOS 5D", "2024:06:01 08:00:00", "2024:05:01 12:30:00"));
  SaveJpeg(D + "/sub/canon2.jpg", 64, 48,
           test::Exif("Canon", "Canon EOS R", "", "2024:05:20 09:00:00"));
  SaveJpeg(D + "/phone.jpg", 30, 40, test::Exif("Google", "Pixel 7", "2023:12:31 23:59:59", ""));
  SaveJpeg(D + "/plain.jpg", 100, 80, {});
  TfSearch W;
  W.show();
  UseTree(W, Tree);
  W.SetSearchFolder(D); // below the chosen folder
  auto& More = test::Child<QGroupBox>(W, "MoreCriteria");
  EXPECT_EQ(More.title(), "More criteria");
  EXPECT_FALSE(More.isChecked());
  EXPECT_FALSE(test::Child<QWidget>(W, "CriteriaPanel").isVisible()) << "folded away at start";
  More.setChecked(true);
  EXPECT_TRUE(test::Child<QWidget>(W, "CriteriaPanel").isVisible());

  // A camera and a range of days taken: Enter in a criteria box searches.
  Type(test::Child<QLineEdit>(W, "Camera"), "canon");
  Type(test::Child<QLineEdit>(W, "TakenFrom"), "2024-05-01");
  Type(test::Child<QLineEdit>(W, "TakenTo"), "2024-05-10");
  test::Key(&test::Child<QLineEdit>(W, "TakenTo"), Qt::Key_Return);
  ASSERT_TRUE(RunToEnd(W));
  EXPECT_EQ(Matched(W), QStringList{D + "/canon.jpg | taken 2024-05-01 12:30:00, Canon EOS 5D"});
  EXPECT_EQ(W.StatusText(), "1 files found - Double click filename to view.");
  auto& List = test::Child<QTreeView>(W, "ResultList");
  EXPECT_FALSE(List.isHeaderHidden());
  EXPECT_FALSE(List.isColumnHidden(1)) << "the matched value is shown";

  // The camera alone finds both of its pictures, in every folder below.
  test::Child<QLineEdit>(W, "TakenFrom").clear();
  test::Child<QLineEdit>(W, "TakenTo").clear();
  QTest::mouseClick(&test::Child<QPushButton>(W, "FindButton"), Qt::LeftButton);
  ASSERT_TRUE(RunToEnd(W));
  EXPECT_EQ(Matched(W),
            (QStringList{D + "/canon.jpg | Canon EOS 5D", D + "/sub/canon2.jpg | Canon EOS R"}));

  // Sizes in pixels: at least 50 wide finds the larger ones, with or without a camera.
  test::Child<QLineEdit>(W, "Camera").clear();
  auto& MinWidth = test::Child<QSpinBox>(W, "MinWidth");
  MinWidth.selectAll();
  QTest::keyClicks(&MinWidth, "50");
  QTest::mouseClick(&test::Child<QPushButton>(W, "FindButton"), Qt::LeftButton);
  ASSERT_TRUE(RunToEnd(W));
  EXPECT_EQ(Matched(W),
            (QStringList{D + "/plain.jpg | 100 x 80", D + "/sub/canon2.jpg | 64 x 48"}));

  // A malformed day is refused before anything is searched; the last results stay.
  Type(test::Child<QLineEdit>(W, "ModifiedFrom"), "2024-13-01");
  QTest::mouseClick(&test::Child<QPushButton>(W, "FindButton"), Qt::LeftButton);
  EXPECT_FALSE(W.Running());
  EXPECT_EQ(Prompt->Messages, QStringList{"\"2024-13-01\" is not a date (YYYY-MM-DD)"});
  EXPECT_EQ(test::Child<TSearchResultModel>(W, "Results").Count(), 2);

  // Folded away, the criteria no longer apply and the list shows paths alone.
  More.setChecked(false);
  QTest::mouseClick(&test::Child<QPushButton>(W, "FindButton"), Qt::LeftButton);
  ASSERT_TRUE(RunToEnd(W));
  EXPECT_EQ(test::Child<TSearchResultModel>(W, "Results").Count(), 4);
  EXPECT_TRUE(List.isHeaderHidden());
  EXPECT_TRUE(List.isColumnHidden(1));
}
