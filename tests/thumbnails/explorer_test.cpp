// The thumbnail explorer and the sheet creator driven as a user would, offscreen.
#include "tests/browser/browsertest.h"
#include "tests/thumbnails/cachehome.h"
#include "tests/common/widgetfind.h"

#include "engine/pixelgraphic.h"
#include "platform/dragfiles.h"
#include "platform/fileops.h"
#include "thumbnails/savethumbdialog.h"
#include "thumbnails/tesslyoptions.h"
#include "thumbnails/thumbcell.h"
#include "thumbnails/thumbedit.h"
#include "thumbnails/thumbexplorer.h"
#include "thumbnails/thumblistmodel.h"
#include "view/filelist.h"
#include "view/pgimage.h"
#include "view/previewdialogs.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QComboBox>
#include <QDropEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace orbisk;
using namespace orbisk::test;

namespace {

void SavePicture(const QString& Path, int W, int H, TRGB C) {
  TPixelGraphic G;
  G.SetSize(W, H, 3);
  G.SetBackGroundColor(C);
  G.Clear();
  G.SaveToFile(QFile::encodeName(Path).toStdString());
}

QByteArray Bytes(const QString& Path) {
  QFile F(Path);
  F.open(QIODevice::ReadOnly);
  return F.readAll();
}

int RowOf(TfrmThumbnails& W, const QString& Name) {
  for (int R = 0; R < Child<TFileListModel>(W, "FileList").Count(); ++R)
    if (Child<TFileListModel>(W, "FileList").Item(R).Name == Name) return R;
  return -1;
}

// Selects the items' first cells only, as a click on the grid does.
void Select(TfrmThumbnails& W, const QStringList& Names) {
  Child<QTreeView>(W, "DetailsView").clearSelection();
  for (const QString& N : Names)
    Child<QTreeView>(W, "DetailsView")
        .selectionModel()
        ->select(Child<TThumbListModel>(W, "ListModel").index(RowOf(W, N), 0),
                 QItemSelectionModel::Select);
}

// A drop of the data on the sheet creator's list, as a drag would end.
void DropOn(QWidget* Target, QMimeData* Data) {
  const QPoint P(10, 10);
  QDragEnterEvent Enter(P, Qt::CopyAction, Data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Target, &Enter);
  QDropEvent Drop(QPointF(P), Qt::CopyAction, Data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Target, &Drop);
}

} // namespace

TEST(ThumbExplorer, ThumbnailViewShowsEveryCellInOrder) {
  TPromptScope Prompt;
  const QString Dir = MakeFolder("explore");
  SavePicture(Dir + "/a.bmp", 40, 30, RGBOf(200, 0, 0));
  SavePicture(Dir + "/b.png", 200, 100, RGBOf(0, 200, 0));
  SavePicture(Dir + "/c.jpg", 100, 200, RGBOf(0, 0, 200));
  WriteData(Dir + "/d.jpg", "not a picture");
  TfrmThumbnails W;
  W.OpenOn(Dir);
  EXPECT_EQ(W.ViewStyle(), TThumbViewStyle::vsDetails);
  EXPECT_EQ(W.PanelText(1), "4 files");
  Action(W, "ThumbnailsButton").trigger();
  EXPECT_TRUE(WaitFor([&] { return W.PanelText(1) == "Thumbnails loaded"; }));
  EXPECT_FALSE(Action(W, "ProgressBarAction").isVisible());
  EXPECT_TRUE(W.PanelText(3).isEmpty());
  EXPECT_EQ(Child<TThumbListModel>(W, "ListModel").CellCount(), 4);
  EXPECT_TRUE(W.ThumbnailsCurrent());
  const QImage A = Child<TThumbListModel>(W, "ListModel").Cell(RowOf(W, "a.bmp"));
  EXPECT_EQ(A.size(), QSize(64, 64));
  EXPECT_EQ(A.pixelColor(12, 0), QColor(200, 0, 0));
  EXPECT_EQ(A.pixelColor(11, 0), QColor(254, 255, 230));
  const QImage C = Child<TThumbListModel>(W, "ListModel").Cell(RowOf(W, "c.jpg"));
  EXPECT_EQ(C.pixelColor(15, 10), QColor(254, 255, 230));
  EXPECT_NEAR(C.pixelColor(30, 10).blue(), 200, 8);
  // The unreadable file shows the placeholder.
  const auto Mark = PlaceInCell(*Placeholder(), 64, smFast);
  const QImage D = Child<TThumbListModel>(W, "ListModel").Cell(RowOf(W, "d.jpg"));
  EXPECT_EQ(D.pixelColor(40, 40), QColor(int(RedOf(Mark->GetPixelColor(40, 40))),
                                         int(GreenOf(Mark->GetPixelColor(40, 40))),
                                         int(BlueOf(Mark->GetPixelColor(40, 40)))));
  // The list item's picture follows it when the list is sorted the other way round.
  W.ColumnClick(0);
  EXPECT_EQ(Child<TFileListModel>(W, "FileList").Item(0).Name, "d.jpg");
  EXPECT_EQ(Child<TThumbListModel>(W, "ListModel").Cell(RowOf(W, "a.bmp")).pixelColor(12, 0),
            QColor(200, 0, 0));
  EXPECT_TRUE(Prompt->Messages.isEmpty());

  // Dragging from the explorer marks the data as the explorer's list.
  Select(W, {"a.bmp", "c.jpg"});
  std::unique_ptr<QMimeData> Data(
      Child<TThumbListModel>(W, "ListModel")
          .mimeData(Child<QTreeView>(W, "DetailsView").selectionModel()->selectedIndexes()));
  EXPECT_EQ(DragSourceOf(Data.get()), TDragSource::dsThumbnailList);
  EXPECT_EQ(DraggedLocalFiles(Data.get()).size(), 2);
}

