// Camera orientation: reading the EXIF tag from hostile blocks, the eight exact turns on every
// depth, and the readers that set the tag (JPEG APP1, TIFF tag 274, PNG eXIf).
#include "engine/orientation.h"
#include "engine/pixelgraphic.h"
#include "engine/stream.h"
#include "tests/common/orientationfixture.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

using namespace orbisk;
using namespace orbisk::test;

namespace {

TEST(OrientationFromExif, ReadsBothByteOrdersWithOrWithoutPrefix) {
  for (bool Motorola : {false, true})
    for (int O = 1; O <= 8; ++O) {
      const std::vector<uint8_t> B = ExifBlock(O, Motorola);
      EXPECT_EQ(OrientationFromExif(B.data(), B.size()), O);
      EXPECT_EQ(OrientationFromExif(B.data() + 6, B.size() - 6), O) << "without Exif prefix";
    }
}

TEST(OrientationFromExif, AnythingInvalidIsOne) {
  EXPECT_EQ(OrientationFromExif(nullptr, 100), 1);
  for (int Bad : {0, 9, 65535}) {
    const auto B = ExifBlock(Bad);
    EXPECT_EQ(OrientationFromExif(B.data(), B.size()), 1) << Bad;
  }
  auto B = ExifBlock(6);
  B[6 + 2] = 43; // not 42
  EXPECT_EQ(OrientationFromExif(B.data(), B.size()), 1);
  B = ExifBlock(6);
  B[6 + 10 + 12 + 2] = 9; // the Orientation entry typed SRATIONAL
  EXPECT_EQ(OrientationFromExif(B.data(), B.size()), 1);
  B = ExifBlock(6);
  B[6 + 10 + 12 + 4] = 2; // two values
  EXPECT_EQ(OrientationFromExif(B.data(), B.size()), 1);
  B = ExifBlock(6);
  B[6 + 4] = 0xF0; // IFD0 far outside
  EXPECT_EQ(OrientationFromExif(B.data(), B.size()), 1);
  B = ExifBlock(6);
  B[6 + 8] = 0xFF, B[6 + 9] = 0xFF; // 65535 entries declared: the whole ones still count
  EXPECT_EQ(OrientationFromExif(B.data(), B.size()), 6);
  B[6 + 8 + 2] = 0x13; // ... and reading stops at the data's end
  B[6 + 8 + 14] = 0x13;
  EXPECT_EQ(OrientationFromExif(B.data(), B.size()), 1);
  // Every truncation: the value only when the entry is whole, never a read outside.
  const auto Full = ExifBlock(6);
  for (size_t N = 0; N < Full.size(); ++N) {
    std::vector<uint8_t> Cut(Full.begin(), Full.begin() + N); // own allocation for ASan
    const int O = OrientationFromExif(Cut.data(), Cut.size());
    EXPECT_EQ(O, N >= 6 + 10 + 12 + 10 ? 6 : 1) << N;
  }
}

TEST(OrientationFromExif, ResetWritesOneInPlaceOnly) {
  for (bool Motorola : {false, true}) {
    auto B = ExifBlock(7, Motorola);
    const auto Before = B;
    ASSERT_TRUE(ResetExifOrientation(B.data(), B.size()));
    EXPECT_EQ(OrientationFromExif(B.data(), B.size()), 1);
    size_t Changed = 0;
    for (size_t I = 0; I < B.size(); ++I)
      Changed += B[I] != Before[I];
    EXPECT_EQ(Changed, 1u);
  }
  std::vector<uint8_t> None = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0};
  EXPECT_FALSE(ResetExifOrientation(None.data(), None.size()));
}

// A picture of distinct values in each depth: the values of a 5 x 3 picture.
void MakeValues(TPixelGraphic& G, int Code) {
  G.SetSize(5, 3, Code);
  if (Code < 3) {
    G.SetPaletteCount(G.ColorCount());
    for (int I = 0; I < G.ColorCount(); ++I)
      G.SetPaletteEntry(I, RGBOf(I, 255 - I, I / 2));
  }
  const uint32_t Mod = Code == 0 ? 2 : Code == 1 ? 16 : Code == 2 ? 256 : 0x1000000;
  for (int Y = 0; Y < 3; ++Y)
    for (int X = 0; X < 5; ++X)
      G.SetPixelValue(X, Y, uint32_t(Y * 5 + X + (Code == 0 ? X * Y : 0)) * 2654435761u % Mod);
}

