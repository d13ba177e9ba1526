// The desktop's thumbnail cache: names and URIs as the desktop makes them, pictures written by
// Orbisk read by independent readers (libpng for the pixels, Python for the text chunks),
// pictures written by another program used, stale ones replaced, fail entries, the cache's own
// files, and orbisk-cli's --no-cache. Every test works in a private XDG_CACHE_HOME.
#include "engine/pixelgraphic.h"
#include "platform/autoorient.h"
#include "tests/common/testutil.h"
#include "thumbnails/thumbcache.h"
#include "thumbnails/thumbcell.h"

#include "platform/codecsettings.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

using namespace orbisk;
using namespace orbisk::test;
namespace fs = std::filesystem;

namespace {

// A fresh cache folder for each test, set as the environment's.
std::string FreshCache(const std::string& Name) {
  const std::string Home = TempPath("xdg-" + Name);
  fs::create_directories(Home);
  ::setenv("XDG_CACHE_HOME", Home.c_str(), 1);
  return Home + "/thumbnails";
}

std::shared_ptr<const TThumbCache> CacheAt(const std::string& Root) {
  return std::make_shared<TThumbCache>(Root);
}

void MakePicture(const std::string& Path, int W, int H) {
  TPixelGraphic G;
  G.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelColor(X, Y, RGBOf(X * 200 / W + 20, Y * 200 / H + 20, 90));
  G.SaveToFile(Path);
}

TThumbCell Cell(const std::string& Path, const std::string& Root, int S = 64) {
  TThumbCellOptions O;
  O.Size = S;
  O.Cache = CacheAt(Root);
  return MakeThumbCell(Path, O);
}

bool HavePython() {
  return std::system("python3 -c 'import zlib' >/dev/null 2>&1") == 0;
}

std::string RunPython(const std::string& Script, const std::vector<std::string>& Args) {
  const std::string File = TempPath("script.py");
  std::ofstream(File) << Script;
  std::string Cmd = "python3 " + File;
  for (const auto& A : Args)
    Cmd += " '" + A + "'";
  std::string Out;
  if (FILE* P = ::popen(Cmd.c_str(), "r")) {
    char Buf[4096];
    size_t N;
    while ((N = std::fread(Buf, 1, sizeof Buf, P)) > 0)
      Out.append(Buf, N);
    ::pclose(P);
  }
  return Out;
}

// An independent reader: checks every chunk's CRC and prints the text keys, one "key=value" a
// line, then "size=WxH".
const char* kReadKeys = R"(import struct, sys, zlib
d = open(sys.argv[1], 'rb').read()
assert d[:8] == b'\x89PNG\r\n\x1a\n'
i = 8
while i < len(d):
    n, t = struct.unpack('>I4s', d[i:i + 8])
    body = d[i + 8:i + 8 + n]
    assert struct.unpack('>I', d[i + 8 + n:i + 12 + n])[0] == zlib.crc32(t + body) & 0xffffffff
    if t == b'IHDR':
        w, h = struct.unpack('>II', body[:8])
    if t == b'tEXt':
        k, v = body.split(b'\0', 1)
        print(k.decode('latin-1') + '=' + v.decode('latin-1'))
    i += 12 + n
print('size=%dx%d' % (w, h))
)";

// Another program's cache picture: a solid W x H RGB PNG with the given text keys.
const char* kWriteForeign = R"(import struct, sys, zlib
out, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
def chunk(t, b):
    return struct.pack('>I', len(b)) + t + b + struct.pack('>I', zlib.crc32(t + b) & 0xffffffff)
raw = b''.join(b'\0' + bytes([250, 0, 250]) * w for _ in range(h))
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))
for kv in sys.argv[4:]:
    k, v = kv.split('=', 1)
    png += chunk(b'tEXt', k.encode() + b'\0' + v.encode())
png += chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b'')
open(out, 'wb').write(png)
)";