TEST(ThumbExplorer, EscStopsALoadAndAFolderChangeDropsIt) {
  TPromptScope Prompt;
  const QString Dir = MakeFolder("esc");
  // A noisy picture takes its decoder long enough that the load is still running when Esc
  // arrives, even when the window's thread gets no core for a while; the copies are hard links.
  {
    TPixelGraphic G;
    G.SetSize(2400, 1800, 3);
    uint32_t Seed = 12345;
    for (int Y = 0; Y < G.Height(); ++Y) {
      uint8_t* Row = G.ScanLine(Y);
      for (int X = 0; X < G.Width() * 3; ++X) {
        Seed = Seed * 1103515245u + 12345u;
        Row[X] = uint8_t(Seed >> 24);
      }
    }
    G.SaveToFile(QFile::encodeName(Dir + "/p.jpg").toStdString());
  }
  for (int I = 0; I < 150; ++I) {
    const QString Copy = Dir + QString("/copy%1.jpg").arg(I, 3, 10, QChar('0'));
    ASSERT_EQ(
        link(QFile::encodeName(Dir + "/p.jpg").constData(), QFile::encodeName(Copy).constData()),
        0);
  }
  TfrmThumbnails W;
  W.OpenOn(Dir);
  W.SetViewStyle(TThumbViewStyle::vsThumbnails);
  EXPECT_EQ(W.PanelText(1), "Press ESC to cancel...");
  EXPECT_TRUE(Action(W, "ProgressBarAction").isVisible());
  EXPECT_TRUE(WaitFor([&] { return Child<TThumbListModel>(W, "ListModel").CellCount() > 0; }));
  Key(&Child<QListView>(W, "ListView1"), Qt::Key_Escape);
  EXPECT_EQ(W.PanelText(1), "Stopped by user!");
  EXPECT_FALSE(W.Loading());
  EXPECT_FALSE(Action(W, "ProgressBarAction").isVisible());
  const int Made = Child<TThumbListModel>(W, "ListModel").CellCount();
  EXPECT_LT(Made, 151);
  // The loader is gone with its threads joined: whatever it posted before is in the queue, and
  // once the queue is worked off nothing can arrive any more.
  ASSERT_FALSE(W.Loading());
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(W.PanelText(1), "Stopped by user!");
  EXPECT_EQ(Child<TThumbListModel>(W, "ListModel").CellCount(), Made)
      << "cells made so far stay, no more arrive";

  // "Refresh" starts again; a second load replaces a running one; a folder change drops it.
  Action(W, "Refresh1").trigger();
  Action(W, "Refresh1").trigger();
  EXPECT_TRUE(W.Loading());
  const QString Other = MakeFolder("esc-other");
  SavePicture(Other + "/only.bmp", 10, 10, RGBOf(1, 2, 3));
  W.ChangeFolder(Other);
  EXPECT_TRUE(WaitFor([&] { return W.PanelText(1) == "Thumbnails loaded"; }));
  EXPECT_EQ(Child<TThumbListModel>(W, "ListModel").CellCount(), 1);
  // The replaced loads are over too: nothing of theirs is left to arrive.
  ASSERT_FALSE(W.Loading());
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(Child<TThumbListModel>(W, "ListModel").CellCount(), 1);
}

