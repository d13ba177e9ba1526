// Which files the program lists and takes as pictures: every name ending of the ten types and
// of the later formats in any letter case, their switches in the preferences, the stored
// "FileTypes" value read by this and by older builds, and the lists that share the mask.
#include "browser/filemanager.h"
#include "browser/increname.h"
#include "browser/mainwindow.h"
#include "browser/prefs.h"
#include "platform/dragfiles.h"
#include "platform/settingsstore.h"
#include "tests/browser/browsertest.h"
#include "tests/common/widgetfind.h"
#include "view/filelist.h"
#include "view/typemask.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QFileSystemModel>
#include <QMimeData>
#include <QPushButton>
#include <QTreeView>
#include <gtest/gtest.h>

#include <memory>

// Readable texts in failure messages.
inline void PrintTo(const QString& S, std::ostream* O) {
  *O << '"' << S.toStdString() << '"';
}

using namespace orbisk;

namespace {

QStringList Names(const TFileListModel* L) {
  QStringList N;
  for (int R = 0; R < L->Count(); ++R)
    N << L->Item(R).Name;
  N.sort();
  return N;
}

TEST(FileTypes, EveryTypeCoversItsNameEndings) {
  EXPECT_EQ(TypeExtensions(0), QStringList({"jpg", "jpeg", "jpe", "jif", "jfif"}));
  EXPECT_EQ(TypeExtensions(9), QStringList({"tif", "tiff"}));
  EXPECT_TRUE(TypeExtensions(10).isEmpty());
  EXPECT_EQ(LaterTypeExtensions(4), QStringList({"pbm", "pgm", "ppm", "pnm"}));
  for (const char* N : {"a.jpg", "b.JPEG", "c.Jpe", "d.jfif", "e.JIF", "f.tiff", "g.TIF", "h.ppm",
                        "i.PGM", "j.pbm", "k.webp", "l.HEIC", "m.heif", "n.avif", "o.jxl", "p.dib",
                        "q.emf", "/x.y/r.png", "s.tar.gif"})
    EXPECT_TRUE(IsPictureFile(N)) << N;
  for (const char* N : {"a.avi", "b.txt", "jpeg", "c.jp", "d.jpegx", "/x.jpg/readme", "e.", ""})
    EXPECT_FALSE(IsPictureFile(N)) << N;

  // The listing's mask: the endings of every type that is on, then the later formats'.
  EXPECT_EQ(ListingTypeMask("1000000001"),
            "*.jpg;*.jpeg;*.jpe;*.jif;*.jfif;*.tif;*.tiff;" + LaterTypeMask());
  EXPECT_EQ(ListingTypeMask("000000000001010"), "*.avif;*.jxl;");
  EXPECT_EQ(ListingTypeMask("000000000000000"), "");
  // The described mask pieces stay as they were.
  EXPECT_EQ(BuildTypeMask(QString("1000000001")), "*.jpg;*.tif;");
}

TEST(FileTypes, StoredValueReadableByThisAndByOlderBuilds) {
  // An old ten-flag value: the later formats it did not know are on.
  for (const char* Old : {"1111111111", "0101", ""}) {
    const TLaterTypeFlags L = ParseLaterFileTypes(Old);
    EXPECT_TRUE(std::all_of(L.begin(), L.end(), [](bool B) { return B; })) << Old;
  }
  TFileTypeFlags Ten{};
  Ten[0] = Ten[7] = true;
  TLaterTypeFlags Later{true, false, true, false, false};
  const QString Stored = FileTypesText(Ten, Later);
  EXPECT_EQ(Stored, "100000010010100");
  // This build reads both parts back ...
  EXPECT_EQ(ParseFileTypes(Stored), Ten);
  EXPECT_EQ(ParseLaterFileTypes(Stored), Later);
  // ... and one that reads ten flags finds its ten where they always were.
  EXPECT_EQ(FileTypesText(ParseFileTypes(Stored)), Stored.left(10));
}

class FileTypesInWindows : public ::testing::Test {
protected:
  void SetUp() override {
    test::ResetUserFiles();
    Dir = test::MakeFolder("filetypes");
    for (const char* N : {"a.jpg", "b.JPEG", "c.jpe", "d.jfif", "e.Jif", "f.tiff", "g.TIF", "h.ppm",
                          "i.pgm", "j.PBM", "k.webp", "l.HEIC", "notes.txt", "noext"})
      test::WriteBytes(Dir + "/" + N, 10);
    F = std::make_unique<TForm1>();
    F->show();
    QApplication::processEvents();
    F->SetSelectedFolder(Dir);
    QApplication::processEvents();
  }
  QString Dir;
  test::TPromptScope P;
  std::unique_ptr<TForm1> F;
};

TEST_F(FileTypesInWindows, TheMainListAndTheFileManagerListEveryEnding) {
  const QStringList All = {"a.jpg", "b.JPEG", "c.jpe", "d.jfif", "e.Jif",  "f.tiff",
                           "g.TIF", "h.ppm",  "i.pgm", "j.PBM",  "k.webp", "l.HEIC"};
  EXPECT_EQ(Names(&test::Child<TFileListModel>(*F, "FileList")), All);
  EXPECT_EQ(F->PanelText(1), "12 files");
  // The file manager lists its folder through the same mask.
  TSettingsStore().WriteString("SourceDir", Dir);
  test::Action(*F, "MoveFiles1").trigger();
  TfSelectFiles* W = F->SelectFilesWindow();
  ASSERT_TRUE(W->isVisible());
  EXPECT_EQ(Names(&test::Child<TFileListModel>(*W, "FileList")), All);
  W->close();
}

TEST_F(FileTypesInWindows, TheLaterFormatsHaveTheirOwnSwitches) {
  QTimer::singleShot(0, [&] {
    TfPrefs* Prefs = F->PrefsWindow();
    // On by default, after the ten rows.
    for (int I = 1; I <= LaterTypeCount; ++I) {
      const QCheckBox* C = &test::Child<QCheckBox>(*Prefs, QStringLiteral("Later%1").arg(I));
      EXPECT_TRUE(C->isChecked()) << C->text().toStdString();
      EXPECT_TRUE(C->isVisible()) << C->text().toStdString();
    }
    EXPECT_EQ(test::Child<QCheckBox>(*Prefs, "Later5").text(), "PxM");
    // Nothing of the tab squeezed at the window's own size.
    for (QWidget* C : test::Child<QTabWidget>(*Prefs, "PageControl1")
                          .currentWidget()
                          ->findChildren<QWidget*>()) {
      if (C->isVisible()) {
        EXPECT_GE(C->width(), C->minimumSizeHint().width()) << C->metaObject()->className();
      }
    }
    test::Child<QCheckBox>(*Prefs, "Later5").click();     // PxM off
    test::Child<QCheckBox>(*Prefs, "TypeCheck1").click(); // JPG off
    test::Child<QPushButton>(*Prefs, "OKButton").click();
  });
  test::Action(*F, "SetPreferences1").trigger();
  EXPECT_EQ(Names(&test::Child<TFileListModel>(*F, "FileList")),
            QStringList({"f.tiff", "g.TIF", "k.webp", "l.HEIC"}));
  EXPECT_EQ(TSettingsStore().ReadString("FileTypes", ""), "011111111111110");

  // A value an older build wrote (ten flags): the later formats are listed again.
  TSettingsStore().WriteString("FileTypes", "1111111111");
  F->RebuildTypeMask();
  F->RefreshListClick();
  EXPECT_EQ(F->PanelText(1), "12 files");
  EXPECT_TRUE(P->Messages.isEmpty()) << P->Messages.join("|").toStdString();
}

TEST_F(FileTypesInWindows, IncrementalRenameTakesEveryReadablePictureDropped) {
  TfrmIncRename* R = F->IncRenameWindow();
  R->show();
  const QStringList Dropped = {Dir + "/a.jpg",  Dir + "/b.JPEG", Dir + "/c.jpe",    Dir + "/h.ppm",
                               Dir + "/f.tiff", Dir + "/k.webp", Dir + "/notes.txt"};
  std::unique_ptr<QMimeData> Data(MakeFileDragData(Dropped, Dir, TDragSource::dsFileList));
  QDragEnterEvent Enter(QPoint(5, 5), Qt::CopyAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(R, &Enter);
  ASSERT_TRUE(Enter.isAccepted());
  QDropEvent Drop(QPointF(5, 5), Qt::CopyAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(R, &Drop);
  EXPECT_EQ(R->Lines(), Dropped.mid(0, 6));
}

} // namespace
