// HEIF and AVIF files assembled from item boxes: overlays and grids whose inputs are missing or
// of types no decoder handles, grids of too many tiles, files of too many items, and the AVIF
// clean aperture (crop, then turn). The coded pictures come from the libraries' own encoders.
#include "engine/formats/avif.h"
#include "engine/formats/decodedrows.h"
#include "engine/formats/heif.h"
#include "engine/registry.h"
#include "engine/stream.h"
#include "tests/common/testutil.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>

#include <png.h>

using namespace orbisk;
using namespace orbisk::test;

namespace {

using TBytes = std::vector<uint8_t>;

void Put(TBytes& B, uint64_t V, int Bytes) {
  for (int K = Bytes - 1; K >= 0; --K)
    B.push_back(K < 8 ? uint8_t(V >> (8 * K)) : 0); // wider fields: zeros above 64 bits
}
void Put(TBytes& B, const std::string& S) {
  B.insert(B.end(), S.begin(), S.end());
}
void Put(TBytes& B, const TBytes& S) {
  B.insert(B.end(), S.begin(), S.end());
}
uint64_t Get(const TBytes& B, size_t P, int Bytes) {
  uint64_t V = 0;
  for (int K = 0; K < Bytes; ++K)
    V = (V << 8) | B.at(P + K);
  return V;
}

TBytes operator+(TBytes A, const TBytes& B) {
  Put(A, B);
  return A;
}

TBytes Box(const std::string& Type, const TBytes& Body) {
  TBytes B;
  Put(B, Body.size() + 8, 4);
  Put(B, Type);
  Put(B, Body);
  return B;
}
TBytes FullBox(const std::string& Type, int Version, const TBytes& Body) {
  TBytes B;
  Put(B, uint64_t(Version) << 24, 4);
  Put(B, Body);
  return Box(Type, B);
}

// The children of the box body [P, End) as type -> (body start, end).
std::vector<std::pair<std::string, std::pair<size_t, size_t>>> Children(const TBytes& F, size_t P,
                                                                        size_t End) {
  std::vector<std::pair<std::string, std::pair<size_t, size_t>>> Out;
  while (P + 8 <= End) {
    const size_t Size = Get(F, P, 4);
    Out.push_back({std::string(F.begin() + P + 4, F.begin() + P + 8), {P + 8, P + Size}});
    P += Size;
  }
  return Out;
}

// The primary picture of a one-picture file made by an encoder: its coded type, the property
// boxes it is associated with (as they stand) and its coded bytes.
struct TCoded {
  std::string Type;
  std::vector<TBytes> Props;
  TBytes Payload;
  int Width = 0, Height = 0;
};

TCoded ExtractCoded(const TBytes& F) {
  TCoded C;
  for (const auto& [T, R] : Children(F, 0, F.size())) {
    if (T != "meta") continue;
    std::map<int, std::string> Types;
    std::vector<TBytes> Ipco;
    std::map<int, std::vector<int>> Assoc;
    for (const auto& [MT, MR] : Children(F, R.first + 4, R.second)) {
      if (MT == "iinf") {
        const int V = int(F[MR.first]);
        for (const auto& [IT, IR] : Children(F, MR.first + 4 + (V ? 4 : 2), MR.second)) {
          const int IV = int(F[IR.first]);
          const int Id = int(Get(F, IR.first + 4, IV == 2 ? 2 : 4));
          Types[Id] = std::string(F.begin() + IR.first + 4 + (IV == 2 ? 4 : 6),
                                  F.begin() + IR.first + 8 + (IV == 2 ? 4 : 6));
        }
      } else if (MT == "iloc") {
        const int V = int(F[MR.first]);
        const int Sz = int(Get(F, MR.first + 4, 2));
        const int OS = Sz >> 12, LS = (Sz >> 8) & 15, BS = (Sz >> 4) & 15, IS = V ? Sz & 15 : 0;
        size_t P = MR.first + 6;
        const int N = int(Get(F, P, V < 2 ? 2 : 4));
        P += V < 2 ? 2 : 4;
        for (int K = 0; K < N; ++K) {
          const int Id = int(Get(F, P, V < 2 ? 2 : 4));
          P += (V < 2 ? 2 : 4) + (V ? 2 : 0) + 2;
          const uint64_t Base = Get(F, P, BS);
          P += BS;
          const int E = int(Get(F, P, 2));
          P += 2;
          for (int X = 0; X < E; ++X) {
            P += IS;
            const uint64_t Off = Get(F, P, OS), Len = Get(F, P + OS, LS);
            P += OS + LS;
            if (Id == 1)
              C.Payload.insert(C.Payload.end(), F.begin() + Base + Off,
                               F.begin() + Base + Off + Len);
          }
        }
      } else if (MT == "iprp") {
        for (const auto& [PT, PR] : Children(F, MR.first, MR.second)) {
          if (PT == "ipco")
            for (const auto& [CT, CR] : Children(F, PR.first, PR.second))
              Ipco.emplace_back(F.begin() + CR.first - 8, F.begin() + CR.second);
          if (PT == "ipma") {
            const int Flags = int(Get(F, PR.first + 1, 3));
            size_t P = PR.first + 4;
            const int N = int(Get(F, P, 4));
            P += 4;
            for (int K = 0; K < N; ++K) {
              const int Id = int(Get(F, P, 2));
              const int A = F[P + 2];
              P += 3;
              for (int X = 0; X < A; ++X) {
                const int Idx = int(Get(F, P, Flags & 1 ? 2 : 1)) & (Flags & 1 ? 0x7FFF : 0x7F);
                P += Flags & 1 ? 2 : 1;
                Assoc[Id].push_back(Idx);
              }
            }
          }
        }
      }
    }
    C.Type = Types[1];
    for (int Idx : Assoc[1]) {
      C.Props.push_back(Ipco.at(size_t(Idx - 1)));
      const TBytes& P = C.Props.back();
      if (std::string(P.begin() + 4, P.begin() + 8) == "ispe") {
        C.Width = int(Get(P, 12, 4));
        C.Height = int(Get(P, 16, 4));
      }
    }
  }
  return C;
}

struct TItem {
  int Id = 0;
  std::string Type;
  TBytes Data;             // empty: the shared coded payload
  std::vector<int> Props;  // 1-based indexes into the property list
  std::vector<int> Inputs; // dimg
};

// A file of Items (Primary first) over the property boxes; coded items share one payload.
TBytes BuildFile(const std::string& Brand, const std::vector<TItem>& Items,
                 const std::vector<TBytes>& Props, const TBytes& Payload) {
  auto Meta = [&](uint64_t DataStart) {
    TBytes Hdlr;
    Put(Hdlr, 0, 4);
    Put(Hdlr, "pict");
    Put(Hdlr, 0, 12);
    Put(Hdlr, 0, 1);
    TBytes Pitm;
    Put(Pitm, uint64_t(Items[0].Id), 2);
    TBytes Iloc;
    Put(Iloc, 0x4400, 2);
    Put(Iloc, Items.size(), 2);
    uint64_t Own = Payload.size();
    for (const TItem& I : Items) {
      Put(Iloc, uint64_t(I.Id), 2);
      Put(Iloc, 0, 2);
      Put(Iloc, 1, 2);
      Put(Iloc, DataStart + (I.Data.empty() ? 0 : Own), 4);
      Put(Iloc, I.Data.empty() ? Payload.size() : I.Data.size(), 4);
      Own += I.Data.size();
    }
    TBytes Iinf;
    Put(Iinf, Items.size(), 2);
    for (const TItem& I : Items) {
      TBytes E;
      Put(E, uint64_t(I.Id), 2);
      Put(E, 0, 2);
      Put(E, I.Type);
      Put(E, 0, 1);
      Put(Iinf, FullBox("infe", 2, E));
    }
    TBytes Iref;
    for (const TItem& I : Items) {
      if (I.Inputs.empty()) continue;
      TBytes R;
      Put(R, uint64_t(I.Id), 2);
      Put(R, I.Inputs.size(), 2);
      for (int In : I.Inputs)
        Put(R, uint64_t(In), 2);
      Put(Iref, Box("dimg", R));
    }
    TBytes Ipco, Ipma;
    for (const TBytes& P : Props)
      Put(Ipco, P);
    Put(Ipma, Items.size(), 4);
    for (const TItem& I : Items) {
      Put(Ipma, uint64_t(I.Id), 2);
      Put(Ipma, I.Props.size(), 1);
      for (int P : I.Props)
        Put(Ipma, uint64_t(P) | 0x80, 1);
    }
    TBytes Body;
    Put(Body, 0, 4);
    Put(Body, FullBox("hdlr", 0, Hdlr));
    Put(Body, FullBox("pitm", 0, Pitm));
    Put(Body, FullBox("iloc", 0, Iloc));
    Put(Body, FullBox("iinf", 0, Iinf));
    if (!Iref.empty()) Put(Body, FullBox("iref", 0, Iref));
    Put(Body, Box("iprp", Box("ipco", Ipco) + FullBox("ipma", 0, Ipma)));
    return Box("meta", Body);
  };
  TBytes Ftyp;
  Put(Ftyp, Brand);
  Put(Ftyp, 0, 4);
  Put(Ftyp, Brand);
  Put(Ftyp, "mif1");
  Put(Ftyp, "miaf");
  TBytes File = Box("ftyp", Ftyp);
  const uint64_t Start = File.size() + Meta(0).size() + 8;
  Put(File, Meta(Start));
  TBytes Mdat = Payload;
  for (const TItem& I : Items)
    Put(Mdat, I.Data);
  Put(File, Box("mdat", Mdat));
  return File;
}

TBytes Ispe(int W, int H) {
  TBytes B;
  Put(B, uint64_t(W), 4);
  Put(B, uint64_t(H), 4);
  return FullBox("ispe", 0, B);
}

// An opaque W x H test picture encoded by Tool ("heif-enc" or "avifenc"); empty when missing.
TCoded Encoded(const std::string& Tool, int W, int H) {
  if (std::system(("command -v " + Tool + " >/dev/null 2>&1").c_str()) != 0) return {};
  const std::string Png = TempPath("tile.png"), Out = TempPath("tile." + Tool);
  std::vector<uint8_t> Rgb(size_t(W) * H * 3);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      uint8_t* P = &Rgb[(size_t(Y) * W + X) * 3];
      P[0] = uint8_t(X * 255 / (W - 1));
      P[1] = uint8_t(Y * 255 / (H - 1));
      P[2] = (X / 8 + Y / 8) % 2 ? 200 : 40;
    }
  png_image Img{};
  Img.version = PNG_IMAGE_VERSION;
  Img.width = png_uint_32(W);
  Img.height = png_uint_32(H);
  Img.format = PNG_FORMAT_RGB;
  if (!png_image_write_to_file(&Img, Png.c_str(), 0, Rgb.data(), 0, nullptr)) return {};
  const std::string Cmd = Tool == "avifenc" ? "avifenc -l -s 10 '" + Png + "' '" + Out + "'"
                                            : "heif-enc -q 90 '" + Png + "' -o '" + Out + "'";
  if (std::system((Cmd + " >/dev/null 2>&1").c_str()) != 0) return {};
  return ExtractCoded(ReadFileBytes(Out));
}

