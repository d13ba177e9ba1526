#include "engine/formats/gif.h"

#include "engine/formats/formats.h"
#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "engine/stream.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

namespace orbisk {

namespace {

[[noreturn]] void GIFError(const std::string& Text) {
  throw EPixelGraphic("GIF: " + Text);
}

const char* const kNotAGIF = "Not a proper GIF file";
const char* const kIndexOutOfBounds = "Index out of bounds";

std::vector<uint8_t> ReadRest(TPGStream& Stream) {
  const int64_t N = std::max<int64_t>(0, Stream.Remaining());
  std::vector<uint8_t> Buf(static_cast<size_t>(N));
  if (N > 0) Buf.resize(Stream.Read(Buf.data(), Buf.size()));
  return Buf;
}

uint16_t U16(const uint8_t* P) {
  return uint16_t(P[0] | (P[1] << 8));
}

// Sub-blocks from P: calls Visit(Data, Len) for each; returns false when the data ends before
// the terminator. P is left after the terminator (or at Size).
template <class F> bool WalkSubBlocks(const uint8_t* Data, size_t Size, size_t& P, F&& Visit) {
  while (P < Size) {
    const size_t Len = Data[P++];
    if (Len == 0) return true;
    if (Len > Size - P) {
      Visit(Data + P, Size - P);
      P = Size;
      return false;
    }
    Visit(Data + P, Len);
    P += Len;
  }
  return false;
}

bool SkipSubBlocks(const uint8_t* Data, size_t Size, size_t& P) {
  return WalkSubBlocks(Data, Size, P, [](const uint8_t*, size_t) {});
}

// Structure walk; false when the data is not a GIF at all.
bool ParseStructure(const uint8_t* Data, size_t Size, int MaxFrames, TGIFStructure& S) {
  if (!IsGIFSignature(Data, Size) || Size < 13) return false;
  S.Version = Data[4] == '7' ? "87a" : "89a";
  S.ScreenWidth = U16(Data + 6);
  S.ScreenHeight = U16(Data + 8);
  const uint8_t Packed = Data[10];
  S.BackgroundIndex = Data[11];
  size_t P = 13;
  size_t GlobalTable = 0;
  if (Packed & 0x80) {
    const int Bits = (Packed & 7) + 1;
    const size_t Bytes = size_t(3) << Bits;
    if (Bytes > Size - P) return true; // a cut table: no frames
    S.GlobalColorBits = Bits;
    GlobalTable = P;
    P += Bytes;
  }

  // Graphic control values and comment waiting for the next frame.
  TGIFFrame Pending;
  while (P < Size) {
    const uint8_t Block = Data[P++];
    if (Block == 0x21) {
      if (P >= Size) break;
      const uint8_t Label = Data[P++];
      bool Complete = true;
      if (Label == 0xF9) {
        bool First = true;
        Complete = WalkSubBlocks(Data, Size, P, [&](const uint8_t* D, size_t Len) {
          if (First && Len >= 4) {
            const int Disposal = (D[0] >> 2) & 7;
            Pending.Disposal = (Disposal == 0 || Disposal == 1 || Disposal == 3) ? Disposal : 2;
            Pending.DelayMs = 10 * U16(D + 1);
            Pending.HasTransparency = (D[0] & 1) != 0;
            Pending.TransparentIndex = D[3];
          }
          First = false;
        });
      } else if (Label == 0xFE) {
        Complete = WalkSubBlocks(Data, Size, P, [&](const uint8_t* D, size_t Len) {
          Pending.Comment.append(reinterpret_cast<const char*>(D), Len);
        });
      } else if (Label == 0xFF) {
        int Block = 0;
        bool Netscape = false;
        Complete = WalkSubBlocks(Data, Size, P, [&](const uint8_t* D, size_t Len) {
          if (Block == 0)
            Netscape = Len == 11 && std::memcmp(D, "NETSCAPE2.0", 11) == 0;
          else if (Block == 1 && Netscape && Len >= 3 && D[0] == 1)
            S.LoopCount = U16(D + 1);
          ++Block;
        });
      } else if (Label == 0x01) {
        Complete = SkipSubBlocks(Data, Size, P);
      } else {
        break; // unknown extension: the frames before it count
      }
      if (!Complete) break;
    } else if (Block == 0x2C) {
      if (Size - P < 9) break;
      TGIFFrame F = std::move(Pending);
      Pending = TGIFFrame();
      F.Left = U16(Data + P);
      F.Top = U16(Data + P + 2);
      F.Width = U16(Data + P + 4);
      F.Height = U16(Data + P + 6);
      const uint8_t FP = Data[P + 8];
      P += 9;
      F.Interlaced = (FP & 0x40) != 0;
      if (FP & 0x80) {
        const int Bits = (FP & 7) + 1;
        const size_t Bytes = size_t(3) << Bits;
        if (Bytes > Size - P) break;
        F.ColorBits = Bits;
        F.TableOffset = P;
        P += Bytes;
      } else if (GlobalTable) {
        F.ColorBits = S.GlobalColorBits;
        F.TableOffset = GlobalTable;
      }
      if (P >= Size) break; // no code size byte
      F.DataOffset = P++;
      F.DataTruncated = !SkipSubBlocks(Data, Size, P);
      const bool Truncated = F.DataTruncated;
      if (F.Width == 0 || F.Height == 0)
        ++S.EmptyFrames;
      else
        S.Frames.push_back(std::move(F));
      if (Truncated) break;
      while (P < Size && Data[P] == 0)
        ++P;
      if (MaxFrames >= 0 && int(S.Frames.size()) >= MaxFrames) break;
    } else {
      break; // trailer or an unknown block
    }
  }
  return true;
}

// Most pixels that N bytes of codes of at least MinWidth bits can produce: the k-th code after a
// clear yields at most k pixels, and never more than the 4096-entry table allows.
int64_t MaxDecodablePixels(size_t N, int MinWidth) {
  const int64_t K = int64_t(N) * 8 / MinWidth;
  if (K <= 4096) return K * (K + 1) / 2;
  return int64_t(4096) * 4097 / 2 + (K - 4096) * 4096;
}

// Frames up to this many pixels are decoded even when their data cannot fill them.
constexpr int64_t kLargestShortFrame = int64_t(1) << 24;

struct TLZWEntry {
  uint32_t Pos; // where the string first appeared in the output
  uint32_t Len;
};

class TFrameDecoder {
public:
  TFrameDecoder(const uint8_t* Data, size_t Size, const TGIFFrame& F, TPixelGraphic& Image,
                int64_t MaxPixelCount)
      : FData(Data), FSize(Size), FF(F), FImage(Image), FMaxPixelCount(MaxPixelCount) {}

