// Reduced decodes for thumbnails (TPixelGraphic::ReducedSize): WebP scaled decoding, HEIF
// thumbnail items, the JPEG XL low-frequency pass and TIFF reduced-resolution subfiles. Each
// reduced picture is at least as large as asked and no larger than stored, reports the stored
// size, shows what the full decode shows, and keeps the full decode's orientation; without the
// request the full picture comes out as before.
#include "engine/formats/decodedrows.h"
#include "engine/formats/webp.h"
#include "engine/registry.h"
#include "engine/stream.h"
#include "tests/common/orientationfixture.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <libheif/heif.h>
#include <png.h>
#include <tiffio.h>

using namespace orbisk;
using namespace orbisk::test;

namespace {

// A picture with large smooth areas and coarse blocks (so that any fair reduction looks like the
// full picture scaled down), top row first, RGB.
std::vector<uint8_t> Scene(int W, int H) {
  std::vector<uint8_t> P(size_t(W) * H * 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      uint8_t* D = &P[(size_t(Y) * W + X) * 3];
      D[0] = uint8_t(X * 255 / (W - 1));
      D[1] = uint8_t(Y * 255 / (H - 1));
      D[2] = uint8_t((X * 4 / W + Y * 3 / H) % 2 ? 220 : 30);
    }
  return P;
}

std::string ScenePNG(const std::string& Name, int W, int H) {
  const std::string Path = TempPath(Name);
  const auto P = Scene(W, H);
  png_image Img{};
  Img.version = PNG_IMAGE_VERSION;
  Img.width = png_uint_32(W);
  Img.height = png_uint_32(H);
  Img.format = PNG_FORMAT_RGB;
  EXPECT_NE(png_image_write_to_file(&Img, Path.c_str(), 0, P.data(), 0, nullptr), 0);
  return Path;
}

void Load(const std::string& Path, int Reduced, TPixelGraphic& G) {
  G.ReducedSize = Reduced;
  G.LoadFromFile(Path);
}

// The mean colour difference between Small and Big scaled down to Small's size by averaging.
double DifferenceToScaled(const TPixelGraphic& Small, const TPixelGraphic& Big) {
  const int W = Small.Width(), H = Small.Height(), BW = Big.Width(), BH = Big.Height();
  double Sum = 0;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      const int X0 = X * BW / W, X1 = std::max(X0 + 1, (X + 1) * BW / W);
      const int Y0 = Y * BH / H, Y1 = std::max(Y0 + 1, (Y + 1) * BH / H);
      double Avg[3] = {0, 0, 0};
      for (int YY = Y0; YY < Y1; ++YY)
        for (int XX = X0; XX < X1; ++XX) {
          const TRGB C = Big.GetPixelColor(XX, YY);
          Avg[0] += RedOf(C);
          Avg[1] += GreenOf(C);
          Avg[2] += BlueOf(C);
        }
      const double N = double(X1 - X0) * (Y1 - Y0);
      const TRGB C = Small.GetPixelColor(X, Y);
      Sum += std::abs(Avg[0] / N - RedOf(C)) + std::abs(Avg[1] / N - GreenOf(C)) +
             std::abs(Avg[2] / N - BlueOf(C));
    }
  return Sum / (3.0 * W * H);
}

bool SameBytes(const TPixelGraphic& A, const TPixelGraphic& B) {
  return A.Width() == B.Width() && A.Height() == B.Height() && A.BitCountNum() == B.BitCountNum() &&
         std::memcmp(A.ScanLine(A.Height() - 1), B.ScanLine(B.Height() - 1), A.ImageSize()) == 0;
}

