// Moving pictures: animated WebP (img2webp), AVIF sequences (avifenc), animated JPEG XL (cjxl)
// and APNG (assembled here chunk by chunk) give their frame counts, loop counts, frame times
// and frames; APNG's blend and dispose rules build the canvas; stills open with one frame;
// damaged files raise the engine's error; Rewind starts over. The frame counts read from the
// containers (GraphicCount) agree with the tools' own inspectors, and the still readers give the
// first frame (what thumbnails show).
#include "engine/animation.h"

#include "engine/messages.h"
#include "engine/registry.h"
#include "tests/common/shelloutput.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <unistd.h>

using namespace orbisk;
namespace fs = std::filesystem;

namespace {

struct TRgba {
  uint8_t R, G, B, A;
};

// A PNG file of W x H pixels, all Fill except the pixels Paint says otherwise.
std::vector<uint8_t> RgbaPng(int W, int H, TRgba Fill) {
  std::vector<uint8_t> Px;
  for (int I = 0; I < W * H; ++I)
    Px.insert(Px.end(), {Fill.R, Fill.G, Fill.B, Fill.A});
  png_image Img;
  std::memset(&Img, 0, sizeof Img);
  Img.version = PNG_IMAGE_VERSION;
  Img.width = uint32_t(W);
  Img.height = uint32_t(H);
  Img.format = PNG_FORMAT_RGBA;
  png_alloc_size_t Size = 0;
  png_image_write_to_memory(&Img, nullptr, &Size, 0, Px.data(), 0, nullptr);
  std::vector<uint8_t> Out(Size);
  EXPECT_TRUE(png_image_write_to_memory(&Img, Out.data(), &Size, 0, Px.data(), 0, nullptr));
  Out.resize(Size);
  return Out;
}

void Put32(std::vector<uint8_t>& B, uint32_t V) {
  B.insert(B.end(), {uint8_t(V >> 24), uint8_t(V >> 16), uint8_t(V >> 8), uint8_t(V)});
}

void Chunk(std::vector<uint8_t>& Out, const char* Type, const std::vector<uint8_t>& Body) {
  Put32(Out, uint32_t(Body.size()));
  const size_t At = Out.size();
  Out.insert(Out.end(), Type, Type + 4);
  Out.insert(Out.end(), Body.begin(), Body.end());
  Put32(Out, uint32_t(crc32(0, &Out[At], uInt(Body.size() + 4))));
}

// The IDAT payloads of a PNG file (and its IHDR body).
std::vector<uint8_t> IdatOf(const std::vector<uint8_t>& Png, std::vector<uint8_t>* Ihdr = nullptr) {
  std::vector<uint8_t> Data;
  for (size_t At = 8; At + 12 <= Png.size();) {
    const uint32_t Len =
        uint32_t(Png[At]) << 24 | Png[At + 1] << 16 | Png[At + 2] << 8 | Png[At + 3];
    const std::string T(reinterpret_cast<const char*>(&Png[At + 4]), 4);
    if (T == "IDAT") Data.insert(Data.end(), &Png[At + 8], &Png[At + 8] + Len);
    if (T == "IHDR" && Ihdr) Ihdr->assign(&Png[At + 8], &Png[At + 8] + Len);
    At += Len + 12;
  }
  return Data;
}

struct TApngPart {
  std::vector<uint8_t> Png;
  uint32_t X = 0, Y = 0;
  uint16_t Num = 1, Den = 10;
  uint8_t Dispose = 0, Blend = 0;
};

std::vector<uint8_t> Apng(int W, int H, uint32_t Plays, const std::vector<TApngPart>& Parts) {
  std::vector<uint8_t> Out = {137, 80, 78, 71, 13, 10, 26, 10};
  std::vector<uint8_t> Ihdr;
  IdatOf(Parts[0].Png, &Ihdr);
  for (int I = 0; I < 4; ++I) {
    Ihdr[size_t(I)] = uint8_t(uint32_t(W) >> (24 - 8 * I));
    Ihdr[size_t(4 + I)] = uint8_t(uint32_t(H) >> (24 - 8 * I));
  }
  Chunk(Out, "IHDR", Ihdr);
  std::vector<uint8_t> Ac;
  Put32(Ac, uint32_t(Parts.size()));
  Put32(Ac, Plays);
  Chunk(Out, "acTL", Ac);
  uint32_t Seq = 0;
  for (size_t I = 0; I < Parts.size(); ++I) {
    const TApngPart& P = Parts[I];
    std::vector<uint8_t> PartIhdr;
    const std::vector<uint8_t> Data = IdatOf(P.Png, &PartIhdr);
    std::vector<uint8_t> Fc;
    Put32(Fc, Seq++);
    Fc.insert(Fc.end(), PartIhdr.begin(), PartIhdr.begin() + 8); // width, height
    Put32(Fc, P.X);
    Put32(Fc, P.Y);
    Fc.insert(Fc.end(), {uint8_t(P.Num >> 8), uint8_t(P.Num), uint8_t(P.Den >> 8), uint8_t(P.Den),
                         P.Dispose, P.Blend});
    Chunk(Out, "fcTL", Fc);
    if (I == 0) {
      Chunk(Out, "IDAT", Data);
    } else {
      std::vector<uint8_t> Fd;
      Put32(Fd, Seq++);
      Fd.insert(Fd.end(), Data.begin(), Data.end());
      Chunk(Out, "fdAT", Fd);
    }
  }
  Chunk(Out, "IEND", {});
  return Out;
}

class AnimationTest : public ::testing::Test {
protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("orbisk-animation-" + std::to_string(getpid()));
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }
  std::string Write(const std::string& Name, const std::vector<uint8_t>& Data) {
    const std::string P = (Dir / Name).string();
    std::ofstream(P, std::ios::binary)
        .write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
    return P;
  }
  // Three full frames, red, green, blue, of 16 x 16.
  std::vector<std::string> Frames() {
    const TRgba C[3] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}};
    std::vector<std::string> P;
    for (int I = 0; I < 3; ++I)
      P.push_back(Write("f" + std::to_string(I) + ".png", RgbaPng(16, 16, C[I])));
    return P;
  }
  // Every frame's time and the colour at (X, Y).
  static void Play(TAnimation& A, std::vector<int>& Times, std::vector<TRGB>& Colors, int X = 8,
                   int Y = 8) {
    TPixelGraphic F;
    int Ms = 0;
    while (A.NextFrame(F, Ms)) {
      Times.push_back(Ms);
      Colors.push_back(F.GetPixelColor(X, Y));
    }
  }
  static bool Near(TRGB A, TRGB B, int Tolerance) {
    return std::abs(int(RedOf(A)) - int(RedOf(B))) <= Tolerance &&
           std::abs(int(GreenOf(A)) - int(GreenOf(B))) <= Tolerance &&
           std::abs(int(BlueOf(A)) - int(BlueOf(B))) <= Tolerance;
  }
  fs::path Dir;
};