// Grid descriptor of Rows x Cols tiles giving W x H.
TBytes GridData(int Rows, int Cols, int W, int H) {
  TBytes B = {0, 0, uint8_t(Rows - 1), uint8_t(Cols - 1)};
  Put(B, uint64_t(W), 2);
  Put(B, uint64_t(H), 2);
  return B;
}

// A grid file of Rows x Cols copies of the coded tile.
TBytes GridFile(const TCoded& C, const std::string& Brand, int Rows, int Cols) {
  std::vector<TBytes> Props = C.Props;
  Props.push_back(Ispe(C.Width * Cols, C.Height * Rows));
  std::vector<int> TileProps;
  for (size_t K = 1; K <= C.Props.size(); ++K)
    TileProps.push_back(int(K));
  std::vector<TItem> Items(1);
  Items[0] = {
      1, "grid", GridData(Rows, Cols, C.Width * Cols, C.Height * Rows), {int(Props.size())}, {}};
  for (int K = 0; K < Rows * Cols; ++K) {
    Items.push_back({2 + K, C.Type, {}, TileProps, {}});
    Items[0].Inputs.push_back(2 + K);
  }
  return BuildFile(Brand, Items, Props, C.Payload);
}

// An overlay of one input item of type InputType (Input is its id; a missing id when it differs
// from 2).
TBytes OverlayFile(const TCoded& C, const std::string& InputType, int Input = 2, int CanvasW = 0,
                   int CanvasH = 0) {
  std::vector<TBytes> Props = C.Props;
  Props.push_back(Ispe(C.Width + 8, C.Height + 8));
  std::vector<int> TileProps;
  for (size_t K = 1; K <= C.Props.size(); ++K)
    TileProps.push_back(int(K));
  TBytes Ovl = {0, 0};
  Put(Ovl, 0xFFFF, 2);
  Put(Ovl, 0, 2);
  Put(Ovl, 0, 2);
  Put(Ovl, 0xFFFF, 2);
  Put(Ovl, uint64_t(CanvasW ? CanvasW : C.Width + 8), 2);
  Put(Ovl, uint64_t(CanvasH ? CanvasH : C.Height + 8), 2);
  Put(Ovl, 4, 2);
  Put(Ovl, 4, 2);
  std::vector<TItem> Items = {{1, "iovl", Ovl, {int(Props.size())}, {Input}},
                              {2, InputType, {}, TileProps, {}}};
  return BuildFile("heic", Items, Props, C.Payload);
}

