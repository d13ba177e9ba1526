// Writing files: nothing damaged, nothing left behind, nothing replaced that must not be.
#include "engine/messages.h"
#include "engine/pixelgraphic.h"
#include "engine/safefile.h"
#include "processing/gifwriter.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <functional>
#include <dirent.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace orbisk;
using namespace orbisk::test;

namespace {

std::string NewFolder(const std::string& Name) {
  std::string Dir = TempPath(Name);
  mkdir(Dir.c_str(), 0755);
  return Dir;
}

std::vector<std::string> FolderEntries(const std::string& Dir) {
  std::vector<std::string> Names;
  if (DIR* D = opendir(Dir.c_str())) {
    while (dirent* E = readdir(D)) {
      std::string N = E->d_name;
      if (N != "." && N != "..") Names.push_back(N);
    }
    closedir(D);
  }
  std::sort(Names.begin(), Names.end());
  return Names;
}

std::string ReadText(const std::string& Path) {
  auto Bytes = ReadFileBytes(Path);
  return std::string(Bytes.begin(), Bytes.end());
}

void WriteText(const std::string& Path, const std::string& Text) {
  WriteFileBytes(Path, std::vector<uint8_t>(Text.begin(), Text.end()));
}

std::string ErrorOf(const std::function<void()>& F) {
  try {
    F();
  } catch (const std::exception& E) {
    return E.what();
  }
  return {};
}

void MakeSmallPicture(TPixelGraphic& G) {
  G.SetSize(5, 3, 3);
  G.SetPixelColor(1, 1, 0x123456);
}

} // namespace

TEST(SafeFile, NewAndReplacedFilesKeepModeAndLeaveNoDebris) {
  const std::string Dir = NewFolder("new");
  const std::string Target = Dir + "/a.txt";
  WriteFileSafely(Target, "one", 3);
  EXPECT_EQ(ReadText(Target), "one");
  struct stat St;
  ASSERT_EQ(stat(Target.c_str(), &St), 0);
  const mode_t Mask = umask(022);
  umask(Mask);
  EXPECT_EQ(St.st_mode & 0777, 0666 & ~Mask);

  chmod(Target.c_str(), 0640);
  WriteFileSafely(Target, "two!", 4);
  EXPECT_EQ(ReadText(Target), "two!");
  ASSERT_EQ(stat(Target.c_str(), &St), 0);
  EXPECT_EQ(St.st_mode & 0777, 0640u);
  EXPECT_EQ(FolderEntries(Dir), std::vector<std::string>{"a.txt"});

  // Given up before the commit: the old file stays and no temporary file remains.
  {
    TSafeFile F(Target);
    F.Write("three", 5);
  }
  EXPECT_EQ(ReadText(Target), "two!");
  EXPECT_EQ(FolderEntries(Dir), std::vector<std::string>{"a.txt"});
}