const TRGB Red = RGBOf(255, 0, 0), Green = RGBOf(0, 255, 0), Blue = RGBOf(0, 0, 255);

} // namespace

TEST_F(AnimationTest, APNGFramesTimesAndTheCanvasRules) {
  // A red canvas; a half-transparent blue square blended over it and disposed to the previous
  // canvas; a green corner written over with no time given.
  const std::string Path =
      Write("a.png", Apng(8, 8, 2,
                          {{RgbaPng(8, 8, {255, 0, 0, 255}), 0, 0, 1, 10, 0, 0},
                           {RgbaPng(4, 4, {0, 0, 255, 128}), 2, 2, 25, 100, 2, 1},
                           {RgbaPng(2, 2, {0, 255, 0, 255}), 0, 0, 0, 0, 0, 0}}));
  auto A = TAnimation::Open(Path);
  EXPECT_EQ(A->Kind(), "APNG");
  EXPECT_EQ(A->FrameCount(), 3);
  EXPECT_EQ(A->LoopCount(), 2);
  EXPECT_EQ(A->Width(), 8);
  TPixelGraphic F;
  int Ms = 0;
  ASSERT_TRUE(A->NextFrame(F, Ms));
  EXPECT_EQ(Ms, 100);
  EXPECT_EQ(F.GetPixelColor(3, 3), Red);
  ASSERT_TRUE(A->NextFrame(F, Ms));
  EXPECT_EQ(Ms, 250);
  EXPECT_TRUE(Near(F.GetPixelColor(3, 3), RGBOf(127, 0, 128), 2));
  EXPECT_EQ(F.GetPixelColor(1, 1), Red);
  ASSERT_TRUE(A->NextFrame(F, Ms));
  EXPECT_EQ(Ms, kMinFrameMs);
  EXPECT_EQ(F.GetPixelColor(0, 0), Green);
  EXPECT_EQ(F.GetPixelColor(3, 3), Red); // the blue square was disposed of
  EXPECT_FALSE(A->NextFrame(F, Ms));
  A->Rewind();
  ASSERT_TRUE(A->NextFrame(F, Ms));
  EXPECT_EQ(F.GetPixelColor(0, 0), Red);
  EXPECT_TRUE(TAnimation::IsAnimated(Path));

  // A still PNG is one frame; transparency shows the background.
  const std::string Still = Write("still.png", RgbaPng(4, 4, {0, 0, 0, 0}));
  A = TAnimation::Open(Still);
  EXPECT_EQ(A->FrameCount(), 1);
  ASSERT_TRUE(A->NextFrame(F, Ms, RGBOf(10, 20, 30)));
  EXPECT_EQ(F.GetPixelColor(1, 1), RGBOf(10, 20, 30));
  EXPECT_FALSE(TAnimation::IsAnimated(Still));
}

