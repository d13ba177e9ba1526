// Lossless JPEG turns: exact against the turned pixels for whole-block sizes, back to the
// original after four quarter turns, the trim and perfect rules at odd sizes, the orientation
// tag reset, the safe write and refusals of data that is not a usable JPEG.
#include "processing/jpegturn.h"

#include "engine/formats/jpeg.h"
#include "engine/messages.h"
#include "engine/orientation.h"
#include "engine/stream.h"
#include "processing/transforms.h"
#include "tests/common/orientationfixture.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <cstdio>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orbisk;
using namespace orbisk::test;

namespace {

void Decode(const std::vector<uint8_t>& Data, TPixelGraphic& G) {
  TPGMemoryStream S(Data.data(), Data.size());
  G.LoadFromStreamExt(S, "jpg", 0);
}

bool SamePixels(const TPixelGraphic& A, const TPixelGraphic& B) {
  if (A.Width() != B.Width() || A.Height() != B.Height() || A.BitCountNum() != B.BitCountNum())
    return false;
  const size_t N = size_t(A.Width()) * (A.BitCountNum() == 3 ? 3 : 1);
  for (int Y = 0; Y < A.Height(); ++Y)
    if (std::memcmp(A.ScanLine(Y), B.ScanLine(Y), N) != 0) return false;
  return true;
}

// A busy picture (gradients and noise), so that every coefficient of every block matters.
void MakeBusy(TPixelGraphic& G, int W, int H, bool Grey) {
  G.SetSize(W, H, Grey ? 2 : 3);
  if (Grey) G.SetPaletteKind(pGray256);
  uint32_t R = 12345;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      R = R * 1103515245u + 12345u;
      const unsigned N = (R >> 16) & 63;
      if (Grey)
        G.SetPixelValue(X, Y, (X * 5 + Y * 3 + N) & 255);
      else
        G.SetPixelColor(X, Y, RGBOf((X * 7 + N) & 255, (Y * 5 + N) & 255, (X * Y + N) & 255));
    }
}

// The expected picture: the original's decode turned as the orientation code says.
void Turned(const TPixelGraphic& Source, int Orientation, TPixelGraphic& Out) {
  Out.Assign(&Source);
  ApplyOrientation(Out, Orientation);
}

// The quantized DCT coefficients of every component, block by block (natural order).
struct TCoefficients {
  std::vector<int> BW, BH;
  std::vector<std::vector<JCOEF>> Blocks; // per component: BW x BH blocks of 64
};

TCoefficients ReadCoefficients(const std::vector<uint8_t>& Data) {
  TCoefficients C;
  jpeg_decompress_struct D{};
  jpeg_error_mgr E{};
  D.err = jpeg_std_error(&E);
  jpeg_create_decompress(&D);
  jpeg_mem_src(&D, Data.data(), static_cast<unsigned long>(Data.size()));
  jpeg_read_header(&D, TRUE);
  jvirt_barray_ptr* Arrays = jpeg_read_coefficients(&D);
  for (int K = 0; K < D.num_components; ++K) {
    const jpeg_component_info& CI = D.comp_info[K];
    const int W = int(CI.width_in_blocks), H = int(CI.height_in_blocks);
    C.BW.push_back(W);
    C.BH.push_back(H);
    std::vector<JCOEF> All(size_t(W) * H * 64);
    for (int Y = 0; Y < H; ++Y) {
      JBLOCKARRAY Row = D.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&D), Arrays[K],
                                                  JDIMENSION(Y), 1, FALSE);
      for (int X = 0; X < W; ++X)
        std::copy(Row[0][X], Row[0][X] + 64, All.begin() + (size_t(Y) * W + X) * 64);
    }
    C.Blocks.push_back(std::move(All));
  }
  jpeg_finish_decompress(&D);
  jpeg_destroy_decompress(&D);
  return C;
}

// Where the coefficient (K across, L down) of a stored block goes in the turned block, and its
// sign: the turned picture's basis function compared with the stored one moved by the turn.
void CoefficientMove(int O, int K, int L, int& TK, int& TL, int& Sign) {
  const bool Swap = O >= 5;
  TK = Swap ? L : K;
  TL = Swap ? K : L;
  // The stored pixel that lands on turned pixel (0, 0).
  int SX = 0, SY = 0;
  for (int Y = 0; Y < 8; ++Y)
    for (int X = 0; X < 8; ++X) {
      int UX, UY;
      UprightOf(O, 8, 8, X, Y, UX, UY);
      if (UX == 0 && UY == 0) SX = X, SY = Y;
    }
  const double Pi = 3.14159265358979323846;
  const double Moved = std::cos((2 * SX + 1) * K * Pi / 16) * std::cos((2 * SY + 1) * L * Pi / 16);
  const double Own = std::cos(TK * Pi / 16) * std::cos(TL * Pi / 16);
  Sign = Moved * Own > 0 ? 1 : -1;
}

