// WMF and EMF readers: our own header parsing and record checks; drawing is the player's.
#include "engine/formats/metafile.h"

#include "engine/formats/formats.h"
#include "engine/messages.h"
#include "engine/stream.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>

namespace orbisk {

namespace {

constexpr char kInvalidMetafile[] = "Invalid Metafile";
constexpr uint32_t kEmrHeader = 1;
constexpr uint32_t kEmrEOF = 14;
constexpr size_t kEmfHeaderMin = 88;  // up to and including the reference size in millimetres
constexpr size_t kWmfHeaderSize = 18; // the metafile header after the placeable header
constexpr size_t kWmfMinRecordWords = 3;
constexpr size_t kEmfEOFSize = 20;

uint16_t Get16(const uint8_t* P) {
  return uint16_t(P[0] | (P[1] << 8));
}
int16_t GetS16(const uint8_t* P) {
  return int16_t(Get16(P));
}
uint32_t Get32(const uint8_t* P) {
  return uint32_t(P[0]) | (uint32_t(P[1]) << 8) | (uint32_t(P[2]) << 16) | (uint32_t(P[3]) << 24);
}
int32_t GetS32(const uint8_t* P) {
  return int32_t(Get32(P));
}
void Put16(uint8_t* P, uint16_t V) {
  P[0] = uint8_t(V);
  P[1] = uint8_t(V >> 8);
}
void Put32(uint8_t* P, uint32_t V) {
  for (int I = 0; I < 4; ++I)
    P[I] = uint8_t(V >> (8 * I));
}

// Num / Den rounded to the nearest integer, halves to even (Den > 0).
__int128 RoundDiv(__int128 Num, __int128 Den) {
  __int128 Q = Num / Den, R = Num % Den;
  if (R < 0) R = -R;
  const bool Odd = (Q % 2) != 0;
  if (2 * R > Den || (2 * R == Den && Odd)) Q += Num < 0 ? -1 : 1;
  return Q;
}

// A size in pixels, or 0 when it does not fit an int or is not above 0.
int PixelSize(__int128 Num, __int128 Den) {
  if (Den <= 0) return 0;
  __int128 V = RoundDiv(Num, Den);
  return (V <= 0 || V > INT_MAX) ? 0 : int(V);
}

// ---- WMF -----------------------------------------------------------------------------------

bool LoadWMF(const uint8_t* Data, size_t Size, TMetafile& M, const TReadOptions& Options) {
  if (Size < kPlaceableHeaderSize + kWmfHeaderSize) return false;
  if (Get32(Data) != kPlaceableKey || Get16(Data + 20) != PlaceableChecksum(Data)) return false;
  const int Left = GetS16(Data + 6), Top = GetS16(Data + 8), Right = GetS16(Data + 10),
            Bottom = GetS16(Data + 12);
  int Inch = Get16(Data + 14);
  if (Inch == 0) Inch = 96;
  const int W = PixelSize(__int128(Right - Left) * Options.MetafilePixelsPerInchX, Inch);
  const int H = PixelSize(__int128(Bottom - Top) * Options.MetafilePixelsPerInchY, Inch);
  if (W <= 0 || H <= 0) return false;

  const uint8_t* Head = Data + kPlaceableHeaderSize;
  if (Get16(Head) > 2 || Get16(Head + 2) != kWmfHeaderSize / 2 || Get16(Head + 4) == 0)
    return false;

  // Walk the records; a record shorter than its own header is damage, one that runs past the
  // data is a truncated end.
  std::vector<uint8_t> Out(Data, Data + kPlaceableHeaderSize + kWmfHeaderSize);
  size_t Pos = kPlaceableHeaderSize + kWmfHeaderSize;
  uint32_t MaxRecord = kWmfMinRecordWords;
  bool SawEnd = false;
  while (Size - Pos >= 6) {
    const uint64_t Words = Get32(Data + Pos);
    const uint16_t Function = Get16(Data + Pos + 4);
    if (Words < kWmfMinRecordWords) return false;
    if (Words * 2 > Size - Pos) break;
    if (Function == 0) {
      SawEnd = true;
      break;
    }
    Out.insert(Out.end(), Data + Pos, Data + Pos + Words * 2);
    MaxRecord = std::max(MaxRecord, uint32_t(Words));
    Pos += Words * 2;
  }
  M.Truncated = !SawEnd;
  const uint8_t End[6] = {3, 0, 0, 0, 0, 0};
  Out.insert(Out.end(), End, End + 6);
  uint8_t* OutHead = Out.data() + kPlaceableHeaderSize;
  Put32(OutHead + 6, uint32_t((Out.size() - kPlaceableHeaderSize) / 2));
  Put32(OutHead + 12, MaxRecord);

  M.Enhanced = false;
  M.Data = std::move(Out);
  M.Width = W;
  M.Height = H;
  M.Palette.clear();
  return true;
}

// ---- EMF -----------------------------------------------------------------------------------

bool LoadEMF(const uint8_t* Data, size_t Size, TMetafile& M) {
  const size_t HeaderSize = Get32(Data + 4);
  if (HeaderSize < kEmfHeaderMin || HeaderSize % 4 != 0 || HeaderSize > Size) return false;
  // The file size from the header, bounded by the bytes that are really there.
  const size_t Declared = Get32(Data + 48);
  if (Declared < HeaderSize) return false;
  const size_t Len = std::min(Declared, Size);

  const int32_t DevCX = GetS32(Data + 72), DevCY = GetS32(Data + 76);
  const int32_t MmCX = GetS32(Data + 80), MmCY = GetS32(Data + 84);
  // A reference device without a size in pixels or millimetres gives no picture size.
  if (DevCX <= 0 || DevCY <= 0 || MmCX <= 0 || MmCY <= 0) return false;
  const int32_t FL = GetS32(Data + 24), FT = GetS32(Data + 28), FR = GetS32(Data + 32),
                FB = GetS32(Data + 36);
  const int W = PixelSize((__int128(FR) - FL) * DevCX, __int128(MmCX) * 100);
  const int H = PixelSize((__int128(FB) - FT) * DevCY, __int128(MmCY) * 100);
  if (W <= 0 || H <= 0) return false;

  std::vector<uint8_t> Out;
  Out.reserve(Len + kEmfEOFSize);
  size_t Pos = 0;
  uint32_t Records = 0;
  bool SawEnd = false;
  std::vector<TRGB> Palette;
  while (Len - Pos >= 8) {
    const uint32_t Type = Get32(Data + Pos);
    const size_t RecSize = Get32(Data + Pos + 4);
    if (RecSize < 8 || RecSize % 4 != 0) return false;
    if (RecSize > Len - Pos) break;
    if (Pos == 0 && Type != kEmrHeader) return false;
    Out.insert(Out.end(), Data + Pos, Data + Pos + RecSize);
    ++Records;
    if (Type == kEmrEOF) {
      SawEnd = true;
      const uint32_t HeaderEntries = Get32(Data + 68);
      if (RecSize >= kEmfEOFSize) {
        const uint64_t N = Get32(Data + Pos + 8), Off = Get32(Data + Pos + 12);
        const uint64_t Count = std::min<uint64_t>({N, HeaderEntries, 256});
        if (Count > 0 && Off >= 16 && Off + N * 4 <= RecSize - 4)
          for (uint64_t I = 0; I < Count; ++I) {
            const uint8_t* E = Data + Pos + Off + 4 * I;
            Palette.push_back(RGBOf(E[0], E[1], E[2]));
          }
      }
      break;
    }
    Pos += RecSize;
  }
  if (Records == 0) return false;
  M.Truncated = !SawEnd;
  if (!SawEnd) {
    uint8_t End[kEmfEOFSize] = {};
    Put32(End, kEmrEOF);
    Put32(End + 4, kEmfEOFSize);
    Put32(End + 12, 16);
    Put32(End + 16, kEmfEOFSize);
    Out.insert(Out.end(), End, End + kEmfEOFSize);
    ++Records;
  }
  Put32(Out.data() + 48, uint32_t(Out.size()));
  Put32(Out.data() + 52, Records);
  Put32(Out.data() + 68, uint32_t(Palette.size()));

  M.Enhanced = true;
  M.Data = std::move(Out);
  M.Width = W;
  M.Height = H;
  M.Palette = std::move(Palette);
  const double SX = double(DevCX) / (double(MmCX) * 100), SY = double(DevCY) / (double(MmCY) * 100);
  M.FrameLeft = FL * SX;
  M.FrameTop = FT * SY;
  M.FrameRight = FR * SX;
  M.FrameBottom = FB * SY;
  M.BoundsLeft = GetS32(Data + 8);
  M.BoundsTop = GetS32(Data + 12);
  M.BoundsRight = GetS32(Data + 16);
  M.BoundsBottom = GetS32(Data + 20);
  return true;
}

std::vector<uint8_t> ReadRest(TPGStream& Stream) {
  const int64_t Rest = std::max<int64_t>(0, Stream.Remaining());
  std::vector<uint8_t> All(size_t(Rest), 0);
  All.resize(Stream.Read(All.data(), All.size()));
  return All;
}

std::mutex PlayerLock;
std::shared_ptr<TMetafilePlayer>& PlayerSlot() {
  static std::shared_ptr<TMetafilePlayer> Slot;
  return Slot;
}

} // namespace

uint16_t PlaceableChecksum(const uint8_t* Header) {
  uint16_t Sum = 0;
  for (int I = 0; I < 10; ++I)
    Sum ^= Get16(Header + 2 * I);
  return Sum;
}

std::array<uint8_t, kPlaceableHeaderSize> SynthesisePlaceableHeader(int W, int H,
                                                                    const TReadOptions& Options) {
  W = std::clamp(W, 3, 32767);
  H = std::clamp(H, 3, 32767);
  std::array<uint8_t, kPlaceableHeaderSize> Header{};
  Put32(Header.data(), kPlaceableKey);
  Put16(Header.data() + 10, uint16_t(W - 1));
  Put16(Header.data() + 12, uint16_t(H - 1));
  Put16(Header.data() + 14,
        uint16_t((Options.MetafilePixelsPerInchX + Options.MetafilePixelsPerInchY) / 2));
  Put16(Header.data() + 20, PlaceableChecksum(Header.data()));
  return Header;
}

bool LoadMetafile(const uint8_t* Data, size_t Size, TMetafile& M, const TReadOptions& Options) {
  M = TMetafile{};
  if (Data == nullptr) return false;
  if (Size > 100 && Get32(Data) == kEmrHeader && Get32(Data + 40) == kEnhancedSignature)
    return LoadEMF(Data, Size, M);
  return LoadWMF(Data, Size, M, Options);
}

void SetMetafilePlayer(std::shared_ptr<TMetafilePlayer> Player) {
  std::lock_guard<std::mutex> Lock(PlayerLock);
  PlayerSlot() = std::move(Player);
}

std::shared_ptr<TMetafilePlayer> MetafilePlayer() {
  std::lock_guard<std::mutex> Lock(PlayerLock);
  return PlayerSlot();
}

// ---- readers -------------------------------------------------------------------------------

tWMFFileFormatReader::tWMFFileFormatReader()
    : tWMFFileFormatReader("wmf", "Windows Metafile", false) {}

tWMFFileFormatReader::tWMFFileFormatReader(std::string Ext, std::string Desc, bool Enhanced)
    : TFileFormatReader(std::move(Ext), std::move(Desc)), FEnhanced(Enhanced) {
  CanSniff = true;
}

bool tWMFFileFormatReader::Sniff(const uint8_t* Header) {
  if (Get32(Header) == kPlaceableKey) return true;
  const uint16_t Type = Get16(Header);
  return (Type == 0 || Type == 1) && Get16(Header + 2) == 9 && Get16(Header + 4) != 0 &&
         Get32(Header + 6) > 18 && Get16(Header + 10) > 0;
}

bool tWMFFileFormatReader::LoadFromStream(TPGStream& Stream, TMetafile& M, bool& HadPlaceable,
                                          const TReadOptions& Options) {
  std::vector<uint8_t> Mem = ReadRest(Stream);
  HadPlaceable = Mem.size() >= 4 && Get32(Mem.data()) == kPlaceableKey;
  const auto Synth = SynthesisePlaceableHeader(kSynthesisedWidth, kSynthesisedHeight, Options);
  if (!HadPlaceable) Mem.insert(Mem.begin(), Synth.begin(), Synth.end());
  if (LoadMetafile(Mem.data(), Mem.size(), M, Options)) return true;
  // A damaged header of the file's own (a wrong checksum, an empty box): try once more with a
  // synthesised one.
  if (Mem.size() < Synth.size()) Mem.resize(Synth.size());
  std::copy(Synth.begin(), Synth.end(), Mem.begin());
  return LoadMetafile(Mem.data(), Mem.size(), M, Options);
}

void tWMFFileFormatReader::ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int /*Index*/,
                                       const TReadOptions& Options) {
  // Progress: 2, 17, 32, 47 (drawing starts) and 62 of 100. OnProgressEnd comes in every case.
  struct TEnd {
    TPixelGraphic& G;
    ~TEnd() { G.DoProgressEnd(); }
  };
  int Position = 2;
  auto Step = [&] {
    const bool Abort = Image.DoProgress(Position, 100);
    Position += 15;
    return Abort;
  };
  Image.DoProgressStart();
  TEnd End{Image};
  if (Step()) return;

  TMetafile M;
  bool HadPlaceable = false;
  if (!LoadFromStream(Stream, M, HadPlaceable, Options)) throw EPixelGraphic(kInvalidMetafile);
  if (Step()) return;

  int W = M.Width, H = M.Height;
  if (Image.FastJPEGDecode) {
    if (W > 0 && H > 0 && W > kMetafilePreviewLimit) {
      const long double F = (long double)W / kMetafilePreviewLimit;
      W = int(std::nearbyint(W / F));
      H = int(std::nearbyint(H / F));
    }
    if (H > kMetafilePreviewLimit) {
      const long double F = (long double)H / kMetafilePreviewLimit;
      W = int(std::nearbyint(W / F));
      H = int(std::nearbyint(H / F));
    }
    W = std::max(W, 1);
    H = std::max(H, 1);
  }

  // Refused before anything is allocated or drawn.
  if (int64_t(W) * H > Options.MaxPixelCount)
    throw EPixelGraphic(EngineMessage(msgFailed, "CreateDIBSection"));
  const TRGB White = 0xFFFFFF;
  Image.SetBackGroundColor(White);
  Image.Changed();
  const int N = int(M.Palette.size());
  if (N > 0) {
    Image.SetSize(W, H, N <= 2 ? 0 : N <= 16 ? 1 : 2);
    Image.SetPaletteCount(N);
    for (int I = 0; I < N; ++I)
      Image.SetPaletteEntry(I, M.Palette[size_t(I)]);
  } else {
    Image.SetSize(W, H, 3);
  }
  Image.SetBackGroundColor(White);
  Image.Changed();
  Image.Clear();
  if (Step()) return;

  std::shared_ptr<TMetafilePlayer> Player = MetafilePlayer();
  if (!Player) throw EPixelGraphic(EngineMessage(msgFailed, "Metafile playback"));
  {
    TUpdateScope Update(Image);
    if (Step()) return;
    Player->Play(M, Image);
  }
  Step();
}