TEST_F(AnimationTest, WebPAndAVIFSequencesFromTheirOwnTools) {
  const std::vector<std::string> F = Frames();
  if (test::HaveTool("img2webp")) {
    const std::string Out = (Dir / "a.webp").string();
    ASSERT_TRUE(test::RunTool("img2webp -loop 3 -lossless -d 100 '" + F[0] + "' -d 250 '" + F[1] +
                              "' -d 50 '" + F[2] + "' -o '" + Out + "' >/dev/null 2>&1"));
    auto A = TAnimation::Open(Out);
    EXPECT_EQ(A->Kind(), "WebP");
    EXPECT_EQ(A->FrameCount(), 3);
    EXPECT_EQ(A->LoopCount(), 3);
    std::vector<int> Times;
    std::vector<TRGB> Colors;
    Play(*A, Times, Colors);
    EXPECT_EQ(Times, (std::vector<int>{100, 250, 50}));
    EXPECT_EQ(Colors, (std::vector<TRGB>{Red, Green, Blue}));
  } else {
    ADD_FAILURE() << "img2webp (package webp) is not installed";
  }
  if (test::HaveTool("avifenc")) {
    const std::string Out = (Dir / "a.avif").string();
    ASSERT_TRUE(test::RunTool("avifenc --fps 4 -s 10 '" + F[0] + "' '" + F[1] + "' '" + F[2] +
                              "' '" + Out + "' >/dev/null 2>&1"));
    auto A = TAnimation::Open(Out);
    EXPECT_EQ(A->Kind(), "AVIF");
    EXPECT_EQ(A->FrameCount(), 3);
    std::vector<int> Times;
    std::vector<TRGB> Colors;
    Play(*A, Times, Colors);
    EXPECT_EQ(Times, (std::vector<int>{250, 250, 250}));
    ASSERT_EQ(Colors.size(), 3u);
    const TRGB Want[3] = {Red, Green, Blue};
    for (int I = 0; I < 3; ++I)
      EXPECT_TRUE(Near(Colors[size_t(I)], Want[I], 16)) << I;
  } else {
    ADD_FAILURE() << "avifenc (package libavif-bin) is not installed";
  }
}

TEST_F(AnimationTest, JPEGXLAnimationFromItsOwnTool) {
  if (!test::HaveTool("cjxl")) GTEST_SKIP() << "cjxl (package libjxl-tools) is not installed";
  const std::string In =
      Write("in.png", Apng(16, 16, 4,
                           {{RgbaPng(16, 16, {255, 0, 0, 255}), 0, 0, 1, 10, 0, 0},
                            {RgbaPng(16, 16, {0, 255, 0, 255}), 0, 0, 1, 4, 0, 0},
                            {RgbaPng(16, 16, {0, 0, 255, 255}), 0, 0, 1, 20, 0, 0}}));
  const std::string Out = (Dir / "a.jxl").string();
  ASSERT_TRUE(test::RunTool("cjxl -d 0 '" + In + "' '" + Out + "' >/dev/null 2>&1"));
  auto A = TAnimation::Open(Out);
  EXPECT_EQ(A->Kind(), "JPEG XL");
  EXPECT_EQ(A->FrameCount(), 3);
  EXPECT_EQ(A->LoopCount(), 0); // cjxl writes every animation as playing for ever
  std::vector<int> Times;
  std::vector<TRGB> Colors;
  Play(*A, Times, Colors);
  EXPECT_EQ(Times, (std::vector<int>{100, 250, 50}));
  EXPECT_EQ(Colors, (std::vector<TRGB>{Red, Green, Blue}));
  A->Rewind();
  Times.clear(), Colors.clear();
  Play(*A, Times, Colors);
  EXPECT_EQ(Colors.size(), 3u);
}

