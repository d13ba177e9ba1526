// The converter window driven as a user would: opened from the main window, options and target
// type, "Convert Now!" with the overwrite question, the displayed size, a failing write, the
// pop-up menus, drops from file lists, and orbisk-cli giving the same file.
#include "browser/converterwindow.h"
#include "browser/mainwindow.h"
#include "engine/imagemetadata.h"
#include "engine/pixelgraphic.h"
#include "platform/dialogscale.h"
#include "processing/editor/colorrezwindow.h"
#include "platform/dragfiles.h"
#include "tests/common/widgetfind.h"
#include "tests/browser/browsertest.h"
#include "tests/common/testutil.h"
#include "tests/common/widgetfind.h"
#include "view/filelist.h"
#include "view/pgimage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

using namespace orbisk;
namespace fs = std::filesystem;

namespace {

void SaveBlocks(const QString& Path, int W, int H) {
  TPixelGraphic G;
  G.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelColor(X, Y, ((X / 25 + Y / 25) % 2) ? RGBOf(220, 40, 40) : RGBOf(30, 30, 200));
  G.SaveToFile(QFile::encodeName(Path).toStdString());
}

std::vector<uint8_t> Bytes(const QString& Path) {
  return test::ReadFileBytes(QFile::encodeName(Path).toStdString());
}

class ConverterWindow : public ::testing::Test {
protected:
  void SetUp() override {
    test::ResetUserFiles();
    Pics = test::MakeFolder("convpics");
    SaveBlocks(Pics + "/a.png", 300, 200);
  }
  std::unique_ptr<TForm1> OpenMain() {
    auto F = std::make_unique<TForm1>();
    F->show();
    QApplication::processEvents();
    F->SetSelectedFolder(Pics);
    return F;
  }
  void Drop(TfrmConvert& C, QMimeData* Data) {
    std::unique_ptr<QMimeData> Owned(Data);
    QWidget* Target = test::Child<TPGImage>(C, "Image1").viewport();
    QDragEnterEvent Enter(QPoint(5, 5), Qt::CopyAction, Data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Target, &Enter);
    QDropEvent DropEv(QPointF(5, 5), Qt::CopyAction, Data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Target, &DropEv);
  }
  QString Pics;
  test::TPromptScope Prompt;
};

TEST_F(ConverterWindow, MainWindowOpensItForTheOneSelectedFile) {
  auto F = OpenMain();
  test::Child<QTreeView>(*F, "ListView1").clearSelection();
  test::Action(*F, "ConvertButton").trigger();
  EXPECT_EQ(Prompt->Messages, QStringList{"Click on an image filename first"});
  F->SelectFileByName("a.png");
  test::Action(*F, "Transmo1").trigger();
  TfrmConvert* C = F->ConverterWindow();
  ASSERT_TRUE(C->isVisible());
  EXPECT_EQ(C->windowTitle(), "Transmo- Original Size Mode");
  EXPECT_EQ(C->SourcePath(), Pics + "/a.png");
  const qint64 Size = QFileInfo(Pics + "/a.png").size();
  EXPECT_EQ(C->Panel(0), Pics + "/a.png " + QString::number(Size / 1024 + 1) + "K");
  ASSERT_NE(test::Child<TPGImage>(*C, "Image1").PixelGraphicNoWait(), nullptr);
  EXPECT_EQ(test::Child<TPGImage>(*C, "Image1").ImageWidth(), 300);
  EXPECT_TRUE(C->Panel(1).isEmpty());
  // Options: the caption follows "Maintain Original Size"; the JPEG and GIF bars follow the type.
  test::Child<QAction>(*C, "MaintainOriginalSize1").trigger();
  EXPECT_EQ(C->windowTitle(), "Transmo - ReSize Mode");
  EXPECT_TRUE(test::Child<QAction>(*C, "SizeToFit1").isChecked());
  test::Child<QAction>(*C, "MaintainOriginalSize1").trigger();
  EXPECT_EQ(C->windowTitle(), "Transmo - Original Size Mode");
  test::Child<QAction>(*C, "SizeToFit1").trigger();
  EXPECT_EQ(test::Child<TPGImage>(*C, "Image1").Stretch(), sNeverKAR);
  test::Child<QAction>(*C, "SizeToFit1").trigger();
  EXPECT_EQ(test::Child<TPGImage>(*C, "Image2").Stretch(), sAlwaysKAR);
  EXPECT_FALSE(test::Child<QWidget>(*C, "JPEGBar").isVisible());
  test::Child<QComboBox>(*C, "TargetCombo").setCurrentIndex(ctJPG);
  EXPECT_TRUE(test::Child<QWidget>(*C, "JPEGBar").isVisible());
  EXPECT_FALSE(test::Child<QWidget>(*C, "GIFBar").isVisible());
  test::Child<QSlider>(*C, "QualitySlider").setValue(3);
  EXPECT_EQ(test::Child<QSlider>(*C, "QualitySlider").value(), 10);
  EXPECT_EQ(test::Child<QLabel>(*C, "QualityLabel").text(), "10");
  test::Child<QComboBox>(*C, "TargetCombo").setCurrentIndex(ctGIF);
  EXPECT_FALSE(test::Child<QWidget>(*C, "JPEGBar").isVisible());
  EXPECT_TRUE(test::Child<QWidget>(*C, "GIFBar").isVisible());
}

TEST_F(ConverterWindow, ConvertNowAsksBeforeReplacingAndShowsTheResult) {
  auto F = OpenMain();
  F->SelectFileByName("a.png");
  test::Action(*F, "ConvertWithTransmo1").trigger();
  TfrmConvert* C = F->ConverterWindow();
  test::WriteBytes(Pics + "/a.bmp", 100);
  // No writes nothing: neither the file nor a "!" copy.
  Prompt->Answers = {false};
  test::Child<QAction>(*C, "ConvertNowButton").trigger();
  EXPECT_EQ(Prompt->Messages, QStringList{Pics + "/a.bmp exists. Overwrite?"});
  EXPECT_EQ(fs::file_size((Pics + "/a.bmp").toStdString()), 100u);
  EXPECT_FALSE(QFileInfo::exists(Pics + "/!a.bmp"));
  EXPECT_TRUE(C->ResultPath().isEmpty());
  EXPECT_EQ(test::Child<TPGImage>(*C, "Image2").PixelGraphicNoWait(), nullptr);
  // Yes replaces it and shows the result.
  Prompt->Messages.clear();
  Prompt->Answers = {true};
  test::Child<QAction>(*C, "ConvertNowButton").trigger();
  EXPECT_EQ(C->ResultPath(), Pics + "/a.bmp");
  EXPECT_GT(fs::file_size((Pics + "/a.bmp").toStdString()), 100u);
  ASSERT_NE(test::Child<TPGImage>(*C, "Image2").PixelGraphicNoWait(), nullptr);
  EXPECT_EQ(test::Child<TPGImage>(*C, "Image2").ImageWidth(), 300);
  EXPECT_TRUE(C->Panel(1).startsWith(Pics + "/a.bmp "));
  // The main list was read again and shows the new file.
  EXPECT_GE(test::Child<TFileListModel>(*F, "FileList").FindByPrefix("a.bmp"), 0);
  // Delete Converted File: asked, then gone; the right side is emptied.
  test::Child<QMenu>(*C, "RightMenu").popup(QPoint(0, 0));
  EXPECT_TRUE(test::Child<QAction>(*C, "DeleteConvertedFile1").isEnabled());
  test::Child<QMenu>(*C, "RightMenu").close();
  Prompt->Messages.clear();
  Prompt->Answers = {true};
  test::Child<QAction>(*C, "DeleteConvertedFile1").trigger();
  EXPECT_EQ(Prompt->Messages, QStringList{"Delete file " + Pics + "/a.bmp?"});
  EXPECT_FALSE(QFileInfo::exists(Pics + "/a.bmp"));
  EXPECT_TRUE(C->ResultPath().isEmpty());
  EXPECT_EQ(test::Child<TPGImage>(*C, "Image2").PixelGraphicNoWait(), nullptr);
  EXPECT_TRUE(C->Panel(1).isEmpty());
  test::Child<QMenu>(*C, "RightMenu").popup(QPoint(0, 0));
  EXPECT_FALSE(test::Child<QAction>(*C, "DeleteConvertedFile1").isEnabled());
  test::Child<QMenu>(*C, "RightMenu").close();
}

TEST_F(ConverterWindow, ResizeModeWritesTheDisplayedSizeAndTheCliWritesTheSameBytes) {
  TfrmConvert C;
  C.resize(500, 360);
  C.Execute(Pics + "/a.png");
  QApplication::processEvents();
  test::Child<QAction>(C, "MaintainOriginalSize1").trigger();
  test::Child<QComboBox>(C, "TargetCombo").setCurrentIndex(ctJPG);
  test::Child<QSlider>(C, "QualitySlider").setValue(60);
  QApplication::processEvents();
  const int W = test::Child<TPGImage>(C, "Image1").BoxRect().Width(),
            H = test::Child<TPGImage>(C, "Image1").BoxRect().Height();
  ASSERT_GT(W, 0);
  ASSERT_NE(W, 300);
  Prompt->Messages.clear();
  test::Child<QAction>(C, "CurrentDisplaySize1").trigger();
  EXPECT_EQ(Prompt->Messages, QStringList{QString("%1X%2").arg(W).arg(H)});
  test::Child<QAction>(C, "ConvertNowButton").trigger();
  ASSERT_EQ(C.ResultPath(), Pics + "/a.jpg");
  EXPECT_EQ(test::Child<TPGImage>(C, "Image2").ImageWidth(), W);
  EXPECT_EQ(test::Child<TPGImage>(C, "Image2").ImageHeight(), H);
  // The command line with the same settings: the "!" name, the same bytes.
  std::string Out, Err;
  ASSERT_EQ(test::RunCli({"convert", (Pics + "/a.png").toStdString(), "--to", "jpg", "--size",
                          QString("%1x%2").arg(W).arg(H).toStdString(), "--quality", "60",
                          "--keep-existing"},
                         &Out, &Err),
            0)
      << Err;
  EXPECT_EQ(Out, (Pics + "/!a.jpg\n").toStdString());
  EXPECT_EQ(Bytes(Pics + "/!a.jpg"), Bytes(Pics + "/a.jpg"));
}

TEST_F(ConverterWindow, AFailedWriteShowsTheErrorAndKeepsTheOldFile) {
  // Too wide for the JPEG writer, which fails in the middle of the write.
  SaveBlocks(Pics + "/wide.bmp", 70000, 2);
  test::WriteBytes(Pics + "/wide.jpg", 777);
  TfrmConvert C;
  C.Execute(Pics + "/wide.bmp");
  test::Child<QComboBox>(C, "TargetCombo").setCurrentIndex(ctJPG);
  Prompt->Answers = {true};
  test::Child<QAction>(C, "ConvertNowButton").trigger();
  ASSERT_EQ(Prompt->Messages.size(), 2);
  EXPECT_EQ(Prompt->Messages[0], Pics + "/wide.jpg exists. Overwrite?");
  EXPECT_FALSE(Prompt->Messages[1].isEmpty());
  EXPECT_EQ(fs::file_size((Pics + "/wide.jpg").toStdString()), 777u);
  EXPECT_TRUE(C.ResultPath().isEmpty());
}

TEST_F(ConverterWindow, DropsFromFileListsOnly) {
  SaveBlocks(Pics + "/b c'\n.png", 40, 30);
  test::WriteBytes(Pics + "/notes.txt", 10);
  TfrmConvert C;
  C.show();
  Drop(C, MakeFileDragData({Pics + "/b c'\n.png"}, Pics, TDragSource::dsFileList));
  EXPECT_EQ(C.SourcePath(), Pics + "/b c'\n.png");
  EXPECT_EQ(test::Child<TPGImage>(C, "Image1").ImageWidth(), 40);
  // Converting keeps the odd name: up to its first dot.
  test::Child<QAction>(C, "ConvertNowButton").trigger();
  EXPECT_EQ(C.ResultPath(), Pics + "/b c'\n.bmp");
  EXPECT_TRUE(QFileInfo::exists(Pics + "/b c'\n.bmp"));
  Drop(C, MakeFileDragData({Pics + "/notes.txt"}, Pics, TDragSource::dsThumbnailList));
  EXPECT_EQ(Prompt->Messages, QStringList{"Can't convert " + Pics + "/notes.txt"});
  // Two files, or files from elsewhere, are not taken.
  Prompt->Messages.clear();
  Drop(C, MakeFileDragData({Pics + "/a.png", Pics + "/notes.txt"}, Pics, TDragSource::dsFileList));
  auto* Plain = new QMimeData;
  Plain->setUrls({QUrl::fromLocalFile(Pics + "/a.png")});
  Drop(C, Plain);
  EXPECT_TRUE(Prompt->Messages.isEmpty());
  EXPECT_EQ(C.SourcePath(), Pics + "/b c'\n.png");
  // A broken picture of a picture type cannot be converted either.
  test::WriteBytes(Pics + "/broken.jpg", 50);
  Drop(C, MakeFileDragData({Pics + "/broken.jpg"}, Pics, TDragSource::dsFileList));
  EXPECT_EQ(Prompt->Messages, QStringList{"Can't convert " + Pics + "/broken.jpg"});
}

TEST_F(ConverterWindow, FollowsTheMainWindowsSelectionOnlyWhileShown) {
  SaveBlocks(Pics + "/b.png", 60, 40);
  TfrmConvert C;
  C.SelectionChanged(Pics + "/b.png"); // hidden: nothing is read
  EXPECT_TRUE(C.SourcePath().isEmpty());
  C.Execute(Pics + "/a.png");
  ASSERT_TRUE(C.isVisible());
  test::Child<QComboBox>(C, "TargetCombo").setCurrentIndex(ctPNG);
  test::Child<QAction>(C, "ConvertNowButton").trigger();
  EXPECT_EQ(C.ResultPath(), Pics + "/!a.png") << "the source itself is never replaced";
  C.SelectionChanged(Pics + "/b.png");
  EXPECT_EQ(C.SourcePath(), Pics + "/b.png");
  EXPECT_EQ(test::Child<TPGImage>(C, "Image1").ImageWidth(), 60);
  EXPECT_TRUE(C.ResultPath().isEmpty()) << "the old result belongs to the old source";
  // "Convert Now!" converts the file selected now.
  test::Child<QComboBox>(C, "TargetCombo").setCurrentIndex(ctBMP);
  test::Child<QAction>(C, "ConvertNowButton").trigger();
  EXPECT_EQ(C.ResultPath(), Pics + "/b.bmp");
  // Files the converter does not read leave the source as it is.
  test::WriteBytes(Pics + "/notes.txt", 10);
  C.SelectionChanged(Pics + "/notes.txt");
  EXPECT_EQ(C.SourcePath(), Pics + "/b.png");
  EXPECT_TRUE(Prompt->Messages.isEmpty());
}

TEST_F(ConverterWindow, DropsEveryNameTheEngineReads) {
  TfrmConvert C;
  C.show();
  TPixelGraphic G;
  G.LoadFromFile((Pics + "/a.png").toStdString());
  for (const char* Name : {"c.jpeg", "d.JPE", "e.jfif", "f.ppm", "g.tiff"}) {
    SCOPED_TRACE(Name);
    std::string Ext = QFileInfo(Name).suffix().toLower().toStdString();
    const std::string Writer = Ext == "jpe" || Ext == "jfif" ? "jpg" : Ext;
    const QString Path = Pics + "/" + Name;
    // Written under the writer's name, then given the name under test.
    const std::string Tmp = (Pics + "/tmp." + QString::fromStdString(Writer)).toStdString();
    G.SaveToFile(Tmp);
    fs::rename(Tmp, Path.toStdString());
    Drop(C, MakeFileDragData({Path}, Pics, TDragSource::dsFileList));
    EXPECT_EQ(C.SourcePath(), Path);
    EXPECT_EQ(test::Child<TPGImage>(C, "Image1").ImageWidth(), 300);
  }
  EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join("|").toStdString();
}

TEST_F(ConverterWindow, TransparentOpensTheGIFTransparencySelector) {
  TfrmConvert C;
  C.Execute(Pics + "/a.png");
  test::Child<QComboBox>(C, "TargetCombo").setCurrentIndex(ctGIF);
  test::Child<QCheckBox>(C, "Transparent").setChecked(true);
  QString Title, Panels;
  bool Seen = false;
  QTimer::singleShot(0, [&] {
    auto* S = qobject_cast<TfrmGIFTrans*>(QApplication::activeModalWidget());
    if (!S) return;
    Seen = true;
    Title = S->windowTitle();
    // The colour follows the mouse over the picture; a click closes the window.
    const QRect R = S->PictureRect();
    S->PictureMouseMove(QPoint(R.left() + 2, R.top() + 2));
    Panels = test::Child<QLabel>(*S, "StatusPanel0").text() + " " +
             test::Child<QLabel>(*S, "StatusPanel1").text() + " " +
             test::Child<QLabel>(*S, "StatusPanel2").text();
    QTest::mouseClick(&test::Child<QWidget>(*S, "PictureArea"), Qt::LeftButton, {},
                      QPoint(R.left() + 2, R.top() + 2));
  });
  test::Child<QAction>(C, "ConvertNowButton").trigger();
  ASSERT_TRUE(Seen);
  EXPECT_EQ(Title, "GIF Transparency Selector");
  EXPECT_EQ(C.ResultPath(), Pics + "/a.gif");
  // The top-left block is blue (30, 30, 200), reduced to its nearest palette colour.
  EXPECT_TRUE(Panels.startsWith("R=")) << Panels.toStdString();
  const std::vector<uint8_t> F = Bytes(Pics + "/a.gif");
  const uint8_t GCE[] = {0x21, 0xF9, 0x04};
  auto At = std::search(F.begin(), F.end(), GCE, GCE + 3);
  ASSERT_NE(At, F.end());
  EXPECT_EQ(At[3] & 1, 1) << "the file names a transparent colour";
}

TEST_F(ConverterWindow, OpensLargeEnoughToShowEveryControl) {
  TfrmConvert C;
  C.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&C));
  EXPECT_GE(C.width(), ScaledSize(720, 420).width());
  for (QToolBar* Bar : C.findChildren<QToolBar*>()) {
    for (QAction* A : Bar->actions()) {
      QWidget* W = Bar->widgetForAction(A);
      if (!W) continue;
      EXPECT_TRUE(W->isVisible()) << A->text().toStdString();
      EXPECT_TRUE(Bar->rect().contains(W->geometry())) << A->text().toStdString();
    }
    for (QToolButton* B : Bar->findChildren<QToolButton*>())
      if (B->objectName() == "qt_toolbar_ext_button") {
        EXPECT_FALSE(B->isVisible());
      }
  }
  // The JPEG bar's slider and labels at their full size.
  test::Child<QComboBox>(C, "TargetCombo").setCurrentIndex(ctJPG);
  QApplication::processEvents();
  for (QWidget* W : test::Child<QWidget>(C, "JPEGBar").findChildren<QWidget*>()) {
    EXPECT_GE(W->width(), W->minimumSizeHint().width()) << W->metaObject()->className();
    EXPECT_TRUE(test::Child<QWidget>(C, "JPEGBar").rect().contains(W->geometry()));
  }
  EXPECT_GE(test::Child<QComboBox>(C, "TargetCombo").width(),
            test::Child<QComboBox>(C, "TargetCombo").minimumSizeHint().width());
}

