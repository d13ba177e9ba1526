// The thumbnail explorer's grid timed through its own window, offscreen: the folder is listed,
// the view switched to "Thumbnails", and the times to the first cell shown, to every cell in view
// and to "Thumbnails loaded" are printed, first with an empty thumbnail cache, then again with
// the cache the first load filled (a new window, as on the next start). The cache is a fresh
// folder under /tmp (XDG_CACHE_HOME is set to it), deleted at the end.
// Usage: thumbnails_timing FOLDER [RUNS [SCREENSHOT.png]]
#include "thumbnails/thumbexplorer.h"
#include "thumbnails/thumblistmodel.h"
#include "view/filelist.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListView>
#include <QPixmap>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace orbisk;

namespace {

struct TTimes {
  double First = -1, Screen = -1, All = -1;
  int Cells = 0, InView = 0;
};

// The window's parts, found by name as a test finds them.
template <class T> T& Part(TfrmThumbnails& W, const char* Name) {
  T* P = W.findChild<T*>(QString::fromLatin1(Name));
  if (!P) {
    std::fprintf(stderr, "thumbnails_timing: the explorer has no %s\n", Name);
    std::exit(1);
  }
  return *P;
}

// The number of items in view when each of them has its cell, else 0.
int ScreenDone(TfrmThumbnails& W) {
  QListView& View = Part<QListView>(W, "ListView1");
  TThumbListModel& Cells = Part<TThumbListModel>(W, "ListModel");
  const QRect Seen = View.viewport()->rect();
  int InView = 0;
  for (int R = 0; R < Part<TFileListModel>(W, "FileList").Count(); ++R) {
    if (!View.visualRect(Cells.index(R, 0)).intersects(Seen)) continue;
    ++InView;
    if (!Cells.HasCell(R)) return 0;
  }
  return InView;
}

TTimes TimeOne(const QString& Folder, const char* Shot) {
  TfrmThumbnails W;
  W.TypeMask = [] { return QString("*.jpg;*.gif;*.bmp;*.png;*.tga;*.tif;"); };
  W.SetUseThumbnailCache(true);
  W.OpenOn(Folder);
  QApplication::processEvents();
  QElapsedTimer T;
  T.start();
  W.SetViewStyle(TThumbViewStyle::vsThumbnails);
  TTimes R;
  while (W.PanelText(1) != "Thumbnails loaded") {
    // Sleeps until the window has something to do: a loop that polls would take a processor
    // from the loader's workers.
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (R.First < 0 && Part<TThumbListModel>(W, "ListModel").CellCount() > 0) R.First = T.nsecsElapsed() / 1e6;
    if (R.Screen < 0 && R.First >= 0 && (R.InView = ScreenDone(W)) > 0)
      R.Screen = T.nsecsElapsed() / 1e6;
  }
  R.All = T.nsecsElapsed() / 1e6;
  if (R.First < 0) R.First = R.All;
  if (R.Screen < 0) R.Screen = R.All;
  R.Cells = Part<TThumbListModel>(W, "ListModel").CellCount();
  if (Shot) {
    QApplication::processEvents();
    W.grab().save(QString::fromLocal8Bit(Shot));
  }
  return R;
}

double Median(std::vector<double> V) {
  std::sort(V.begin(), V.end());
  return V[V.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc < 2) {
    std::fprintf(stderr, "usage: thumbnails_timing FOLDER [RUNS [SCREENSHOT.png]]\n");
    return 2;
  }
  // A private cache and settings, so that neither the user's cache nor their explorer settings
  // take part.
  char Template[] = "/tmp/orbisk-thumbs-timing-XXXXXX";
  if (!mkdtemp(Template)) return 1;
  const std::string Base = Template;
  setenv("XDG_CONFIG_HOME", (Base + "/config").c_str(), 1);
  QApplication App(argc, argv);
  const QString Folder = QString::fromLocal8Bit(argv[1]);
  const int Runs = std::max(1, argc > 2 ? std::atoi(argv[2]) : 3);
  std::vector<double> CF, CS, CA, WF, WS, WA;
  for (int R = 0; R < Runs; ++R) {
    const std::string Cache = Base + "/cache" + std::to_string(R);
    std::filesystem::create_directories(Cache);
    setenv("XDG_CACHE_HOME", Cache.c_str(), 1);
    const TTimes Cold = TimeOne(Folder, R == 0 && argc > 3 ? argv[3] : nullptr);
    const TTimes Warm = TimeOne(Folder, nullptr);
    std::printf("run %d: %d cells, %d in view; empty cache: first %.0f ms, screen %.0f ms, all "
                "%.0f ms; cache filled: first %.0f ms, screen %.0f ms, all %.0f ms\n",
                R + 1, Cold.Cells, Cold.InView, Cold.First, Cold.Screen, Cold.All, Warm.First,
                Warm.Screen, Warm.All);
    std::fflush(stdout);
    CF.push_back(Cold.First);
    CS.push_back(Cold.Screen);
    CA.push_back(Cold.All);
    WF.push_back(Warm.First);
    WS.push_back(Warm.Screen);
    WA.push_back(Warm.All);
  }
  std::printf("median, empty cache: first %.0f ms, screen %.0f ms, all %.0f ms\n", Median(CF),
              Median(CS), Median(CA));
  std::printf("median, cache filled (revisit): first %.0f ms, screen %.0f ms, all %.0f ms\n",
              Median(WF), Median(WS), Median(WA));
  std::error_code E;
  std::filesystem::remove_all(Base, E);
  return 0;
}