// Checks a reduced load of Path for each request against the full decode: the rule on the size,
// the stored size reported, the content, the orientation. Reduced says per request whether the
// reader is expected to reduce at all (the file may have nothing small enough).
void CheckReduced(const std::string& Path, const std::vector<std::pair<int, bool>>& Requests,
                  double MaxDifference = 12) {
  TPixelGraphic Full;
  Load(Path, 0, Full);
  const int FW = Full.Width(), FH = Full.Height();
  EXPECT_EQ(Full.FullWidth, FW);
  EXPECT_EQ(Full.FullHeight, FH);
  for (const auto& [Request, Reduces] : Requests) {
    SCOPED_TRACE(Path + " for " + std::to_string(Request));
    TPixelGraphic G;
    Load(Path, Request, G);
    EXPECT_EQ(G.FullWidth, FW);
    EXPECT_EQ(G.FullHeight, FH);
    EXPECT_EQ(G.ExifOrientation, Full.ExifOrientation);
    if (!Reduces) {
      EXPECT_TRUE(SameBytes(G, Full));
      continue;
    }
    EXPECT_LT(G.Width(), FW);
    EXPECT_TRUE(ReducedSizeFits(FW, FH, G.Width(), G.Height(), Request))
        << G.Width() << " x " << G.Height() << " of " << FW << " x " << FH;
    EXPECT_LT(DifferenceToScaled(G, Full), MaxDifference);
    // The same picture object loaded again in full forgets the reduction.
    Load(Path, 0, G);
    EXPECT_TRUE(SameBytes(G, Full));
    EXPECT_EQ(G.FullWidth, FW);
  }
}

TEST(ReducedSize, TheRuleOnSizes) {
  EXPECT_TRUE(ReducedSizeFits(4000, 3000, 256, 192, 256));
  EXPECT_FALSE(ReducedSizeFits(4000, 3000, 256, 191, 256));
  EXPECT_FALSE(ReducedSizeFits(4000, 3000, 255, 192, 256));
  EXPECT_FALSE(ReducedSizeFits(100, 50, 101, 50, 64)); // never more than stored
  EXPECT_FALSE(ReducedSizeFits(100, 50, 100, 50, 0));  // nothing asked
  EXPECT_TRUE(ReducedSizeFits(100, 50, 100, 50, 200)); // the stored size always does
  int W = 0, H = 0;
  ReducedTarget(4001, 3001, 256, W, H);
  EXPECT_EQ(W, 256);
  EXPECT_EQ(H, 193); // rounded up: 3001 * 256 / 4001 = 192.02
  EXPECT_TRUE(ReducedSizeFits(4001, 3001, W, H, 256));
  ReducedTarget(200, 20000, 64, W, H);
  EXPECT_EQ(W, 1);
  EXPECT_EQ(H, 64);
  ReducedTarget(300, 200, 300, W, H);
  EXPECT_EQ(W, 300);
  EXPECT_EQ(H, 200);
}

TEST(ReducedSize, WebPStillsScaleInTheLibrary) {
  if (!HaveTool("cwebp")) GTEST_SKIP() << "cwebp is not installed";
  const std::string Src = ScenePNG("webp-src.png", 640, 360);
  const std::string Lossy = TempPath("scene.webp"), Lossless = TempPath("scene-ll.webp");
  ASSERT_TRUE(RunTool("cwebp -quiet -q 90 " + Src + " -o " + Lossy));
  ASSERT_TRUE(RunTool("cwebp -quiet -lossless " + Src + " -o " + Lossless));
  for (const std::string& P : {Lossy, Lossless}) {
    CheckReduced(P, {{64, true}, {200, true}, {639, true}, {640, false}, {5000, false}});
    TPixelGraphic G;
    Load(P, 64, G);
    EXPECT_EQ(G.Width(), 64); // the smallest size that does
    EXPECT_EQ(G.Height(), 36);
  }
}

TEST(ReducedSize, WebPWithAlphaAndOrientation) {
  // Alpha over the background and the EXIF orientation, as in the full decode.
  TPixelGraphic Src;
  Src.SetSize(300, 200, 3);
  const auto Pixels = Scene(300, 200);
  for (int Y = 0; Y < 200; ++Y)
    for (int X = 0; X < 300; ++X) {
      const uint8_t* S = &Pixels[(size_t(Y) * 300 + X) * 3];
      Src.SetPixelColor(X, Y, RGBOf(S[0], S[1], S[2]));
    }
  Src.Metadata.Exif = ExifBlock(6);
  const std::string Path = TempPath("oriented.webp");
  Src.SaveToFile(Path);
  CheckReduced(Path, {{50, true}, {150, true}});
  TPixelGraphic G;
  Load(Path, 50, G);
  EXPECT_EQ(G.ExifOrientation, 6);

  if (!HaveTool("cwebp")) return;
  std::vector<uint8_t> Rgba;
  for (size_t I = 0; I < Pixels.size(); I += 3)
    Rgba.insert(Rgba.end(),
                {Pixels[I], Pixels[I + 1], Pixels[I + 2], uint8_t(I / 3 % 300 < 150 ? 255 : 60)});
  png_image Img{};
  Img.version = PNG_IMAGE_VERSION;
  Img.width = 300;
  Img.height = 200;
  Img.format = PNG_FORMAT_RGBA;
  const std::string Png = TempPath("alpha.png"), Alpha = TempPath("alpha.webp");
  ASSERT_NE(png_image_write_to_file(&Img, Png.c_str(), 0, Rgba.data(), 0, nullptr), 0);
  ASSERT_TRUE(RunTool("cwebp -quiet -q 90 " + Png + " -o " + Alpha));
  CheckReduced(Alpha, {{50, true}, {150, true}});
}

