// Metadata blocks: read from JPEG, PNG, TIFF and WebP files, fitted to the written pixels in
// both byte orders, written by the JPEG, PNG and TIFF writers and read back; broken blocks are
// left out without an error.
#include "engine/imagemetadata.h"
#include "engine/orientation.h"
#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace orbisk;
using namespace orbisk::test;

namespace {

using Bytes = std::vector<uint8_t>;

// A TIFF-structured block written entry by entry in either byte order.
struct TBlock {
  bool BE;
  Bytes D;
  void U16(size_t At, uint32_t V) {
    if (D.size() < At + 2) D.resize(At + 2);
    D[At + (BE ? 0 : 1)] = uint8_t(V >> 8);
    D[At + (BE ? 1 : 0)] = uint8_t(V);
  }
  void U32(size_t At, uint32_t V) {
    if (D.size() < At + 4) D.resize(At + 4);
    for (int I = 0; I < 4; ++I)
      D[At + (BE ? 3 - I : I)] = uint8_t(V >> (8 * I));
  }
  uint32_t R16(size_t At) const { return BE ? (D[At] << 8) | D[At + 1] : (D[At + 1] << 8) | D[At]; }
  uint32_t R32(size_t At) const {
    uint32_t V = 0;
    for (int I = 0; I < 4; ++I)
      V |= uint32_t(D[At + (BE ? 3 - I : I)]) << (8 * I);
    return V;
  }
  // A directory at At with entries {tag, type, count, value}; returns the next free offset.
  size_t Dir(size_t At, const std::vector<std::array<uint32_t, 4>>& E, uint32_t Next) {
    U16(At, uint32_t(E.size()));
    for (size_t I = 0; I < E.size(); ++I) {
      const size_t P = At + 2 + 12 * I;
      U16(P, E[I][0]);
      U16(P + 2, E[I][1]);
      U32(P + 4, E[I][2]);
      if (E[I][1] == 3 && E[I][2] == 1) {
        U16(P + 8, E[I][3]);
        U16(P + 10, 0);
      } else {
        U32(P + 8, E[I][3]);
      }
    }
    U32(At + 2 + 12 * E.size(), Next);
    return At + 2 + 12 * E.size() + 4;
  }
  void Text(size_t At, const char* S) {
    const size_t N = std::strlen(S) + 1;
    if (D.size() < At + N) D.resize(At + N);
    std::memcpy(&D[At], S, N);
  }
};

// A camera block: Make "Camera", Orientation, DateTime, the Exif directory (pixel size 400 x 300,
// the width a Short, the height a Long), a GPS directory and a thumbnail directory.
// Layout: IFD0 at 8 (6 entries, ends at 86), texts at 100/120, Exif IFD at 160, GPS at 200,
// IFD1 at 240.
TBlock CameraBlock(bool BE, int Orientation = 6) {
  TBlock B{BE, {}};
  B.D = {uint8_t(BE ? 'M' : 'I'), uint8_t(BE ? 'M' : 'I')};
  B.U16(2, 42);
  B.U32(4, 8);
  B.Dir(8,
        {{{271, 2, 7, 100}},
         {{274, 3, 1, uint32_t(Orientation)}},
         {{282, 5, 1, 140}},
         {{306, 2, 20, 120}},
         {{34665, 4, 1, 160}},
         {{34853, 4, 1, 200}}},
        240);
  B.Text(100, "Camera");
  B.Text(120, "2024:05:06 07:08:09");
  B.U32(140, 72);
  B.U32(144, 1);
  B.Dir(160, {{{40962, 3, 1, 400}}, {{40963, 4, 1, 300}}}, 0);
  B.Dir(200, {{{1, 2, 2, 'N'}}}, 0); // GPSLatitudeRef "N"
  B.Dir(240, {{{513, 4, 1, 0}}, {{514, 4, 1, 0}}}, 0);
  return B;
}

// A profile-like block whose header gives its own length, as the PNG writer wants.
Bytes FakeProfile(size_t N) {
  Bytes P(N);
  for (size_t I = 0; I < N; ++I)
    P[I] = uint8_t(I * 31 + 7);
  P[0] = uint8_t(N >> 24);
  P[1] = uint8_t(N >> 16);
  P[2] = uint8_t(N >> 8);
  P[3] = uint8_t(N);
  // The header fields libpng checks: version 2.1, a display profile of RGB data in XYZ, the D50
  // illuminant, no tags.
  std::fill(P.begin() + 4, P.begin() + 132, 0);
  P[8] = 2;
  P[9] = 0x10;
  std::memcpy(&P[12], "mntrRGB XYZ ", 12);
  std::memcpy(&P[36], "acsp", 4);
  const uint8_t D50[12] = {0, 0, 0xF6, 0xD6, 0, 1, 0, 0, 0, 0, 0xD3, 0x2D};
  std::memcpy(&P[68], D50, 12);
  return P;
}

const char* const kXmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
                         "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"/></x:xmpmeta>";

void Photo(TPixelGraphic& G, int W, int H) {
  G.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      G.SetPixelColor(X, Y, RGBOf(X * 5 % 256, Y * 7 % 256, 90));
}

// Exif directory entry value of Tag, read through the block view the test builds.
uint32_t ExifValue(const TBlock& B, uint32_t Tag) {
  const uint32_t Exif = 160;
  for (uint32_t I = 0; I < B.R16(Exif); ++I) {
    const size_t P = Exif + 2 + 12 * I;
    if (B.R16(P) == Tag) return B.R16(P + 2) == 3 ? B.R16(P + 8) : B.R32(P + 8);
  }
  return 0;
}

TEST(FitMetadata, PatchesOrientationPixelSizeAndThumbnailInBothByteOrders) {
  for (bool BE : {false, true}) {
    SCOPED_TRACE(BE ? "MM" : "II");
    TImageMetadata M;
    M.Exif = CameraBlock(BE).D;
    // Nothing changed: the block stays as it is, thumbnail included.
    const Bytes Before = M.Exif;
    FitMetadataToPicture(M, 400, 300, false);
    EXPECT_EQ(M.Exif, Before);
    // Resized and turned upright.
    FitMetadataToPicture(M, 150, 200, true);
    TBlock B{BE, M.Exif};
    EXPECT_EQ(OrientationFromExif(M.Exif.data(), M.Exif.size()), 1);
    EXPECT_EQ(ExifValue(B, 40962), 150u);
    EXPECT_EQ(ExifValue(B, 40963), 200u);
    EXPECT_EQ(B.R32(8 + 2 + 12 * 6), 0u) << "the thumbnail directory is unlinked";
    EXPECT_EQ(B.R16(160 + 2 + 2), 3u) << "a width that fits stays a Short";
    // A width past a Short's range becomes a Long in the same entry.
    FitMetadataToPicture(M, 70000, 200, false);
    B.D = M.Exif;
    EXPECT_EQ(B.R16(160 + 2 + 2), 4u);
    EXPECT_EQ(ExifValue(B, 40962), 70000u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&M.Exif[100])), "Camera");
  }
}