TEST(SafeFile, RefusesReadOnlyFoldersSpecialAndMissingTargetsNamingThem) {
  const std::string Dir = NewFolder("refuse");
  const std::string ReadOnly = Dir + "/ro.txt";
  WriteText(ReadOnly, "keep");
  chmod(ReadOnly.c_str(), 0444);
  // Refused for every user, root included: the missing write bit is the owner's wish.
  EXPECT_EQ(ErrorOf([&] { WriteFileSafely(ReadOnly, "x", 1); }),
            "Cannot create file \"" + ReadOnly + "\". Permission denied");
  EXPECT_EQ(ReadText(ReadOnly), "keep");

  EXPECT_EQ(ErrorOf([&] { WriteFileSafely(Dir, "x", 1); }),
            "Cannot create file \"" + Dir + "\". Is a directory");
  EXPECT_EQ(ErrorOf([&] { WriteFileSafely(Dir + "/none/x.txt", "x", 1); }),
            "Cannot create file \"" + Dir + "/none/x.txt\". No such file or directory");
  EXPECT_EQ(ErrorOf([&] { WriteFileSafely("/dev/null", "x", 1); }),
            "Cannot create file \"/dev/null\". Not a regular file");

  // The engine's savers report the target, not a temporary file.
  TPixelGraphic G;
  MakeSmallPicture(G);
  const std::string Bmp = Dir + "/ro.bmp";
  WriteText(Bmp, "old");
  chmod(Bmp.c_str(), 0444);
  EXPECT_EQ(ErrorOf([&] { G.SaveToFile(Bmp); }),
            "Cannot create file \"" + Bmp + "\". Permission denied");
  EXPECT_EQ(ReadText(Bmp), "old");
  const std::string Gif = Dir + "/ro.gif";
  WriteText(Gif, "old");
  chmod(Gif.c_str(), 0444);
  int Code = 0;
  std::string Why;
  EXPECT_FALSE(WriteGIF(Gif, G, false, 0, false, &Code, &Why));
  EXPECT_EQ(Code, gifWriteFailed);
  EXPECT_EQ(Why, "Cannot create file \"" + Gif + "\". Permission denied");
  EXPECT_EQ(ReadText(Gif), "old");
}

TEST(SafeFile, SymbolicLinksKeepTheLinkAndReplaceItsFile) {
  const std::string Dir = NewFolder("links");
  const std::string Real = Dir + "/real.bmp", Link = Dir + "/link.bmp";
  WriteText(Real, "old");
  ASSERT_EQ(symlink("real.bmp", Link.c_str()), 0);
  TPixelGraphic G;
  MakeSmallPicture(G);
  G.SaveToFile(Link);
  struct stat St;
  ASSERT_EQ(lstat(Link.c_str(), &St), 0);
  EXPECT_TRUE(S_ISLNK(St.st_mode));
  TPixelGraphic Back;
  Back.LoadFromFile(Real);
  EXPECT_EQ(Back.GetPixelColor(1, 1), 0x123456u);
  EXPECT_EQ(FolderEntries(Dir), (std::vector<std::string>{"link.bmp", "real.bmp"}));

  const std::string Dangling = Dir + "/dangling.bmp";
  ASSERT_EQ(symlink("gone.bmp", Dangling.c_str()), 0);
  EXPECT_EQ(ErrorOf([&] { G.SaveToFile(Dangling); }),
            "Cannot create file \"" + Dangling +
                "\". The symbolic link points to a file that does not exist");
  ASSERT_EQ(lstat(Dangling.c_str(), &St), 0);
  EXPECT_TRUE(S_ISLNK(St.st_mode));
}

TEST(SafeFile, NoReplaceModeAndRenameNeverReplaceAFile) {
  const std::string Dir = NewFolder("noreplace");
  const std::string A = Dir + "/a", B = Dir + "/b";
  WriteText(A, "aaa");
  WriteText(B, "bbb");
  EXPECT_THROW(WriteFileSafely(B, "x", 1, TCommitMode::cmNoReplace), EPGTargetExists);
  EXPECT_EQ(ReadText(B), "bbb");

  // The name is taken between the start and the commit.
  {
    TSafeFile F(Dir + "/c", TCommitMode::cmNoReplace);
    F.Write("mine", 4);
    WriteText(Dir + "/c", "theirs");
    EXPECT_THROW(F.Commit(), EPGTargetExists);
  }
  EXPECT_EQ(ReadText(Dir + "/c"), "theirs");

  EXPECT_FALSE(RenameNoReplace(A, B));
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(ReadText(A), "aaa");
  EXPECT_EQ(ReadText(B), "bbb");
  EXPECT_TRUE(RenameNoReplace(A, Dir + "/d"));
  EXPECT_EQ(ReadText(Dir + "/d"), "aaa");
  EXPECT_EQ(FolderEntries(Dir), (std::vector<std::string>{"b", "c", "d"}));
}

