#include "browser/searchmodel.h"

#include "platform/filenames.h"

#include <QFile>
#include <QMetaObject>
#include <QStorageInfo>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <utility>
#include <dirent.h>
#include <sys/syscall.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orbisk {

// ---- the pattern

namespace {

char LowerAscii(char C) {
  return C >= 'A' && C <= 'Z' ? char(C + ('a' - 'A')) : C;
}

// "*" and "?" over two sequences; Eq compares a pattern element with a name element.
template <class P, class N, class TEq>
bool WildMatch(const P* Pat, size_t PatLen, const N* Name, size_t NameLen, TEq Eq) {
  size_t I = 0, J = 0, Star = size_t(-1), Mark = 0;
  while (J < NameLen) {
    if (I < PatLen && Pat[I] == P('*')) {
      Star = I++;
      Mark = J;
    } else if (I < PatLen && (Pat[I] == P('?') || Eq(Pat[I], Name[J]))) {
      ++I;
      ++J;
    } else if (Star != size_t(-1)) {
      I = Star + 1;
      J = ++Mark;
    } else {
      return false;
    }
  }
  while (I < PatLen && Pat[I] == P('*'))
    ++I;
  return I == PatLen;
}

} // namespace

TWildcard::TForm TWildcard::FormOf(const QString& Pattern) {
  TForm F;
  F.Folded = Pattern.toCaseFolded();
  for (QChar C : Pattern)
    if (C.unicode() >= 0x80) F.Ascii = false;
  if (F.Ascii)
    for (QChar C : Pattern)
      F.LowerBytes += LowerAscii(char(C.unicode()));
  return F;
}

TWildcard::TWildcard(const QString& Pattern) : FWhole(FormOf(Pattern)) {
  // The ".*" of a pattern names any extension, none included (the way "*.*" is meant).
  if (Pattern.size() >= 2 && Pattern.endsWith(QLatin1String(".*"))) {
    FHasStem = true;
    FStem = FormOf(Pattern.chopped(2));
  }
}

bool TWildcard::Matches(const TForm& F, const char* Name, size_t Length) {
  bool AsciiName = true;
  for (size_t I = 0; I < Length && AsciiName; ++I)
    AsciiName = static_cast<unsigned char>(Name[I]) < 0x80;
  if (F.Ascii && AsciiName)
    return WildMatch(F.LowerBytes.data(), F.LowerBytes.size(), Name, Length,
                     [](char P, char N) { return P == LowerAscii(N); });
  const QString Folded =
      DecodeFileName(QByteArray::fromRawData(Name, qsizetype(Length))).toCaseFolded();
  return WildMatch(F.Folded.constData(), size_t(F.Folded.size()), Folded.constData(),
                   size_t(Folded.size()), [](QChar P, QChar N) { return P == N; });
}

bool TWildcard::Matches(const char* Name, size_t Length) const {
  if (Matches(FWhole, Name, Length)) return true;
  if (!FHasStem) return false;
  // Only names without a dot after what the stem matched: "a.*" takes "a", never "ab".
  return std::memchr(Name, '.', Length) == nullptr && Matches(FStem, Name, Length);
}

// ---- volumes

bool IsVirtualOrRemoteVolume(const QByteArray& Type, const QString& Root) {
  static const QList<QByteArray> Skipped = {
      "proc",           "sysfs",    "devtmpfs", "devpts",     "cgroup",      "cgroup2",
      "securityfs",     "debugfs",  "tracefs",  "pstore",     "bpf",         "mqueue",
      "hugetlbfs",      "configfs", "fusectl",  "autofs",     "binfmt_misc", "efivarfs",
      "rpc_pipefs",     "nsfs",     "ramfs",    "squashfs",   "nfs",         "nfs4",
      "cifs",           "smb3",     "smbfs",    "fuse.sshfs", "9p",          "fuse.portal",
      "fuse.gvfsd-fuse"};
  if (Skipped.contains(Type)) return true;
  for (const char* Prefix : {"/proc", "/sys", "/dev"})
    if (Root == Prefix || Root.startsWith(QString(Prefix) + "/")) return true;
  // Removable media appear under /run/media; the rest of /run is the system's run-time data.
  if ((Root == "/run" || Root.startsWith("/run/")) && !Root.startsWith("/run/media/")) return true;
  return false;
}

