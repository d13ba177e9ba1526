// The file search without its window: the pattern, the volumes offered, the walk over built
// trees (links, loops, hidden and unreadable folders, odd names) and the search on its worker
// thread (sorted batches, capacity, Stop); the walk and the order of the lines against the
// plain readdir walk and text keys they replace.
#include "platform/filenames.h"
#include "browser/searchmodel.h"
#include "tests/browser/browsertest.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orbisk;
namespace fs = std::filesystem;

namespace {

void Touch(const std::string& Path) {
  fs::create_directories(fs::path(Path).parent_path());
  FILE* F = std::fopen(Path.c_str(), "w");
  ASSERT_NE(F, nullptr) << Path;
  std::fclose(F);
}

std::vector<std::string> Walk(const std::string& Root, const QString& Pattern) {
  std::atomic<bool> Stop{false};
  std::vector<std::string> Found;
  WalkForFiles(Root, TWildcard(Pattern), Stop, [&](std::string&& P) {
    Found.push_back(std::move(P));
    return true;
  });
  std::sort(Found.begin(), Found.end());
  return Found;
}

// The walk as an ordinary user (the superuser may read every folder): in a child process.
std::vector<std::string> WalkAsUser(const std::string& Root, const QString& Pattern) {
  if (geteuid() != 0) return Walk(Root, Pattern);
  int Pipe[2];
  if (pipe(Pipe) != 0) return {};
  const pid_t Child = fork();
  if (Child == 0) {
    close(Pipe[0]);
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    std::string Out;
    for (const auto& P : Walk(Root, Pattern))
      Out += P + '\0';
    if (write(Pipe[1], Out.data(), Out.size()) != ssize_t(Out.size())) _exit(3);
    _exit(0);
  }
  close(Pipe[1]);
  std::string All;
  char Buf[4096];
  for (ssize_t N; (N = read(Pipe[0], Buf, sizeof Buf)) > 0;)
    All.append(Buf, size_t(N));
  close(Pipe[0]);
  int Status = 0;
  waitpid(Child, &Status, 0);
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0);
  std::vector<std::string> Found;
  for (size_t Start = 0, End; (End = All.find('\0', Start)) != std::string::npos; Start = End + 1)
    Found.push_back(All.substr(Start, End - Start));
  return Found;
}

TEST(SearchPattern, WildcardsUpperAndLowerCaseAlike) {
  const TWildcard Jpg("*.jpg");
  for (const char* Yes : {"a.jpg", "A.JPG", ".jpg", "x.y.Jpg", "b c\n.jpg", "\xff\xfe.jpg"})
    EXPECT_TRUE(Jpg.Matches(Yes)) << Yes;
  for (const char* No : {"a.jpeg", "a.jpg.txt", "ajpg", ""})
    EXPECT_FALSE(Jpg.Matches(No)) << No;
  const TWildcard Q("?b*c");
  EXPECT_TRUE(Q.Matches("abXYc"));
  EXPECT_TRUE(Q.Matches("ABc"));
  EXPECT_FALSE(Q.Matches("bc"));
  // Brackets are ordinary characters.
  EXPECT_TRUE(TWildcard("[a].png").Matches("[A].PNG"));
  EXPECT_FALSE(TWildcard("[a].png").Matches("a.png"));
  // Letters beyond ASCII, and "?" taking one of them.
  EXPECT_TRUE(TWildcard(QString::fromUtf8("\xc3\xa4*")).Matches("\xc3\x84pfel.jpg"));
  EXPECT_TRUE(TWildcard("?.png").Matches("\xc3\xa9.png"));
  EXPECT_TRUE(TWildcard("*").Matches("anything"));
}

TEST(SearchVolumes, VirtualAndRemoteFileSystemsAreLeftOut) {
  EXPECT_TRUE(IsVirtualOrRemoteVolume("proc", "/proc"));
  EXPECT_TRUE(IsVirtualOrRemoteVolume("sysfs", "/sys"));
  EXPECT_TRUE(IsVirtualOrRemoteVolume("tmpfs", "/run/user/1000"));
  EXPECT_TRUE(IsVirtualOrRemoteVolume("tmpfs", "/dev/shm"));
  EXPECT_TRUE(IsVirtualOrRemoteVolume("nfs4", "/mnt/server"));
  EXPECT_FALSE(IsVirtualOrRemoteVolume("ext4", "/"));
  EXPECT_FALSE(IsVirtualOrRemoteVolume("vfat", "/run/media/me/CARD"));
  EXPECT_FALSE(IsVirtualOrRemoteVolume("tmpfs", "/tmp"));
  for (const auto& V : LocalSearchVolumes()) {
    EXPECT_FALSE(IsVirtualOrRemoteVolume(V.Type, V.Root)) << V.Root.toStdString();
    EXPECT_TRUE(V.Name.startsWith(V.Root));
  }
  // "All Drives" leaves tmpfs volumes out unless one is the selected drive.
  QList<TSearchVolume> Vs = {{"/", "/", "ext4"}, {"/tmp", "/tmp", "tmpfs"}, {"/d", "/d", "xfs"}};
  EXPECT_EQ(AllDriveRoots(Vs, 0), (QStringList{"/", "/d"}));
  EXPECT_EQ(AllDriveRoots(Vs, 1), (QStringList{"/", "/tmp", "/d"}));
}