// Threads of this process now.
int ThreadCount() {
  const TBytes S = ReadFileBytes("/proc/self/status");
  const std::string T(S.begin(), S.end());
  const size_t P = T.find("Threads:");
  return P == std::string::npos ? 0 : std::atoi(T.c_str() + P + 8);
}

// How loading Data ended, in a child process of its own (the library may abort the process):
// "ok WxH", "error TEXT" or "signal N".
std::string LoadInChild(const TBytes& Data, const std::string& Ext, long* PeakKB = nullptr) {
  const std::string Path = TempPath("child." + Ext), Result = TempPath("child.txt");
  WriteFileBytes(Path, Data);
  const pid_t Child = fork();
  if (Child == 0) {
    std::string Text;
    try {
      TPixelGraphic G;
      G.LoadFromFile(Path);
      Text = "ok " + std::to_string(G.Width()) + "x" + std::to_string(G.Height());
    } catch (const std::exception& E) {
      Text = std::string("error ") + E.what();
    }
    WriteFileBytes(Result, TBytes(Text.begin(), Text.end()));
    _exit(0);
  }
  int Status = 0;
  rusage Usage{};
  wait4(Child, &Status, 0, &Usage);
  if (PeakKB) *PeakKB = Usage.ru_maxrss;
  if (WIFSIGNALED(Status)) return "signal " + std::to_string(WTERMSIG(Status));
  const TBytes R = ReadFileBytes(Result);
  return std::string(R.begin(), R.end());
}