  void Run() {
    const int MinCodeSize = FData[FF.DataOffset];
    if (MinCodeSize < 1 || MinCodeSize > 11) GIFError(EngineMessage(msgInvalid, "LZW code size"));

    // The concatenated sub-blocks.
    size_t P = FF.DataOffset + 1;
    WalkSubBlocks(FData, FSize, P,
                  [&](const uint8_t* D, size_t Len) { FCodes.insert(FCodes.end(), D, D + Len); });

    const int W = FF.Width, H = FF.Height;
    const int64_t Pixels = int64_t(W) * H;
    // String positions are 32-bit.
    if (Pixels > FMaxPixelCount || Pixels > int64_t(UINT32_MAX))
      GIFError(EngineMessage(msgFailed, "CreateDIBSection"));
    // Data far too short for a large frame is refused before the frame is allocated; a smaller
    // frame is decoded as far as its data goes (a partly downloaded picture).
    const bool Short = MaxDecodablePixels(FCodes.size(), MinCodeSize + 1) < Pixels;
    if (Short && Pixels > kLargestShortFrame) GIFError(EngineMessage(msgUnexpectedEOF));

    SetupImage();
    FTotal = size_t(Pixels);
    FOut = std::make_unique_for_overwrite<uint8_t[]>(FTotal);
    if (FF.Interlaced) {
      FRowOrder.reserve(size_t(H));
      static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
      for (int Pass = 0; Pass < 4; ++Pass)
        for (int Y = kStart[Pass]; Y < H; Y += kStep[Pass])
          FRowOrder.push_back(Y);
    }

    const TStatus Status = Decode(MinCodeSize);
    if (Status == TStatus::Aborted) return;
    if (Status != TStatus::Complete) {
      // Keep the rows decoded so far, the unfinished one padded with index 0.
      const size_t Rows = (FOutPos + size_t(W) - 1) / size_t(W);
      std::memset(FOut.get() + FOutPos, 0, Rows * size_t(W) - FOutPos);
      while (FRowsDone < Rows)
        StoreRow(FRowsDone++);
      GrowPalette();
      if (Status == TStatus::Corrupt) GIFError(EngineMessage(msgInvalid, "LZW code"));
      // The end of the data: the image's warning action decides whether the rows decoded so far
      // are kept (the rest stays index 0) or the reading fails.
      const std::string Text = EngineMessage(msgUnexpectedEOF);
      ApplyReadWarning(FImage, EngineMessage(msgWarning), "GIF: " + Text, Text,
                       [](const std::string& T) { GIFError(T); });
      return;
    }
    GrowPalette();
  }

private:
  enum class TStatus { Complete, Truncated, Corrupt, Aborted };