TEST(SafeFile, AKilledWriterLeavesNeitherDamageNorTemporaryFiles) {
  const std::string Dir = NewFolder("killed");
  const std::string Target = Dir + "/big.bin";
  WriteText(Target, "old");
  const pid_t Child = fork();
  ASSERT_GE(Child, 0);
  if (Child == 0) {
    TSafeFile F(Target);
    std::vector<char> Block(1 << 16, 'x');
    for (;;)
      F.Write(Block.data(), Block.size());
  }
  usleep(100 * 1000);
  kill(Child, SIGKILL);
  int Status = 0;
  waitpid(Child, &Status, 0);
  EXPECT_EQ(ReadText(Target), "old");
  EXPECT_EQ(FolderEntries(Dir), std::vector<std::string>{"big.bin"});
}

TEST(SafeFile, AFullDiskIsReportedWithTheTargetAndTheReason) {
  const std::string Dir = NewFolder("full");
  if (mount("tmpfs", Dir.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): " << std::strerror(errno);
  const std::string Target = Dir + "/x.bmp";
  WriteText(Target, "old");
  TPixelGraphic G;
  G.SetSize(400, 400, 3);
  const std::string Error = ErrorOf([&] { G.SaveToFile(Target); });
  EXPECT_NE(Error.find(Target), std::string::npos) << Error;
  EXPECT_NE(Error.find("No space left on device"), std::string::npos) << Error;
  EXPECT_EQ(ReadText(Target), "old");
  EXPECT_EQ(FolderEntries(Dir), std::vector<std::string>{"x.bmp"});
  umount(Dir.c_str());
}

std::vector<std::string> Sorted(std::vector<std::string> V) {
  std::sort(V.begin(), V.end());
  return V;
}

TEST(SafeFile, ACommitKilledBeforeItsRenameIsClearedByTheNextWriteOfTheName) {
  const std::string Dir = NewFolder("stalecommit");
  const std::string Target = Dir + "/big.bin";
  WriteText(Target, "old");
  // A writer killed between naming its finished file ".big.bin.PID-N" and renaming it.
  const pid_t Child = fork();
  ASSERT_GE(Child, 0);
  if (Child == 0) {
    const std::string Me = std::to_string(getpid());
    for (const std::string& N : {".big.bin." + Me + "-0", ".other.bin." + Me + "-0"})
      WriteText(Dir + "/" + N, "complete new file");
    symlink("big.bin", (Dir + "/.big.bin." + Me + "-1").c_str());
    _exit(0);
  }
  int Status = 0;
  waitpid(Child, &Status, 0);
  const std::string Dead = std::to_string(Child);
  // One of a process that still runs (pid 1) is someone's commit in progress.
  WriteText(Dir + "/.big.bin.1-0", "in progress");
  // Names of other patterns are not commits.
  WriteText(Dir + "/.big.bin." + Dead + "-x", "user's");
  WriteText(Dir + "/.big.bin.XYZ123", "user's");

  WriteFileSafely(Target, "new", 3);
  EXPECT_EQ(ReadText(Target), "new");
  EXPECT_EQ(Sorted(FolderEntries(Dir)),
            Sorted({".big.bin." + Dead + "-1", ".big.bin." + Dead + "-x", ".big.bin.1-0",
                    ".big.bin.XYZ123", ".other.bin." + Dead + "-0", "big.bin"}));
  // The other name's debris goes with the next write of that name.
  WriteFileSafely(Dir + "/other.bin", "o", 1);
  EXPECT_EQ(Sorted(FolderEntries(Dir)),
            Sorted({".big.bin." + Dead + "-1", ".big.bin." + Dead + "-x", ".big.bin.1-0",
                    ".big.bin.XYZ123", "big.bin", "other.bin"}));
}

namespace {

// The trace of the safe files' syncs and namings while it lives.
struct TTraceScope {
  std::vector<std::string> Calls;
  TTraceScope() {
    SafeFileTrace() = [this](const char* Call, const std::string& Path) {
      Calls.push_back(std::string(Call) + " " + Path);
    };
  }
  ~TTraceScope() { SafeFileTrace() = nullptr; }
};

std::unique_ptr<TSafeFile> Written(const std::string& Target, const std::string& Text,
                                   TCommitMode Mode = TCommitMode::cmReplace) {
  auto F = std::make_unique<TSafeFile>(Target, Mode);
  F->Write(Text.data(), Text.size());
  F->StartWriteback();
  return F;
}

} // namespace

TEST(SafeFile, AGroupIsSyncedOnceBeforeAnyOfItsFilesIsNamed) {
  const std::string A = NewFolder("group-a"), B = NewFolder("group-b");
  TTraceScope Trace;
  TSafeFileGroup G;
  G.Add(Written(A + "/1.txt", "one", TCommitMode::cmNoReplace), 3);
  G.Add(Written(B + "/2.txt", "two"), 3);
  G.Add(Written(A + "/3.txt", "three", TCommitMode::cmNoReplace), 5);
  EXPECT_EQ(G.Count(), 3u);
  EXPECT_EQ(G.Bytes(), 11u);
  // Nothing has a name before the commit, and a name taken meanwhile is not replaced.
  EXPECT_TRUE(FolderEntries(A).empty());
  EXPECT_TRUE(FolderEntries(B).empty());
  WriteFileBytes(A + "/3.txt", {'t', 'h', 'e', 'i', 'r', 's'});
  Trace.Calls.clear();
  const std::vector<std::exception_ptr> R = G.Commit();
  ASSERT_EQ(R.size(), 3u);
  EXPECT_FALSE(R[0]);
  EXPECT_FALSE(R[1]);
  ASSERT_TRUE(R[2]);
  EXPECT_THROW(std::rethrow_exception(R[2]), EPGTargetExists);
  EXPECT_EQ(ReadText(A + "/1.txt"), "one");
  EXPECT_EQ(ReadText(B + "/2.txt"), "two");
  EXPECT_EQ(ReadText(A + "/3.txt"), "theirs");
  EXPECT_EQ(FolderEntries(A), (std::vector<std::string>{"1.txt", "3.txt"}));
  EXPECT_EQ(FolderEntries(B), std::vector<std::string>{"2.txt"});
  // One sync of the file system (both folders are on it), then the names, then each folder.
  EXPECT_EQ(Trace.Calls, (std::vector<std::string>{"syncfs " + A + "/1.txt", "name " + A + "/1.txt",
                                                   "name " + B + "/2.txt", "name " + A + "/3.txt",
                                                   "syncfolder " + A, "syncfolder " + B}));
  EXPECT_EQ(G.Count(), 0u);

  // A single file still syncs itself before its name.
  Trace.Calls.clear();
  Written(A + "/4.txt", "four")->Commit();
  EXPECT_EQ(Trace.Calls, (std::vector<std::string>{"fsync " + A + "/4.txt", "name " + A + "/4.txt",
                                                   "syncfolder " + A}));
}

TEST(SafeFile, ADiscardedGroupLeavesNoFileAndNoTemporary) {
  const std::string A = NewFolder("group-discard");
  WriteFileBytes(A + "/kept.txt", {'o', 'l', 'd'});
  {
    TSafeFileGroup G;
    G.Add(Written(A + "/new.txt", "new"), 3);
    G.Add(Written(A + "/kept.txt", "replacement"), 11);
    G.Discard();
    EXPECT_EQ(G.Count(), 0u);
    G.Add(Written(A + "/late.txt", "late"), 4);
  } // destroyed uncommitted: dropped as well
  EXPECT_EQ(FolderEntries(A), std::vector<std::string>{"kept.txt"});
  EXPECT_EQ(ReadText(A + "/kept.txt"), "old");
}