TEST(HEIFItems, OverlaysWhoseInputsCannotBeDecodedAreRefused) {
  const TCoded C = Encoded("heif-enc", 64, 64);
  if (C.Payload.empty()) GTEST_SKIP() << "heif-enc is not installed";
  ASSERT_EQ(C.Type, "hvc1");
  // A sound overlay decodes: the tile on the canvas.
  EXPECT_EQ(LoadInChild(OverlayFile(C, "hvc1"), "heic"), "ok 72x72");
  // An input of a type no decoder knows, and an input that does not exist.
  EXPECT_EQ(LoadInChild(OverlayFile(C, "zzzz"), "heic"), "error HEIF: Item type invalid");
  EXPECT_EQ(LoadInChild(OverlayFile(C, "hvc1", 9), "heic"), "error HEIF: dimg invalid");
  // A canvas far larger than the item's own size: refused before the library allocates it.
  long Peak = 0;
  EXPECT_EQ(LoadInChild(OverlayFile(C, "hvc1", 2, 30000, 30000), "heic", &Peak),
            "error HEIF: CreateDIBSection failed");
  EXPECT_LT(Peak, 300 * 1024) << "KB at peak";
  // Grids of such pictures still decode.
  EXPECT_EQ(LoadInChild(GridFile(C, "heic", 1, 2), "heic"), "ok 128x64");

  TGraphicFileInfo Info;
  const std::string Path = TempPath("overlay.heic");
  WriteFileBytes(Path, OverlayFile(C, "zzzz"));
  EXPECT_FALSE(GetGraphicFileInfo(Path, 0, Info));
}