TEST(SearchWalk, LinksHiddenAndUnreadableFolders) {
  const std::string R = test::MakeFolder("walk").toStdString();
  Touch(R + "/top.jpg");
  Touch(R + "/Sub/deep/Two.JPG");
  Touch(R + "/Sub/deep/not.jpeg");
  Touch(R + "/.hidden/in-hidden.jpg");
  Touch(R + "/Sub/.secret.jpg");
  Touch(R + "/closed/inside.jpg");
  Touch(R + "/elsewhere/linked.jpg");
  // A loop back to the root, a link into another folder, a link to a file, a broken link.
  fs::create_directory_symlink(R, R + "/Sub/loop");
  fs::create_directory_symlink(R + "/elsewhere", R + "/Sub/tofolder");
  fs::create_symlink(R + "/top.jpg", R + "/Sub/tofile.jpg");
  fs::create_symlink(R + "/missing.jpg", R + "/Sub/broken.jpg");
  chmod((R + "/closed").c_str(), 0);
  const auto Found = WalkAsUser(R, "*.jpg");
  chmod((R + "/closed").c_str(), 0755);
  const std::vector<std::string> Expected = {R + "/Sub/deep/Two.JPG", R + "/Sub/tofile.jpg",
                                             R + "/elsewhere/linked.jpg", R + "/top.jpg"};
  EXPECT_EQ(Found, Expected);
  // The current directory is never changed.
  const auto Here = fs::current_path();
  Walk(R, "*");
  EXPECT_EQ(fs::current_path(), Here);
  // Names with any bytes are found and handed over as they are.
  const std::string Odd = R + "/odd/\xff\xfe name\n'\".jpg";
  Touch(Odd);
  const auto OddFound = Walk(R + "/odd", "*.jpg");
  EXPECT_EQ(OddFound, std::vector<std::string>{Odd});
  // A root that is no folder gives nothing.
  EXPECT_TRUE(Walk(R + "/top.jpg", "*").empty());
  EXPECT_TRUE(Walk(R + "/none", "*").empty());
}

TEST(SearchResults, LinesStaySortedAsTextWhateverTheBatches) {
  TSearchResultModel M;
  auto Batch = [](std::initializer_list<const char*> Paths) {
    std::vector<TSearchResult> B;
    for (const char* P : Paths)
      B.push_back(SearchResultOf(P));
    return B;
  };
  M.Add(Batch({"/t/zeta/a.jpg", "/t/B/x.jpg"}));
  M.Add(Batch({"/t/a/z.jpg", "/t/b/y.jpg", "/t/Alpha.jpg"}));
  QStringList Lines;
  for (int R = 0; R < M.rowCount(); ++R)
    Lines << M.data(M.index(R), Qt::DisplayRole).toString();
  EXPECT_EQ(Lines, (QStringList{"/t/a/z.jpg", "/t/Alpha.jpg", "/t/B/x.jpg", "/t/b/y.jpg",
                                "/t/zeta/a.jpg"}));
}

class FileSearch : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    // 50,000 folders: 100 x 500, with a picture in every hundredth.
    Big = test::MakeFolder("bigtree").toStdString();
    for (int I = 0; I < 100; ++I)
      for (int J = 0; J < 500; ++J) {
        const std::string D = Big + "/d" + std::to_string(I) + "/e" + std::to_string(J);
        fs::create_directories(D);
        if (J % 100 == 0) Touch(D + "/p.jpg");
      }
  }
  static void TearDownTestSuite() { fs::remove_all(Big); }
  static std::string Big;
};
std::string FileSearch::Big;