TEST(ReducedSize, WebPAnimationsGiveTheirFirstFrameReduced) {
  if (!HaveTool("img2webp")) GTEST_SKIP() << "img2webp is not installed";
  const std::string A = ScenePNG("frame-a.png", 400, 300);
  // A second frame of other content: the first frame is the picture.
  const std::string B = TempPath("frame-b.png");
  {
    std::vector<uint8_t> P(400 * 300 * 3, 128);
    png_image Img{};
    Img.version = PNG_IMAGE_VERSION;
    Img.width = 400;
    Img.height = 300;
    Img.format = PNG_FORMAT_RGB;
    ASSERT_NE(png_image_write_to_file(&Img, B.c_str(), 0, P.data(), 0, nullptr), 0);
  }
  const std::string Anim = TempPath("anim.webp");
  ASSERT_TRUE(RunTool("img2webp -lossy -q 90 " + A + " " + B + " -o " + Anim));
  CheckReduced(Anim, {{64, true}, {256, true}});
}

// A HEIF file of the scene with a thumbnail of at most Thumb pixels, encoded through libheif with
// the given orientation (written as the container's rotation and mirror) into Path.
bool EncodeHEIFInProcess(const std::string& Path, int W, int H, int Thumb,
                         heif_orientation Orientation) {
  heif_context* Ctx = heif_context_alloc();
  heif_encoder* Enc = nullptr;
  if (heif_context_get_encoder_for_format(Ctx, heif_compression_HEVC, &Enc).code != heif_error_Ok) {
    heif_context_free(Ctx);
    return false;
  }
  heif_encoder_set_lossy_quality(Enc, 90);
  heif_image* Img = nullptr;
  heif_image_create(W, H, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &Img);
  heif_image_add_plane(Img, heif_channel_interleaved, W, H, 8);
  int Stride = 0;
  uint8_t* Plane = heif_image_get_plane(Img, heif_channel_interleaved, &Stride);
  const auto P = Scene(W, H);
  for (int Y = 0; Y < H; ++Y)
    std::memcpy(Plane + size_t(Y) * Stride, &P[size_t(Y) * W * 3], size_t(W) * 3);
  heif_encoding_options* Options = heif_encoding_options_alloc();
  Options->image_orientation = Orientation;
  heif_image_handle* Handle = nullptr;
  bool OK = heif_context_encode_image(Ctx, Img, Enc, Options, &Handle).code == heif_error_Ok;
  if (OK && Thumb > 0) {
    heif_image_handle* T = nullptr;
    OK = heif_context_encode_thumbnail(Ctx, Img, Handle, Enc, Options, Thumb, &T).code ==
         heif_error_Ok;
    if (T) heif_image_handle_release(T);
  }
  if (OK) OK = heif_context_write_to_file(Ctx, Path.c_str()).code == heif_error_Ok;
  if (Handle) heif_image_handle_release(Handle);
  heif_encoding_options_free(Options);
  heif_image_release(Img);
  heif_encoder_release(Enc);
  heif_context_free(Ctx);
  return OK;
}

// The same in a child process: the HEVC encoder keeps allocations the leak checker would blame on
// the test. Empty when no encoder is there.
std::string EncodeHEIF(const std::string& Name, int W, int H, int Thumb,
                       heif_orientation Orientation) {
  const std::string Path = TempPath(Name);
  const pid_t Child = fork();
  if (Child == 0) _exit(EncodeHEIFInProcess(Path, W, H, Thumb, Orientation) ? 0 : 1);
  int Status = 0;
  if (Child < 0 || waitpid(Child, &Status, 0) != Child || !WIFEXITED(Status) ||
      WEXITSTATUS(Status) != 0)
    return "";
  return Path;
}

