// Settings values with their defaults and text forms, the bookmarks file, the bookmark editor
// and the preferences window, all against private HOME and XDG folders.
#include "browser/bmedit.h"
#include "browser/bookmarks.h"
#include "browser/mainsettings.h"
#include "browser/prefs.h"
#include "platform/settingsstore.h"
#include "tests/browser/browsertest.h"
#include "tests/common/widgetfind.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <gtest/gtest.h>

using namespace orbisk;

namespace {

QByteArray ReadAll(const QString& Path) {
  QFile F(Path);
  F.open(QIODevice::ReadOnly);
  return F.readAll();
}

} // namespace

TEST(MainSettings, FirstRunDefaultsAndBadNumbers) {
  test::ResetUserFiles();
  {
    TSettingsStore S;
    TMainWindowSettings V = ReadMainWindowSettings(S);
    EXPECT_EQ(V.Left, 0);
    EXPECT_EQ(V.Top, 0);
    EXPECT_EQ(V.Width, 620);
    EXPECT_EQ(V.Height, 460);
    EXPECT_EQ(V.LeftWidth, 180);
    EXPECT_EQ(V.LeftHeight, 120);
    EXPECT_EQ(V.Seconds, "4");
    EXPECT_TRUE(V.ConfirmDeletions);
    EXPECT_FALSE(V.DeletePermanently);
    EXPECT_EQ(V.BGColor, -1);
    EXPECT_EQ(ReadFileTypes(S), "1111111111");
    EXPECT_EQ(ReadDirectory(S), QDir::homePath());
    EXPECT_EQ(S.FileName(), test::SettingsFile());
  }
  {
    TSettingsStore S;
    S.WriteString("Width", "wide");
    S.WriteString("Left", " -12 ");
    S.WriteString("Seconds", "x7");
    for (auto [Text, Confirm] : {std::pair{"1", true}, {"0", false}, {"yes", false}, {"", false}}) {
      S.WriteString("Confirm Deletions", Text);
      EXPECT_EQ(ReadConfirmDeletions(S), Confirm) << Text;
    }
    for (auto [Text, Perm] : {std::pair{"1", true}, {"0", false}, {"2", false}, {"x", false}}) {
      S.WriteString("Deletions", Text);
      EXPECT_EQ(ReadDeletePermanently(S), Perm) << Text;
    }
    TMainWindowSettings V = ReadMainWindowSettings(S);
    EXPECT_EQ(V.Width, 620); // not a number: the default
    EXPECT_EQ(V.Left, -12);
    EXPECT_EQ(V.Seconds, "x7"); // the seconds are kept as text
  }
  EXPECT_EQ(EditorValueName(0), "JPG Editor");
  EXPECT_EQ(EditorValueName(9), "TIF Editor");
  // The colour value: red in the low byte.
  EXPECT_EQ(ValueFromColor(QColor(1, 2, 3)), 0x030201);
  EXPECT_EQ(ColorFromValue(0x030201), QColor(1, 2, 3));
}

TEST(MainSettings, ColourWrittenOnlyWhenChanged) {
  test::ResetUserFiles();
  {
    TSettingsStore S;
    S.WriteInteger("BG Color", 255);
    TMainWindowSettings V;
    V.BGColor = 0x00FF00;
    WriteMainWindowSettings(S, V, false);
  }
  TSettingsStore S;
  EXPECT_EQ(S.ReadInteger("BG Color", -1), 255);
  EXPECT_EQ(S.ReadString("Width", ""), "620");
}

