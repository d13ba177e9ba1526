// The converter's rules without its window: destination names, the overwrite question and the
// "!" prefix, the source never replaced, the displayed size with sharpening, safe writes.
#include "engine/formats/jpeg.h"
#include "engine/imagemetadata.h"
#include "engine/orientation.h"
#include "engine/pixelgraphic.h"
#include "platform/codecsettings.h"
#include "processing/converter.h"
#include "tests/browser/browsertest.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace orbisk;
namespace fs = std::filesystem;

namespace {

std::string Folder(const char* Name) {
  return test::MakeFolder(Name).toStdString();
}

// Blocks of colour with hard edges, so that sharpening shows.
std::unique_ptr<TPixelGraphic> Blocks(int W, int H) {
  auto G = std::make_unique<TPixelGraphic>();
  G->SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G->SetPixelColor(X, Y, ((X / 50 + Y / 50) % 2) ? RGBOf(220, 40, 40) : RGBOf(30, 30, 200));
  return G;
}

std::string Save(const TPixelGraphic& G, const std::string& Path) {
  TPixelGraphic C;
  C.Assign(&G);
  C.SaveToFile(Path);
  return Path;
}

std::vector<std::string> Asked;
TOverwriteQuestion Answer(std::vector<bool> Answers) {
  Asked.clear();
  return [Answers, I = size_t(0)](const std::string& D) mutable {
    Asked.push_back(D);
    return I < Answers.size() ? bool(Answers[I++]) : false;
  };
}

TEST(ConverterNames, DestinationIsTheNameUpToItsFirstDotPlusTheType) {
  EXPECT_EQ(ConvertDestination("/pics/a.b.jpg", "png"), "/pics/a.png");
  EXPECT_EQ(ConvertDestination("/pics/a.jpg", "bmp"), "/pics/a.bmp");
  EXPECT_EQ(ConvertDestination("a.jpg", "tga"), "a.tga");
  // A dot in a folder name is not the file name's dot; names without one get one.
  EXPECT_EQ(ConvertDestination("/my.pics/photo", "bmp"), "/my.pics/photo.bmp");
  // The dot that makes a name hidden does not end it.
  EXPECT_EQ(ConvertDestination("/p/.x.jpg", "gif"), "/p/.x.gif");
  EXPECT_EQ(PrefixFileName("/p/a.bmp"), "/p/!a.bmp");
  EXPECT_EQ(PrefixFileName("a.bmp"), "!a.bmp");
  // The list's entries and their extensions.
  EXPECT_STREQ(ConvertTargetText(ctJPG), "JPG - jpeg (jfif compliant)");
  const char* Ext[] = {"bmp", "jpg", "tif", "png", "tga", "gif", "webp", "webp", "avif"};
  static_assert(std::size(Ext) == ctCount);
  for (int I = 0; I < ctCount; ++I) {
    EXPECT_EQ(ConvertTargetExtension(TConvertTarget(I)), Ext[I]);
    TConvertTarget T;
    ASSERT_TRUE(ConvertTargetFromExtension(Ext[I], T));
    EXPECT_EQ(T, I == ctWEBPLossless ? ctWEBP : I); // "webp" names the lossy entry
  }
  TConvertTarget T;
  EXPECT_FALSE(ConvertTargetFromExtension("pcx", T));
}

TEST(ConverterNames, OverwriteQuestionAndBangPrefix) {
  const std::string D = Folder("names");
  const std::string Src = Save(*Blocks(20, 10), D + "/a.jpg");
  // Nothing in the way: no question.
  EXPECT_EQ(ChooseConvertDestination(Src, ctBMP, Answer({})), D + "/a.bmp");
  EXPECT_TRUE(Asked.empty());
  test::WriteBytes(QString::fromStdString(D + "/a.bmp"), 10);
  EXPECT_EQ(ChooseConvertDestination(Src, ctBMP, Answer({true})), D + "/a.bmp");
  EXPECT_EQ(Asked, std::vector<std::string>{D + "/a.bmp"});
  EXPECT_EQ(ChooseConvertDestination(Src, ctBMP, Answer({false})), D + "/!a.bmp");
  // "!" again only when the "!" name exists too.
  test::WriteBytes(QString::fromStdString(D + "/!a.bmp"), 10);
  EXPECT_EQ(ChooseConvertDestination(Src, ctBMP, Answer({false, false})), D + "/!!a.bmp");
  EXPECT_EQ(Asked, (std::vector<std::string>{D + "/a.bmp", D + "/!a.bmp"}));
  EXPECT_EQ(ChooseConvertDestination(Src, ctBMP, Answer({false, true})), D + "/!a.bmp");
}

TEST(ConverterNames, TheSourceIsNeverOfferedForReplacing) {
  const std::string D = Folder("own");
  const std::string Src = Save(*Blocks(20, 10), D + "/a.jpg");
  // Yes would replace it: the question is not asked at all.
  EXPECT_EQ(ChooseConvertDestination(Src, ctJPG, Answer({true})), D + "/!a.jpg");
  EXPECT_TRUE(Asked.empty());
  // Also when the source is reached through a link of the destination's name.
  const std::string Other = Save(*Blocks(20, 10), D + "/b.png");
  fs::create_symlink(Other, D + "/b.jpg");
  EXPECT_EQ(ChooseConvertDestination(D + "/b.jpg", ctJPG, Answer({true})), D + "/!b.jpg");
  EXPECT_TRUE(Asked.empty());
  // An existing "!" name is a file of its own: asked about.
  test::WriteBytes(QString::fromStdString(D + "/!a.jpg"), 10);
  EXPECT_EQ(ChooseConvertDestination(Src, ctJPG, Answer({true})), D + "/!a.jpg");
  EXPECT_EQ(Asked, std::vector<std::string>{D + "/!a.jpg"});
}

TEST(ConverterWrite, OwnFormatKeepsTheSourceByteForByte) {
  const std::string D = Folder("ownwrite");
  const std::string Src = Save(*Blocks(64, 48), D + "/a.jpg");
  const auto Before = test::ReadFileBytes(Src);
  TPixelGraphic G;
  G.LoadFromFile(Src);
  TConvertSettings S;
  S.Target = ctJPG;
  const std::string Dest = ChooseConvertDestination(Src, ctJPG, Answer({true}));
  ASSERT_TRUE(ConvertPictureFile(G, Src, Dest, S));
  EXPECT_EQ(test::ReadFileBytes(Src), Before);
  TPixelGraphic R;
  R.LoadFromFile(D + "/!a.jpg");
  EXPECT_EQ(R.Width(), 64);
  // Asked to write over the source anyway, the converter refuses and leaves it alone.
  EXPECT_THROW(ConvertPictureFile(G, Src, Src, S), EPGStreamError);
  EXPECT_EQ(test::ReadFileBytes(Src), Before);
}

TEST(ConverterWrite, DisplayedSizeIsSharpenedUnlessSwitchedOff) {
  const auto SrcP = Blocks(2000, 1500);
  const TPixelGraphic& Src = *SrcP;
  TConvertSettings S;
  S.Target = ctPNG;
  S.MaintainOriginalSize = false;
  S.DisplayWidth = 400;
  S.DisplayHeight = 300;
  auto Sharp = ConvertedPicture(Src, S);
  ASSERT_EQ(Sharp->Width(), 400);
  ASSERT_EQ(Sharp->Height(), 300);
  EXPECT_EQ(Sharp->BitCountNum(), 3);
  S.AutoSharpen = false;
  auto Soft = ConvertedPicture(Src, S);
  ASSERT_EQ(Soft->Width(), 400);
  // Next to an edge the sharpened picture overshoots: the blue side gets bluer than blue.
  int Differ = 0, MoreContrast = 0;
  for (int Y = 0; Y < 300; ++Y)
    for (int X = 1; X < 399; ++X) {
      const TRGB A = Sharp->GetPixelColor(X, Y), B = Soft->GetPixelColor(X, Y);
      if (A != B) ++Differ;
      const int DA = std::abs(int(RedOf(Sharp->GetPixelColor(X + 1, Y))) - int(RedOf(A)));
      const int DB = std::abs(int(RedOf(Soft->GetPixelColor(X + 1, Y))) - int(RedOf(B)));
      if (DA > DB) ++MoreContrast;
    }
  EXPECT_GT(Differ, 1000);
  EXPECT_GT(MoreContrast, 100);
  // Flat areas stay as they were.
  EXPECT_EQ(Sharp->GetPixelColor(2, 2), Soft->GetPixelColor(2, 2));
  // Original size: the picture unchanged.
  S.MaintainOriginalSize = true;
  auto Same = ConvertedPicture(Src, S);
  EXPECT_EQ(Same->Width(), 2000);
  EXPECT_EQ(Same->GetPixelColor(49, 0), Src.GetPixelColor(49, 0));
  // A resize to nothing is an error, not an empty file.
  S.MaintainOriginalSize = false;
  S.DisplayWidth = 0;
  EXPECT_THROW(ConvertedPicture(Src, S), EPixelGraphic);
}

TEST(ConverterWrite, GifUsesTheOptimizedPaletteAndThePicker) {
  const std::string D = Folder("gif");
  const auto SrcP = Blocks(120, 80);
  const TPixelGraphic& Src = *SrcP;
  TConvertSettings S;
  S.Target = ctGIF;
  auto G = ConvertedPicture(Src, S);
  EXPECT_EQ(G->BitCountNum(), 2);
  EXPECT_LE(G->PaletteCount(), 256);
  S.Transparent = true;
  // Cancelled: nothing written.
  EXPECT_FALSE(ConvertPictureFile(Src, D + "/s.png", D + "/t.gif", S,
                                  [](TPixelGraphic&, TRGB&) { return false; }));
  EXPECT_FALSE(fs::exists(D + "/t.gif"));
  TRGB Offered = 1;
  ASSERT_TRUE(
      ConvertPictureFile(Src, D + "/s.png", D + "/t.gif", S, [&](TPixelGraphic& P, TRGB& C) {
        C = Offered = P.GetPixelColor(0, 0);
        return true;
      }));
  TPixelGraphic R;
  R.LoadFromFile(D + "/t.gif");
  EXPECT_EQ(R.Width(), 120);
  // The file names a transparent colour: a graphic control extension with its flag set.
  const auto Bytes = test::ReadFileBytes(D + "/t.gif");
  bool Flag = false;
  for (size_t I = 0; I + 3 < Bytes.size(); ++I)
    if (Bytes[I] == 0x21 && Bytes[I + 1] == 0xF9 && Bytes[I + 2] == 4) Flag = Bytes[I + 3] & 1;
  EXPECT_TRUE(Flag);
  EXPECT_NE(Offered, TRGB(1));
}

TEST(ConverterWrite, JpegQualityAppliesToThisWriteOnly) {
  const std::string D = Folder("quality");
  auto SrcP = Blocks(200, 150);
  TPixelGraphic& Src = *SrcP;
  for (int Y = 0; Y < 150; ++Y)
    for (int X = 0; X < 200; ++X)
      Src.SetPixelColor(X, Y, RGBOf((X * 7 + Y * 3) % 256, (X * Y) % 256, (X + Y) % 256));
  const int Before = CurrentWriteOptions().JPEGQuality;
  TConvertSettings S;
  S.Target = ctJPG;
  S.JPEGQuality = 10;
  ASSERT_TRUE(ConvertPictureFile(Src, D + "/s.png", D + "/low.jpg", S));
  S.JPEGQuality = 100;
  ASSERT_TRUE(ConvertPictureFile(Src, D + "/s.png", D + "/high.jpg", S));
  EXPECT_EQ(CurrentWriteOptions().JPEGQuality, Before);
  EXPECT_LT(fs::file_size(D + "/low.jpg") * 2, fs::file_size(D + "/high.jpg"));
}

TEST(ConverterWrite, FailedWritesLeaveTheTargetAsItWas) {
  const std::string D = Folder("fail");
  const std::string Target = D + "/a.jpg";
  test::WriteBytes(QString::fromStdString(Target), 321);
  const auto Before = test::ReadFileBytes(Target);
  // The JPEG writer refuses this width half-way through the write.
  TPixelGraphic Wide;
  Wide.SetSize(70000, 2, 3);
  TConvertSettings S;
  S.Target = ctJPG;
  EXPECT_THROW(ConvertPictureFile(Wide, D + "/w.bmp", Target, S), std::exception);
  EXPECT_EQ(test::ReadFileBytes(Target), Before);
  // A read-only target is refused, also where the folder would allow replacing it.
  chmod(Target.c_str(), 0444);
  const auto SmallP = Blocks(10, 10);
  const TPixelGraphic& Small = *SmallP;
  try {
    ConvertPictureFile(Small, D + "/s.bmp", Target, S);
    ADD_FAILURE() << "a read-only target was replaced";
  } catch (const EPGStreamError& E) {
    EXPECT_NE(std::string(E.what()).find(Target), std::string::npos);
  }
  EXPECT_EQ(test::ReadFileBytes(Target), Before);
  chmod(Target.c_str(), 0644);
  // A folder that cannot be written (not for the superuser, who may write anywhere).
  if (geteuid() != 0) {
    chmod(D.c_str(), 0555);
    EXPECT_THROW(ConvertPictureFile(Small, D + "/s.bmp", Target, S), EPGStreamError);
    chmod(D.c_str(), 0755);
    EXPECT_EQ(test::ReadFileBytes(Target), Before);
  }
  // No temporary file is left behind.
  int Entries = 0;
  for (const auto& E : fs::directory_iterator(D)) {
    (void)E;
    ++Entries;
  }
  EXPECT_EQ(Entries, 1);
}

// A big-endian camera block: Orientation 6, the pixel size 300 x 200 in the Exif directory and a
// thumbnail directory after the first.
std::vector<uint8_t> CameraExif() {
  return {'M',  'M',  0, 42, 0, 0, 0, 8, 0, 2,          // IFD0 at 8
          1,    18,   0, 3,  0, 0, 0, 1, 0, 6,   0, 0,  // Orientation 6
          0x87, 0x69, 0, 4,  0, 0, 0, 1, 0, 0,   0, 38, // Exif directory at 38
          0,    0,    0, 68,                            // thumbnail directory at 68
          0,    2,                                      // Exif IFD at 38
          0xA0, 2,    0, 3,  0, 0, 0, 1, 1, 44,  0, 0,  // PixelXDimension 300
          0xA0, 3,    0, 3,  0, 0, 0, 1, 0, 200, 0, 0,  // PixelYDimension 200
          0,    0,    0, 0,  0, 1, 1, 3, 0, 3,   0, 0,  0, 1, 0, 6, 0, 0, 0, 0, 0, 0}; // IFD1 at 68
}

TEST(ConverterWrite, TheSourcesMetadataFollowsTheWrittenPixels) {
  const std::string D = Folder("convmeta");
  auto G = Blocks(300, 200);
  G->Metadata.Exif = CameraExif();
  G->Metadata.Xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>";
  G->SaveToFile(D + "/cam.jpg");
  ASSERT_EQ(ReadImageMetadata(D + "/cam.jpg").Exif, CameraExif());
  TPixelGraphic Source;
  Source.LoadFromFile(D + "/cam.jpg");
  ASSERT_EQ(Source.ExifOrientation, 6);
  // Stored pixels as they came: the block as it was.
  TConvertSettings S;
  S.Target = ctPNG;
  ASSERT_TRUE(ConvertPictureFile(Source, D + "/cam.jpg", D + "/cam.png", S));
  TImageMetadata M = ReadImageMetadata(D + "/cam.png");
  EXPECT_EQ(M.Exif, CameraExif());
  EXPECT_EQ(M.Xmp, G->Metadata.Xmp);
  // Turned upright on loading: orientation 1 and no thumbnail of the unturned picture.
  M = ConvertedMetadata(Source, D + "/cam.jpg", 300, 200);
  EXPECT_EQ(OrientationFromExif(M.Exif.data(), M.Exif.size()), 6);
  AutoOrient(Source);
  M = ConvertedMetadata(Source, D + "/cam.jpg", Source.Width(), Source.Height());
  EXPECT_EQ(OrientationFromExif(M.Exif.data(), M.Exif.size()), 1);
  EXPECT_EQ((M.Exif[48] << 8) | M.Exif[49], 200) << "PixelXDimension is the turned width";
  EXPECT_EQ((M.Exif[60] << 8) | M.Exif[61], 300);
  EXPECT_EQ(M.Exif[37], 0) << "the thumbnail directory is unlinked";
  // The displayed size: the Exif pixel size follows it.
  S.MaintainOriginalSize = false;
  S.DisplayWidth = 120;
  S.DisplayHeight = 80;
  S.Target = ctJPG;
  ASSERT_TRUE(ConvertPictureFile(Source, D + "/cam.jpg", D + "/small.jpg", S));
  M = ReadImageMetadata(D + "/small.jpg");
  ASSERT_EQ(M.Exif.size(), CameraExif().size());
  EXPECT_EQ((M.Exif[48] << 8) | M.Exif[49], 120);
  EXPECT_EQ((M.Exif[60] << 8) | M.Exif[61], 80);
  // A source without metadata is written as before: nothing added.
  Save(*Blocks(30, 20), D + "/plain.bmp");
  TPixelGraphic Plain;
  Plain.LoadFromFile(D + "/plain.bmp");
  ASSERT_TRUE(ConvertPictureFile(Plain, D + "/plain.bmp", D + "/plain.jpg", S));
  EXPECT_TRUE(ReadImageMetadata(D + "/plain.jpg").Empty());
}

TEST(ConverterNames, SourcesAreEveryNameTheEngineReads) {
  for (const char* N : {"a.jpg", "a.JPEG", "a.jpe", "a.jfif", "a.jif", "a.ppm", "a.PGM", "a.pbm",
                        "a.tiff", "a.webp", "/x.y/a.png"})
    EXPECT_TRUE(ConvertibleSourceName(N)) << N;
  for (const char* N : {"a.txt", "a", "/x.jpg/a", "a.jpgx"})
    EXPECT_FALSE(ConvertibleSourceName(N)) << N;
}

} // namespace