TEST_F(AnimationTest, DamagedFilesRaiseTheEnginesError) {
  const std::vector<uint8_t> Good =
      Apng(8, 8, 0, {{RgbaPng(8, 8, {255, 0, 0, 255})}, {RgbaPng(4, 4, {0, 0, 255, 255}), 2, 2}});
  std::vector<std::vector<uint8_t>> Bad = {
      {1, 2, 3}, std::vector<uint8_t>(Good.begin(), Good.begin() + 40), // cut in the frame chunks
  };
  // A frame that reaches outside the canvas.
  Bad.push_back(
      Apng(8, 8, 0, {{RgbaPng(8, 8, {255, 0, 0, 255})}, {RgbaPng(4, 4, {0, 0, 255, 255}), 6, 6}}));
  // A frame whose compressed data is damaged (its bytes inverted; the chunk still reads).
  std::vector<uint8_t> Flipped = Good;
  const size_t Fd = std::string(Flipped.begin(), Flipped.end()).find("fdAT");
  ASSERT_NE(Fd, std::string::npos);
  const uint32_t Len = uint32_t(Flipped[Fd - 4]) << 24 | Flipped[Fd - 3] << 16 |
                       Flipped[Fd - 2] << 8 | Flipped[Fd - 1];
  for (size_t I = Fd + 8; I < Fd + 4 + Len; ++I)
    Flipped[I] ^= 0xFF;
  for (size_t I = 0; I < Bad.size(); ++I) {
    const std::string P = Write("bad" + std::to_string(I), Bad[I]);
    EXPECT_THROW(TAnimation::Open(P), EPixelGraphic) << I;
    EXPECT_FALSE(TAnimation::IsAnimated(P));
  }
  auto A = TAnimation::Open(Write("flipped.png", Flipped));
  TPixelGraphic F;
  int Ms = 0;
  EXPECT_TRUE(A->NextFrame(F, Ms));
  EXPECT_THROW(A->NextFrame(F, Ms), EPixelGraphic);
  EXPECT_THROW(TAnimation::Open((Dir / "missing.webp").string()), EPixelGraphic);
  // Files whose signature reads but whose headers do not: the decoders made for them go with
  // the error (the leak check of the sanitizer builds watches this).
  const uint8_t Avif[] = {0, 0, 0, 0x18, 'f', 't', 'y', 'p', 'a', 'v', 'i', 's',
                          0, 0, 0, 0,    'a', 'v', 'i', 's', 'm', 'i', 'f', '1'};
  for (const std::vector<uint8_t>& Head :
       {std::vector<uint8_t>{0xFF, 0x0A}, std::vector<uint8_t>(std::begin(Avif), std::end(Avif))})
    EXPECT_THROW(TAnimation::FromBytes(Head), EPixelGraphic);
}

namespace {

// The first number after Label in Text (-1 without one).
int NumberAfter(const std::string& Text, const std::string& Label) {
  std::smatch M;
  if (!std::regex_search(Text, M, std::regex(Label + "\\s*(\\d+)"))) return -1;
  return std::stoi(M[1]);
}

int GraphicCountOf(const std::string& Path) {
  TGraphicFileInfo Info;
  return GetGraphicFileInfo(Path, 0, Info) ? Info.GraphicCount : -1;
}

// The colour in the middle of the picture the still reader gives.
TRGB FirstFrameColour(const std::string& Path) {
  TPixelGraphic G;
  G.LoadFromFile(Path);
  return G.GetPixelColor(G.Width() / 2, G.Height() / 2);
}

} // namespace

