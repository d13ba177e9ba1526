// The converter window driven as a user would: opened from the main window, options and target
// type, "Convert Now!" with the overwrite question, the displayed size, a failing write, the
// pop-up menus, drops from file lists, and orbisk-cli giving the same file.
#include "browser/converterwindow.h"
#include "browser/mainwindow.h"
#include "engine/pixelgraphic.h"
#include "platform/dragfiles.h"
#include "tests/browser/browsertest.h"
#include "tests/common/testutil.h"
#include "view/filelist.h"
#include "view/pgimage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QSlider>
#include <QTreeView>
#include <QUrl>
#include <gtest/gtest.h>

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
    QWidget* Target = C.Image1->viewport();
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
  F->ListView1->clearSelection();
  F->ConvertButton->trigger();
  EXPECT_EQ(Prompt->Messages, QStringList{"Click on an image filename first"});
  F->SelectFileByName("a.png");
  F->Transmo1->trigger();
  TfrmConvert* C = F->ConverterWindow();
  ASSERT_TRUE(C->isVisible());
  EXPECT_EQ(C->windowTitle(), "Transmo- Original Size Mode");
  EXPECT_EQ(C->SourcePath(), Pics + "/a.png");
  const qint64 Size = QFileInfo(Pics + "/a.png").size();
  EXPECT_EQ(C->Panel(0), Pics + "/a.png " + QString::number(Size / 1024 + 1) + "K");
  ASSERT_NE(C->Image1->PixelGraphicNoWait(), nullptr);
  EXPECT_EQ(C->Image1->ImageWidth(), 300);
  EXPECT_TRUE(C->Panel(1).isEmpty());
  // Options: the caption follows "Maintain Original Size"; the JPEG and GIF bars follow the type.
  C->MaintainOriginalSize1->trigger();
  EXPECT_EQ(C->windowTitle(), "Transmo - ReSize Mode");
  EXPECT_TRUE(C->SizeToFit1->isChecked());
  C->MaintainOriginalSize1->trigger();
  EXPECT_EQ(C->windowTitle(), "Transmo - Original Size Mode");
  C->SizeToFit1->trigger();
  EXPECT_EQ(C->Image1->Stretch(), sNeverKAR);
  C->SizeToFit1->trigger();
  EXPECT_EQ(C->Image2->Stretch(), sAlwaysKAR);
  EXPECT_FALSE(C->JPEGBar->isVisible());
  C->TargetCombo->setCurrentIndex(ctJPG);
  EXPECT_TRUE(C->JPEGBar->isVisible());
  EXPECT_FALSE(C->GIFBar->isVisible());
  C->QualitySlider->setValue(3);
  EXPECT_EQ(C->QualitySlider->value(), 10);
  EXPECT_EQ(C->QualityLabel->text(), "10");
  C->TargetCombo->setCurrentIndex(ctGIF);
  EXPECT_FALSE(C->JPEGBar->isVisible());
  EXPECT_TRUE(C->GIFBar->isVisible());
}

TEST_F(ConverterWindow, ConvertNowAsksBeforeReplacingAndShowsTheResult) {
  auto F = OpenMain();
  F->SelectFileByName("a.png");
  F->ConvertWithTransmo1->trigger();
  TfrmConvert* C = F->ConverterWindow();
  test::WriteBytes(Pics + "/a.bmp", 100);
  Prompt->Answers = {false};
  C->ConvertNowButton->trigger();
  EXPECT_EQ(Prompt->Messages, QStringList{Pics + "/a.bmp exists. Overwrite?"});
  EXPECT_EQ(fs::file_size((Pics + "/a.bmp").toStdString()), 100u);
  EXPECT_EQ(C->ResultPath(), Pics + "/!a.bmp");
  ASSERT_NE(C->Image2->PixelGraphicNoWait(), nullptr);
  EXPECT_EQ(C->Image2->ImageWidth(), 300);
  EXPECT_TRUE(C->Panel(1).startsWith(Pics + "/!a.bmp "));
  // The main list was read again and shows the new file.
  EXPECT_GE(F->FileList->FindByPrefix("!a.bmp"), 0);
  // Yes replaces it.
  Prompt->Messages.clear();
  Prompt->Answers = {true};
  C->ConvertNowButton->trigger();
  EXPECT_EQ(C->ResultPath(), Pics + "/a.bmp");
  EXPECT_GT(fs::file_size((Pics + "/a.bmp").toStdString()), 100u);
  // Delete Converted File: asked, then gone; the right side is emptied.
  C->RightMenu->popup(QPoint(0, 0));
  EXPECT_TRUE(C->DeleteConvertedFile1->isEnabled());
  C->RightMenu->close();
  Prompt->Messages.clear();
  Prompt->Answers = {true};
  C->DeleteConvertedFile1->trigger();
  EXPECT_EQ(Prompt->Messages, QStringList{"Delete file " + Pics + "/a.bmp?"});
  EXPECT_FALSE(QFileInfo::exists(Pics + "/a.bmp"));
  EXPECT_TRUE(C->ResultPath().isEmpty());
  EXPECT_EQ(C->Image2->PixelGraphicNoWait(), nullptr);
  EXPECT_TRUE(C->Panel(1).isEmpty());
  C->RightMenu->popup(QPoint(0, 0));
  EXPECT_FALSE(C->DeleteConvertedFile1->isEnabled());
  C->RightMenu->close();
}

TEST_F(ConverterWindow, ResizeModeWritesTheDisplayedSizeAndTheCliWritesTheSameBytes) {
  TfrmConvert C;
  C.resize(500, 360);
  C.Execute(Pics + "/a.png");
  QApplication::processEvents();
  C.MaintainOriginalSize1->trigger();
  C.TargetCombo->setCurrentIndex(ctJPG);
  C.QualitySlider->setValue(60);
  QApplication::processEvents();
  const int W = C.Image1->BoxRect().Width(), H = C.Image1->BoxRect().Height();
  ASSERT_GT(W, 0);
  ASSERT_NE(W, 300);
  Prompt->Messages.clear();
  C.CurrentDisplaySize1->trigger();
  EXPECT_EQ(Prompt->Messages, QStringList{QString("%1X%2").arg(W).arg(H)});
  C.ConvertNowButton->trigger();
  ASSERT_EQ(C.ResultPath(), Pics + "/a.jpg");
  EXPECT_EQ(C.Image2->ImageWidth(), W);
  EXPECT_EQ(C.Image2->ImageHeight(), H);
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
  C.TargetCombo->setCurrentIndex(ctJPG);
  Prompt->Answers = {true};
  C.ConvertNowButton->trigger();
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
  EXPECT_EQ(C.Image1->ImageWidth(), 40);
  // Converting keeps the odd name: up to its first dot.
  C.ConvertNowButton->trigger();
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

} // namespace