TEST_F(FileSearch, ResultsArriveSortedAndEndWithFinished) {
  TFileSearch S;
  QSignalSpy Done(&S, &TFileSearch::finished);
  std::vector<TSearchResult> All;
  QObject::connect(&S, &TFileSearch::batchReady, [&] {
    for (auto& R : S.TakeBatch())
      All.push_back(std::move(R));
  });
  S.Start({QString::fromStdString(Big)}, "*.JPG");
  ASSERT_TRUE(test::WaitFor([&] { return Done.count() == 1; }, 60000));
  EXPECT_FALSE(S.Running());
  EXPECT_EQ(All.size(), 500u);
  EXPECT_EQ(S.FoldersWalked(), 50101);
  // Capacity: the search of this root ends at the limit, and says so.
  S.Start({QString::fromStdString(Big), QString::fromStdString(Big + "/d7")}, "p.jpg", 10);
  ASSERT_TRUE(test::WaitFor([&] { return Done.count() == 2; }, 60000));
  EXPECT_TRUE(S.Overflowed());
}

TEST_F(FileSearch, StopEndsTheWalkWithinOneFolderStep) {
  TFileSearch S;
  QSignalSpy Done(&S, &TFileSearch::finished);
  S.Start({QString::fromStdString(Big)}, "*.jpg");
  ASSERT_TRUE(test::WaitFor([&] { return S.FoldersWalked() > 200; }, 10000));
  // Stop returns with the walk ended (a walk that went on would hang here until the test's
  // time limit).
  S.Stop();
  EXPECT_FALSE(S.Running());
  EXPECT_EQ(Done.count(), 1);
  EXPECT_LT(S.FoldersWalked(), 50101);
  // The worker's own end, still queued, changes nothing.
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(Done.count(), 1);
}

} // namespace

TEST(SearchPattern, DotStarTakesNamesWithoutAnExtension) {
  const TWildcard All("*.*");
  for (const char* N : {"README", "a.jpg", "archive.tar.gz", ".profile", "x."})
    EXPECT_TRUE(All.Matches(N)) << N;
  const TWildcard A("a.*");
  EXPECT_TRUE(A.Matches("a"));
  EXPECT_TRUE(A.Matches("A.TXT"));
  EXPECT_FALSE(A.Matches("ab"));
  EXPECT_FALSE(A.Matches("b"));
  // Only a trailing ".*" is special.
  EXPECT_FALSE(TWildcard("*.jpg").Matches("jpg"));
  EXPECT_FALSE(TWildcard("*.j*").Matches("readme"));
}

namespace {

// The walk as it was written first (readdir, each folder opened by its full path), kept as the
// reference for the order of folders and files.
void ReferenceWalk(const std::string& Root, const TWildcard& Pattern,
                   std::vector<std::string>& Calls) {
  struct stat RootStat;
  if (Root.empty() || stat(Root.c_str(), &RootStat) != 0 || !S_ISDIR(RootStat.st_mode)) return;
  std::vector<std::string> Stack{Root.back() == '/' ? Root : Root + "/"};
  std::vector<std::string> Folders;
  while (!Stack.empty()) {
    std::string Folder = std::move(Stack.back());
    Stack.pop_back();
    Calls.push_back("folder " + Folder);
    const int Fd = open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (Fd < 0) continue;
    struct stat St;
    if (fstat(Fd, &St) != 0 || St.st_dev != RootStat.st_dev) {
      close(Fd);
      continue;
    }
    DIR* D = fdopendir(Fd);
    if (!D) {
      close(Fd);
      continue;
    }
    Folders.clear();
    while (const dirent* E = readdir(D)) {
      const char* Name = E->d_name;
      if (Name[0] == '.') continue;
      unsigned char Type = E->d_type;
      if (Type == DT_UNKNOWN) {
        struct stat L;
        if (fstatat(Fd, Name, &L, AT_SYMLINK_NOFOLLOW) != 0) continue;
        Type = S_ISDIR(L.st_mode)   ? DT_DIR
               : S_ISREG(L.st_mode) ? DT_REG
               : S_ISLNK(L.st_mode) ? DT_LNK
                                    : DT_UNKNOWN;
      }
      if (Type == DT_DIR) {
        Folders.push_back(Folder + Name + "/");
        continue;
      }
      if (Type != DT_REG && Type != DT_LNK) continue;
      if (!Pattern.Matches(Name, std::strlen(Name))) continue;
      if (Type == DT_LNK) {
        struct stat T;
        if (fstatat(Fd, Name, &T, 0) != 0 || !S_ISREG(T.st_mode)) continue;
      }
      Calls.push_back("file " + Folder + Name);
    }
    closedir(D);
    for (auto It = Folders.rbegin(); It != Folders.rend(); ++It)
      Stack.push_back(std::move(*It));
  }
}

std::vector<std::string> WalkCalls(const std::string& Root, const QString& Pattern) {
  std::atomic<bool> Stop{false};
  std::vector<std::string> Calls;
  WalkForFiles(
      Root, TWildcard(Pattern), Stop,
      [&](std::string&& P) {
        Calls.push_back("file " + P);
        return true;
      },
      [&](const std::string& F) { Calls.push_back("folder " + F); });
  return Calls;
}

} // namespace

