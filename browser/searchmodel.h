// The file search without its window: the name pattern, the volumes to search, the walk of a
// folder tree, and the search itself on a worker thread that hands its results to the window's
// thread in batches, kept sorted as text.
#pragma once

#include "metadata/criteria.h"
#include "platform/worker.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orbisk {

// A file name pattern with the wildcards "*" (any run) and "?" (one character); every other
// character stands for itself, upper and lower case alike. A pattern ending in ".*" also takes
// names without that dot ("*.*" every name, "a.*" also "a").
class TWildcard {
public:
  explicit TWildcard(const QString& Pattern = QStringLiteral("*"));
  // Name is a file name as the file system stores it (any bytes).
  bool Matches(const char* Name, size_t Length) const;
  bool Matches(const std::string& Name) const { return Matches(Name.data(), Name.size()); }

private:
  struct TForm {
    bool Ascii = true;      // the pattern is plain ASCII: names are compared byte by byte
    std::string LowerBytes; // the ASCII pattern in lower case
    QString Folded;         // the pattern case-folded, for names with other characters
  };
  static TForm FormOf(const QString& Pattern);
  static bool Matches(const TForm& F, const char* Name, size_t Length);
  TForm FWhole;
  bool FHasStem = false; // ends in ".*": FStem is the pattern without it
  TForm FStem;
};

// One mounted file system offered by the drive selector.
struct TSearchVolume {
  QString Root;    // its mount point
  QString Name;    // what the selector shows
  QByteArray Type; // file system type ("ext4", "tmpfs", ...)
  bool IsTmpfs() const { return Type == "tmpfs"; }
};

// True for the kernel's and the system's own file systems (proc, sysfs, devices, run-time data,
// control groups, ...) and network ones: the search does not offer them.
bool IsVirtualOrRemoteVolume(const QByteArray& Type, const QString& Root);
// Every mounted local file system, in mount-point order.
QList<TSearchVolume> LocalSearchVolumes();
// The roots "All Drives" searches: every volume but tmpfs ones, except the selected one.
QStringList AllDriveRoots(const QList<TSearchVolume>& Volumes, int Selected);

enum class TWalkEnd { weDone, weStopped, weFull };

// Walks the tree under Root without recursion and without changing the current directory.
// OnFolder receives each folder (with a trailing "/") before it is read; OnFile each regular
// file whose name matches (a symbolic link counts when it leads to a regular file) and returns
// false when no more can be taken. Folders reached through symbolic links, hidden entries
// (leading dot), folders of other file systems mounted inside the tree and folders that cannot
// be read are left out. Stop is tested before every entry.
TWalkEnd WalkForFiles(const std::string& Root, const TWildcard& Pattern,
                      const std::atomic<bool>& Stop,
                      const std::function<bool(std::string&& Path)>& OnFile,
                      const std::function<void(const std::string& Folder)>& OnFolder = nullptr);

// One line of the result list.
struct TSearchResult {
  QByteArray Path; // the file system's bytes
  QString Text;    // shown (QFile::decodeName)
  // Sort key: the text case-folded, each of its UTF-16 units written as UTF-8 writes a
  // character, so that the bytes sort as the folded text does (and plain ASCII paths are their
  // own key, in lower case).
  QByteArray Key;
  QString Value; // what the file showed for the criteria (MatchCriteria), "" without criteria
};
// The line of a found file.
TSearchResult SearchResultOf(QByteArray Path);
// The line of a file the walk found by name, when it also meets the criteria (every file meets
// empty ones), with the matched value.
std::optional<TSearchResult> FoundResult(std::string&& Path, const TSearchCriteria& Criteria);
// By key, then by the path's bytes.
bool ResultLess(const TSearchResult& A, const TSearchResult& B);

// The result lines, kept sorted as text (upper and lower case alike). Column 0 is the file,
// column 1 the value the criteria matched.
class TSearchResultModel : public QAbstractListModel {
  Q_OBJECT
public:
  using QAbstractListModel::QAbstractListModel;
  int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& Index, int Role) const override;
  QVariant headerData(int Section, Qt::Orientation O, int Role) const override;
  void Clear();
  // Merges a batch (sorted or not) into the lines.
  void Add(std::vector<TSearchResult>&& Batch);
  qsizetype Count() const { return qsizetype(FLines.size()); }
  const TSearchResult& Line(qsizetype Row) const { return FLines[size_t(Row)]; }

private:
  std::vector<TSearchResult> FLines;
};

// A search on a worker thread. Results arrive through batchReady (queued to the thread that
// owns this object) and are collected with TakeBatch; finished follows the last batch.
class TFileSearch : public QObject {
  Q_OBJECT
public:
  explicit TFileSearch(QObject* Parent = nullptr);
  ~TFileSearch() override;

  // Searches the roots one after the other; at most Capacity results in all (the root being
  // searched when the limit is reached ends there, the next root is still searched). Only files
  // that also meet Criteria are results (the capacity counts those).
  void Start(const QStringList& Roots, const QString& Pattern, qsizetype Capacity = 1000000,
             const TSearchCriteria& Criteria = {});
  // Ends the search within one folder step and waits for the worker; the results found so far
  // are still handed over and finished is emitted before this returns.
  void Stop();
  bool Running() const { return FRunning; }
  // The results handed over since the last call, sorted.
  std::vector<TSearchResult> TakeBatch();
  // The folder the walk is in.
  QString CurrentFolder() const;
  // True when the capacity was reached during the last search.
  bool Overflowed() const { return FOverflowed; }
  // Folders read during the last search.
  qint64 FoldersWalked() const { return FFolders; }

signals:
  void batchReady();
  void finished();

private:
  void Work(const TWorker::TRun& Run, const std::vector<std::string>& Roots,
            const TWildcard& Pattern, qsizetype Capacity, const TSearchCriteria& Criteria);
  void Hand(std::vector<TSearchResult>& Local, const TWorker::TRun& Run);
  void WorkerDone();
  void Finish();

  std::atomic<bool> FOverflowed{false};
  std::atomic<qint64> FFolders{0};
  bool FRunning = false;
  mutable std::mutex FLock;
  std::vector<TSearchResult> FPending; // guarded by FLock
  bool FNotified = false;              // guarded by FLock: a batchReady is on its way
  std::string FFolder;                 // guarded by FLock
  // Last: its threads end before the members they use go. A stopped search's late batches and
  // its end are dropped by their run.
  TWorker FWorker{this};
};

} // namespace orbisk