TEST_F(ConverterWindow, ConvertedFilesKeepTheSourcesMetadata) {
  TPixelGraphic G;
  G.LoadFromFile((Pics + "/a.png").toStdString());
  // A camera block: Make "Cam", the picture's pixel size in its Exif directory.
  std::vector<uint8_t> Exif = {
      'M',  'M', 0, 42, 0, 0, 0,    8, 0, 2, 1,  15, 0, 2, 0, 0,   0, 4,    'C', 'a', 'm', 0, 0x87,
      0x69, 0,   4, 0,  0, 0, 1,    0, 0, 0, 38, 0,  0, 0, 0, 0,   2, 0xA0, 2,   0,   3,   0, 0,
      0,    1,   1, 44, 0, 0, 0xA0, 3, 0, 3, 0,  0,  0, 1, 0, 200, 0, 0,    0,   0,   0,   0};
  G.Metadata.Exif = Exif;
  G.Metadata.Xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>";
  G.SaveToFile((Pics + "/cam.jpg").toStdString());
  TfrmConvert C;
  C.resize(500, 360);
  C.Execute(Pics + "/cam.jpg");
  test::Child<QComboBox>(C, "TargetCombo").setCurrentIndex(ctPNG);
  test::Child<QAction>(C, "ConvertNowButton").trigger();
  ASSERT_EQ(C.ResultPath(), Pics + "/cam.png");
  TImageMetadata M = ReadImageMetadata((Pics + "/cam.png").toStdString());
  EXPECT_EQ(M.Exif, Exif);
  EXPECT_EQ(M.Xmp, G.Metadata.Xmp);
  // At the displayed size the pixel size follows.
  test::Child<QAction>(C, "MaintainOriginalSize1").trigger();
  test::Child<QComboBox>(C, "TargetCombo").setCurrentIndex(ctTIF);
  QApplication::processEvents();
  const int W = test::Child<TPGImage>(C, "Image1").BoxRect().Width();
  test::Child<QAction>(C, "ConvertNowButton").trigger();
  ASSERT_EQ(C.ResultPath(), Pics + "/cam.tif");
  M = ReadImageMetadata((Pics + "/cam.tif").toStdString());
  ASSERT_FALSE(M.Exif.empty());
  // The pixel width entry (a Short of count 1) in the little-endian file's block.
  const std::vector<uint8_t> Want = {0x02, 0xA0, 3, 0, 1, 0, 0, 0, uint8_t(W), uint8_t(W >> 8)};
  EXPECT_NE(std::search(M.Exif.begin(), M.Exif.end(), Want.begin(), Want.end()), M.Exif.end());
  EXPECT_EQ(M.Xmp, G.Metadata.Xmp);
}

} // namespace