QList<TSearchVolume> LocalSearchVolumes() {
  QList<TSearchVolume> Out;
  for (const QStorageInfo& S : QStorageInfo::mountedVolumes()) {
    if (!S.isValid() || !S.isReady()) continue;
    const QString Root = S.rootPath();
    if (IsVirtualOrRemoteVolume(S.fileSystemType(), Root)) continue;
    bool Seen = false;
    for (const auto& V : Out)
      Seen = Seen || V.Root == Root;
    if (Seen) continue; // mounted twice on the same point
    TSearchVolume V;
    V.Root = Root;
    V.Type = S.fileSystemType();
    const QString Label = S.name().isEmpty() ? QString::fromUtf8(S.device()) : S.name();
    V.Name = Root + "  (" + Label + ", " + QString::fromUtf8(V.Type) + ")";
    Out << V;
  }
  std::sort(Out.begin(), Out.end(),
            [](const TSearchVolume& A, const TSearchVolume& B) { return A.Root < B.Root; });
  return Out;
}

QStringList AllDriveRoots(const QList<TSearchVolume>& Volumes, int Selected) {
  QStringList Roots;
  for (int I = 0; I < Volumes.size(); ++I)
    if (!Volumes[I].IsTmpfs() || I == Selected) Roots << Volumes[I].Root;
  return Roots;
}

// ---- the walk

namespace {

// A folder being walked: its descriptor (kept open while folders below it wait, so that they
// are opened relative to it), its path with a trailing "/", and the folders read in it.
struct TWalkFrame {
  int Fd = -1;
  std::string Path;
  std::vector<std::string> Folders;
  size_t Next = 0;
};

// Folders deeper than this are opened by their full path, without keeping their parents open.
constexpr size_t kMaxOpenFolders = 128;

// The entries of a folder as the kernel gives them (getdents64), in that order, into one buffer
// reused for every folder.
class TFolderReader {
public:
  explicit TFolderReader(int Fd) : FFd(Fd) {}
  // The next entry; false at the end (or on an error, which ends the folder as readdir does).
  bool Next(const char*& Name, unsigned char& Type) {
    while (FPos >= FEnd) {
      const long N = syscall(SYS_getdents64, FFd, Buffer(), kBufferSize);
      if (N <= 0) return false;
      FPos = 0;
      FEnd = size_t(N);
    }
    const char* E = Buffer() + FPos;
    unsigned short RecLen;
    std::memcpy(&RecLen, E + kRecLenAt, sizeof RecLen);
    FPos += RecLen;
    Type = static_cast<unsigned char>(E[kTypeAt]);
    Name = E + kNameAt;
    return true;
  }

private:
  // struct linux_dirent64: 8-byte inode, 8-byte offset, 2-byte record length, type, name.
  static constexpr size_t kRecLenAt = 16, kTypeAt = 18, kNameAt = 19;
  static constexpr size_t kBufferSize = 32768;
  static char* Buffer() {
    alignas(8) static thread_local char B[kBufferSize];
    return B;
  }
  int FFd;
  size_t FPos = 0, FEnd = 0;
};

} // namespace