TEST(ThumbExplorer, FileOperationsRelistTheFolderShown) {
  const QString Dir = MakeFolder("fileops");
  SavePicture(Dir + "/one.bmp", 8, 8, RGBOf(5, 5, 5));
  TfrmThumbnails W;
  W.OpenOn(Dir);
  W.SetViewStyle(TThumbViewStyle::vsThumbnails);
  EXPECT_TRUE(WaitFor([&] { return W.PanelText(1) == "Thumbnails loaded"; }));
  SavePicture(Dir + "/two.bmp", 8, 8, RGBOf(5, 5, 5));
  NotifyFolderChanged(MakeFolder("elsewhere"));
  EXPECT_EQ(Child<TFileListModel>(W, "FileList").Count(), 1);
  NotifyFolderChanged(Dir + "/");
  EXPECT_EQ(Child<TFileListModel>(W, "FileList").Count(), 2);
  EXPECT_TRUE(WaitFor([&] { return Child<TThumbListModel>(W, "ListModel").CellCount() == 2; }));
  EXPECT_TRUE(WaitFor([&] { return W.PanelText(1) == "Thumbnails loaded"; }));
}

TEST(ThumbExplorer, SortsByModifiedWithTiesByName) {
  const QString Dir = MakeFolder("sort");
  const QDateTime T0 = QDateTime::currentDateTime().addDays(-2);
  const std::pair<const char*, int> Files[] = {{"b.bmp", 60}, {"a.bmp", 60}, {"c.bmp", 0}};
  for (auto [Name, Offset] : Files) {
    SavePicture(Dir + "/" + Name, 4, 4, 0);
    QFile F(Dir + "/" + Name);
    F.open(QIODevice::ReadWrite);
    F.setFileTime(T0.addSecs(Offset), QFileDevice::FileModificationTime);
  }
  TfrmThumbnails W;
  W.OpenOn(Dir);
  auto Order = [&] {
    QStringList L;
    for (int R = 0; R < Child<TFileListModel>(W, "FileList").Count(); ++R)
      L << Child<TFileListModel>(W, "FileList").Item(R).Name;
    return L;
  };
  W.ColumnClick(3);
  EXPECT_EQ(Order(), QStringList({"c.bmp", "a.bmp", "b.bmp"}));
  W.ColumnClick(3);
  EXPECT_EQ(Order(), QStringList({"b.bmp", "a.bmp", "c.bmp"}));
}