TEST(JPEGTurn, CoefficientsMoveExactlyAsTheTurnSays) {
  for (bool Grey : {false, true}) {
    TPixelGraphic Busy;
    MakeBusy(Busy, 64, 48, Grey); // whole 16 x 16 blocks
    const std::vector<uint8_t> Jpeg = EncodeJPEG(Busy);
    const TCoefficients In = ReadCoefficients(Jpeg);
    for (int O = 1; O <= 8; ++O) {
      const TCoefficients Out =
          ReadCoefficients(TurnJPEGLossless(Jpeg.data(), Jpeg.size(), O, TJPEGTurnEdge::jePerfect));
      ASSERT_EQ(Out.Blocks.size(), In.Blocks.size());
      int Wrong = 0;
      for (size_t C = 0; C < In.Blocks.size(); ++C) {
        ASSERT_EQ(Out.BW[C], O >= 5 ? In.BH[C] : In.BW[C]);
        for (int BY = 0; BY < In.BH[C]; ++BY)
          for (int BX = 0; BX < In.BW[C]; ++BX) {
            int UX, UY;
            UprightOf(O, Out.BW[C], Out.BH[C], BX, BY, UX, UY);
            const JCOEF* S = &In.Blocks[C][(size_t(BY) * In.BW[C] + BX) * 64];
            const JCOEF* T = &Out.Blocks[C][(size_t(UY) * Out.BW[C] + UX) * 64];
            for (int L = 0; L < 8; ++L)
              for (int K = 0; K < 8; ++K) {
                int TK, TL, Sign;
                CoefficientMove(O, K, L, TK, TL, Sign);
                Wrong += T[TL * 8 + TK] != Sign * S[L * 8 + K];
              }
          }
      }
      EXPECT_EQ(Wrong, 0) << (Grey ? "grey" : "colour") << " orientation " << O;
    }
  }
}

// Decoded pixels: mirror images of the decoder's work are exact where the decoder is symmetric
// (grey flips, top-bottom flips); transposing turns and the colour files' left-right mirrors go
// through an integer transform and chroma upsampling that round a mirrored block differently,
// by a level or so.
TEST(JPEGTurn, WholeBlockPicturesDecodeToTheTurnedPixels) {
  for (bool Grey : {false, true}) {
    TPixelGraphic Busy;
    MakeBusy(Busy, 64, 48, Grey);
    const std::vector<uint8_t> Jpeg = EncodeJPEG(Busy);
    TPixelGraphic Original;
    Decode(Jpeg, Original);
    for (int O = 2; O <= 8; ++O) {
      TPixelGraphic Got, Want;
      Decode(TurnJPEGLossless(Jpeg.data(), Jpeg.size(), O, TJPEGTurnEdge::jePerfect), Got);
      Turned(Original, O, Want);
      ASSERT_EQ(Got.Width(), Want.Width());
      ASSERT_EQ(Got.Height(), Want.Height());
      int Max = 0;
      const size_t N = size_t(Got.Width()) * (Grey ? 1 : 3);
      for (int Y = 0; Y < Got.Height(); ++Y)
        for (size_t I = 0; I < N; ++I)
          Max = std::max(Max, std::abs(int(Got.ScanLine(Y)[I]) - int(Want.ScanLine(Y)[I])));
      const bool Exact = O == 4 || (Grey && O <= 4);
      EXPECT_LE(Max, Exact ? 0 : 3) << (Grey ? "grey" : "colour") << " orientation " << O;
    }
  }
}

