// The explorer's "Thumbnail Size" and "Use Thumbnail Cache" (View menu, stored in its settings
// section), the grid following the cell size, a revisited folder shown from the cache, and the
// loader taking the items in view first.
#include "tests/browser/browsertest.h"
#include "tests/thumbnails/cachehome.h"
#include "tests/common/widgetfind.h"

#include "engine/pixelgraphic.h"
#include "platform/settingsstore.h"
#include "thumbnails/thumbcache.h"
#include "thumbnails/thumbcell.h"
#include "thumbnails/thumbexplorer.h"
#include "thumbnails/thumblistmodel.h"
#include "thumbnails/thumbloader.h"
#include "view/filelist.h"

#include <QAction>
#include <QListView>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <set>

using namespace orbisk;
using namespace orbisk::test;
namespace fs = std::filesystem;

namespace {

void SaveGradient(const QString& Path, int W, int H) {
  TPixelGraphic G;
  G.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelColor(X, Y, RGBOf(X * 255 / W, Y * 255 / H, 128));
  G.SaveToFile(QFile::encodeName(Path).toStdString());
}

std::string CacheFile(const char* Folder, const QString& Path) {
  return TestCacheHome() + "/thumbnails/" + Folder + "/" +
         ThumbMd5Hex(ThumbFileUri(QFile::encodeName(Path).toStdString())) + ".png";
}

int RowOf(TfrmThumbnails& W, const QString& Name) {
  for (int R = 0; R < Child<TFileListModel>(W, "FileList").Count(); ++R)
    if (Child<TFileListModel>(W, "FileList").Item(R).Name == Name) return R;
  return -1;
}

bool Loaded(TfrmThumbnails& W) {
  return WaitFor([&] { return W.PanelText(1) == "Thumbnails loaded" && !W.Loading(); }, 20000);
}

QAction* MenuItem(QMenu* M, const QString& Text) {
  for (QAction* A : M->actions())
    if (A->text().remove('&') == Text) return A;
  return nullptr;
}

} // namespace

TEST(ExplorerCells, SizeMenuSetsTheGridAndIsKept) {
  const QString Dir = MakeFolder("sizes");
  SaveGradient(Dir + "/wide.jpg", 900, 300);
  SaveGradient(Dir + "/tall.png", 100, 400);
  {
    TfrmThumbnails W;
    EXPECT_EQ(W.CellSize(), 64);
    // The View menu holds the size and the cache switch.
    ASSERT_NE(&Child<QMenu>(W, "ViewMenu"), nullptr);
    EXPECT_TRUE(W.menuBar()->actions().contains(Child<QMenu>(W, "ViewMenu").menuAction()));
    QAction* SizeItem = MenuItem(&Child<QMenu>(W, "ViewMenu"), "Thumbnail Size");
    ASSERT_NE(SizeItem, nullptr);
    QStringList Texts;
    for (QAction* A : SizeItem->menu()->actions())
      Texts << A->text();
    EXPECT_EQ(Texts, QStringList({"64 X 64", "96 X 96", "128 X 128", "192 X 192", "256 X 256"}));
    EXPECT_TRUE(Action(W, "SizeActions0").isChecked());
    ASSERT_NE(MenuItem(&Child<QMenu>(W, "ViewMenu"), "Use Thumbnail Cache"), nullptr);
    EXPECT_TRUE(Action(W, "UseThumbnailCache1").isChecked());

    W.OpenOn(Dir);
    Action(W, "ThumbnailsButton").trigger();
    ASSERT_TRUE(Loaded(W));
    EXPECT_EQ(Child<TThumbListModel>(W, "ListModel").Cell(0).size(), QSize(64, 64));
    // A wider cell: the grid follows and the cells are made again at that size, by the fit rule.
    Action(W, "SizeActions3").trigger();
    EXPECT_EQ(W.CellSize(), 192);
    ASSERT_TRUE(Loaded(W));
    EXPECT_EQ(Child<QListView>(W, "ListView1").iconSize(), QSize(192, 192));
    EXPECT_EQ(Child<QListView>(W, "ListView1").gridSize(), QSize(232, 228));
    EXPECT_EQ(Child<TThumbListModel>(W, "ListModel").CellCount(), 2);
    const QImage Tall = Child<TThumbListModel>(W, "ListModel").Cell(RowOf(W, "tall.png"));
    ASSERT_EQ(Tall.size(), QSize(192, 192));
    // 100 x 400 becomes 48 x 192, centred across.
    EXPECT_EQ(Tall.pixelColor(71, 100), QColor(254, 255, 230));
    EXPECT_NE(Tall.pixelColor(72, 100), QColor(254, 255, 230));
    EXPECT_NE(Tall.pixelColor(119, 100), QColor(254, 255, 230));
    EXPECT_EQ(Tall.pixelColor(120, 100), QColor(254, 255, 230));
    // The names are elided to the wider grid as to the narrow one.
    EXPECT_EQ(Child<QListView>(W, "ListView1").textElideMode(), Qt::ElideRight);
    // The details view is not touched by the size.
    Action(W, "DetailsButton").trigger();
    EXPECT_EQ(Child<QListView>(W, "ListView1").gridSize(), QSize(232, 228));
  }
  EXPECT_EQ(TSettingsStore().ReadInteger(kThumbSizeSetting, 0), 192);
  {
    TfrmThumbnails W;
    EXPECT_EQ(W.CellSize(), 192);
    EXPECT_TRUE(Action(W, "SizeActions3").isChecked());
    W.SetCellSize(64);
  }
  // A value that is no size of the menu reads as 64.
  TSettingsStore().WriteInteger(kThumbSizeSetting, 100);
  TfrmThumbnails W;
  EXPECT_EQ(W.CellSize(), 64);
  TSettingsStore().Remove(kThumbSizeSetting);
}