TEST(SearchWalk, FoldersAndFilesComeInTheOrderOfTheReaddirWalk) {
  const std::string R = test::MakeFolder("walk-order").toStdString();
  // Many folders and files in one folder (more than one read of the kernel's entries), deep
  // chains (deeper than the folders kept open), odd names, links and hidden entries.
  for (int I = 0; I < 300; ++I) {
    Touch(R + "/wide/n" + std::to_string(I * 7919 % 1000) + (I % 3 ? ".jpg" : ".JPG"));
    if (I % 10 == 0) fs::create_directories(R + "/wide/d" + std::to_string(I));
  }
  std::string Deep = R + "/deep";
  for (int I = 0; I < 140; ++I) {
    Deep += "/" + std::to_string(I % 10);
    if (I % 20 == 0) Touch(Deep + "/x.jpg");
    if (I % 30 == 0) Touch(Deep + "/side/y.jpg");
  }
  Touch(R + "/odd/\xff\xfe name\n.jpg");
  Touch(R + "/odd/\xc3\x84pfel.JPG");
  Touch(R + "/.hidden/h.jpg");
  fs::create_directory_symlink(R, R + "/odd/loop");
  fs::create_symlink(R + "/odd/\xc3\x84pfel.JPG", R + "/odd/link.jpg");
  for (const char* Pattern : {"*.jpg", "*", "n1*.JPG"}) {
    std::vector<std::string> Want;
    ReferenceWalk(R, TWildcard(Pattern), Want);
    EXPECT_EQ(WalkCalls(R, Pattern), Want) << Pattern;
    EXPECT_GT(Want.size(), 150u) << Pattern;
  }
  // Starting below, and with the trailing slash given.
  std::vector<std::string> Want;
  ReferenceWalk(R + "/deep/", TWildcard("*"), Want);
  EXPECT_EQ(WalkCalls(R + "/deep/", "*"), Want);
}

TEST(SearchResults, ByteKeysSortAsTheFoldedTexts) {
  // Letters beyond ASCII, characters beyond the first plane (their UTF-16 halves sort below
  // U+E000..U+FFFF), names that are not UTF-8, upper and lower case, prefixes.
  const std::vector<QByteArray> Paths = {"/t/a.jpg",
                                         "/t/A.jpg",
                                         "/t/B.jpg",
                                         "/t/b.jpg",
                                         "/t/ab.jpg",
                                         "/t/a/b.jpg",
                                         "/t/_x.jpg",
                                         "/t/[x].jpg",
                                         "/t/\xc3\x84.jpg",
                                         "/t/\xc3\xa4.jpg",
                                         "/t/\xc3\x9f.jpg",
                                         "/t/ss.jpg",
                                         "/t/\xef\xbc\xa1.jpg",
                                         "/t/\xf0\x9f\x98\x80.jpg",
                                         "/t/\xee\x80\x80.jpg",
                                         "/t/\xff\xfe.jpg",
                                         "/t/\xe6\x97\xa5.jpg",
                                         "/t/z.jpg",
                                         "/t/Z/\xc3\xa9.jpg",
                                         "/t/~.jpg",
                                         "/t/\x7f.jpg"};
  std::vector<TSearchResult> Lines;
  for (const QByteArray& P : Paths)
    Lines.push_back(SearchResultOf(P));
  // The order of the text keys the lines were first sorted by.
  auto TextKey = [](const TSearchResult& R) {
    const bool Ascii = std::all_of(R.Path.begin(), R.Path.end(),
                                   [](char C) { return static_cast<unsigned char>(C) < 0x80; });
    return Ascii ? R.Text.toLower() : R.Text.toCaseFolded();
  };
  std::vector<TSearchResult> Want = Lines;
  std::sort(Want.begin(), Want.end(), [&](const TSearchResult& A, const TSearchResult& B) {
    const QString KA = TextKey(A), KB = TextKey(B);
    if (KA != KB) return KA < KB;
    return A.Path < B.Path;
  });
  std::sort(Lines.begin(), Lines.end(), ResultLess);
  ASSERT_EQ(Lines.size(), Want.size());
  for (size_t I = 0; I < Lines.size(); ++I) {
    EXPECT_EQ(Lines[I].Path, Want[I].Path) << I;
    EXPECT_EQ(Lines[I].Text, DecodeFileName(Lines[I].Path)) << I;
  }
}
