// WebP, AVIF, HEIF and JPEG XL files in the program: listed and shown by the main window (an
// AVIF file is a picture, never the AVI video player's), taken as pictures by the tools, and
// written by the converter's appended targets.
#include "browser/display.h"
#include "browser/mainwindow.h"
#include "engine/formats/jpeg.h"
#include "engine/formats/webp.h"
#include "platform/codecsettings.h"
#include "processing/converter.h"
#include "tests/browser/browsertest.h"
#include "tests/common/testutil.h"
#include "view/filelist.h"
#include "view/pgimage.h"
#include "view/typemask.h"

#include <QFileSystemModel>
#include <QTreeView>
#include <gtest/gtest.h>

using namespace orbisk;

namespace {

// A 24-bit picture with distinct colours in every pixel of its 37 x 23.
std::unique_ptr<TPixelGraphic> Pattern() {
  auto G = std::make_unique<TPixelGraphic>();
  G->SetSize(37, 23, 3);
  for (int Y = 0; Y < 23; ++Y)
    for (int X = 0; X < 37; ++X)
      G->SetPixelColor(X, Y, RGBOf(X * 7, Y * 11, (X * Y) % 256));
  return G;
}

TEST(LaterFormats, TypesOfTheLaterFormats) {
  struct Case {
    const char* Name;
    const char* Type;
  } Cases[] = {{"a.avif", "AVIF"}, {"b.WebP", "WEBP"}, {"c.heic", "HEIC"}, {"d.heif", "HEIF"},
               {"e.jxl", "JXL"},   {"f.avi", "AVI"},   {"g.jpeg", "JPE"}};
  for (const auto& C : Cases)
    EXPECT_EQ(FileTypeOf(C.Name), C.Type) << C.Name;
  for (const char* T : {"AVIF", "WEBP", "heic", "HEIF", "JXL"}) {
    EXPECT_TRUE(IsPictureType(T)) << T;
    EXPECT_EQ(ViewerForType(FileTypeOf(QString("x.") + T)), TViewerKind::Image) << T;
  }
  for (const char* T : {"AVI", "WEB", "AVIFX", "HEI", "IF.J"})
    EXPECT_FALSE(IsPictureType(T)) << T;
  EXPECT_EQ(ViewerForType("AVI"), TViewerKind::Avi);
  EXPECT_EQ(MaskPatterns(LaterTypeMask()),
            QStringList({"*.webp", "*.avif", "*.heic", "*.heif", "*.jxl", "*.pbm", "*.pgm", "*.ppm",
                         "*.pnm"}));
}

TEST(LaterFormats, ConverterWritesWebPAndAVIF) {
  const QString Dir = test::MakeFolder("laterconvert");
  const std::string Src = (Dir + "/a.png").toStdString();
  auto G = Pattern();
  G->SaveToFile(Src);
  TConvertSettings S;
  const auto Never = [](const std::string&) { return true; };

  // Lossless WebP keeps every pixel; the engine-wide choice is restored afterwards.
  S.Target = ctWEBPLossless;
  std::string Dest = ChooseConvertDestination(Src, S.Target, Never);
  EXPECT_EQ(Dest, (Dir + "/a.webp").toStdString());
  ASSERT_TRUE(ConvertPictureFile(*G, Src, Dest, S));
  EXPECT_FALSE(CurrentWriteOptions().WebPLossless);
  TPixelGraphic Back;
  Back.LoadFromFile(Dest);
  EXPECT_EQ(test::CountDifferences(test::ToRGBA(Back), test::ToRGBA(*G), false), 0);

  // The quality applies to lossy WebP and AVIF: a low one makes a smaller file.
  for (TConvertTarget T : {ctWEBP, ctAVIF}) {
    S.Target = T;
    Dest = ChooseConvertDestination(Src, T, Never);
    std::vector<size_t> Sizes;
    for (int Q : {100, 10}) {
      S.JPEGQuality = Q;
      ASSERT_TRUE(ConvertPictureFile(*G, Src, Dest, S));
      Sizes.push_back(test::ReadFileBytes(Dest).size());
      Back.LoadFromFile(Dest);
      EXPECT_EQ(Back.Width(), 37);
    }
    EXPECT_LT(Sizes[1], Sizes[0]) << ConvertTargetText(T);
    EXPECT_EQ(CurrentWriteOptions().JPEGQuality, 80);
  }
}

class LaterFormatsWindow : public ::testing::Test {
protected:
  void SetUp() override { test::ResetUserFiles(); }
};

TEST_F(LaterFormatsWindow, MainWindowListsAndShowsThem) {
  const QString Pics = test::MakeFolder("laterpics");
  auto G = Pattern();
  G->SaveToFile((Pics + "/b.webp").toStdString());
  G->SaveToFile((Pics + "/a.avif").toStdString());
  test::WriteBytes(Pics + "/c.avi", 100);
  test::WriteBytes(Pics + "/d.txt", 10);

  TForm1 F;
  F.show();
  QApplication::processEvents();
  const QModelIndex Folder = test::Child<TFolderTree>(F, "ShellTreeView1").Model()->index(Pics);
  ASSERT_TRUE(Folder.isValid());
  test::Child<TFolderTree>(F, "ShellTreeView1").setCurrentIndex(Folder);
  QApplication::processEvents();
  QStringList Names;
  for (int R = 0; R < test::Child<TFileListModel>(F, "FileList").rowCount(); ++R)
    Names << test::Child<TFileListModel>(F, "FileList").Item(R).Name;
  EXPECT_EQ(Names, QStringList({"a.avif", "b.webp", "c.avi"}));

  for (int Row : {0, 1}) {
    test::Child<QTreeView>(F, "ListView1")
        .scrollTo(test::Child<TFileListModel>(F, "FileList").index(Row, 0));
    const QRect R = test::Child<QTreeView>(F, "ListView1")
                        .visualRect(test::Child<TFileListModel>(F, "FileList").index(Row, 0));
    test::Click(test::Child<QTreeView>(F, "ListView1").viewport(), R.center());
    EXPECT_TRUE(test::WaitFor([&] { return test::Child<TPGImage>(F, "PGImage1").isVisible(); }))
        << Row;
    EXPECT_EQ(test::Child<TPGImage>(F, "PGImage1").ImageWidth(), 37) << Row;
    EXPECT_EQ(F.ShownType(), Row == 0 ? "AVIF" : "WEBP");
    EXPECT_EQ(F.PanelText(3), Row == 0 ? " a.avif  (37 x 23)" : " b.webp  (37 x 23)");
  }
}

} // namespace