TWalkEnd WalkForFiles(const std::string& Root, const TWildcard& Pattern,
                      const std::atomic<bool>& Stop,
                      const std::function<bool(std::string&& Path)>& OnFile,
                      const std::function<void(const std::string& Folder)>& OnFolder) {
  struct stat RootStat;
  if (Root.empty() || stat(Root.c_str(), &RootStat) != 0 || !S_ISDIR(RootStat.st_mode))
    return TWalkEnd::weDone;
  // Depth first, each folder's folders in the order they were read; a folder's descriptor stays
  // open until the folders below it are done.
  std::vector<TWalkFrame> Frames;
  auto CloseAll = [&] {
    for (TWalkFrame& F : Frames)
      if (F.Fd >= 0) close(F.Fd);
    Frames.clear();
  };
  std::string Next = Root.back() == '/' ? Root : Root + "/";
  int ParentFd = AT_FDCWD;
  const char* OpenName = Next.c_str();
  for (;;) {
    if (Stop.load(std::memory_order_relaxed)) {
      CloseAll();
      return TWalkEnd::weStopped;
    }
    if (OnFolder) OnFolder(Next);
    // O_NOFOLLOW: a folder replaced by a link since it was listed is not entered either.
    int Fd = openat(ParentFd, OpenName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat St;
    if (Fd >= 0 && (fstat(Fd, &St) != 0 || St.st_dev != RootStat.st_dev)) {
      close(Fd); // another file system mounted here is a volume of its own
      Fd = -1;
    }
    if (Fd >= 0) { // unreadable folders are skipped
      TWalkFrame Frame;
      Frame.Fd = Fd;
      Frame.Path = std::move(Next);
      TFolderReader Reader(Fd);
      const char* Name;
      unsigned char Type;
      while (Reader.Next(Name, Type)) {
        if (Stop.load(std::memory_order_relaxed)) {
          close(Fd);
          CloseAll();
          return TWalkEnd::weStopped;
        }
        if (Name[0] == '.') continue; // hidden, "." and ".."
        if (Type == DT_UNKNOWN) {
          struct stat L;
          if (fstatat(Fd, Name, &L, AT_SYMLINK_NOFOLLOW) != 0) continue;
          Type = S_ISDIR(L.st_mode)   ? DT_DIR
                 : S_ISREG(L.st_mode) ? DT_REG
                 : S_ISLNK(L.st_mode) ? DT_LNK
                                      : DT_UNKNOWN;
        }
        if (Type == DT_DIR) {
          Frame.Folders.emplace_back(Name);
          continue;
        }
        if (Type != DT_REG && Type != DT_LNK) continue;
        const size_t Length = std::strlen(Name);
        if (!Pattern.Matches(Name, Length)) continue;
        if (Type == DT_LNK) {
          struct stat T;
          if (fstatat(Fd, Name, &T, 0) != 0 || !S_ISREG(T.st_mode)) continue;
        }
        std::string Path;
        Path.reserve(Frame.Path.size() + Length);
        Path.append(Frame.Path).append(Name, Length);
        if (!OnFile(std::move(Path))) {
          close(Fd);
          CloseAll();
          return TWalkEnd::weFull;
        }
      }
      if (Frame.Folders.empty()) {
        close(Fd);
      } else {
        if (Frames.size() >= kMaxOpenFolders) {
          close(Frame.Fd);
          Frame.Fd = -1;
        }
        Frames.push_back(std::move(Frame));
      }
    }
    // The next folder: the next one waiting in the deepest folder that has any.
    while (!Frames.empty() && Frames.back().Next == Frames.back().Folders.size()) {
      if (Frames.back().Fd >= 0) close(Frames.back().Fd);
      Frames.pop_back();
    }
    if (Frames.empty()) return TWalkEnd::weDone;
    TWalkFrame& Top = Frames.back();
    const std::string& Name = Top.Folders[Top.Next++];
    Next.clear();
    Next.append(Top.Path).append(Name).push_back('/');
    ParentFd = Top.Fd >= 0 ? Top.Fd : AT_FDCWD;
    OpenName = Top.Fd >= 0 ? Name.c_str() : Next.c_str();
  }
}

// ---- result lines

namespace {

// <0, 0, >0 as the bytes compare (unsigned), a prefix first.
int CompareBytes(const QByteArray& A, const QByteArray& B) {
  const size_t N = size_t(std::min(A.size(), B.size()));
  if (const int C = N ? std::memcmp(A.constData(), B.constData(), N) : 0) return C;
  return A.size() < B.size() ? -1 : A.size() > B.size() ? 1 : 0;
}

} // namespace

TSearchResult SearchResultOf(QByteArray Path) {
  TSearchResult R;
  const bool Ascii = std::all_of(Path.cbegin(), Path.cend(),
                                 [](char C) { return static_cast<unsigned char>(C) < 0x80; });
  if (Ascii) {
    // Plain ASCII paths (nearly all) skip the decoder's normalization: same text.
    R.Text = QString::fromLatin1(Path);
    R.Key = Path;
    for (char& C : R.Key)
      C = LowerAscii(C);
  } else {
    R.Text = DecodeFileName(Path);
    const QString Folded = R.Text.toCaseFolded();
    R.Key.reserve(Folded.size() * 3);
    for (const QChar Q : Folded) {
      const unsigned U = Q.unicode();
      if (U < 0x80) {
        R.Key.append(char(U));
      } else if (U < 0x800) {
        R.Key.append(char(0xC0 | (U >> 6))).append(char(0x80 | (U & 0x3F)));
      } else {
        R.Key.append(char(0xE0 | (U >> 12)))
            .append(char(0x80 | ((U >> 6) & 0x3F)))
            .append(char(0x80 | (U & 0x3F)));
      }
    }
  }
  R.Path = std::move(Path);
  return R;
}

std::optional<TSearchResult> FoundResult(std::string&& Path, const TSearchCriteria& Criteria) {
  QString Value;
  if (!Criteria.Empty()) {
    const TCriteriaMatch M = MatchCriteria(Path, Criteria);
    if (!M.Matched) return std::nullopt;
    Value = QString::fromStdString(M.Value);
  }
  TSearchResult R = SearchResultOf(QByteArray(Path.data(), qsizetype(Path.size())));
  R.Value = std::move(Value);
  return R;
}

bool ResultLess(const TSearchResult& A, const TSearchResult& B) {
  if (const int C = CompareBytes(A.Key, B.Key)) return C < 0;
  return CompareBytes(A.Path, B.Path) < 0;
}

int TSearchResultModel::rowCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : int(FLines.size());
}