TEST(Bookmarks, AddRefusesDuplicatesAndKeepsUnreadableFiles) {
  test::ResetUserFiles();
  const QString File = DefaultBookmarksFile();
  EXPECT_EQ(File, test::BookmarksPath());
  QStringList List;
  EXPECT_EQ(ReadBookmarks(File, List), TBookmarksRead::Missing);

  EXPECT_EQ(AddBookmark(File, "/home/Pics"), TAddBookmark::Added);
  EXPECT_EQ(AddBookmark(File, "/srv/photos"), TAddBookmark::Added);
  EXPECT_EQ(ReadAll(File), "/home/Pics\r\n/srv/photos\r\n");
  EXPECT_EQ(AddBookmark(File, "/HOME/pics"), TAddBookmark::Duplicate);
  EXPECT_EQ(ReadAll(File), "/home/Pics\r\n/srv/photos\r\n");
  EXPECT_EQ(AddBookmarkMessage(TAddBookmark::Duplicate, File, "/HOME/pics"),
            "/HOME/pics is already bookmarked!");

  // Lines written by hand with LF only are read as well.
  test::WriteBytes(File, 0);
  QFile F(File);
  F.open(QIODevice::WriteOnly);
  F.write("/a\n\n/b\r\n");
  F.close();
  ASSERT_EQ(ReadBookmarks(File, List), TBookmarksRead::Ok);
  EXPECT_EQ(List, QStringList({"/a", "/b"}));

  // A bookmarks "file" that can not be read is never replaced.
  test::ResetUserFiles();
  QDir().mkpath(File);
  EXPECT_EQ(ReadBookmarks(File, List), TBookmarksRead::Unreadable);
  EXPECT_EQ(AddBookmark(File, "/x"), TAddBookmark::Unreadable);
  EXPECT_TRUE(QFileInfo(File).isDir());
  EXPECT_FALSE(SaveBookmarks(File, {"/x"}));
  EXPECT_TRUE(QFileInfo(File).isDir());
  test::ResetUserFiles();
}

TEST(Bookmarks, EditorMovesDeletesAndCancels) {
  test::ResetUserFiles();
  const QString File = test::BookmarksPath();
  ASSERT_TRUE(SaveBookmarks(File, {"/one", "/two", "/three"}));
  const QByteArray Before = ReadAll(File);

  TfBMEdit E;
  E.Open(File);
  EXPECT_EQ(E.windowTitle(), "Edit Bookmarks");
  EXPECT_EQ(test::Child<QListWidget>(E, "ListBox1").currentRow(), 0);
  test::Child<QPushButton>(E, "UpButton").click(); // the first line stays first
  EXPECT_EQ(E.Lines(), QStringList({"/one", "/two", "/three"}));
  test::Child<QPushButton>(E, "DownButton").click();
  EXPECT_EQ(E.Lines(), QStringList({"/two", "/one", "/three"}));
  EXPECT_EQ(test::Child<QListWidget>(E, "ListBox1").currentRow(),
            1); // the selection follows the line
  test::Child<QPushButton>(E, "DownButton").click();
  test::Child<QPushButton>(E, "DownButton").click(); // the last line stays last
  EXPECT_EQ(E.Lines(), QStringList({"/two", "/three", "/one"}));
  test::Child<QListWidget>(E, "ListBox1").setCurrentRow(1);
  test::Child<QPushButton>(E, "DeleteButton").click();
  EXPECT_EQ(E.Lines(), QStringList({"/two", "/one"}));
  EXPECT_EQ(test::Child<QListWidget>(E, "ListBox1").currentRow(), 0);
  test::Child<QListWidget>(E, "ListBox1").clearSelection();
  test::Child<QPushButton>(E, "DeleteButton").click(); // nothing selected: nothing deleted
  EXPECT_EQ(E.Lines().size(), 2);

  // Cancel leaves the file as it was; a new opening shows the file again.
  test::Child<QPushButton>(E, "CancelButton").click();
  EXPECT_EQ(ReadAll(File), Before);
  E.Open(File);
  EXPECT_EQ(E.Lines(), QStringList({"/one", "/two", "/three"}));
  test::Child<QListWidget>(E, "ListBox1").setCurrentRow(2);
  test::Child<QPushButton>(E, "UpButton").click();
  test::Child<QPushButton>(E, "OKButton").click();
  EXPECT_EQ(E.result(), QDialog::Accepted);
  EXPECT_EQ(ReadAll(File), "/one\r\n/three\r\n/two\r\n");

  // An unreadable file is reported on OK and never overwritten.
  test::ResetUserFiles();
  QDir().mkpath(File);
  test::TPromptScope Prompt;
  E.Open(File);
  EXPECT_EQ(test::Child<QListWidget>(E, "ListBox1").count(), 0);
  test::Child<QPushButton>(E, "OKButton").click();
  ASSERT_EQ(Prompt->Messages.size(), 1);
  EXPECT_TRUE(Prompt->Messages[0].contains("can not be read")) << Prompt->Messages[0].toStdString();
  EXPECT_TRUE(QFileInfo(File).isDir());
  test::ResetUserFiles();
}

