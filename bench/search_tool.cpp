// The file search without its window, for timing: the worker-thread walk, the batches and the
// sorted result list, exactly as the search window runs them.
//
//   search_tool PATTERN ROOT...   prints "files folders milliseconds"
#include "browser/searchmodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

using namespace orbisk;

int main(int argc, char** argv) {
  QCoreApplication App(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: search_tool PATTERN ROOT...\n");
    return 2;
  }
  QStringList Roots;
  for (int I = 2; I < argc; ++I)
    Roots << QString::fromLocal8Bit(argv[I]);
  TFileSearch Search;
  TSearchResultModel Lines;
  QObject::connect(&Search, &TFileSearch::batchReady, [&] { Lines.Add(Search.TakeBatch()); });
  QObject::connect(&Search, &TFileSearch::finished, &App, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  QElapsedTimer T;
  T.start();
  Search.Start(Roots, QString::fromLocal8Bit(argv[1]));
  App.exec();
  std::printf("%lld %lld %lld\n", static_cast<long long>(Lines.Count()),
              static_cast<long long>(Search.FoldersWalked()), static_cast<long long>(T.elapsed()));
  return 0;
}