int TSearchResultModel::columnCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : 2;
}

QVariant TSearchResultModel::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid() || Index.row() >= int(FLines.size())) return {};
  if (Role != Qt::DisplayRole && Role != Qt::ToolTipRole) return {};
  const TSearchResult& L = FLines[size_t(Index.row())];
  return Index.column() == 1 ? L.Value : DisplayFileName(L.Text);
}

QVariant TSearchResultModel::headerData(int Section, Qt::Orientation O, int Role) const {
  if (O != Qt::Horizontal || Role != Qt::DisplayRole) return {};
  return Section == 0 ? QStringLiteral("File") : QStringLiteral("Matched");
}

void TSearchResultModel::Clear() {
  beginResetModel();
  FLines.clear();
  endResetModel();
}

void TSearchResultModel::Add(std::vector<TSearchResult>&& Batch) {
  if (Batch.empty()) return;
  if (!std::is_sorted(Batch.begin(), Batch.end(), ResultLess))
    std::sort(Batch.begin(), Batch.end(), ResultLess);
  beginResetModel();
  const auto Middle = FLines.size();
  FLines.reserve(FLines.size() + Batch.size());
  std::move(Batch.begin(), Batch.end(), std::back_inserter(FLines));
  std::inplace_merge(FLines.begin(), FLines.begin() + std::ptrdiff_t(Middle), FLines.end(),
                     ResultLess);
  endResetModel();
}

// ---- the search

TFileSearch::TFileSearch(QObject* Parent) : QObject(Parent) {}