TEST_F(AnimationTest, FrameCountsAgreeWithTheToolsInspectors) {
  const std::vector<std::string> F = Frames();
  int Checked = 0;
  if (test::HaveTool("img2webp") && test::HaveTool("webpinfo")) {
    const std::string Out = (Dir / "a.webp").string();
    ASSERT_TRUE(test::RunTool("img2webp -loop 3 -lossless '" + F[0] + "' '" + F[1] + "' '" + F[2] +
                              "' -o '" + Out + "'"));
    const int Want =
        NumberAfter(test::ShellOutput("webpinfo -summary '" + Out + "'"), "Number of frames:");
    EXPECT_EQ(Want, 3);
    EXPECT_EQ(CountAnimationFrames(Out), Want);
    EXPECT_EQ(GraphicCountOf(Out), Want);
    EXPECT_EQ(FirstFrameColour(Out), Red);
    // One frame made by the same tool is a still.
    const std::string One = (Dir / "one.webp").string();
    ASSERT_TRUE(test::RunTool("img2webp -lossless '" + F[1] + "' -o '" + One + "'"));
    EXPECT_EQ(CountAnimationFrames(One), 1);
    EXPECT_EQ(GraphicCountOf(One), 1);
    ++Checked;
  }
  if (test::HaveTool("avifenc") && test::HaveTool("avifdec")) {
    const std::string Out = (Dir / "a.avif").string();
    ASSERT_TRUE(test::RunTool("avifenc --fps 4 -s 10 '" + F[0] + "' '" + F[1] + "' '" + F[2] +
                              "' '" + Out + "'"));
    // "..., 0.75 seconds (3 timescales), 3 frames"
    const std::string Report = test::ShellOutput("avifdec --info '" + Out + "' 2>&1");
    std::smatch M;
    ASSERT_TRUE(std::regex_search(Report, M, std::regex("(\\d+) frames"))) << Report;
    const int Want = std::stoi(M[1]);
    EXPECT_EQ(Want, 3);
    EXPECT_EQ(CountAnimationFrames(Out), Want);
    EXPECT_EQ(GraphicCountOf(Out), Want);
    EXPECT_TRUE(Near(FirstFrameColour(Out), Red, 16));
    const std::string One = (Dir / "one.avif").string();
    ASSERT_TRUE(test::RunTool("avifenc -s 10 '" + F[2] + "' '" + One + "'"));
    EXPECT_EQ(CountAnimationFrames(One), 1);
    EXPECT_EQ(GraphicCountOf(One), 1);
    ++Checked;
  }
  if (test::HaveTool("apngasm")) {
    // apngasm numbers its inputs itself: the first of f0, f1, f2 names them all.
    const std::string Out = (Dir / "asm.png").string();
    ASSERT_TRUE(test::RunTool("apngasm '" + Out + "' '" + F[0] + "' 1 8 -l2"));
    auto A = TAnimation::Open(Out);
    EXPECT_EQ(A->FrameCount(), 3);
    EXPECT_EQ(A->LoopCount(), 2);
    std::vector<int> Times;
    std::vector<TRGB> Colors;
    Play(*A, Times, Colors);
    EXPECT_EQ(Times, (std::vector<int>{125, 125, 125}));
    EXPECT_EQ(Colors, (std::vector<TRGB>{Red, Green, Blue}));
    EXPECT_EQ(CountAnimationFrames(Out), 3);
    EXPECT_EQ(GraphicCountOf(Out), 3);
    EXPECT_EQ(FirstFrameColour(Out), Red);
    if (test::HaveTool("cjxl") && test::HaveTool("jxlinfo")) {
      const std::string Jxl = (Dir / "asm.jxl").string();
      ASSERT_TRUE(test::RunTool("cjxl -d 0 '" + Out + "' '" + Jxl + "'"));
      const std::string Report = test::ShellOutput("jxlinfo '" + Jxl + "'");
      int Want = 0;
      for (size_t At = Report.find("frame:"); At != std::string::npos;
           At = Report.find("frame:", At + 1))
        ++Want;
      EXPECT_EQ(Want, 3) << Report;
      EXPECT_EQ(CountAnimationFrames(Jxl), Want);
      EXPECT_EQ(GraphicCountOf(Jxl), Want);
      EXPECT_EQ(FirstFrameColour(Jxl), Red);
      const std::string Still = (Dir / "still.jxl").string();
      ASSERT_TRUE(test::RunTool("cjxl -d 0 '" + F[1] + "' '" + Still + "'"));
      EXPECT_EQ(CountAnimationFrames(Still), 1);
      EXPECT_EQ(GraphicCountOf(Still), 1);
    }
    ++Checked;
  }
  // Files assembled here need no tool; a file of another kind has no frames to count.
  const std::string Own = Write("own.png", Apng(8, 8, 0,
                                                {{RgbaPng(8, 8, {255, 0, 0, 255})},
                                                 {RgbaPng(4, 4, {0, 0, 255, 255}), 2, 2},
                                                 {RgbaPng(4, 4, {0, 255, 0, 255}), 0, 0},
                                                 {RgbaPng(2, 2, {0, 0, 255, 255}), 6, 6}}));
  EXPECT_EQ(CountAnimationFrames(Own), 4);
  EXPECT_EQ(GraphicCountOf(Own), 4);
  EXPECT_EQ(GraphicCountOf(F[0]), 1);
  EXPECT_EQ(CountAnimationFrames(F[0]), 1);
  EXPECT_EQ(CountAnimationFrames(Write("x.bmp", {'B', 'M', 0, 0})), 0);
  if (Checked < 3)
    GTEST_SKIP() << "some of img2webp/webpinfo, avifenc/avifdec, apngasm are missing";
}