TEST(FitMetadata, OnlyTheRealChangeDropsTheThumbnail) {
  TImageMetadata M;
  M.Exif = CameraBlock(false, 1).D;
  // Reset asked for a picture that was upright already, at the same size: nothing to drop.
  FitMetadataToPicture(M, 400, 300, true);
  EXPECT_EQ(M.Exif, CameraBlock(false, 1).D);
  // Broken blocks are left alone and never read outside their bytes.
  for (size_t Cut : {size_t(0), size_t(5), size_t(20), size_t(170)}) {
    TImageMetadata Broken;
    Broken.Exif = CameraBlock(true).D;
    Broken.Exif.resize(Cut);
    FitMetadataToPicture(Broken, 10, 10, true);
    EXPECT_EQ(Broken.Exif.size(), Cut);
  }
}

TImageMetadata FullMetadata(size_t IccSize = 3000) {
  TImageMetadata M;
  M.Exif = CameraBlock(true).D;
  M.Icc = FakeProfile(IccSize);
  M.Xmp = kXmp;
  return M;
}

TEST(MetadataWriters, JPEGAndPNGKeepEveryBlockAndTIFFTheProfileAndXMP) {
  for (const char* Ext : {"jpg", "png", "tif"}) {
    SCOPED_TRACE(Ext);
    TPixelGraphic G;
    Photo(G, 47, 33);
    G.Metadata = FullMetadata();
    const std::string Path = TempPath(std::string("meta.") + Ext);
    G.SaveToFile(Path);
    const TImageMetadata Back = ReadImageMetadata(Path);
    EXPECT_EQ(Back.Icc, G.Metadata.Icc);
    EXPECT_EQ(Back.Xmp, G.Metadata.Xmp);
    if (std::string(Ext) != "tif") {
      EXPECT_EQ(Back.Exif, G.Metadata.Exif);
    }
    // The pixels and the orientation the readers see are those of the file.
    TPixelGraphic R;
    R.LoadFromFile(Path);
    EXPECT_EQ(R.Width(), 47);
    EXPECT_EQ(R.Height(), 33);
    if (std::string(Ext) != "tif") {
      EXPECT_EQ(R.ExifOrientation, 6);
    }
    EXPECT_TRUE(R.Metadata.Empty()) << "readers leave the blocks to ReadImageMetadata";
  }
}