  void SetupImage() {
    const int B = FF.ColorBits;
    const int Code = B <= 1 ? 0 : B <= 4 ? 1 : 2;
    FImage.SetSize(FF.Width, FF.Height, Code);
    const int Count = B > 0 ? 1 << B : 1;
    FImage.SetPaletteCount(Count);
    for (int I = 0; I < Count; ++I) {
      TRGB C = 0; // no table at all: black entries
      if (FF.TableOffset) {
        const uint8_t* T = FData + FF.TableOffset + 3 * size_t(I);
        C = RGBOf(T[0], T[1], T[2]);
      }
      FImage.SetPaletteEntry(I, C);
    }
  }

  // Copies decoded row R (in data order) into its picture row.
  void StoreRow(size_t R) {
    const int W = FF.Width;
    const int Y = FF.Interlaced ? FRowOrder[R] : int(R);
    const uint8_t* Src = FOut.get() + R * size_t(W);
    uint8_t* Dst = FImage.ScanLine(Y);
    switch (FImage.BitCountNum()) {
    case 2: {
      std::memcpy(Dst, Src, size_t(W));
      uint8_t M = FMaxValue;
      for (int X = 0; X < W; ++X)
        M = std::max(M, Src[X]);
      FMaxValue = M;
      break;
    }
    case 1: {
      uint8_t M = FMaxValue;
      for (int X = 0; X < W; X += 2) {
        const uint8_t A = Src[X] & 15, B = X + 1 < W ? Src[X + 1] & 15 : 0;
        Dst[X >> 1] = uint8_t(A << 4 | B);
        M = std::max({M, A, B});
      }
      FMaxValue = M;
      break;
    }
    default: {
      std::memset(Dst, 0, size_t((W + 7) / 8));
      for (int X = 0; X < W; ++X)
        if (Src[X] == 1) {
          Dst[X >> 3] |= uint8_t(0x80 >> (X & 7));
          FMaxValue = 1;
        }
      break;
    }
    }
  }

  // Indices beyond the colour table read as black rather than fail on every colour lookup.
  void GrowPalette() {
    const int Count = FImage.PaletteCount();
    if (FMaxValue < Count) return;
    FImage.SetPaletteCount(FMaxValue + 1);
  }

  // Stores the rows completed so far; true when the progress handler asked to stop.
  bool FlushRows() {
    const size_t W = size_t(FF.Width);
    const size_t Done = FOutPos / W;
    while (FRowsDone < Done) {
      StoreRow(FRowsDone++);
      if (FImage.DoProgress(int(FRowsDone), FF.Height - 1)) return true;
    }
    FNextRowEnd = (Done + 1) * W;
    return false;
  }

  TStatus Decode(int MinCodeSize) {
    const uint32_t Clear = 1u << MinCodeSize, End = Clear + 1;
    int Width = MinCodeSize + 1;
    uint32_t Mask = (1u << Width) - 1;
    uint32_t NextFree = Clear + 2;
    bool HavePrev = false;
    uint32_t PrevPos = 0, PrevLen = 0;
    uint64_t Acc = 0;
    int NBits = 0;
    const uint8_t* In = FCodes.data();
    const size_t InSize = FCodes.size();
    size_t InPos = 0;
    uint8_t* Out = FOut.get();
    const size_t Total = FTotal;
    FNextRowEnd = size_t(FF.Width);

    while (FOutPos < Total) {
      while (NBits < Width) {
        if (InPos >= InSize) return TStatus::Truncated;
        Acc |= uint64_t(In[InPos++]) << NBits;
        NBits += 8;
      }
      const uint32_t Code = uint32_t(Acc) & Mask;
      Acc >>= Width;
      NBits -= Width;

      if (Code == Clear) {
        Width = MinCodeSize + 1;
        Mask = (1u << Width) - 1;
        NextFree = Clear + 2;
        HavePrev = false;
        continue;
      }
      if (Code == End) return TStatus::Truncated;

      const uint32_t CurPos = uint32_t(FOutPos);
      uint32_t CurLen;
      if (Code < Clear) {
        Out[FOutPos++] = uint8_t(Code);
        CurLen = 1;
      } else if (!HavePrev) {
        return TStatus::Corrupt;
      } else if (Code < NextFree) {
        const TLZWEntry E = FTable[Code];
        const size_t N = std::min<size_t>(E.Len, Total - FOutPos);
        CopyString(Out + FOutPos, Out + E.Pos, N);
        FOutPos += N;
        CurLen = E.Len;
      } else if (Code == NextFree) {
        // The previous string followed by its own first character.
        const size_t N = std::min<size_t>(PrevLen, Total - FOutPos);
        CopyString(Out + FOutPos, Out + PrevPos, N);
        FOutPos += N;
        if (FOutPos < Total) Out[FOutPos++] = Out[PrevPos];
        CurLen = PrevLen + 1;
      } else {
        return TStatus::Corrupt;
      }

      if (HavePrev && NextFree < 4096) {
        FTable[NextFree++] = TLZWEntry{PrevPos, PrevLen + 1};
        if (NextFree == (1u << Width) && Width < 12) {
          ++Width;
          Mask = (1u << Width) - 1;
        }
      }
      HavePrev = true;
      PrevPos = CurPos;
      PrevLen = CurLen;

      if (FOutPos >= FNextRowEnd && FlushRows()) return TStatus::Aborted;
    }
    return TStatus::Complete;
  }