TEST(ExplorerCells, CacheSwitchAndRevisitedFolder) {
  const QString Dir = MakeFolder("revisit"), Other = MakeFolder("revisit-other");
  for (int I = 0; I < 6; ++I)
    SaveGradient(Dir + QString("/p%1.jpg").arg(I), 1800 + 16 * I, 1200);
  SaveGradient(Other + "/o.png", 50, 50);
  {
    // Off: a load writes nothing into the cache.
    TfrmThumbnails W;
    Action(W, "UseThumbnailCache1").trigger();
    EXPECT_FALSE(W.UseThumbnailCache());
    W.OpenOn(Dir);
    Action(W, "ThumbnailsButton").trigger();
    ASSERT_TRUE(Loaded(W));
    for (int I = 0; I < 6; ++I)
      EXPECT_FALSE(fs::exists(CacheFile("normal", Dir + QString("/p%1.jpg").arg(I))));
  }
  EXPECT_EQ(TSettingsStore().ReadInteger(kThumbCacheSetting, 1), 0);
  TfrmThumbnails W;
  EXPECT_FALSE(W.UseThumbnailCache());
  EXPECT_FALSE(Action(W, "UseThumbnailCache1").isChecked());
  Action(W, "UseThumbnailCache1").trigger();
  EXPECT_EQ(TSettingsStore().ReadInteger(kThumbCacheSetting, 0), 1);
  W.OpenOn(Dir);
  Action(W, "ThumbnailsButton").trigger();
  ASSERT_TRUE(Loaded(W));
  std::vector<QImage> Fresh;
  for (int R = 0; R < 6; ++R)
    Fresh.push_back(Child<TThumbListModel>(W, "ListModel").Cell(R));
  for (int I = 0; I < 6; ++I)
    EXPECT_TRUE(fs::exists(CacheFile("normal", Dir + QString("/p%1.jpg").arg(I)))) << I;
  // Revisited, the folder shows the cells made from the cache: the same geometry as the cells
  // made from the files.
  W.ChangeFolder(Other);
  ASSERT_TRUE(Loaded(W));
  W.ChangeFolder(Dir);
  ASSERT_TRUE(Loaded(W));
  TThumbCellOptions O;
  O.Cache = std::make_shared<TThumbCache>(TThumbCache::DefaultRoot());
  for (int R = 0; R < 6; ++R) {
    const TThumbCell C = MakeThumbCell(
        QFile::encodeName(Child<TFileListModel>(W, "FileList").FullName(R)).toStdString(), O);
    ASSERT_TRUE(C.FromCache) << R;
    const QImage Shown = Child<TThumbListModel>(W, "ListModel").Cell(R);
    for (int Y = 0; Y < 64; ++Y) {
      const bool Background = Fresh[size_t(R)].pixelColor(32, Y) == QColor(254, 255, 230);
      EXPECT_EQ(Shown.pixelColor(32, Y) == QColor(254, 255, 230), Background) << R << " " << Y;
    }
    EXPECT_EQ(Shown.pixelColor(40, 20).rgb() & 0xFFFFFF,
              QColor(int(RedOf(C.Picture->GetPixelColor(40, 20))),
                     int(GreenOf(C.Picture->GetPixelColor(40, 20))),
                     int(BlueOf(C.Picture->GetPixelColor(40, 20))))
                      .rgb() &
                  0xFFFFFF);
  }
}

// The items asked for come before the others not yet begun; each item is made once, and the
// cells are handed over in the order the work was taken up.
TEST(ExplorerCells, LoaderTakesTheItemsInViewFirst) {
  const QString Dir = MakeFolder("prefer");
  std::vector<std::string> Files;
  for (int I = 0; I < 40; ++I) {
    const QString P = Dir + QString("/f%1.png").arg(I, 2, 10, QChar('0'));
    SaveGradient(P, 300 + I, 200);
    Files.push_back(QFile::encodeName(P).toStdString());
  }
  // The one worker waits after its first item until the range is set, however slow this
  // thread is to set it.
  std::promise<void> Go;
  const std::shared_future<void> Set = Go.get_future().share();
  TThumbLoader Loader(Files, {}, 1, [Set] { Set.wait(); });
  Loader.Prefer(30, 33);
  Go.set_value();
  std::vector<int> Order;
  for (auto Batch = Loader.WaitReady(); !Batch.empty(); Batch = Loader.WaitReady())
    for (auto& R : Batch)
      Order.push_back(R.Index);
  ASSERT_EQ(Order.size(), Files.size());
  EXPECT_EQ(std::set<int>(Order.begin(), Order.end()).size(), Files.size());
  // The worker may have begun its first item before the call; then come 30 to 33.
  const auto At30 = std::find(Order.begin(), Order.end(), 30) - Order.begin();
  ASSERT_LE(At30, 1);
  for (int K = 1; K < 4; ++K)
    EXPECT_EQ(Order[size_t(At30 + K)], 30 + K);
  // The rest in list order.
  std::vector<int> Rest;
  for (int I : Order)
    if (I < 30 || I > 33) Rest.push_back(I);
  EXPECT_TRUE(std::is_sorted(Rest.begin(), Rest.end()));
}