std::map<std::string, std::string> KeysOf(const std::string& Png) {
  std::map<std::string, std::string> Keys;
  std::istringstream In(RunPython(kReadKeys, {Png}));
  for (std::string Line; std::getline(In, Line);) {
    const size_t Eq = Line.find('=');
    if (Eq != std::string::npos) Keys[Line.substr(0, Eq)] = Line.substr(Eq + 1);
  }
  return Keys;
}

int ModeOf(const std::string& Path) {
  struct stat St {};
  return ::stat(Path.c_str(), &St) == 0 ? int(St.st_mode & 07777) : -1;
}

int64_t MTimeOf(const std::string& Path) {
  struct stat St {};
  ::stat(Path.c_str(), &St);
  return int64_t(St.st_mtime);
}

void SetMTime(const std::string& Path, time_t T) {
  struct utimbuf U {
    T, T
  };
  ::utime(Path.c_str(), &U);
}

// The cell shows a picture of the fitted size at its place, background everywhere else.
::testing::AssertionResult FollowsTheFit(const TPixelGraphic& Cell, int FullW, int FullH, int S) {
  const TSize2 Fit = FitThumbnail(FullW, FullH, S);
  const int Left = ThumbLeft(S, Fit.Width);
  for (int Y = 0; Y < S; ++Y)
    for (int X = 0; X < S; ++X) {
      const bool In = X >= Left && X < Left + Fit.Width && Y < Fit.Height;
      if ((Cell.GetPixelColor(X, Y) == kThumbBackground) == In)
        return ::testing::AssertionFailure() << "pixel " << X << "," << Y << " for a fit of "
                                             << Fit.Width << "x" << Fit.Height << " at " << Left;
    }
  return ::testing::AssertionSuccess();
}

} // namespace

TEST(ThumbCacheNames, FollowTheDesktopsRules) {
  // The example of the desktop's thumbnail rules.
  EXPECT_EQ(ThumbMd5Hex("file:///home/jens/photos/me.png"), "c6ee772d9e49320e97ec29a7eb5b1697");
  EXPECT_EQ(ThumbFileUri("/home/jens/photos/me.png"), "file:///home/jens/photos/me.png");
  EXPECT_EQ(ThumbFileUri("/a b/#x%y?;[1]{2}\"<>^`|\\.jpg"),
            "file:///a%20b/%23x%25y%3F%3B%5B1%5D%7B2%7D%22%3C%3E%5E%60%7C%5C.jpg");
  EXPECT_EQ(ThumbFileUri("/k/!$&'()*+,-.:=@_~.jpg"), "file:///k/!$&'()*+,-.:=@_~.jpg");
  EXPECT_EQ(ThumbFileUri("/f\xC3\xBCr.jpg"), "file:///f%C3%BCr.jpg");
  if (HavePython()) {
    // GLib escapes paths as Python's quote does with these characters kept.
    const std::string Path = "/t/a b/\xC3\xA9t\xC3\xA9 #1;(2)+x=y@z~.jpg";
    const std::string Py =
        RunPython("import sys, urllib.parse\nprint('file://' + urllib.parse.quote("
                  "sys.argv[1].encode('utf-8', 'surrogateescape'), safe=\"/!$&'()*+,:=@~\"), "
                  "end='')\n",
                  {Path});
    EXPECT_EQ(ThumbFileUri(Path), Py);
  }
}