  // Strings never overlap their source; most are short, where a plain loop beats memcpy.
  static void CopyString(uint8_t* Dst, const uint8_t* Src, size_t N) {
    if (N <= 16) {
      for (size_t I = 0; I < N; ++I)
        Dst[I] = Src[I];
    } else {
      std::memcpy(Dst, Src, N);
    }
  }

  const uint8_t* FData;
  size_t FSize;
  const TGIFFrame& FF;
  TPixelGraphic& FImage;
  int64_t FMaxPixelCount;
  std::vector<uint8_t> FCodes;
  std::unique_ptr<uint8_t[]> FOut;
  size_t FTotal = 0;
  size_t FOutPos = 0;
  size_t FRowsDone = 0;
  size_t FNextRowEnd = 0;
  std::vector<int> FRowOrder;
  uint8_t FMaxValue = 0;
  std::array<TLZWEntry, 4096> FTable{};
};

class tGifFileFormatReader : public TFileFormatReader {
public:
  tGifFileFormatReader() : TFileFormatReader("gif", "GIF") { CanSniff = true; }
  std::string ClassName() const override { return "tGifFileFormatReader"; }

  bool Sniff(const uint8_t* Header) override { return IsGIFSignature(Header, kHeaderSniffSize); }

  void ReadGraphic(TPGStream& Stream, TPixelGraphic& Image, int Index,
                   const TReadOptions& Options) override {
    TProgressBracket Progress(Image);
    Image.FileGamma = Options.ScreenGamma;
    const std::vector<uint8_t> Buf = ReadRest(Stream);
    TGIFStructure S;
    if (!ParseStructure(Buf.data(), Buf.size(), Index < 0 ? 0 : Index + 1, S)) GIFError(kNotAGIF);
    if (S.Frames.empty())
      GIFError(S.EmptyFrames ? EngineMessage(msgWidthOrHeightZero) : "No image in file");
    if (Index < 0 || size_t(Index) >= S.Frames.size()) GIFError(kIndexOutOfBounds);
    TFrameDecoder(Buf.data(), Buf.size(), S.Frames[size_t(Index)], Image, Options.MaxPixelCount)
        .Run();
  }

  void GetInfo(TPGStream& Stream, int Index, TGraphicFileInfo& Info,
               const TReadOptions& Options) override {
    TFileFormatReader::GetInfo(Stream, Index, Info, Options);
    const int64_t Start = Stream.Position();
    const std::vector<uint8_t> Buf = ReadRest(Stream);
    Stream.SetPosition(Start);
    const TGIFStructure S = ParseGIFStructure(Buf.data(), Buf.size());
    if (Index < 0 || size_t(Index) >= S.Frames.size()) throw EPixelGraphic(kIndexOutOfBounds);
    const TGIFFrame& F = S.Frames[size_t(Index)];
    const TGIFFrame& Last = S.Frames.back();
    Info.Width = F.Width;
    Info.Height = F.Height;
    Info.Colors = std::to_string(1 << Last.ColorBits);
    Info.BitsPerPixel = Last.ColorBits;
    Info.GraphicCount = int(S.Frames.size());
    Info.SubType = S.Version;
    const bool AnyInterlaced = std::any_of(S.Frames.begin(), S.Frames.end(),
                                           [](const TGIFFrame& G) { return G.Interlaced; });
    Info.Options = AnyInterlaced ? "Interlaced" : "Non-interlaced";
  }
};

} // namespace

bool IsGIFSignature(const uint8_t* Data, size_t Size) {
  return Size >= 3 && Data[0] == 'G' && Data[1] == 'I' && Data[2] == 'F';
}

TGIFStructure ParseGIFStructure(const uint8_t* Data, size_t Size, int MaxFrames) {
  TGIFStructure S;
  if (!ParseStructure(Data, Size, MaxFrames, S)) throw EPixelGraphic(kNotAGIF);
  return S;
}

void RegisterGIFFormats() {
  RegisterReader(std::make_unique<tGifFileFormatReader>());
}

} // namespace orbisk