TEST(MetadataWriters, LargeProfilesAreSplitAcrossJPEGSegmentsAndJoinedBack) {
  TPixelGraphic G;
  Photo(G, 16, 16);
  G.Metadata.Icc = FakeProfile(150000); // three APP2 chunks
  const std::string Path = TempPath("bigicc.jpg");
  G.SaveToFile(Path);
  EXPECT_EQ(ReadImageMetadata(Path).Icc, G.Metadata.Icc);
  // A file missing one of the chunks gives no profile rather than a broken one.
  Bytes F = ReadFileBytes(Path);
  size_t At = 0;
  for (size_t I = 2; I + 16 < F.size(); ++I)
    if (F[I] == 0xFF && F[I + 1] == 0xE2 && std::memcmp(&F[I + 4], "ICC_PROFILE", 11) == 0 &&
        F[I + 16] == 2) {
      At = I;
      break;
    }
  ASSERT_GT(At, 0u);
  const size_t Len = size_t((F[At + 2] << 8) | F[At + 3]);
  F.erase(F.begin() + long(At), F.begin() + long(At + 2 + Len));
  WriteFileBytes(Path, F);
  EXPECT_TRUE(ReadImageMetadata(Path).Icc.empty());
}

// Where each writer puts nothing when there is nothing to carry.
TEST(MetadataWriters, NoMetadataWritesNoBlocks) {
  TPixelGraphic G;
  Photo(G, 20, 10);
  const auto Has = [](const Bytes& F, const char* S) {
    const size_t N = std::strlen(S);
    return std::search(F.begin(), F.end(), S, S + N) != F.end();
  };
  const std::string J = TempPath("plain.jpg"), P = TempPath("plain.png"), T = TempPath("plain.tif");
  G.SaveToFile(J);
  G.SaveToFile(P);
  G.SaveToFile(T);
  const Bytes FJ = ReadFileBytes(J), FP = ReadFileBytes(P), FT = ReadFileBytes(T);
  EXPECT_FALSE(Has(FJ, "Exif") || Has(FJ, "ICC_PROFILE") || Has(FJ, "ns.adobe.com"));
  EXPECT_FALSE(Has(FP, "eXIf") || Has(FP, "iCCP") || Has(FP, "iTXt"));
  EXPECT_EQ(FT[8] | (FT[9] << 8), 13) << "the TIFF directory keeps its 13 entries";
  EXPECT_TRUE(ReadImageMetadata(J).Empty());
  EXPECT_TRUE(ReadImageMetadata(P).Empty());
  EXPECT_TRUE(ReadImageMetadata(T).Empty());
}

TEST(ReadMetadata, TIFFDirectoriesBecomeACameraBlockWithoutTheLayoutTags) {
  for (bool BE : {false, true}) {
    SCOPED_TRACE(BE ? "MM" : "II");
    // A TIFF file's first directory: the camera tags beside the layout tags.
    TBlock B = CameraBlock(BE);
    B.Dir(8,
          {{{256, 3, 1, 400}},
           {{257, 3, 1, 300}},
           {{271, 2, 7, 100}},
           {{274, 3, 1, 6}},
           {{306, 2, 20, 120}},
           {{34665, 4, 1, 160}},
           {{34853, 4, 1, 200}}},
          240);
    Bytes Exif;
    ASSERT_TRUE(ExifBlockFromTIFF(B.D.data(), B.D.size(), Exif));
    TBlock R{BE, Exif};
    EXPECT_EQ(R.D[0], BE ? 'M' : 'I');
    const uint32_t IFD0 = R.R32(4);
    ASSERT_EQ(R.R16(IFD0), 5u) << "width and height are left out";
    EXPECT_EQ(R.R16(IFD0 + 2), 271u);
    EXPECT_EQ(R.R32(IFD0 + 2 + 12 * 5), 0u) << "no thumbnail directory";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&R.D[R.R32(IFD0 + 2 + 8)])), "Camera");
    EXPECT_EQ(OrientationFromExif(Exif.data(), Exif.size()), 6);
    // The Exif directory moved with its values.
    const uint32_t Sub = R.R32(IFD0 + 2 + 12 * 3 + 8);
    EXPECT_EQ(R.R16(Sub), 2u);
    EXPECT_EQ(R.R16(Sub + 2), 40962u);
    EXPECT_EQ(R.R16(Sub + 2 + 8), 400u);
    // Fitting works on the rebuilt block as on a camera's.
    TImageMetadata M;
    M.Exif = Exif;
    FitMetadataToPicture(M, 40, 30, true);
    EXPECT_EQ(OrientationFromExif(M.Exif.data(), M.Exif.size()), 1);
  }
  // A file whose directory holds only layout tags carries no camera data.
  TBlock Plain{false, {'I', 'I'}};
  Plain.U16(2, 42);
  Plain.U32(4, 8);
  Plain.Dir(8, {{{256, 3, 1, 4}}, {{257, 3, 1, 4}}, {{282, 5, 1, 40}}}, 0);
  Plain.U32(40, 72);
  Plain.U32(44, 1);
  Bytes Exif;
  EXPECT_FALSE(ExifBlockFromTIFF(Plain.D.data(), Plain.D.size(), Exif));
  EXPECT_TRUE(Exif.empty());
}