TEST(HEIFItems, GridsOfTooManyTilesAreRefusedBeforeTheLibrary) {
  for (const std::string Tool : {"heif-enc", "avifenc"}) {
    // Grid cells of AVIF files are at least 64 x 64.
    const TCoded C = Encoded(Tool, 64, 64);
    if (C.Payload.empty()) continue;
    const std::string Ext = Tool == "avifenc" ? "avif" : "heic";
    SCOPED_TRACE(Ext);
    EXPECT_EQ(LoadInChild(GridFile(C, Ext, 4, 8), Ext), "ok 512x256");
    EXPECT_EQ(LoadInChild(GridFile(C, Ext, 32, 32), Ext), "ok 2048x2048");
    const std::string Tag = Ext == "avif" ? "AVIF: " : "HEIF: ";
    EXPECT_EQ(LoadInChild(GridFile(C, Ext, 32, 33), Ext),
              "error " + Tag + "Number of tiles invalid");
    TGraphicFileInfo Info;
    const std::string Path = TempPath("grid." + Ext);
    WriteFileBytes(Path, GridFile(C, Ext, 33, 32));
    EXPECT_FALSE(GetGraphicFileInfo(Path, 0, Info));

    if (Ext != "avif") continue;
    // The tiles' decoders share the processors: their threads are still there while the rows
    // are stored (the library keeps one decoder per tile until the end).
    WriteFileBytes(Path, GridFile(C, Ext, 16, 16));
    TPixelGraphic G;
    int Most = 0;
    G.OnProgress = [&](TPixelGraphic*, int, bool&, int) { Most = std::max(Most, ThreadCount()); };
    G.LoadFromFile(Path);
    EXPECT_EQ(G.Width(), 1024);
    EXPECT_GT(Most, 0);
    EXPECT_LE(Most, CodecThreadCount() + 1);
  }
}

TEST(HEIFItems, MalformedItemBoxesFailCleanly) {
  const TCoded C = Encoded("heif-enc", 16, 16);
  if (C.Payload.empty()) GTEST_SKIP() << "heif-enc is not installed";
  const TBytes Good = GridFile(C, "heic", 1, 2);
  const TItemTypes Types{{"hvc1"}, {"grid", "iovl"}};
  const TFailFn Throw = [](const std::string& T) { throw EPixelGraphic(T); };
  EXPECT_EQ(CheckPrimaryItems(Good, Types, Throw), 2);
  // Every cut of the file and every byte of its boxes changed: refused or accepted, never more.
  for (size_t N = 0; N < Good.size(); N += 7) {
    TBytes Cut(Good.begin(), Good.begin() + std::ptrdiff_t(N));
    try {
      CheckPrimaryItems(Cut, Types, Throw);
    } catch (const EPixelGraphic&) {
    }
  }
  for (size_t P = 0; P < Good.size() - C.Payload.size(); ++P) {
    TBytes Bad = Good;
    Bad[P] ^= 0xFF;
    try {
      EXPECT_LE(CheckPrimaryItems(Bad, Types, Throw), kMaxPictureTiles);
    } catch (const EPixelGraphic&) {
    }
  }
  // An item listed twice, once as an overlay and once as a coded picture.
  TBytes Twice = BuildFile("heic", {{1, "iovl", {0, 0}, {}, {2}}, {1, C.Type, {}, {1, 2}, {}}},
                           C.Props, C.Payload);
  EXPECT_THROW(CheckPrimaryItems(Twice, Types, Throw), EPixelGraphic);
  // More items listed than a file may hold.
  std::vector<TItem> Items = {{1, C.Type, {}, {1, 2}, {}}};
  for (int K = 0; K < kMaxFileItems; ++K)
    Items.push_back({2 + K, "Exif", {1}, {}, {}});
  EXPECT_THROW(CheckPrimaryItems(BuildFile("heic", Items, C.Props, C.Payload), Types, Throw),
               EPixelGraphic);
}

TBytes Clap(int W, int H, int HN, int HD, int VN, int VD) {
  TBytes B;
  for (int V : {W, 1, H, 1, HN, HD, VN, VD})
    Put(B, uint64_t(uint32_t(V)), 4);
  return Box("clap", B);
}

// The coded picture alone with extra properties (clap, irot) after its own.
TBytes WithProps(const TCoded& C, const std::vector<TBytes>& Extra) {
  std::vector<TBytes> Props = C.Props;
  std::vector<int> Idx;
  for (size_t K = 1; K <= Props.size(); ++K)
    Idx.push_back(int(K));
  for (const TBytes& E : Extra) {
    Props.push_back(E);
    Idx.push_back(int(Props.size()));
  }
  return BuildFile("avif", {{1, C.Type, {}, Idx, {}}}, Props, C.Payload);
}