TEST(ThumbExplorer, SaveAsThumbnailNeverReplacesASourceFile) {
  TPromptScope Prompt;
  const QString Dir = MakeFolder("save");
  SavePicture(Dir + "/keep.bmp", 200, 100, RGBOf(9, 9, 9));
  SavePicture(Dir + "/other.png", 30, 60, RGBOf(50, 60, 70));
  SavePicture(Dir + "/a.b.png", 10, 10, RGBOf(50, 60, 70));
  const QByteArray Original = Bytes(Dir + "/keep.bmp");
  TfrmThumbnails W;
  W.OpenOn(Dir);
  EXPECT_FALSE(Action(W, "SaveAsThumbnail1").isEnabled());
  Action(W, "SaveButton").trigger();
  EXPECT_EQ(Prompt->Messages, QStringList({"Select files to convert by clicking on them"}));
  Prompt->Messages.clear();

  Select(W, {"keep.bmp", "other.png", "a.b.png"});
  QString Label;
  Child<TfrmSaveThumbnail>(W, "SaveDialog").OnExecute = [&](TfrmSaveThumbnail& D) {
    Label = Child<QLabel>(D, "lFiles").text();
    EXPECT_EQ(D.SaveFolder(), FolderWithSeparator(Dir));
    Child<QLineEdit>(D, "ePrefix").clear(); // into the source folder with no prefix
    Child<QComboBox>(D, "cbSize").setCurrentIndex(1);
    return true;
  };
  Action(W, "SaveAsThumbnail1").trigger();
  EXPECT_EQ(Label, "Files to save: 3");
  EXPECT_EQ(Prompt->Messages, QStringList({"Error reading " + Dir + "/keep.bmp"}));
  EXPECT_EQ(Bytes(Dir + "/keep.bmp"), Original);
  EXPECT_EQ(W.PanelText(1), QString("%1 files").arg(5)) << "the folder shown was refilled";
  TPixelGraphic G;
  G.LoadFromFile(QFile::encodeName(Dir + "/other.bmp").toStdString());
  EXPECT_EQ(G.Width(), 80);
  EXPECT_EQ(G.Height(), 80);
  EXPECT_EQ(G.GetPixelColor(25, 0), RGBOf(50, 60, 70)); // 30 x 60, not enlarged, at (25, 0)
  EXPECT_EQ(G.GetPixelColor(24, 0), kThumbBackground);
  EXPECT_EQ(G.GetPixelColor(25, 60), kThumbBackground);
  EXPECT_TRUE(QFile::exists(Dir + "/a.bmp"));

  // With a prefix into another folder the choices are kept for the next time.
  const QString Out = MakeFolder("save-out");
  Child<TfrmSaveThumbnail>(W, "SaveDialog").OnExecute = [&](TfrmSaveThumbnail& D) {
    EXPECT_EQ(Child<QComboBox>(D, "cbSize").currentIndex(), 1);
    Child<QLineEdit>(D, "ePrefix").setText("thm_");
    Child<QComboBox>(D, "cbFormat").setCurrentIndex(3);
    Child<QLineEdit>(D, "eFolder").setText(Out);
    return true;
  };
  Prompt->Messages.clear();
  Select(W, {"keep.bmp"});
  Action(W, "SaveAsThumbnail1").trigger();
  EXPECT_TRUE(Prompt->Messages.isEmpty()) << Prompt->Messages.join("|").toStdString();
  EXPECT_TRUE(QFile::exists(Out + "/thm_keep.png"));
  EXPECT_EQ(W.PanelText(1), "Done processing");
}

TEST(TesslyCreator, DropFromTheExplorerGenerateAndSave) {
  TPromptScope Prompt;
  const QString Dir = MakeFolder("sheet");
  SavePicture(Dir + "/one.bmp", 200, 100, RGBOf(0, 0, 200));
  SavePicture(Dir + "/two.png", 100, 200, RGBOf(200, 0, 0));
  WriteData(Dir + "/notes.txt", "text");
  TfrmThumbnails Explorer;
  Explorer.TypeMask = [] { return QString("*.*;"); };
  Explorer.OpenOn(Dir);
  TfrmThumbEdit Creator;
  EXPECT_EQ(Creator.PanelText(1), "Drag and drop files from the Thumbnail Explorer");
  Child<QPushButton>(Creator, "SaveButton").click();
  EXPECT_EQ(Prompt->Messages.size(), 1) << "nothing to save yet";
  Child<QPushButton>(Creator, "GenerateButton").click();
  EXPECT_EQ(Prompt->Messages.value(1), kTesslyEmptyList);
  Prompt->Messages.clear();

  Select(Explorer, {"one.bmp", "two.png", "notes.txt"});
  std::unique_ptr<QMimeData> Data(
      Child<TThumbListModel>(Explorer, "ListModel")
          .mimeData(Child<QTreeView>(Explorer, "DetailsView").selectionModel()->selectedIndexes()));
  DropOn(Child<TTesslyList>(Creator, "ListBox1").viewport(), Data.get());
  ASSERT_EQ(Creator.Files(), QStringList({Dir + "/one.bmp", Dir + "/two.png"}));
  // Drops from elsewhere are not taken.
  QMimeData Foreign;
  Foreign.setUrls({QUrl::fromLocalFile(Dir + "/one.bmp")});
  DropOn(Child<TTesslyList>(Creator, "ListBox1").viewport(), &Foreign);
  EXPECT_EQ(Creator.Files().size(), 2);

  Action(Creator, "Generate1").trigger();
  EXPECT_TRUE(Prompt->Messages.isEmpty());
  EXPECT_EQ(Creator.PanelText(0), "Tessly size : 716 X 156");
  EXPECT_EQ(Creator.PanelText(1), "Processing 2 of 2");
  TPixelGraphic* Sheet = Child<TPGImage>(Creator, "PGImage1").PixelGraphic();
  ASSERT_NE(Sheet, nullptr);
  EXPECT_EQ(Sheet->GetPixelColor(60, 90), RGBOf(0, 0, 200));
  EXPECT_EQ(Sheet->GetPixelColor(44 + 116, 20), RGBOf(255, 0, 0)); // frame of the tall picture

  Child<QPushButton>(Creator, "StretchButton").click();
  EXPECT_EQ(Child<TPGImage>(Creator, "PGImage1").Stretch(), sAlwaysKAR);
  const QString Out = Dir + "/sheet.png";
  Creator.OnExecuteSaveDialog = [&](TPGSaveDialog& D) {
    EXPECT_EQ(D.Title, "Save Tessly");
    EXPECT_EQ(D.Filter, TfrmThumbEdit::kSaveFilter);
    D.FileName = Out;
    return true;
  };
  Action(Creator, "SaveAs1").trigger();
  TPixelGraphic Saved;
  Saved.LoadFromFile(QFile::encodeName(Out).toStdString());
  EXPECT_EQ(Saved.Width(), 716);
  EXPECT_EQ(Saved.Height(), 156);

  // Other tools hand files over directly; the context menu removes and clears.
  Creator.AddFiles({Dir + "/one.bmp"});
  EXPECT_EQ(Creator.Files().size(), 3);
  Child<TTesslyList>(Creator, "ListBox1").setCurrentRow(0);
  Action(Creator, "DeleteSelectedItem1").trigger();
  EXPECT_EQ(Creator.Files(), QStringList({Dir + "/two.png", Dir + "/one.bmp"}));
  Action(Creator, "ClearAllItems1").trigger();
  EXPECT_TRUE(Creator.Files().isEmpty());
  EXPECT_EQ(Child<TPGImage>(Creator, "PGImage1").PixelGraphic()->GetPixelColor(60, 90),
            RGBOf(255, 255, 255));
}