TFileSearch::~TFileSearch() {
  FWorker.Stop();
}

void TFileSearch::Start(const QStringList& Roots, const QString& Pattern, qsizetype Capacity,
                        const TSearchCriteria& Criteria) {
  Stop();
  FOverflowed = false;
  FFolders = 0;
  {
    std::lock_guard G(FLock);
    FPending.clear();
    FNotified = false;
    FFolder.clear();
  }
  std::vector<std::string> R;
  for (const QString& Root : Roots)
    R.push_back(EncodeFileName(Root).toStdString());
  FRunning = true;
  FWorker.Start([this, R = std::move(R), P = TWildcard(Pattern), Capacity,
                 Criteria](const TWorker::TRun& Run, int) { Work(Run, R, P, Capacity, Criteria); });
}

void TFileSearch::Work(const TWorker::TRun& Run, const std::vector<std::string>& Roots,
                       const TWildcard& Pattern, qsizetype Capacity,
                       const TSearchCriteria& Criteria) {
  std::vector<TSearchResult> Local;
  qsizetype Count = 0;
  auto LastHand = std::chrono::steady_clock::now();
  // Every batch is merged into the whole list, so they come at growing intervals: 50 ms at
  // first, doubling up to a quarter of a second.
  auto Interval = std::chrono::milliseconds(50);
  for (const std::string& Root : Roots) {
    const TWalkEnd End = WalkForFiles(
        Root, Pattern, *Run.CancelFlag(),
        [&](std::string&& Path) {
          std::optional<TSearchResult> R = FoundResult(std::move(Path), Criteria);
          if (!R) return true;
          if (Count >= Capacity) {
            FOverflowed = true;
            return false;
          }
          ++Count;
          Local.push_back(std::move(*R));
          return true;
        },
        [&](const std::string& Folder) {
          ++FFolders;
          const auto Now = std::chrono::steady_clock::now();
          if (Now - LastHand >= Interval) {
            LastHand = Now;
            Interval = std::min(Interval * 2, std::chrono::milliseconds(250));
            {
              std::lock_guard G(FLock);
              FFolder = Folder;
            }
            Hand(Local, Run);
          }
        });
    if (End == TWalkEnd::weStopped) break;
  }
  Hand(Local, Run);
  Run.Post([this] { WorkerDone(); });
}

void TFileSearch::Hand(std::vector<TSearchResult>& Local, const TWorker::TRun& Run) {
  if (Local.empty()) return;
  std::sort(Local.begin(), Local.end(), ResultLess);
  bool Notify = false;
  {
    std::lock_guard G(FLock);
    if (FPending.empty()) {
      FPending = std::move(Local);
    } else {
      const auto Middle = FPending.size();
      std::move(Local.begin(), Local.end(), std::back_inserter(FPending));
      std::inplace_merge(FPending.begin(), FPending.begin() + std::ptrdiff_t(Middle),
                         FPending.end(), ResultLess);
    }
    Local.clear();
    Notify = !FNotified;
    FNotified = true;
  }
  if (Notify)
    Run.Post([this] {
      if (FRunning) emit batchReady();
    });
}

std::vector<TSearchResult> TFileSearch::TakeBatch() {
  std::lock_guard G(FLock);
  FNotified = false;
  return std::exchange(FPending, {});
}

QString TFileSearch::CurrentFolder() const {
  std::lock_guard G(FLock);
  return DecodeFileName(QByteArray(FFolder.data(), qsizetype(FFolder.size())));
}

void TFileSearch::WorkerDone() {
  if (!FRunning) return;
  FWorker.Wait();
  Finish();
}

void TFileSearch::Stop() {
  if (!FRunning) return;
  FWorker.Stop();
  Finish();
}

void TFileSearch::Finish() {
  FRunning = false;
  // What the worker handed last is collected by the window before it hears of the end.
  emit batchReady();
  emit finished();
}

} // namespace orbisk