TEST(ThumbCache, WritesNormalAndLargePicturesOthersCanRead) {
  const std::string Root = FreshCache("write");
  const std::string Pic = TempPath("photo.jpg");
  // Its 1/8 decode for a 64-pixel cell (301 x 226) covers both boxes.
  MakePicture(Pic, 2403, 1801);
  const TThumbCell First = Cell(Pic, Root);
  ASSERT_EQ(First.Source, TCellSource::csPicture) << First.Error;
  EXPECT_FALSE(First.FromCache);
  TThumbSource Src;
  ASSERT_TRUE(TThumbCache(Root).Describe(Pic, Src));
  EXPECT_EQ(Src.Uri, "file://" + Pic);
  EXPECT_EQ(ModeOf(Root), 0700);
  struct Box {
    const char* Folder;
    int W, H;
  };
  for (Box B : {Box{"normal", 128, 96}, Box{"large", 256, 192}}) {
    const std::string File = Root + "/" + B.Folder + "/" + ThumbMd5Hex("file://" + Pic) + ".png";
    ASSERT_TRUE(fs::exists(File)) << File;
    EXPECT_EQ(ModeOf(Root + "/" + B.Folder), 0700);
    EXPECT_EQ(ModeOf(File), 0600);
    RGBAImage Img;
    ASSERT_TRUE(LoadPNGReference(File, Img)) << File;
    EXPECT_EQ(Img.Width, B.W);
    EXPECT_EQ(Img.Height, B.H);
    if (HavePython()) {
      auto Keys = KeysOf(File);
      EXPECT_EQ(Keys["Thumb::URI"], "file://" + Pic);
      EXPECT_EQ(Keys["Thumb::MTime"], std::to_string(MTimeOf(Pic)));
      EXPECT_EQ(Keys["Thumb::Size"], std::to_string(fs::file_size(Pic)));
      EXPECT_EQ(Keys["Thumb::Image::Width"], "2403");
      EXPECT_EQ(Keys["Thumb::Image::Height"], "1801");
      EXPECT_EQ(Keys["Software"].rfind("Orbisk", 0), 0u);
      EXPECT_EQ(Keys["size"], std::to_string(B.W) + "x" + std::to_string(B.H));
    }
  }
  // No temporary file is left behind.
  for (const auto& E : fs::recursive_directory_iterator(Root))
    if (E.is_regular_file()) {
      EXPECT_EQ(E.path().extension(), ".png") << E.path();
    }

  // The next time the cell comes from the cache, with the whole picture's geometry, at every
  // size (192 and 256 from the large picture).
  for (int S : {64, 96, 128, 192, 256}) {
    const TThumbCell Again = Cell(Pic, Root, S);
    EXPECT_TRUE(Again.FromCache) << S;
    EXPECT_TRUE(FollowsTheFit(*Again.Picture, 2403, 1801, S)) << S;
  }
  // Without a cache the cell is made from the file as ever.
  EXPECT_FALSE(MakeThumbCell(Pic, {}).FromCache);
}

TEST(ThumbCache, SmallDecodesWriteOnlyTheBoxesTheyCover) {
  const std::string Root = FreshCache("small");
  // A whole picture below both boxes is written as it is into both.
  const std::string Small = TempPath("small.png");
  MakePicture(Small, 100, 40);
  ASSERT_EQ(Cell(Small, Root).Source, TCellSource::csPicture);
  const std::string Hash = ThumbMd5Hex("file://" + Small);
  for (const char* F : {"normal", "large"}) {
    RGBAImage Img;
    ASSERT_TRUE(LoadPNGReference(Root + "/" + F + "/" + Hash + ".png", Img)) << F;
    EXPECT_EQ(Img.Width, 100);
    EXPECT_EQ(Img.Height, 40);
  }
  const TThumbCell C = Cell(Small, Root);
  EXPECT_TRUE(C.FromCache);
  EXPECT_TRUE(FollowsTheFit(*C.Picture, 100, 40, 64));
  // A JPEG whose 1/8 decode for a 64-pixel cell (200 x 150) is below the large box writes the
  // normal picture only.
  const std::string Mid = TempPath("mid.jpg");
  MakePicture(Mid, 1600, 1200);
  ASSERT_EQ(Cell(Mid, Root).Source, TCellSource::csPicture);
  const std::string MidHash = ThumbMd5Hex("file://" + Mid);
  EXPECT_TRUE(fs::exists(Root + "/normal/" + MidHash + ".png"));
  EXPECT_FALSE(fs::exists(Root + "/large/" + MidHash + ".png"));
  // A 256-pixel cell then decodes the file (the normal picture does not cover it) and fills in
  // the large picture.
  EXPECT_FALSE(Cell(Mid, Root, 256).FromCache);
  EXPECT_TRUE(fs::exists(Root + "/large/" + MidHash + ".png"));
  EXPECT_TRUE(Cell(Mid, Root, 256).FromCache);
}