TEST(AVIFCleanAperture, CropComesBeforeTheTurnInPixelsAndInfo) {
  const TCoded C = Encoded("avifenc", 64, 48);
  if (C.Payload.empty()) GTEST_SKIP() << "avifenc is not installed";
  TPixelGraphic Whole;
  const std::string Plain = TempPath("plain.avif");
  WriteFileBytes(Plain, WithProps(C, {}));
  Whole.LoadFromFile(Plain);
  ASSERT_EQ(Whole.Width(), 64);

  // 33 x 21 from (5, 7): centre offsets 5 - 31/2 and 7 - 27/2 (odd, under any subsampling).
  const TBytes Crop = Clap(33, 21, -21, 2, -13, 2);
  const std::string Cropped = TempPath("clap.avif"), Turned = TempPath("clap-irot.avif");
  WriteFileBytes(Cropped, WithProps(C, {Crop}));
  WriteFileBytes(Turned, WithProps(C, {Crop, Box("irot", {1})}));

  TPixelGraphic G;
  G.LoadFromFile(Cropped);
  ASSERT_EQ(G.Width(), 33);
  ASSERT_EQ(G.Height(), 21);
  for (int Y = 0; Y < 21; ++Y)
    for (int X = 0; X < 33; ++X)
      ASSERT_EQ(G.GetPixelColor(X, Y), Whole.GetPixelColor(X + 5, Y + 7)) << X << "," << Y;
  TGraphicFileInfo Info;
  ASSERT_TRUE(GetGraphicFileInfo(Cropped, 0, Info));
  EXPECT_EQ(Info.Width, 33);
  EXPECT_EQ(Info.Height, 21);

  // A quarter turn anti-clockwise of the cropped rectangle.
  G.LoadFromFile(Turned);
  ASSERT_EQ(G.Width(), 21);
  ASSERT_EQ(G.Height(), 33);
  for (int Y = 0; Y < 33; ++Y)
    for (int X = 0; X < 21; ++X)
      ASSERT_EQ(G.GetPixelColor(X, Y), Whole.GetPixelColor(5 + 32 - Y, 7 + X)) << X << "," << Y;
  ASSERT_TRUE(GetGraphicFileInfo(Turned, 0, Info));
  EXPECT_EQ(Info.Width, 21);
  EXPECT_EQ(Info.Height, 33);

  // A box describing no rectangle inside the picture leaves it whole.
  WriteFileBytes(Cropped, WithProps(C, {Clap(80, 21, 0, 1, 0, 1)}));
  G.LoadFromFile(Cropped);
  EXPECT_EQ(G.Width(), 64);
  EXPECT_EQ(G.Height(), 48);
}

// Files for the fuzz corpus and the measurements, written where ORBISK_HOSTILE_DIR says.
TEST(HEIFItems, WritesSeedFilesWhenAsked) {
  const char* Dir = std::getenv("ORBISK_HOSTILE_DIR");
  if (!Dir) GTEST_SKIP() << "ORBISK_HOSTILE_DIR is not set";
  const std::string D(Dir);
  const TCoded H = Encoded("heif-enc", 64, 64), A = Encoded("avifenc", 64, 48);
  const TCoded H16 = Encoded("heif-enc", 16, 16), A16 = Encoded("avifenc", 64, 64);
  const TCoded A256 = Encoded("avifenc", 256, 256);
  if (!H.Payload.empty()) {
    WriteFileBytes(D + "/overlay-unknown-tile.heic", OverlayFile(H, "zzzz"));
    WriteFileBytes(D + "/overlay-missing-tile.heic", OverlayFile(H, "hvc1", 9));
    WriteFileBytes(D + "/overlay.heic", OverlayFile(H, "hvc1"));
    WriteFileBytes(D + "/grid-2x2.heic", GridFile(H16, "heic", 2, 2));
    WriteFileBytes(D + "/bomb-grid-128x128.heic", GridFile(H16, "heic", 128, 128));
    WriteFileBytes(D + "/grid-32x32.heic", GridFile(H, "heic", 32, 32));
  }
  if (!A.Payload.empty()) {
    WriteFileBytes(D + "/grid-2x2.avif", GridFile(A16, "avif", 2, 2));
    WriteFileBytes(D + "/clap-irot.avif",
                   WithProps(A, {Clap(33, 21, -21, 2, -13, 2), Box("irot", {1})}));
    WriteFileBytes(D + "/bomb-grid-64x64.avif", GridFile(A256, "avif", 64, 64));
    WriteFileBytes(D + "/bomb-grid-255x255.avif", GridFile(A16, "avif", 255, 255));
    WriteFileBytes(D + "/grid-32x32.avif", GridFile(A16, "avif", 32, 32));
  }
}

} // namespace