void tWMFFileFormatReader::GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
                                   const TReadOptions& Options) {
  TFileFormatReader::GetInfo(Stream, Index, Info, Options);
  TMetafile M;
  bool HadPlaceable = false;
  if (!LoadFromStream(Stream, M, HadPlaceable, Options)) throw EPixelGraphic(kInvalidMetafile);
  const size_t N = M.Palette.size();
  if (N >= 1 && N <= 2) {
    Info.Colors = "2";
    Info.BitsPerPixel = 1;
  } else if (N >= 3 && N <= 16) {
    Info.Colors = "16";
    Info.BitsPerPixel = 4;
  } else if (N >= 17 && N <= 256) {
    Info.Colors = "256";
    Info.BitsPerPixel = 8;
  } else {
    Info.Colors = "16.7M";
    Info.BitsPerPixel = 24;
  }
  if (!FEnhanced) Info.SubType = HadPlaceable ? "Placeable, Aldus header" : "No header";
  Info.Width = M.Width;
  Info.Height = M.Height;
  Info.GraphicCount = 1;
}

tEMFFileFormatReader::tEMFFileFormatReader()
    : tWMFFileFormatReader("emf", "Enhanced Metafile", true) {}

bool tEMFFileFormatReader::Sniff(const uint8_t* Header) {
  // A header record: type 1, then its size. Real headers are 88, 100 or 108 bytes, longer when a
  // description follows, and always a multiple of 4.
  const uint32_t Size = Get32(Header + 4);
  return Get32(Header) == kEmrHeader && Size >= kEmfHeaderMin && Size % 4 == 0;
}

bool tEMFFileFormatReader::LoadFromStream(TPGStream& Stream, TMetafile& M, bool& HadPlaceable,
                                          const TReadOptions& Options) {
  HadPlaceable = false;
  std::vector<uint8_t> All = ReadRest(Stream);
  return LoadMetafile(All.data(), All.size(), M, Options);
}

void RegisterMetafileFormats() {
  RegisterReader(std::make_unique<tWMFFileFormatReader>());
  RegisterReader(std::make_unique<tEMFFileFormatReader>());
}

} // namespace orbisk