TEST(ReducedSize, HEIFThumbnailsWhenLargeEnough) {
  const std::string Path = EncodeHEIF("thumb.heic", 640, 480, 160, heif_orientation_normal);
  if (Path.empty()) GTEST_SKIP() << "no HEVC encoder";
  // 160 x 120 answers up to 160; larger requests decode the primary picture.
  CheckReduced(Path, {{64, true}, {160, true}, {161, false}, {400, false}});
  TPixelGraphic G;
  Load(Path, 100, G);
  EXPECT_EQ(G.Width(), 160);
  EXPECT_EQ(G.Height(), 120);
  // A file without a thumbnail decodes in full.
  const std::string None = EncodeHEIF("nothumb.heic", 320, 240, 0, heif_orientation_normal);
  CheckReduced(None, {{64, false}});
}

TEST(ReducedSize, HEIFThumbnailsShowThePrimaryPicturesTurn) {
  // Rotated, mirrored and both: the reduced picture is turned like the full one, whether the
  // thumbnail carries the same turn (taken) or not (the primary picture is decoded).
  for (const heif_orientation O :
       {heif_orientation_rotate_90_cw, heif_orientation_flip_horizontally,
        heif_orientation_rotate_90_cw_then_flip_vertically, heif_orientation_rotate_180}) {
    const std::string Path =
        EncodeHEIF("turned" + std::to_string(int(O)) + ".heic", 480, 320, 160, O);
    if (Path.empty()) GTEST_SKIP() << "no HEVC encoder";
    SCOPED_TRACE(int(O));
    TPixelGraphic Full, G;
    Load(Path, 0, Full);
    Load(Path, 64, G);
    EXPECT_EQ(G.FullWidth, Full.Width());
    EXPECT_EQ(G.FullHeight, Full.Height());
    EXPECT_EQ(G.ExifOrientation, Full.ExifOrientation);
    EXPECT_TRUE(ReducedSizeFits(Full.Width(), Full.Height(), G.Width(), G.Height(), 64));
    EXPECT_LT(DifferenceToScaled(G, Full), 12);
  }
}

uint32_t BigEndian(const std::vector<uint8_t>& B, size_t P, int Bytes) {
  uint32_t V = 0;
  for (int K = 0; K < Bytes; ++K)
    V = (V << 8) | B.at(P + size_t(K));
  return V;
}

size_t Find(const std::vector<uint8_t>& B, const char* Type) {
  for (size_t P = 4; P + 4 <= B.size(); ++P)
    if (std::memcmp(&B[P], Type, 4) == 0) return P - 4; // the box's start
  return std::string::npos;
}

// Drops the rotation from the thumbnail item's properties (its association becomes "none"): the
// thumbnail then shows the picture unturned.
bool DropThumbnailRotation(std::vector<uint8_t>& B) {
  const size_t Pitm = Find(B, "pitm"), Ipco = Find(B, "ipco"), Ipma = Find(B, "ipma");
  if (Pitm == std::string::npos || Ipco == std::string::npos || Ipma == std::string::npos)
    return false;
  if (B.at(Pitm + 8) != 0) return false; // version 0: 16-bit item ids
  const uint32_t Primary = BigEndian(B, Pitm + 12, 2);
  // The rotation's index among the properties.
  uint32_t Rot = 0, Index = 0;
  for (size_t P = Ipco + 8; P < Ipco + BigEndian(B, Ipco, 4); P += BigEndian(B, P, 4)) {
    ++Index;
    if (std::memcmp(&B.at(P + 4), "irot", 4) == 0) Rot = Index;
    if (BigEndian(B, P, 4) < 8) return false;
  }
  if (Rot == 0 || B.at(Ipma + 8) != 0 || (B.at(Ipma + 11) & 1)) return false; // 7-bit indices
  size_t P = Ipma + 16;
  bool Dropped = false;
  for (uint32_t E = 0, N = BigEndian(B, Ipma + 12, 4); E < N; ++E) {
    const uint32_t Id = BigEndian(B, P, 2);
    const unsigned Count = B.at(P + 2);
    P += 3;
    for (unsigned A = 0; A < Count; ++A, ++P)
      if (Id != Primary && (B.at(P) & 0x7F) == Rot) {
        B[P] = 0;
        Dropped = true;
      }
  }
  return Dropped;
}