TEST(JPEGTurn, FourQuarterTurnsGiveTheSameScanData) {
  TPixelGraphic Busy;
  MakeBusy(Busy, 64, 48, false);
  const std::vector<uint8_t> Jpeg = EncodeJPEG(Busy);
  std::vector<uint8_t> T = Jpeg;
  for (int I = 0; I < 4; ++I)
    T = TurnJPEGLossless(T.data(), T.size(), 6, TJPEGTurnEdge::jePerfect);
  // From the start of scan to the end: the entropy-coded data.
  auto Scan = [](const std::vector<uint8_t>& D) {
    for (size_t I = 2; I + 1 < D.size(); ++I)
      if (D[I] == 0xFF && D[I + 1] == 0xDA) return std::vector<uint8_t>(D.begin() + I, D.end());
    return std::vector<uint8_t>();
  };
  ASSERT_FALSE(Scan(Jpeg).empty());
  EXPECT_EQ(Scan(T), Scan(Jpeg));
  TPixelGraphic A, B;
  Decode(Jpeg, A);
  Decode(T, B);
  EXPECT_TRUE(SamePixels(A, B));
}

TEST(JPEGTurn, PartialBlocksAreTrimmedOrRefused) {
  TPixelGraphic Busy;
  MakeBusy(Busy, 37, 21, false); // 4:2:0: 16 x 16 blocks, partial at both edges
  const std::vector<uint8_t> Jpeg = EncodeJPEG(Busy);
  EXPECT_FALSE(JPEGTurnIsPerfect(Jpeg.data(), Jpeg.size(), 6));
  EXPECT_TRUE(JPEGTurnIsPerfect(Jpeg.data(), Jpeg.size(), 5)); // transposing moves no edge
  try {
    TurnJPEGLossless(Jpeg.data(), Jpeg.size(), 6, TJPEGTurnEdge::jePerfect);
    FAIL() << "a partial block was not refused";
  } catch (const EPGJPGFileFormatReaderWriter& E) {
    EXPECT_EQ(std::string(E.what()),
              "JPG: The size 37 x 21 is not a whole number of 16 x 16 blocks; the turn would "
              "trim it");
  }
  struct Case {
    int Orientation, W, H;
  };
  for (const Case C : {Case{6, 16, 37}, Case{8, 21, 32}, Case{3, 32, 16}, Case{2, 32, 21},
                       Case{4, 37, 16}, Case{5, 21, 37}}) {
    TPixelGraphic G;
    Decode(TurnJPEGLossless(Jpeg.data(), Jpeg.size(), C.Orientation, TJPEGTurnEdge::jeTrim), G);
    EXPECT_EQ(G.Width(), C.W) << C.Orientation;
    EXPECT_EQ(G.Height(), C.H) << C.Orientation;
  }
  // A flip along the whole-block direction needs no trim.
  TPixelGraphic Wide;
  MakeBusy(Wide, 48, 21, false);
  const auto W = EncodeJPEG(Wide);
  EXPECT_TRUE(JPEGTurnIsPerfect(W.data(), W.size(), 2));
  EXPECT_NO_THROW(TurnJPEGLossless(W.data(), W.size(), 2, TJPEGTurnEdge::jePerfect));
}

TEST(JPEGTurn, OrientationTagBecomesOneAndOtherMarkersStay) {
  TPixelGraphic Up;
  MakeUpright(Up);
  const auto Jpeg = WithApp1(EncodeJPEG(Up), ExifBlock(6, true));
  const auto Out = TurnJPEGLossless(Jpeg.data(), Jpeg.size(), 6, TJPEGTurnEdge::jePerfect);
  TPixelGraphic G;
  Decode(Out, G);
  EXPECT_EQ(G.ExifOrientation, 1);
  EXPECT_EQ(G.Width(), 32);
  // The description entry beside it is still there.
  const std::string Text(Out.begin(), Out.end());
  EXPECT_NE(Text.find(std::string("Exif\0\0MM", 8)), std::string::npos);
  EXPECT_NE(Text.find(std::string("abc\0", 4)), std::string::npos);
}