TEST(TesslyCreator, OptionsSizeFieldAndDefaults) {
  TPromptScope Prompt;
  TfrmTesslyOptions O;
  const TTesslyOptions D = O.Options();
  EXPECT_EQ(D.Size, 96);
  EXPECT_EQ(D.Cols, 6);
  EXPECT_EQ(D.HSpace, 20);
  EXPECT_EQ(D.VSpace, 30);
  EXPECT_EQ(D.SharpeningFactor, 50);
  EXPECT_EQ(D.BorderColor, RGBOf(255, 0, 0));
  EXPECT_TRUE(D.DropShadow);
  EXPECT_FALSE(D.Bevel);
  EXPECT_EQ(Child<QSpinBox>(O, "udHSpace").singleStep(), 5);
  EXPECT_TRUE(Child<QSpinBox>(O, "udCols").findChild<QLineEdit*>()->isReadOnly());
  for (const char* Bad : {"29", "901", ""}) {
    Child<QLineEdit>(O, "eSize").setText(Bad);
    QFocusEvent Out(QEvent::FocusOut);
    QApplication::sendEvent(&Child<QLineEdit>(O, "eSize"), &Out);
    EXPECT_EQ(Child<QLineEdit>(O, "eSize").text(), "96") << Bad;
  }
  EXPECT_EQ(Prompt->Messages, QStringList(3, "Invalid value. Enter a value between 30 and 900"));
  for (const char* Good : {"30", "900"}) {
    Child<QLineEdit>(O, "eSize").setText(Good);
    QFocusEvent Out(QEvent::FocusOut);
    QApplication::sendEvent(&Child<QLineEdit>(O, "eSize"), &Out);
    EXPECT_EQ(Child<QLineEdit>(O, "eSize").text(), Good);
  }
  EXPECT_EQ(Prompt->Messages.size(), 3);
  EXPECT_EQ(O.Options().Size, 900);
  // Typing letters is not possible.
  Child<QLineEdit>(O, "eSize").clear();
  QTest::keyClicks(&Child<QLineEdit>(O, "eSize"), "4x2");
  EXPECT_EQ(Child<QLineEdit>(O, "eSize").text(), "42");
  Child<QCheckBox>(O, "cbAutoSharpen").click();
  EXPECT_FALSE(Child<QSlider>(O, "tbSharpeningFactor").isEnabled());
  // A palette colour chosen on a colour button.
  EXPECT_EQ(TColorButton::PaletteColors()[4], RGBOf(191, 215, 191));
  auto* Swatch =
      Child<TColorButton>(O, "cbtnBGColor").PaletteMenu()->findChild<QToolButton*>("Palette9");
  ASSERT_NE(Swatch, nullptr);
  Swatch->click();
  EXPECT_EQ(O.Options().BGColor, RGBOf(159, 191, 239));
}