TEST(ThumbCache, UsesAnotherProgramsPicturesAndReplacesStaleOnes) {
  if (!HavePython()) GTEST_SKIP() << "python3 makes the other program's pictures";
  const std::string Root = FreshCache("foreign");
  const std::string Pic = TempPath("shot.jpg");
  MakePicture(Pic, 1603, 1201);
  const std::string Uri = "file://" + Pic, Mtime = std::to_string(MTimeOf(Pic));
  const std::string Normal = Root + "/normal/" + ThumbMd5Hex(Uri) + ".png";
  fs::create_directories(Root + "/normal");
  // Another program's picture: its own software key, no size, and the whole picture's size
  // given, which decides the fit (64 x 47, where the picture's own 128 x 96 would give 48 rows).
  RunPython(kWriteForeign,
            {Normal, "128", "96", "Thumb::URI=" + Uri, "Thumb::MTime=" + Mtime,
             "Software=Another Viewer", "Thumb::Image::Width=1603", "Thumb::Image::Height=1201"});
  ASSERT_TRUE(fs::exists(Normal));
  TThumbCell C = Cell(Pic, Root);
  EXPECT_TRUE(C.FromCache);
  EXPECT_EQ(C.Picture->GetPixelColor(10, 10), RGBOf(250, 0, 250));
  EXPECT_TRUE(FollowsTheFit(*C.Picture, 1603, 1201, 64));
  // Without the whole picture's size the picture's own decides.
  RunPython(kWriteForeign, {Normal, "128", "96", "Thumb::URI=" + Uri, "Thumb::MTime=" + Mtime});
  C = Cell(Pic, Root);
  EXPECT_TRUE(C.FromCache);
  EXPECT_TRUE(FollowsTheFit(*C.Picture, 128, 96, 64));
  // A picture of another file (URI), or of an older state of this one (MTime, Size), is not used
  // and gets replaced by Orbisk's.
  for (const std::vector<std::string>& Bad :
       {std::vector<std::string>{"Thumb::URI=file:///elsewhere.jpg", "Thumb::MTime=" + Mtime},
        {"Thumb::URI=" + Uri, "Thumb::MTime=" + std::to_string(MTimeOf(Pic) - 10)},
        {"Thumb::URI=" + Uri, "Thumb::MTime=" + Mtime, "Thumb::Size=12"}}) {
    std::vector<std::string> Args = {Normal, "128", "96"};
    Args.insert(Args.end(), Bad.begin(), Bad.end());
    RunPython(kWriteForeign, Args);
    C = Cell(Pic, Root);
    EXPECT_FALSE(C.FromCache) << Bad[0] << " " << Bad[1];
    EXPECT_NE(C.Picture->GetPixelColor(10, 10), RGBOf(250, 0, 250));
    auto Keys = KeysOf(Normal);
    EXPECT_EQ(Keys["Thumb::URI"], Uri);
    EXPECT_EQ(Keys["Thumb::MTime"], Mtime);
    EXPECT_EQ(Keys["Software"].rfind("Orbisk", 0), 0u);
  }
  // A changed file makes Orbisk's own picture stale too.
  SetMTime(Pic, time_t(MTimeOf(Pic) + 100));
  EXPECT_FALSE(Cell(Pic, Root).FromCache);
  EXPECT_TRUE(Cell(Pic, Root).FromCache);
  // Damaged cache files are passed over.
  WriteFileBytes(Normal, {0x89, 'P', 'N', 'G', 1, 2, 3});
  C = Cell(Pic, Root);
  EXPECT_EQ(C.Source, TCellSource::csPicture);
  EXPECT_FALSE(C.FromCache);
}