TEST(JPEGTurn, FilesAreWrittenSafelyAndBadInputIsRefused) {
  TPixelGraphic Busy;
  MakeBusy(Busy, 32, 32, false);
  const std::string In = TempPath("turn-in.jpg"), Out = TempPath("turn-out.jpg");
  WriteFileBytes(In, EncodeJPEG(Busy));
  TurnJPEGFileLossless(In, Out, 3, TJPEGTurnEdge::jePerfect);
  TPixelGraphic G;
  G.LoadFromFile(Out);
  EXPECT_EQ(G.Width(), 32);

  // In place: the same file turned back.
  TurnJPEGFileLossless(Out, Out, 3, TJPEGTurnEdge::jePerfect);
  EXPECT_EQ(ReadFileBytes(Out).size(), ReadFileBytes(In).size());

  // Not a JPEG, a truncated one, a bad turn: errors, and the target is left alone.
  const auto Before = ReadFileBytes(Out);
  const std::vector<uint8_t> Junk = {'n', 'o', 't', ' ', 'j', 'p', 'e', 'g'};
  EXPECT_THROW(TurnJPEGLossless(Junk.data(), Junk.size(), 6, TJPEGTurnEdge::jeTrim),
               EPGJPGFileFormatReaderWriter);
  auto Cut = ReadFileBytes(In);
  Cut.resize(Cut.size() / 2);
  WriteFileBytes(In, Cut);
  EXPECT_THROW(TurnJPEGFileLossless(In, Out, 6, TJPEGTurnEdge::jeTrim), EPixelGraphic);
  EXPECT_EQ(ReadFileBytes(Out), Before);
  EXPECT_THROW(TurnJPEGLossless(Before.data(), Before.size(), 0, TJPEGTurnEdge::jeTrim),
               EPGJPGFileFormatReaderWriter);
  EXPECT_THROW(TurnJPEGFileLossless(TempPath("missing.jpg"), Out, 6, TJPEGTurnEdge::jeTrim),
               EPixelGraphic);
  EXPECT_EQ(ReadFileBytes(Out), Before);

  // A header declaring more pixels than the engine allows is refused before any work.
  EXPECT_THROW(TurnJPEGLossless(Before.data(), Before.size(), 6, TJPEGTurnEdge::jeTrim, 100),
               EPGJPGFileFormatReaderWriter);
}

// A small JPEG whose frame header claims Side x Side pixels, cut off just after its scan header:
// almost no block of the claimed picture is in the file.
std::vector<uint8_t> TruncatedHugeJPEG(int Side) {
  TPixelGraphic Busy;
  MakeBusy(Busy, 16, 16, false);
  std::vector<uint8_t> J = EncodeJPEG(Busy);
  for (size_t P = 2; P + 9 < J.size();) {
    const int M = J[P + 1];
    const size_t Len = (size_t(J[P + 2]) << 8) | J[P + 3];
    if (M == 0xC0 || M == 0xC2) {
      J[P + 5] = J[P + 7] = uint8_t(Side >> 8);
      J[P + 6] = J[P + 8] = uint8_t(Side & 255);
    }
    if (M == 0xDA) {
      J.resize(P + 2 + Len + 16);
      break;
    }
    P += 2 + Len;
  }
  return J;
}

TEST(JPEGTurn, TruncatedLargePictureStopsAtItsFirstWarning) {
  const std::vector<uint8_t> J = TruncatedHugeJPEG(8192);
  EXPECT_THROW(TurnJPEGLossless(J.data(), J.size(), 6, TJPEGTurnEdge::jeTrim),
               EPGJPGFileFormatReaderWriter);
  // Without stopping, every block of the 8192 x 8192 picture is filled in and turned (hundreds
  // of megabytes); the refusal must come before that. Measured in a child of its own.
  const pid_t Child = fork();
  ASSERT_GE(Child, 0);
  if (Child == 0) {
    int Code = 1;
    try {
      TurnJPEGLossless(J.data(), J.size(), 6, TJPEGTurnEdge::jeTrim);
    } catch (const EPGJPGFileFormatReaderWriter&) {
      Code = 0;
    }
    _exit(Code);
  }
  int Status = 0;
  rusage Usage{};
  ASSERT_EQ(wait4(Child, &Status, 0, &Usage), Child);
  ASSERT_TRUE(WIFEXITED(Status));
  EXPECT_EQ(WEXITSTATUS(Status), 0);
  EXPECT_LT(Usage.ru_maxrss, 150 * 1024) << "KB at peak";
}

TEST(JPEGTurn, CommandLineNames) {
  EXPECT_EQ(TurnFromName("90"), 6);
  EXPECT_EQ(TurnFromName("180"), 3);
  EXPECT_EQ(TurnFromName("270"), 8);
  EXPECT_EQ(TurnFromName("h"), 2);
  EXPECT_EQ(TurnFromName("v"), 4);
  EXPECT_EQ(TurnFromName("45"), 0);
  EXPECT_EQ(TurnFromName("H"), 0);
}

} // namespace
