#include "engine/formats/tifflib.h"

#include "engine/formats/decodedrows.h"
#include "engine/formats/tiff.h"

#include "engine/messages.h"
#include "engine/stream.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include <tiffio.h>

namespace orbisk {

namespace {

const std::string kTag = "TIFF: ";

// Messages libtiff gives without a handle (before a file is open) land here, per thread.
thread_local std::string LastGlobalMessage;

void FormatInto(std::string& To, const char* Module, const char* Fmt, va_list Ap) {
  char Buf[512];
  std::vsnprintf(Buf, sizeof Buf, Fmt ? Fmt : "", Ap);
  To = Module && *Module ? std::string(Module) + ": " + Buf : std::string(Buf);
}

void GlobalError(const char* Module, const char* Fmt, va_list Ap) {
  FormatInto(LastGlobalMessage, Module, Fmt, Ap);
}

void GlobalWarning(const char*, const char*, va_list) {}

// The library prints to stderr unless told otherwise; the engine has no console.
void SilenceLibrary() {
  static std::once_flag Once;
  std::call_once(Once, [] {
    TIFFSetErrorHandler(GlobalError);
    TIFFSetWarningHandler(GlobalWarning);
  });
}

// One open file: the stream behind the library's I/O calls and the first error it reported.
struct TClient {
  TPGStream* Stream = nullptr;
  int64_t Start = 0; // offsets in the file count from here
  int64_t Size = 0;  // bytes of TIFF data from Start
  std::string Error;
  std::exception_ptr Pending; // a stream failure inside a library call
};

int OnError(TIFF*, void* User, const char* Module, const char* Fmt, va_list Ap) {
  auto* C = static_cast<TClient*>(User);
  if (C && C->Error.empty()) FormatInto(C->Error, Module, Fmt, Ap);
  return 1;
}

// Warnings (unknown tags, odd but readable values) do not stop reading and are not shown.
int OnWarning(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

tmsize_t ReadProc(thandle_t H, void* Buf, tmsize_t N) {
  auto* C = static_cast<TClient*>(H);
  if (N < 0) return -1;
  try {
    return static_cast<tmsize_t>(C->Stream->Read(Buf, static_cast<size_t>(N)));
  } catch (...) {
    if (!C->Pending) C->Pending = std::current_exception();
    return -1;
  }
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) {
  return -1;
}

toff_t SeekProc(thandle_t H, toff_t Off, int Whence) {
  auto* C = static_cast<TClient*>(H);
  try {
    int64_t Base = 0;
    if (Whence == SEEK_CUR)
      Base = C->Stream->Position() - C->Start;
    else if (Whence == SEEK_END)
      Base = C->Size;
    // Offsets near 2^64 are negative moves from the current position or the end.
    const int64_t Offset = static_cast<int64_t>(Off);
    if (Offset > (int64_t(1) << 62) || Offset < -(int64_t(1) << 62)) return toff_t(-1);
    const int64_t Pos = Base + Offset;
    if (Pos < 0) return toff_t(-1);
    C->Stream->SetPosition(C->Start + Pos);
    return toff_t(Pos);
  } catch (...) {
    if (!C->Pending) C->Pending = std::current_exception();
    return toff_t(-1);
  }
}

int CloseProc(thandle_t) {
  return 0;
}

toff_t SizeProc(thandle_t H) {
  return toff_t(static_cast<TClient*>(H)->Size);
}

int MapProc(thandle_t, void**, toff_t*) {
  return 0;
}

void UnmapProc(thandle_t, void*, toff_t) {}

// The most one buffer of the library or of this reader may take: room for the largest picture
// the pixel limit allows at 8 bytes a pixel, at least 64 MB.
int64_t MemoryBudget(int64_t MaxPixelCount) {
  return std::max<int64_t>(int64_t(64) << 20, std::min<int64_t>(MaxPixelCount, INT64_MAX / 8) * 8);
}

[[noreturn]] void Fail(const std::string& Text, bool Final) {
  throw TTIFFLibraryFailure{kTag + Text, Final};
}

// The open file; closed on every exit path.
class TTIFFFile {
public:
  TTIFFFile(TPGStream& Stream, const TReadOptions& ReadOptions) : Read(ReadOptions) {
    SilenceLibrary();
    C.Stream = &Stream;
    C.Start = Stream.Position();
    C.Size = std::max<int64_t>(Stream.Size() - C.Start, 0);
    std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> Options(TIFFOpenOptionsAlloc(),
                                                                         TIFFOpenOptionsFree);
    if (!Options) Fail(EngineMessage(msgFailed, "TIFFOpenOptionsAlloc"), false);
    TIFFOpenOptionsSetMaxSingleMemAlloc(Options.get(), tmsize_t(Budget()));
    TIFFOpenOptionsSetErrorHandlerExtR(Options.get(), OnError, &C);
    TIFFOpenOptionsSetWarningHandlerExtR(Options.get(), OnWarning, &C);
    // "m": no memory mapping; the data is read through the stream.
    T = TIFFClientOpenExt("TIFF", "rm", &C, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                          MapProc, UnmapProc, Options.get());
    if (!T) Fail(Reason(), false);
  }
  ~TTIFFFile() {
    if (T) TIFFClose(T);
  }
  TTIFFFile(const TTIFFFile&) = delete;
  TTIFFFile& operator=(const TTIFFFile&) = delete;

  TIFF* operator*() const { return T; }
  // The reading's own options, and the most one buffer may take under its pixel limit.
  const TReadOptions& Read;
  int64_t Budget() const { return MemoryBudget(Read.MaxPixelCount); }

  // The library's first error since the last call, or a stream failure.
  std::string Reason() {
    if (C.Pending) {
      std::exception_ptr P = C.Pending;
      C.Pending = nullptr;
      try {
        std::rethrow_exception(P);
      } catch (const std::exception& E) {
        return E.what();
      } catch (...) {
        return EngineMessage(msgUnexpectedEOF);
      }
    }
    std::string R = C.Error.empty() ? LastGlobalMessage : C.Error;
    C.Error.clear();
    LastGlobalMessage.clear();
    return R.empty() ? EngineMessage(msgUnexpectedEOF) : R;
  }
  void ClearReason() {
    C.Error.clear();
    C.Pending = nullptr;
  }

  // Counts the pages (a chain that breaks or passes the limit counts as one page, as the
  // engine's own reader counts it) and makes page Index current.
  int SelectPage(int Index) {
    int Count = 1;
    bool Broken = false;
    while (!TIFFLastDirectory(T)) {
      if (Count >= Read.TIFFMaxImages || !TIFFReadDirectory(T)) {
        Broken = true;
        break;
      }
      ++Count;
    }
    ClearReason();
    if (Broken) Count = 1;
    if (Index < 0 || Index >= Count) Fail(EngineMessage(msgInvalid, "Index"), true);
    if (!TIFFSetDirectory(T, tdir_t(Index))) Fail(Reason(), false);
    return Count;
  }

private:
  TClient C;
  TIFF* T = nullptr;
};

template <class V> V Field(TIFF* T, ttag_t Tag, V Default) {
  V Value = Default;
  if (TIFFGetFieldDefaulted(T, Tag, &Value) != 1) return Default;
  return Value;
}

// The page's layout, as far as the conversion below needs it.
struct TLayout {
  uint32_t W = 0, H = 0;
  uint16_t Spp = 1, Bits = 1, Photometric = 0, Planar = PLANARCONFIG_CONTIG, Format = 1;
  uint16_t Compression = COMPRESSION_NONE, InkSet = INKSET_CMYK, Orientation = 1;
  uint16_t ColourSamples = 1;
  uint16_t UsedSamples = 1; // the colour samples and alpha: separate planes beyond are not read
  int Alpha = -1;           // sample index of the alpha channel
  bool Associated = false;
  bool Tiled = false;
  uint32_t TileW = 0, TileH = 0, RowsPerStrip = 0;
};

enum TKind { kGrey, kPalette, kRGB, kCMYK, kOther };

TLayout ReadLayout(TTIFFFile& F) {
  TIFF* T = *F;
  TLayout L;
  TIFFGetField(T, TIFFTAG_IMAGEWIDTH, &L.W);
  TIFFGetField(T, TIFFTAG_IMAGELENGTH, &L.H);
  L.Spp = Field<uint16_t>(T, TIFFTAG_SAMPLESPERPIXEL, 1);
  L.Bits = Field<uint16_t>(T, TIFFTAG_BITSPERSAMPLE, 1);
  L.Compression = Field<uint16_t>(T, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  L.Planar = Field<uint16_t>(T, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  L.Format = Field<uint16_t>(T, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
  L.InkSet = Field<uint16_t>(T, TIFFTAG_INKSET, INKSET_CMYK);
  L.Orientation = Field<uint16_t>(T, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  if (!TIFFGetField(T, TIFFTAG_PHOTOMETRIC, &L.Photometric))
    L.Photometric = L.Spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  L.Tiled = TIFFIsTiled(T);
  if (L.Tiled) {
    TIFFGetField(T, TIFFTAG_TILEWIDTH, &L.TileW);
    TIFFGetField(T, TIFFTAG_TILELENGTH, &L.TileH);
  } else {
    L.RowsPerStrip = Field<uint32_t>(T, TIFFTAG_ROWSPERSTRIP, L.H);
  }
  uint16_t Extra = 0;
  uint16_t* Types = nullptr;
  if (TIFFGetField(T, TIFFTAG_EXTRASAMPLES, &Extra, &Types) != 1) Extra = 0;
  L.ColourSamples = uint16_t(L.Spp > Extra ? L.Spp - Extra : 1);
  // JPEG hands YCbCr over as RGB when asked to.
  if (L.Photometric == PHOTOMETRIC_YCBCR && L.Compression == COMPRESSION_JPEG &&
      L.Planar == PLANARCONFIG_CONTIG && L.Bits == 8 && L.Spp == 3) {
    TIFFSetField(T, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    L.Photometric = PHOTOMETRIC_RGB;
  }
  const uint16_t Needed = L.Photometric == PHOTOMETRIC_RGB         ? 3
                          : L.Photometric == PHOTOMETRIC_SEPARATED ? 4
                                                                   : 1;
  // A colour sample the file forgot to count among its extra samples.
  if (L.ColourSamples < Needed && L.Spp >= Needed) L.ColourSamples = Needed;
  // The first extra sample is alpha when it says so; others are ignored.
  if (Extra > 0 && Types && L.Spp > L.ColourSamples) {
    const uint16_t Type = Types[0];
    if (Type == EXTRASAMPLE_ASSOCALPHA || Type == EXTRASAMPLE_UNASSALPHA) {
      L.Alpha = L.ColourSamples;
      L.Associated = Type == EXTRASAMPLE_ASSOCALPHA;
    }
  }
  L.UsedSamples = uint16_t(std::min<int>(L.Spp, std::max<int>(Needed, L.Alpha + 1)));
  return L;
}

TKind KindOf(const TLayout& L) {
  const bool Whole = L.Format == SAMPLEFORMAT_UINT || L.Format == SAMPLEFORMAT_VOID;
  const bool BitsOK = Whole                          ? L.Bits >= 1 && (L.Bits <= 16 || L.Bits == 32)
                      : L.Format == SAMPLEFORMAT_INT ? L.Bits == 8 || L.Bits == 16 || L.Bits == 32
                      : L.Format == SAMPLEFORMAT_IEEEFP
                          ? L.Bits == 16 || L.Bits == 32 || L.Bits == 64
                          : false;
  if (!BitsOK || (!Whole && L.Photometric == PHOTOMETRIC_PALETTE)) return kOther;
  switch (L.Photometric) {
  case PHOTOMETRIC_MINISWHITE:
  case PHOTOMETRIC_MINISBLACK:
    return kGrey;
  case PHOTOMETRIC_PALETTE:
    return L.Bits <= 16 ? kPalette : kOther;
  case PHOTOMETRIC_RGB:
    return L.Spp >= 3 ? kRGB : kOther;
  case PHOTOMETRIC_SEPARATED:
    return L.Spp >= 4 && L.InkSet == INKSET_CMYK ? kCMYK : kOther;
  default:
    return kOther;
  }
}

// Sample I of a row of Bits-bit samples (packed from the most significant bit; 16- and 32-bit
// samples in the machine's order, as the library hands them over).
inline uint32_t SampleAt(const uint8_t* Row, size_t I, unsigned Bits) {
  switch (Bits) {
  case 8:
    return Row[I];
  case 16: {
    uint16_t V;
    std::memcpy(&V, Row + 2 * I, 2);
    return V;
  }
  case 32: {
    uint32_t V;
    std::memcpy(&V, Row + 4 * I, 4);
    return V;
  }
  default: {
    uint64_t Bit = uint64_t(I) * Bits;
    uint32_t V = 0;
    for (unsigned K = 0; K < Bits; ++K, ++Bit)
      V = (V << 1) | ((Row[Bit >> 3] >> (7 - (Bit & 7))) & 1u);
    return V;
  }
  }
}

// A signed or floating-point sample.
double ValueAt(const uint8_t* Row, size_t I, unsigned Bits, uint16_t Format) {
  if (Format == SAMPLEFORMAT_INT) {
    if (Bits == 8) return int8_t(Row[I]);
    if (Bits == 16) {
      int16_t V;
      std::memcpy(&V, Row + 2 * I, 2);
      return V;
    }
    int32_t V;
    std::memcpy(&V, Row + 4 * I, 4);
    return V;
  }
  if (Bits == 64) {
    double V;
    std::memcpy(&V, Row + 8 * I, 8);
    return V;
  }
  if (Bits == 32) {
    float V;
    std::memcpy(&V, Row + 4 * I, 4);
    return V;
  }
  uint16_t H; // half precision
  std::memcpy(&H, Row + 2 * I, 2);
  const int Exp = (H >> 10) & 31, Man = H & 1023;
  const double Mag = Exp == 0    ? std::ldexp(Man, -24)
                     : Exp == 31 ? (Man ? NAN : INFINITY)
                                 : std::ldexp(Man + 1024, Exp - 25);
  return H & 0x8000 ? -Mag : Mag;
}

// A sample as an 8-bit level: wider samples keep their high byte (as the PNG reader does),
// narrower ones are stretched.
inline unsigned Level(uint32_t V, unsigned Bits) {
  if (Bits == 8) return V;
  if (Bits > 8) return V >> (Bits - 8);
  return V * 255 / ((1u << Bits) - 1);
}

inline uint8_t Over(unsigned S, unsigned A, unsigned Bk, bool Associated) {
  if (A == 255) return uint8_t(S);
  if (Associated) return uint8_t(std::min(255u, S + (Bk * (255 - A) + 127) / 255));
  return uint8_t((S * A + Bk * (255 - A) + 127) / 255);
}

// OnProgressEnd is raised at the end, also after an error.
struct TProgressEndGuard {
  TPixelGraphic& G;
  ~TProgressEndGuard() {
    try {
      G.DoProgressEnd();
    } catch (...) {
      // A failing handler must not turn an unwinding error into a terminate.
    }
  }
};

// Decodes the page a band of rows at a time (a strip or a row of tiles) into one buffer per
// plane, each row of a plane RowBytes long.
class TBandReader {
public:
  TBandReader(TTIFFFile& F, const TLayout& L) : File(F), Lay(L) {
    TIFF* T = *F;
    Planes = L.Planar == PLANARCONFIG_SEPARATE ? L.Spp : 1;
    const uint64_t PixelBits = uint64_t(L.Bits) * (Planes == 1 ? L.Spp : 1);
    RowBytes = (uint64_t(L.W) * PixelBits + 7) / 8;
    BandRows = L.Tiled ? L.TileH : std::min<uint32_t>(std::max<uint32_t>(L.RowsPerStrip, 1), L.H);
    if (BandRows == 0 || (L.Tiled && L.TileW == 0))
      Fail(EngineMessage(msgInvalid, "TileLength"), false);
    const int64_t Budget = F.Budget();
    if (RowBytes == 0 || uint64_t(BandRows) > uint64_t(Budget) / RowBytes / Planes)
      Fail(EngineMessage(msgFailed, "CreateDIBSection"), true);
    if (L.Tiled) {
      const uint64_t TileBytes = TIFFTileSize64(T);
      if (TileBytes == 0 || TileBytes > uint64_t(Budget)) Fail(File.Reason(), false);
      TileRowBytes = TIFFTileRowSize64(T);
      if (TileRowBytes == 0 || TileRowBytes > TileBytes / L.TileH) Fail(File.Reason(), false);
      Tile.resize(size_t(TileBytes));
    } else {
      const uint64_t Scan = TIFFScanlineSize64(T);
      if (Scan < RowBytes) Fail(File.Reason(), false);
    }
    Band.resize(size_t(Planes));
    for (auto& B : Band)
      B.resize(size_t(RowBytes * BandRows));
  }

  uint32_t Rows() const { return BandRows; }
  const uint8_t* Row(unsigned Plane, uint32_t R) const {
    return Band[Plane].data() + size_t(RowBytes) * R;
  }

  // Fills band B (rows B * Rows() on); false with the library's reason on failure.
  bool Load(uint32_t B, std::string& Why) {
    TIFF* T = *File;
    const uint32_t Y0 = B * BandRows;
    const uint32_t N = std::min(BandRows, Lay.H - Y0);
    for (unsigned P = 0; P < Planes && P < (Planes > 1 ? Lay.UsedSamples : 1u); ++P) {
      uint8_t* Dst = Band[P].data();
      if (!Lay.Tiled) {
        const uint32_t Strip = TIFFComputeStrip(T, Y0, uint16_t(P));
        if (TIFFReadEncodedStrip(T, Strip, Dst, tmsize_t(RowBytes * N)) < 0) {
          Why = File.Reason();
          return false;
        }
        continue;
      }
      for (uint32_t X0 = 0; X0 < Lay.W; X0 += Lay.TileW) {
        if (TIFFReadTile(T, Tile.data(), X0, Y0, 0, uint16_t(P)) < 0) {
          Why = File.Reason();
          return false;
        }
        const uint64_t PixelBits = uint64_t(Lay.Bits) * (Planes == 1 ? Lay.Spp : 1);
        const uint64_t Offset = uint64_t(X0) * PixelBits / 8;
        const uint64_t Bytes = std::min<uint64_t>(TileRowBytes, RowBytes - Offset);
        for (uint32_t R = 0; R < N; ++R)
          std::memcpy(Dst + size_t(RowBytes * R + Offset), Tile.data() + size_t(TileRowBytes * R),
                      size_t(Bytes));
      }
    }
    return true;
  }

private:
  TTIFFFile& File;
  const TLayout& Lay;
  unsigned Planes = 1;
  uint64_t RowBytes = 0, TileRowBytes = 0;
  uint32_t BandRows = 0;
  std::vector<std::vector<uint8_t>> Band;
  std::vector<uint8_t> Tile;
};

// Sets up the picture's depth and palette for a grey or palette page.
void SetupIndexed(TIFF* T, const TLayout& L, TKind Kind, TPixelGraphic& Image, int& Code) {
  const bool Whole = L.Format == SAMPLEFORMAT_UINT || L.Format == SAMPLEFORMAT_VOID;
  const bool Direct = Whole && L.Alpha < 0 && L.Bits <= 8 && L.Bits != 3 && L.Bits != 5 &&
                      L.Bits != 6 && L.Bits != 7;
  if (Kind == kGrey) {
    // 1-, 2- and 4-bit grey stay palette pictures; anything else becomes 256 greys.
    Code = Direct ? (L.Bits == 1 ? 0 : L.Bits == 8 ? 2 : 1) : 2;
    Image.SetSize(int(L.W), int(L.H), Code);
    Image.SetPaletteKind(Code == 0     ? pBlackWhite
                         : Code == 2   ? pGray256
                         : L.Bits == 2 ? pGray4
                                       : pGray16);
    return;
  }
  uint16_t *Red = nullptr, *Green = nullptr, *Blue = nullptr;
  if (!TIFFGetField(T, TIFFTAG_COLORMAP, &Red, &Green, &Blue) || !Red || !Green || !Blue)
    Fail(EngineMessage(msgInvalid, "ColorMap"), false);
  Code = L.Bits == 1 ? 0 : L.Bits <= 4 ? 1 : L.Bits <= 8 ? 2 : 3;
  Image.SetSize(int(L.W), int(L.H), Code);
  if (Code == 3) return;
  const int Entries = 1 << L.Bits;
  const int Capacity = Image.ColorCount();
  Image.SetPaletteCount(Capacity);
  for (int I = 0; I < Capacity; ++I)
    Image.SetPaletteEntry(I, I < Entries ? RGBOf(Red[I] >> 8, Green[I] >> 8, Blue[I] >> 8) : 0);
}

// Pages of the kinds the conversion knows, band by band.
void ReadBands(TTIFFFile& F, const TLayout& L, TKind Kind, TPixelGraphic& Image) {
  TIFF* T = *F;
  int Code = 3;
  const TRGB Bk = Image.BackGroundColor() & 0xFFFFFF;
  if (Kind == kGrey || Kind == kPalette)
    SetupIndexed(T, L, Kind, Image, Code);
  else
    Image.SetSize(int(L.W), int(L.H), 3);
  Image.ExifOrientation = L.Orientation >= 1 && L.Orientation <= 8 ? L.Orientation : 1;

  uint16_t *Red = nullptr, *Green = nullptr, *Blue = nullptr;
  if (Kind == kPalette && Code == 3) TIFFGetField(T, TIFFTAG_COLORMAP, &Red, &Green, &Blue);
  const uint32_t MapEntries = L.Bits >= 32 ? 0 : 1u << L.Bits;

  TBandReader Reader(F, L);
  const bool Separate = L.Planar == PLANARCONFIG_SEPARATE;
  const unsigned Bits = L.Bits;
  const bool Invert = L.Photometric == PHOTOMETRIC_MINISWHITE;
  const unsigned BkGrey = (RedOf(Bk) + GreenOf(Bk) + BlueOf(Bk)) / 3;
  const int W = int(L.W), H = int(L.H);
  // Sample C of pixel X in band row R.
  auto Sample = [&](uint32_t R, int X, unsigned C) {
    return Separate ? SampleAt(Reader.Row(C, R), size_t(X), Bits)
                    : SampleAt(Reader.Row(0, R), size_t(X) * L.Spp + C, Bits);
  };
  const bool Whole = L.Format == SAMPLEFORMAT_UINT || L.Format == SAMPLEFORMAT_VOID;
  auto Value = [&](uint32_t R, int X, unsigned C) {
    return Separate ? ValueAt(Reader.Row(C, R), size_t(X), Bits, L.Format)
                    : ValueAt(Reader.Row(0, R), size_t(X) * L.Spp + C, Bits, L.Format);
  };
  const uint32_t Bands = (L.H + Reader.Rows() - 1) / Reader.Rows();
  // Floating-point samples are 0..1 (what lies beyond is clipped); signed ones are stretched
  // over the range they use. Alpha is 0..1 or 0..the largest value.
  double Lo = 0, Hi = 1, AlphaHi = L.Format == SAMPLEFORMAT_INT ? std::ldexp(1.0, Bits - 1) - 1 : 1;
  if (!Whole) {
    double Min = INFINITY, Max = -INFINITY;
    const unsigned Colours = Kind == kCMYK ? 4 : Kind == kRGB ? 3 : 1;
    for (uint32_t B = 0; B < Bands; ++B) {
      std::string Why;
      if (!Reader.Load(B, Why)) Fail(Why, false);
      const uint32_t N = std::min(Reader.Rows(), L.H - B * Reader.Rows());
      for (uint32_t R = 0; R < N; ++R)
        for (int X = 0; X < int(L.W); ++X)
          for (unsigned C = 0; C < Colours; ++C) {
            const double V = Value(R, X, C);
            if (std::isfinite(V)) {
              Min = std::min(Min, V);
              Max = std::max(Max, V);
            }
          }
    }
    if (L.Format == SAMPLEFORMAT_INT) {
      Lo = std::isfinite(Min) ? Min : 0;
      Hi = std::isfinite(Max) && Max > Lo ? Max : Lo + 1;
    }
  }
  auto Scaled = [](double V, double From, double To) {
    if (!(V > From)) return 0u; // also NaN
    if (V >= To) return 255u;
    return unsigned(std::lround((V - From) * 255 / (To - From)));
  };
  // Sample C of pixel X in band row R as an 8-bit level.
  auto Lev = [&](uint32_t R, int X, unsigned C) {
    return Whole ? Level(Sample(R, X, C), Bits) : Scaled(Value(R, X, C), Lo, Hi);
  };
  auto AlphaLev = [&](uint32_t R, int X) {
    return Whole ? Level(Sample(R, X, unsigned(L.Alpha)), Bits)
                 : Scaled(Value(R, X, unsigned(L.Alpha)), 0, AlphaHi);
  };

  Image.DoProgressStart();
  TProgressEndGuard EndGuard{Image};
  int Done = 0;
  for (uint32_t B = 0; B < Bands; ++B) {
    std::string Why;
    if (!Reader.Load(B, Why)) Fail(Why, Done > 0);
    const uint32_t Y0 = B * Reader.Rows();
    const uint32_t N = std::min(Reader.Rows(), L.H - Y0);
    for (uint32_t R = 0; R < N; ++R) {
      const int Y = int(Y0 + R);
      uint8_t* D = Image.ScanLine(Y);
      if (Code == 0 || (Code == 1 && Kind == kGrey) || (Code == 1 && Kind == kPalette) ||
          (Code == 2 && Kind == kPalette)) {
        // Indices (or 1-, 2-, 4-bit greys) as stored, into the picture's packing.
        const unsigned Max = (1u << std::min(Bits, 8u)) - 1;
        for (int X = 0; X < W; ++X) {
          unsigned V = Sample(R, X, 0);
          if (Kind == kGrey && Invert) V = Max - V;
          if (Code == 0)
            D[X >> 3] = uint8_t((D[X >> 3] & ~(0x80u >> (X & 7))) | ((V & 1u) << (7 - (X & 7))));
          else if (Code == 1)
            D[X >> 1] =
                uint8_t(X & 1 ? (D[X >> 1] & 0xF0) | (V & 15) : (D[X >> 1] & 0x0F) | V << 4);
          else
            D[X] = uint8_t(V);
        }
      } else if (Code == 2) { // 256 greys, alpha composited onto the background's grey
        for (int X = 0; X < W; ++X) {
          unsigned V = Lev(R, X, 0);
          if (Invert) V = 255 - V;
          D[X] = L.Alpha < 0 ? uint8_t(V) : Over(V, AlphaLev(R, X), BkGrey, L.Associated);
        }
      } else {
        for (int X = 0; X < W; ++X, D += 3) {
          unsigned Rd, G, Bl;
          if (Kind == kPalette) {
            const uint32_t V = Sample(R, X, 0);
            Rd = V < MapEntries ? Red[V] >> 8 : 0;
            G = V < MapEntries ? Green[V] >> 8 : 0;
            Bl = V < MapEntries ? Blue[V] >> 8 : 0;
          } else if (Kind == kCMYK) {
            const int K = int(Lev(R, X, 3));
            Rd = unsigned(std::max(255 - int(Lev(R, X, 0)) - K, 0));
            G = unsigned(std::max(255 - int(Lev(R, X, 1)) - K, 0));
            Bl = unsigned(std::max(255 - int(Lev(R, X, 2)) - K, 0));
          } else {
            Rd = Lev(R, X, 0);
            G = Lev(R, X, 1);
            Bl = Lev(R, X, 2);
          }
          if (L.Alpha >= 0 && Kind != kPalette) {
            const unsigned A = AlphaLev(R, X);
            Rd = Over(Rd, A, RedOf(Bk), L.Associated);
            G = Over(G, A, GreenOf(Bk), L.Associated);
            Bl = Over(Bl, A, BlueOf(Bk), L.Associated);
          }
          D[0] = uint8_t(Bl);
          D[1] = uint8_t(G);
          D[2] = uint8_t(Rd);
        }
      }
      ++Done;
      if (Image.DoProgress(Y, H)) return;
    }
  }
}

// Everything else the library can turn into RGBA itself (YCbCr, CIE L*a*b*, LogLuv, ...),
// decoded whole, in stored orientation.
void ReadRGBA(TTIFFFile& F, const TLayout& L, TPixelGraphic& Image) {
  TIFF* T = *F;
  char Message[1024] = "";
  if (!TIFFRGBAImageOK(T, Message)) Fail(Message, false);
  if (uint64_t(L.W) * L.H > uint64_t(F.Budget()) / 4)
    Fail(EngineMessage(msgFailed, "CreateDIBSection"), true);
  TIFFRGBAImage Img;
  if (!TIFFRGBAImageBegin(&Img, T, 1, Message)) Fail(Message, false);
  std::unique_ptr<TIFFRGBAImage, void (*)(TIFFRGBAImage*)> End(&Img, TIFFRGBAImageEnd);
  // Asking for the stored orientation keeps the rows as stored; the picture records the turn.
  Img.req_orientation = Img.orientation;
  std::vector<uint32_t> Raster(size_t(L.W) * L.H);
  Image.SetSize(int(L.W), int(L.H), 3);
  Image.ExifOrientation = L.Orientation >= 1 && L.Orientation <= 8 ? L.Orientation : 1;
  const TRGB Bk = Image.BackGroundColor() & 0xFFFFFF;
  Image.DoProgressStart();
  TProgressEndGuard EndGuard{Image};
  if (!TIFFRGBAImageGet(&Img, Raster.data(), L.W, L.H)) Fail(F.Reason(), false);
  for (uint32_t Y = 0; Y < L.H; ++Y) {
    uint8_t* D = Image.ScanLine(int(Y));
    const uint32_t* S = Raster.data() + size_t(Y) * L.W;
    for (uint32_t X = 0; X < L.W; ++X, D += 3) {
      const uint32_t P = S[X];
      const unsigned A = TIFFGetA(P); // the library hands over premultiplied colours
      D[0] = Over(TIFFGetB(P), A, BlueOf(Bk), true);
      D[1] = Over(TIFFGetG(P), A, GreenOf(Bk), true);
      D[2] = Over(TIFFGetR(P), A, RedOf(Bk), true);
    }
    if (Image.DoProgress(int(Y), int(L.H))) return;
  }
}

void CheckSize(const TLayout& L, int64_t MaxPixelCount) {
  if (L.W == 0 || L.H == 0) Fail(EngineMessage(msgWidthOrHeightZero), true);
  if (L.W > uint32_t(INT_MAX) || L.H > uint32_t(INT_MAX) || int64_t(L.W) * L.H > MaxPixelCount)
    Fail(EngineMessage(msgFailed, "CreateDIBSection"), true);
  // Samples beyond these are more than any picture the engine shows needs.
  if (L.Spp == 0 || uint32_t(L.Spp) * L.Bits > 256)
    Fail(EngineMessage(msgInvalid, "SamplesPerPixel"), false);
}

// The reduced-resolution subfiles of the current page: its SubIFDs, and the directories that
// follow it in the chain marked as reduced (NewSubfileType bit 0) until the next page. Returns
// the offset of the one with the fewest pixels that answers Reduced for a FullW x FullH page,
// or 0.
uint64_t ReducedSubfile(TIFF* T, uint32_t FullW, uint32_t FullH, int Reduced) {
  constexpr int kMaxSubfiles = 16;
  std::vector<uint64_t> Candidates;
  uint16_t Count = 0;
  uint64_t* Offsets = nullptr;
  if (TIFFGetField(T, TIFFTAG_SUBIFD, &Count, &Offsets) == 1 && Offsets)
    Candidates.assign(Offsets, Offsets + std::min<int>(Count, kMaxSubfiles));
  const tdir_t Page = TIFFCurrentDirectory(T);
  for (int K = 0; K < kMaxSubfiles && !TIFFLastDirectory(T) && TIFFReadDirectory(T); ++K) {
    if (!(Field<uint32_t>(T, TIFFTAG_SUBFILETYPE, 0) & FILETYPE_REDUCEDIMAGE)) break;
    Candidates.push_back(TIFFCurrentDirOffset(T));
  }
  uint64_t Best = 0, BestPixels = UINT64_MAX;
  for (uint64_t Offset : Candidates) {
    uint32_t W = 0, H = 0;
    if (Offset == 0 || !TIFFSetSubDirectory(T, Offset) ||
        !(Field<uint32_t>(T, TIFFTAG_SUBFILETYPE, 0) & FILETYPE_REDUCEDIMAGE) ||
        !TIFFGetField(T, TIFFTAG_IMAGEWIDTH, &W) || !TIFFGetField(T, TIFFTAG_IMAGELENGTH, &H))
      continue;
    if (ReducedSizeFits(FullW, FullH, W, H, Reduced) && uint64_t(W) * H < BestPixels) {
      Best = Offset;
      BestPixels = uint64_t(W) * H;
    }
  }
  TIFFSetDirectory(T, Page);
  return Best;
}

// The directory F stands at, read into Image.
void ReadCurrentPage(TTIFFFile& F, TPixelGraphic& Image) {
  const TLayout L = ReadLayout(F);
  CheckSize(L, F.Read.MaxPixelCount);
  const TKind Kind = KindOf(L);
  if (Kind == kOther)
    ReadRGBA(F, L, Image);
  else
    ReadBands(F, L, Kind, Image);
}

} // namespace

bool ReadReducedTIFFWithLibrary(TPGStream& Stream, TPixelGraphic& Image,
                                const TReadOptions& Options) {
  if (Image.ReducedSize <= 0) return false;
  TTIFFFile F(Stream, Options);
  TIFF* T = *F;
  uint32_t FullW = 0, FullH = 0;
  if (!TIFFGetField(T, TIFFTAG_IMAGEWIDTH, &FullW) || !TIFFGetField(T, TIFFTAG_IMAGELENGTH, &FullH))
    return false;
  // The page's orientation holds for its reduced copies.
  const uint16_t Orientation = Field<uint16_t>(T, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  const uint64_t Offset = ReducedSubfile(T, FullW, FullH, Image.ReducedSize);
  if (Offset == 0 || !TIFFSetSubDirectory(T, Offset)) return false;
  F.ClearReason();
  ReadCurrentPage(F, Image);
  Image.ExifOrientation = Orientation >= 1 && Orientation <= 8 ? Orientation : 1;
  Image.FullWidth = int(FullW);
  Image.FullHeight = int(FullH);
  return true;
}

void ReadTIFFWithLibrary(TPGStream& Stream, TPixelGraphic& Image, int Index,
                         const TReadOptions& Options) {
  TTIFFFile F(Stream, Options);
  F.SelectPage(Index);
  ReadCurrentPage(F, Image);
}

TTIFFLibraryInfo DescribeTIFFWithLibrary(TPGStream& Stream, int Index,
                                         const TReadOptions& Options) {
  TTIFFFile F(Stream, Options);
  TTIFFLibraryInfo Info;
  Info.GraphicCount = F.SelectPage(Index);
  TIFF* T = *F;
  Info.BigEndian = TIFFIsBigEndian(T);
  TIFFGetField(T, TIFFTAG_IMAGEWIDTH, &Info.Width);
  TIFFGetField(T, TIFFTAG_IMAGELENGTH, &Info.Height);
  const uint16_t Spp = Field<uint16_t>(T, TIFFTAG_SAMPLESPERPIXEL, 1);
  const uint16_t Bits = Field<uint16_t>(T, TIFFTAG_BITSPERSAMPLE, 1);
  Info.BitsPerPixel = uint32_t(Spp) * Bits;
  Info.Compression = Field<uint16_t>(T, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  uint16_t Ph = 0;
  Info.Photometric = TIFFGetField(T, TIFFTAG_PHOTOMETRIC, &Ph) ? Ph : (Spp >= 3 ? 2 : 1);
  if (Info.Compression < 2 || Info.Compression > 6) return Info;
  const TLayout L = ReadLayout(F);
  const int64_t Budget = F.Budget();
  if (L.Tiled) {
    const uint64_t N = TIFFTileSize64(T);
    std::vector<uint8_t> Buf(N > 0 && N <= uint64_t(Budget) ? size_t(N) : 0);
    Info.Decodable = !Buf.empty() && TIFFReadTile(T, Buf.data(), 0, 0, 0, 0) >= 0;
  } else {
    const uint64_t N = TIFFScanlineSize64(T);
    std::vector<uint8_t> Buf(N > 0 && N <= uint64_t(Budget) ? size_t(N) : 0);
    Info.Decodable = !Buf.empty() && TIFFReadScanline(T, Buf.data(), 0, 0) >= 0;
  }
  F.ClearReason();
  return Info;
}

} // namespace orbisk