TEST(ApplyOrientation, EveryOrientationAtEveryDepthGivesTheUprightPicture) {
  for (int Code = 0; Code <= 3; ++Code) {
    TPixelGraphic Upright;
    MakeValues(Upright, Code);
    for (int O = 1; O <= 8; ++O) {
      TPixelGraphic G;
      MakeStored(Upright, O, G);
      G.ExifOrientation = O;
      AutoOrient(G);
      ASSERT_EQ(G.Width(), 5) << "depth " << Code << " orientation " << O;
      ASSERT_EQ(G.Height(), 3);
      EXPECT_EQ(G.BitCountNum(), Code);
      EXPECT_EQ(G.ExifOrientation, 1);
      EXPECT_EQ(G.Palette(), Upright.Palette());
      for (int Y = 0; Y < 3; ++Y)
        for (int X = 0; X < 5; ++X)
          ASSERT_EQ(G.GetPixelValue(X, Y), Upright.GetPixelValue(X, Y))
              << "depth " << Code << " orientation " << O << " at " << X << "," << Y;
      // Turned once: a second request does nothing.
      AutoOrient(G);
      EXPECT_EQ(G.Width(), 5);
      EXPECT_EQ(G.GetPixelValue(4, 0), Upright.GetPixelValue(4, 0));
    }
  }
}

TEST(ApplyOrientation, LargerPicturesAcrossTileEdges) {
  for (int Code : {2, 3}) {
    TPixelGraphic Upright;
    Upright.SetSize(150, 70, Code);
    if (Code == 2) Upright.SetPaletteKind(pGray256);
    for (int Y = 0; Y < 70; ++Y)
      for (int X = 0; X < 150; ++X)
        Upright.SetPixelValue(X, Y,
                              uint32_t(Y * 150 + X) * 2654435761u % (Code == 2 ? 256 : 0x1000000));
    for (int O = 1; O <= 8; ++O) {
      TPixelGraphic G;
      MakeStored(Upright, O, G);
      ApplyOrientation(G, O);
      ASSERT_EQ(G.Width(), 150);
      int Wrong = 0;
      for (int Y = 0; Y < 70; ++Y)
        for (int X = 0; X < 150; ++X)
          Wrong += G.GetPixelValue(X, Y) != Upright.GetPixelValue(X, Y);
      EXPECT_EQ(Wrong, 0) << "depth " << Code << " orientation " << O;
    }
  }
}

TEST(ApplyOrientation, CompositionMatchesTurnsDoneOneAfterTheOther) {
  TPixelGraphic Start;
  MakeValues(Start, 3);
  for (int A = 1; A <= 8; ++A)
    for (int B = 1; B <= 8; ++B) {
      TPixelGraphic Twice, Once;
      Twice.Assign(&Start);
      ApplyOrientation(Twice, A);
      ApplyOrientation(Twice, B);
      Once.Assign(&Start);
      ApplyOrientation(Once, ComposeOrientation(A, B));
      ASSERT_EQ(Once.Width(), Twice.Width()) << A << " then " << B;
      for (int Y = 0; Y < Once.Height(); ++Y)
        ASSERT_EQ(std::memcmp(Once.ScanLine(Y), Twice.ScanLine(Y), size_t(Once.Width()) * 3), 0)
            << A << " then " << B;
    }
  for (int A = 1; A <= 8; ++A)
    EXPECT_EQ(ComposeOrientation(A, InverseOrientation(A)), 1) << A;
}

TEST(ApplyOrientation, TheTagFollowsThePixels) {
  TPixelGraphic G;
  MakeValues(G, 3);
  G.ExifOrientation = 6;
  TPixelGraphic Copy;
  Copy.Assign(&G);
  EXPECT_EQ(Copy.ExifOrientation, 6); // the same stored pixels
  Copy.SetSize(2, 2, 3);
  EXPECT_EQ(Copy.ExifOrientation, 1); // new pixels
  ApplyOrientation(G, 42);            // invalid: nothing turns
  EXPECT_EQ(G.Width(), 5);
  EXPECT_EQ(G.ExifOrientation, 1);
}

// ---- readers

TPixelGraphic& Load(TPixelGraphic& G, const std::vector<uint8_t>& Data, const char* Ext) {
  TPGMemoryStream S(Data.data(), Data.size());
  G.LoadFromStreamExt(S, Ext, 0);
  return G;
}