TEST(Preferences, LoadsAndSavesBothTabs) {
  test::ResetUserFiles();
  TfPrefs P;
  EXPECT_EQ(P.windowTitle(), "Preferences");
  EXPECT_EQ(test::Child<QTabWidget>(P, "PageControl1").tabText(0), "Editors");
  EXPECT_EQ(test::Child<QTabWidget>(P, "PageControl1").tabText(1), "Deletions");
  EXPECT_FALSE(test::Child<QPushButton>(P, "AssociateButton")
                   .isHidden()); // "Editors", the first tab, shows it
  {
    TSettingsStore S;
    S.WriteString("FileTypes", "1010");
    S.WriteString("PNG Editor", "/usr/bin/gimp");
    S.WriteString("Deletions", "1");
    S.WriteString("Confirm Deletions", "0");
    P.LoadSettings(S);
  }
  for (int I = 0; I < FileTypeCount; ++I)
    EXPECT_EQ(test::Child<QCheckBox>(P, QStringLiteral("TypeCheck%1").arg(I + 1)).isChecked(),
              I == 0 || I == 2)
        << I;
  EXPECT_EQ(test::Child<QCheckBox>(P, "TypeCheck8").text(), "PNG");
  EXPECT_EQ(test::Child<QLineEdit>(P, "EditorEdit8").text(), "/usr/bin/gimp");
  EXPECT_TRUE(P.DeletePermanently());
  EXPECT_FALSE(test::Child<QCheckBox>(P, "ConfirmCheck").isChecked());

  P.ChooseFile = [](QWidget*) { return QString("/opt/editor"); };
  test::Child<QPushButton>(P, "Locate1").click();
  EXPECT_EQ(test::Child<QLineEdit>(P, "EditorEdit1").text(), "/opt/editor");
  P.ChooseFile = [](QWidget*) { return QString(); }; // cancelled dialog: edit box unchanged
  test::Child<QPushButton>(P, "Locate1").click();
  EXPECT_EQ(test::Child<QLineEdit>(P, "EditorEdit1").text(), "/opt/editor");

  test::Child<QCheckBox>(P, "TypeCheck10").setChecked(true);
  test::Child<QButtonGroup>(P, "DeleteModes").button(0)->setChecked(true);
  test::Child<QCheckBox>(P, "ConfirmCheck").setChecked(true);
  test::Child<QPushButton>(P, "OKButton").click();
  EXPECT_EQ(P.result(), QDialog::Accepted);
  TSettingsStore S;
  // The ten flags, then the later formats' (still on: "1010" had none of them).
  EXPECT_EQ(S.ReadString("FileTypes", ""), "101000000111111");
  EXPECT_EQ(S.ReadString("JPG Editor", "-"), "/opt/editor");
  EXPECT_EQ(S.ReadString("GIF Editor", "-"), "");
  EXPECT_EQ(S.ReadString("Deletions", ""), "0");
  EXPECT_EQ(S.ReadString("Confirm Deletions", ""), "1");

  // Cancel writes nothing.
  test::Child<QCheckBox>(P, "TypeCheck1").setChecked(false);
  test::Child<QPushButton>(P, "CancelButton").click();
  EXPECT_EQ(TSettingsStore().ReadString("FileTypes", ""), "101000000111111");
}

TEST(Preferences, ViewingTabCentringAndColourProfiles) {
  test::ResetUserFiles();
  {
    // New settings: both on; only "0" is off.
    TSettingsStore S;
    EXPECT_TRUE(ReadCentrePictures(S));
    EXPECT_TRUE(ReadColourProfiles(S));
    for (auto [Text, On] : {std::pair{"0", false}, {"1", true}, {"x", true}}) {
      S.WriteString("CentrePictures", Text);
      S.WriteString("ColourProfiles", Text);
      EXPECT_EQ(ReadCentrePictures(S), On) << Text;
      EXPECT_EQ(ReadColourProfiles(S), On) << Text;
    }
    S.WriteString("CentrePictures", "0");
    S.WriteString("ColourProfiles", "1");
  }
  TfPrefs P;
  P.LoadSettings(TSettingsStore());
  EXPECT_FALSE(test::Child<QCheckBox>(P, "CentreCheck").isChecked());
  EXPECT_TRUE(test::Child<QCheckBox>(P, "ColourProfilesCheck").isChecked());
  test::Child<QCheckBox>(P, "CentreCheck").setChecked(true);
  test::Child<QCheckBox>(P, "ColourProfilesCheck").setChecked(false);
  test::Child<QPushButton>(P, "OKButton").click();
  TSettingsStore S;
  EXPECT_EQ(S.ReadString("CentrePictures", ""), "1");
  EXPECT_EQ(S.ReadString("ColourProfiles", ""), "0");
}