TEST(ReducedSize, HEIFThumbnailTurnedUnlikeThePictureIsNotTaken) {
  // Square, so that the proportions cannot tell: only the thumbnail's own properties do.
  const std::string Path = EncodeHEIF("square.heic", 320, 320, 160, heif_orientation_rotate_90_cw);
  if (Path.empty()) GTEST_SKIP() << "no HEVC encoder";
  TPixelGraphic Full, G;
  Load(Path, 0, Full);
  Load(Path, 100, G);
  EXPECT_EQ(G.Width(), 160); // the thumbnail, turned like the picture
  EXPECT_LT(DifferenceToScaled(G, Full), 12);
  auto Bytes = ReadFileBytes(Path);
  ASSERT_TRUE(DropThumbnailRotation(Bytes));
  const std::string Unturned = TempPath("square-unturned.heic");
  WriteFileBytes(Unturned, Bytes);
  Load(Unturned, 100, G);
  EXPECT_TRUE(SameBytes(G, Full)); // the primary picture instead
}

TEST(ReducedSize, HEIFToolThumbnails) {
  if (!HaveTool("heif-enc")) GTEST_SKIP() << "heif-enc is not installed";
  const std::string Src = ScenePNG("heif-src.png", 512, 384);
  const std::string Path = TempPath("tool-thumb.heic");
  ASSERT_TRUE(RunTool("heif-enc -q 90 -t 128 " + Src + " -o " + Path));
  CheckReduced(Path, {{100, true}, {128, true}, {200, false}});
}

TEST(ReducedSize, JXLLowFrequencyPass) {
  if (!HaveTool("cjxl")) GTEST_SKIP() << "cjxl is not installed";
  const std::string Src = ScenePNG("jxl-src.png", 640, 400);
  const std::string Lossy = TempPath("scene.jxl"), Lossless = TempPath("scene-ll.jxl");
  ASSERT_TRUE(RunTool("cjxl -d 1 " + Src + " " + Lossy));
  ASSERT_TRUE(RunTool("cjxl -d 0 " + Src + " " + Lossless));
  // 1/8 is 80 x 50: it answers requests up to 80.
  CheckReduced(Lossy, {{32, true}, {80, true}, {81, false}, {256, false}});
  TPixelGraphic G;
  Load(Lossy, 64, G);
  EXPECT_EQ(G.Width(), 80);
  EXPECT_EQ(G.Height(), 50);
  // Progressive files have the pass too.
  const std::string Progressive = TempPath("scene-p.jxl");
  ASSERT_TRUE(RunTool("cjxl -d 1 -p " + Src + " " + Progressive));
  CheckReduced(Progressive, {{64, true}});
  // Lossless files have no such pass and decode in full.
  CheckReduced(Lossless, {{64, false}});
}