TEST(OrientationReaders, JPEGReadsTheFirstExifSegment) {
  TPixelGraphic Up;
  MakeUpright(Up);
  const auto Plain = EncodeJPEG(Up);
  TPixelGraphic G;
  EXPECT_EQ(Load(G, Plain, "jpg").ExifOrientation, 1);
  EXPECT_EQ(Load(G, WithApp1(Plain, ExifBlock(6, true)), "jpg").ExifOrientation, 6);
  EXPECT_EQ(G.Width(), 48); // reading does not turn
  // A second EXIF segment does not override the first; a broken one counts as none.
  EXPECT_EQ(Load(G, WithApp1(WithApp1(Plain, ExifBlock(5)), ExifBlock(3)), "jpg").ExifOrientation,
            3);
  auto Broken = ExifBlock(8);
  Broken.resize(20);
  EXPECT_EQ(Load(G, WithApp1(Plain, Broken), "jpg").ExifOrientation, 1);
  // The next picture read into the same object starts from 1 again.
  EXPECT_EQ(Load(G, Plain, "jpg").ExifOrientation, 1);
}

TEST(OrientationReaders, TIFFTag274) {
  // A 2 x 1 RGB strip, little-endian, with Orientation among its tags.
  auto Tiff = [](uint16_t Type, uint32_t Count, uint16_t Value) {
    std::vector<uint8_t> B = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto U16 = [&](unsigned V) { B.insert(B.end(), {uint8_t(V), uint8_t(V >> 8)}); };
    auto U32 = [&](uint32_t V) {
      B.insert(B.end(), {uint8_t(V), uint8_t(V >> 8), uint8_t(V >> 16), uint8_t(V >> 24)});
    };
    auto Entry = [&](unsigned Tag, unsigned T, uint32_t N, uint32_t V) {
      U16(Tag), U16(T), U32(N);
      if (T == 3 && N == 1)
        U16(V), U16(0);
      else
        U32(V);
    };
    const uint32_t Pixels = 8 + 2 + 9 * 12 + 4;
    U16(9);
    Entry(256, 3, 1, 2);
    Entry(257, 3, 1, 1);
    Entry(258, 3, 3, Pixels + 6); // BitsPerSample array after the pixels
    Entry(259, 3, 1, 1);
    Entry(262, 3, 1, 2);
    Entry(273, 4, 1, Pixels);
    Entry(274, Type, Count, Value);
    Entry(277, 3, 1, 3);
    Entry(279, 4, 1, 6);
    U32(0);
    B.insert(B.end(), {255, 0, 0, 0, 0, 255});
    U16(8), U16(8), U16(8);
    return B;
  };
  TPixelGraphic G;
  EXPECT_EQ(Load(G, Tiff(3, 1, 8), "tif").ExifOrientation, 8);
  EXPECT_EQ(G.GetPixelColor(0, 0), RGBOf(255, 0, 0));
  EXPECT_EQ(Load(G, Tiff(3, 1, 0), "tif").ExifOrientation, 1);
  // A tag of another type is ignored rather than refusing the file.
  EXPECT_EQ(Load(G, Tiff(5, 1, 6), "tif").ExifOrientation, 1);
  EXPECT_EQ(G.Width(), 2);
}

TEST(OrientationReaders, PNGExifChunk) {
  TPixelGraphic Up;
  MakeUpright(Up, 6, 4);
  TPGMemoryStream S;
  Up.SaveToStreamExt(S, "png");
  std::vector<uint8_t> Png = S.Bytes();
  // eXIf goes before the first IDAT.
  size_t At = 8;
  while (At + 8 <= Png.size() && std::memcmp(&Png[At + 4], "IDAT", 4) != 0)
    At += 12 + (size_t(Png[At]) << 24 | size_t(Png[At + 1]) << 16 | size_t(Png[At + 2]) << 8 |
                Png[At + 3]);
  ASSERT_LT(At, Png.size());
  const auto Block = ExifBlock(7);
  std::vector<uint8_t> C = {0, 0, 0, uint8_t(Block.size() - 6), 'e', 'X', 'I', 'f'};
  C.insert(C.end(), Block.begin() + 6, Block.end());
  const uLong Crc = crc32(0, C.data() + 4, uInt(C.size() - 4));
  C.insert(C.end(), {uint8_t(Crc >> 24), uint8_t(Crc >> 16), uint8_t(Crc >> 8), uint8_t(Crc)});
  Png.insert(Png.begin() + std::ptrdiff_t(At), C.begin(), C.end());
  TPixelGraphic G;
  EXPECT_EQ(Load(G, Png, "png").ExifOrientation, 7);
  EXPECT_EQ(Load(G, S.Bytes(), "png").ExifOrientation, 1);
}

} // namespace