void Chunk(Bytes& F, const char* Type, const Bytes& Data, bool LittleLength) {
  const uint32_t N = uint32_t(Data.size());
  const auto Len = [&] {
    for (int I = 0; I < 4; ++I)
      F.push_back(uint8_t(N >> (8 * (LittleLength ? I : 3 - I))));
  };
  if (LittleLength) { // RIFF: type, length
    F.insert(F.end(), Type, Type + 4);
    Len();
  } else { // PNG: length, type (the CRC is not checked here)
    Len();
    F.insert(F.end(), Type, Type + 4);
  }
  F.insert(F.end(), Data.begin(), Data.end());
  if (LittleLength && (N & 1)) F.push_back(0);
  if (!LittleLength) F.insert(F.end(), 4, 0);
}

TEST(ReadMetadata, WebPChunksAndBrokenBlocksNeverThrow) {
  const Bytes Exif = CameraBlock(false).D;
  Bytes ExifChunk = {'E', 'x', 'i', 'f', 0, 0};
  ExifChunk.insert(ExifChunk.end(), Exif.begin(), Exif.end());
  const Bytes Icc = FakeProfile(301);
  Bytes F = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'};
  Chunk(F, "VP8X", Bytes(10, 0), true);
  Chunk(F, "ICCP", Icc, true);
  Chunk(F, "EXIF", ExifChunk, true); // some writers keep the JPEG prefix
  Chunk(F, "XMP ", Bytes(kXmp, kXmp + std::strlen(kXmp)), true);
  const uint32_t Riff = uint32_t(F.size() - 8);
  for (int I = 0; I < 4; ++I)
    F[4 + I] = uint8_t(Riff >> (8 * I));
  const std::string Path = TempPath("meta.webp");
  WriteFileBytes(Path, F);
  const TImageMetadata M = ReadImageMetadata(Path);
  EXPECT_EQ(M.Exif, Exif);
  EXPECT_EQ(M.Icc, Icc);
  EXPECT_EQ(M.Xmp, kXmp);
  // Cut anywhere, the file gives what is whole before the cut.
  for (size_t Cut = 0; Cut < F.size(); Cut += 37) {
    WriteFileBytes(Path, Bytes(F.begin(), F.begin() + long(Cut)));
    const TImageMetadata Part = ReadImageMetadata(Path);
    EXPECT_TRUE(Part.Icc.empty() || Part.Icc == Icc);
  }
  EXPECT_TRUE(ReadImageMetadata(TempPath("missing.jpg")).Empty());

  // PNG: a profile whose compressed data is broken, an eXIf chunk that is no EXIF block.
  Bytes P = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  Chunk(P, "IHDR", Bytes(13, 0), false);
  Chunk(P, "iCCP", {'x', 0, 0, 0x78, 0x9c, 1, 2, 3}, false);
  Chunk(P, "eXIf", {'n', 'o', 't', ' ', 'e', 'x', 'i', 'f', '!'}, false);
  Chunk(P, "IEND", {}, false);
  WriteFileBytes(Path + ".png", P);
  EXPECT_TRUE(ReadImageMetadata(Path + ".png").Empty());
}

// HEIF and AVIF files made by the codecs' own tools from a JPEG carrying every block.
TEST(ReadMetadata, HEIFAndAVIFItemsAndProfile) {
  TPixelGraphic G;
  Photo(G, 32, 24);
  G.Metadata = FullMetadata();
  const std::string Jpg = TempPath("forheif.jpg");
  G.SaveToFile(Jpg);
  int Tried = 0;
  for (const char* Tool : {"heif-enc -q 50 '%s' -o '%s'", "avifenc '%s' '%s'"}) {
    const bool Heif = std::strncmp(Tool, "heif", 4) == 0;
    const std::string Out = TempPath(Heif ? "meta.heic" : "meta.avif");
    char Command[1024];
    std::snprintf(Command, sizeof Command, Tool, Jpg.c_str(), Out.c_str());
    if (std::system((std::string(Command) + " >/dev/null 2>&1").c_str()) != 0) continue;
    ++Tried;
    SCOPED_TRACE(Out);
    const TImageMetadata M = ReadImageMetadata(Out);
    EXPECT_EQ(M.Exif, G.Metadata.Exif);
    EXPECT_EQ(M.Icc, G.Metadata.Icc);
    EXPECT_EQ(M.Xmp, G.Metadata.Xmp);
  }
  if (Tried == 0) GTEST_SKIP() << "neither heif-enc nor avifenc is installed";
}

} // namespace