// A TIFF page of the scene (W x H, uncompressed RGB strips, Orientation tag) and reduced copies:
// Sub in its SubIFDs and Chain as directories following it marked reduced; a second page after
// them when Next.
std::string WriteTIFF(const std::string& Name, int W, int H, int Orientation,
                      const std::vector<int>& Sub, const std::vector<int>& Chain, bool Next,
                      uint16_t Compression = COMPRESSION_NONE) {
  const std::string Path = TempPath(Name);
  TIFF* T = TIFFOpen(Path.c_str(), "w");
  auto Page = [&](int PW, int PH, uint32_t Type) {
    TIFFSetField(T, TIFFTAG_SUBFILETYPE, Type);
    TIFFSetField(T, TIFFTAG_IMAGEWIDTH, uint32_t(PW));
    TIFFSetField(T, TIFFTAG_IMAGELENGTH, uint32_t(PH));
    TIFFSetField(T, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(T, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(T, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_RGB));
    TIFFSetField(T, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(T, TIFFTAG_COMPRESSION, Compression);
    TIFFSetField(T, TIFFTAG_ROWSPERSTRIP, uint32_t(16));
    TIFFSetField(T, TIFFTAG_ORIENTATION, uint16_t(Orientation));
  };
  auto Rows = [&](int PW, int PH) {
    const auto P = Scene(PW, PH);
    for (int Y = 0; Y < PH; ++Y)
      TIFFWriteScanline(T, const_cast<uint8_t*>(&P[size_t(Y) * PW * 3]), uint32_t(Y), 0);
    TIFFWriteDirectory(T);
  };
  Page(W, H, 0);
  if (!Sub.empty()) {
    std::vector<uint64_t> Offsets(Sub.size(), 0);
    TIFFSetField(T, TIFFTAG_SUBIFD, uint16_t(Sub.size()), Offsets.data());
  }
  Rows(W, H);
  for (int S : Sub) {
    Page(W / S, H / S, FILETYPE_REDUCEDIMAGE);
    Rows(W / S, H / S);
  }
  for (int S : Chain) {
    Page(W / S, H / S, FILETYPE_REDUCEDIMAGE);
    Rows(W / S, H / S);
  }
  if (Next) {
    Page(W / 8, H / 8, 0); // another page, not a reduced copy of the first
    Rows(W / 8, H / 8);
  }
  TIFFClose(T);
  return Path;
}

TEST(ReducedSize, TIFFReducedSubfiles) {
  // SubIFDs at 1/2 and 1/4 (320 x 240, 160 x 120): the smallest that does is taken.
  const std::string SubIFDs = WriteTIFF("subifd.tif", 640, 480, 1, {2, 4}, {}, false);
  CheckReduced(SubIFDs, {{100, true}, {160, true}, {161, true}, {320, true}, {321, false}});
  TPixelGraphic G;
  Load(SubIFDs, 100, G);
  EXPECT_EQ(G.Width(), 160);
  Load(SubIFDs, 200, G);
  EXPECT_EQ(G.Width(), 320);
  // Reduced directories after the page in the chain, compressed, then another page which is
  // never taken for the first one.
  const std::string Chain =
      WriteTIFF("chain.tif", 640, 480, 1, {}, {4}, true, COMPRESSION_ADOBE_DEFLATE);
  CheckReduced(Chain, {{64, true}, {160, true}, {161, false}});
  Load(Chain, 64, G);
  EXPECT_EQ(G.Width(), 160);
  // A file without reduced copies decodes in full.
  CheckReduced(WriteTIFF("plain.tif", 320, 240, 1, {}, {}, true), {{64, false}});
}

TEST(ReducedSize, TIFFSubfilesKeepThePagesOrientation) {
  const std::string Path = WriteTIFF("oriented.tif", 480, 320, 6, {4}, {}, false);
  CheckReduced(Path, {{100, true}});
  TPixelGraphic G;
  Load(Path, 100, G);
  EXPECT_EQ(G.ExifOrientation, 6);
  EXPECT_EQ(G.Width(), 120);
}

TEST(ReducedSize, TIFFDamagedSubfileGivesThePage) {
  // The reduced copy's compressed strips overwritten: the page is read instead.
  const std::string Path =
      WriteTIFF("broken-sub.tif", 320, 240, 1, {4}, {}, false, COMPRESSION_ADOBE_DEFLATE);
  TPixelGraphic Full;
  Load(Path, 0, Full);
  uint64_t Offset = 0, Count = 0;
  {
    TIFF* T = TIFFOpen(Path.c_str(), "r");
    ASSERT_NE(T, nullptr);
    uint16_t N = 0;
    uint64_t* Subs = nullptr;
    ASSERT_EQ(TIFFGetField(T, TIFFTAG_SUBIFD, &N, &Subs), 1);
    ASSERT_TRUE(TIFFSetSubDirectory(T, Subs[0]));
    uint64_t *Offsets = nullptr, *Counts = nullptr;
    ASSERT_EQ(TIFFGetField(T, TIFFTAG_STRIPOFFSETS, &Offsets), 1);
    ASSERT_EQ(TIFFGetField(T, TIFFTAG_STRIPBYTECOUNTS, &Counts), 1);
    Offset = Offsets[0];
    Count = Counts[0];
    TIFFClose(T);
  }
  auto Bytes = ReadFileBytes(Path);
  ASSERT_LE(Offset + Count, Bytes.size());
  for (uint64_t I = Offset; I < Offset + Count; ++I)
    Bytes[I] = uint8_t(I * 61);
  WriteFileBytes(Path, Bytes);
  TPixelGraphic G;
  Load(Path, 64, G);
  EXPECT_TRUE(SameBytes(G, Full));
  EXPECT_EQ(G.FullWidth, 320);
}

} // namespace