// Cache files are other programs' data: cut or damaged anywhere, they are passed over (or, where
// the damage leaves them valid, used) and never crash the reader.
TEST(ThumbCache, SurvivesDamagedCacheFiles) {
  const std::string Root = FreshCache("damaged");
  const std::string Pic = TempPath("d.png");
  MakePicture(Pic, 200, 150);
  ASSERT_EQ(Cell(Pic, Root).Source, TCellSource::csPicture);
  const std::string Normal = Root + "/normal/" + ThumbMd5Hex("file://" + Pic) + ".png";
  const std::vector<uint8_t> Good = ReadFileBytes(Normal);
  ASSERT_FALSE(Good.empty());
  uint32_t Seed = 12345;
  auto Next = [&] { return Seed = Seed * 1664525u + 1013904223u; };
  for (int Round = 0; Round < 300; ++Round) {
    std::vector<uint8_t> Bad = Good;
    if (Round % 3 == 0) {
      Bad.resize(Next() % Bad.size());
    } else {
      for (int K = 0; K < 1 + Round % 7; ++K)
        Bad[Next() % Bad.size()] = uint8_t(Next());
    }
    WriteFileBytes(Normal, Bad);
    std::map<std::string, std::string> Keys;
    ReadPngTextKeys(Bad.data(), Bad.size(), Keys);
    const TThumbCell C = Cell(Pic, Root);
    ASSERT_EQ(C.Source, TCellSource::csPicture) << Round;
    ASSERT_TRUE(C.Picture && C.Picture->Width() == 64) << Round;
  }
}

TEST(ThumbCache, RemembersFilesThatCannotBeRead) {
  const std::string Root = FreshCache("fail");
  const std::string Bad = TempPath("broken.jpg");
  WriteFileBytes(Bad, {0xFF, 0xD8, 0x00, 0x01, 0x02});
  TThumbCell C = Cell(Bad, Root);
  EXPECT_EQ(C.Source, TCellSource::csPlaceholder);
  EXPECT_FALSE(C.FromCache);
  const std::string Fail =
      Root + "/" + TThumbCache::FailFolder() + "/" + ThumbMd5Hex("file://" + Bad) + ".png";
  ASSERT_TRUE(fs::exists(Fail));
  EXPECT_EQ(TThumbCache::FailFolder().rfind("fail/orbisk-", 0), 0u);
  EXPECT_EQ(ModeOf(Fail), 0600);
  if (HavePython()) {
    auto Keys = KeysOf(Fail);
    EXPECT_EQ(Keys["Thumb::URI"], "file://" + Bad);
    EXPECT_EQ(Keys["Thumb::MTime"], std::to_string(MTimeOf(Bad)));
  }
  EXPECT_FALSE(fs::exists(Root + "/normal/" + ThumbMd5Hex("file://" + Bad) + ".png"));
  // Not tried again while the file is unchanged; the placeholder stays the same.
  const TThumbCell Again = Cell(Bad, Root);
  EXPECT_EQ(Again.Source, TCellSource::csPlaceholder);
  EXPECT_TRUE(Again.FromCache);
  EXPECT_EQ(std::memcmp(Again.Picture->Bits(), C.Picture->Bits(), size_t(C.Picture->ImageSize())),
            0);
  // Mended, the file is read again.
  MakePicture(Bad, 300, 200);
  SetMTime(Bad, time_t(MTimeOf(Bad) + 5));
  C = Cell(Bad, Root);
  EXPECT_EQ(C.Source, TCellSource::csPicture) << C.Error;
  EXPECT_FALSE(C.FromCache);
}

TEST(ThumbCache, LeavesItsOwnFilesAndStoredPicturesAlone) {
  const std::string Root = FreshCache("own");
  const std::string Pic = TempPath("pic.png");
  MakePicture(Pic, 300, 200);
  ASSERT_EQ(Cell(Pic, Root).Source, TCellSource::csPicture);
  // A picture inside the cache folder, under any name, is made as ever and not cached.
  const std::string Inside = Root + "/normal/" + ThumbMd5Hex("file://" + Pic) + ".png";
  size_t Before = 0;
  for (const auto& E : fs::recursive_directory_iterator(Root))
    Before += E.is_regular_file();
  TThumbSource Src;
  EXPECT_FALSE(TThumbCache(Root).Describe(Inside, Src));
  EXPECT_FALSE(TThumbCache(Root).Describe(Root + "/normal/../large/x.png", Src));
  const TThumbCell C = Cell(Inside, Root);
  EXPECT_EQ(C.Source, TCellSource::csPicture);
  EXPECT_FALSE(C.FromCache);
  size_t After = 0;
  for (const auto& E : fs::recursive_directory_iterator(Root))
    After += E.is_regular_file();
  EXPECT_EQ(After, Before);
  // With pictures shown as stored (the cache's pictures stand upright) it is neither read nor
  // written.
  const std::string Other = TempPath("other.png");
  MakePicture(Other, 300, 200);
  SetAutoOrientPictures(false);
  EXPECT_FALSE(Cell(Pic, Root).FromCache);
  Cell(Other, Root);
  SetAutoOrientPictures(true);
  EXPECT_FALSE(fs::exists(Root + "/normal/" + ThumbMd5Hex("file://" + Other) + ".png"));
  // Nor with colour profiles off: the cache's pictures are in sRGB, the cells then are not.
  SetUseColourProfiles(false);
  EXPECT_FALSE(Cell(Pic, Root).FromCache);
  Cell(Other, Root);
  SetUseColourProfiles(true);
  EXPECT_FALSE(fs::exists(Root + "/normal/" + ThumbMd5Hex("file://" + Other) + ".png"));
  EXPECT_TRUE(Cell(Pic, Root).FromCache);
}

TEST(ThumbCache, CliReadsAndWritesItUnlessNoCache) {
  const std::string Root = FreshCache("cli");
  const std::string Src = TempPath("cli-src"), Out = TempPath("cli-out");
  fs::create_directories(Src);
  fs::create_directories(Out);
  MakePicture(Src + "/a.jpg", 1800, 1200);
  // --no-cache, and a run that shows pictures as stored, leave the cache alone and write the
  // cells made from the files.
  ASSERT_EQ(RunCli({"thumbnails", Out, Src + "/a.jpg", "--no-cache", "--auto-orient"}), 0);
  ASSERT_EQ(RunCli({"thumbnails", Out, Src + "/a.jpg", "--overwrite"}), 0);
  EXPECT_FALSE(fs::exists(Root));
  TPixelGraphic Saved;
  Saved.LoadFromFile(Out + "/thm_a.bmp");
  const TThumbCell Direct = MakeThumbCell(Src + "/a.jpg", {});
  EXPECT_EQ(std::memcmp(Saved.Bits(), Direct.Picture->Bits(), size_t(Saved.ImageSize())), 0);
  // With --auto-orient it fills the cache as the explorer does, and reads it the next time.
  ASSERT_EQ(RunCli({"thumbnails", Out, Src + "/a.jpg", "--auto-orient", "--overwrite"}), 0);
  const std::string Normal = Root + "/normal/" + ThumbMd5Hex("file://" + Src + "/a.jpg") + ".png";
  ASSERT_TRUE(fs::exists(Normal));
  EXPECT_TRUE(Cell(Src + "/a.jpg", Root).FromCache);
}
