#include "engine/formats/pngidat.h"

#include "engine/stream.h"

#include <algorithm>
#include <cstring>

#include <png.h>

namespace orbisk {

namespace {

// Input is read in pieces that are whole multiples of the 8192-byte pieces libpng reads, from the
// start of each chunk: a piece the file cannot give in full is never inflated, as libpng never
// inflates its own short piece.
constexpr uint32_t kInput = 32 * 8192;

uint32_t BigEndian32(const uint8_t* P) {
  return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | uint32_t(P[3]);
}

void PutBigEndian32(uint8_t* P, uint32_t V) {
  P[0] = uint8_t(V >> 24);
  P[1] = uint8_t(V >> 16);
  P[2] = uint8_t(V >> 8);
  P[3] = uint8_t(V);
}

uint64_t RowBytes(uint64_t Width, int PixelBits) {
  return (Width * uint64_t(PixelBits) + 7) / 8;
}

} // namespace

uint64_t FilteredSize(uint32_t Width, uint32_t Height, int PixelBits, bool Interlaced) {
  if (!Interlaced) return uint64_t(Height) * (RowBytes(Width, PixelBits) + 1);
  uint64_t Sum = 0;
  for (int Pass = 0; Pass < 7; ++Pass) {
    const uint64_t Cols = PNG_PASS_COLS(uint64_t(Width), Pass);
    const uint64_t Rows = PNG_PASS_ROWS(uint64_t(Height), Pass);
    if (Cols > 0 && Rows > 0) Sum += Rows * (RowBytes(Cols, PixelBits) + 1);
  }
  return Sum;
}

TIdatPipe::TIdatPipe(TPGStream& Stream, uint32_t FirstLength, uint64_t Filtered,
                     uint32_t LengthLimit)
    : Stream(Stream), FirstLength(FirstLength), Filtered(Filtered), LengthLimit(LengthLimit),
      Ring(size_t(kSlots) * kBlock) {
  // A zlib header asking for the smallest window (stored blocks refer to nothing before them),
  // then the first block's header.
  Small[0] = 0x08;
  Small[1] = 0x1D;
  SmallLength = 2;
  PrepareBlockHeader(0);
}

TIdatPipe::~TIdatPipe() {
  {
    std::lock_guard<std::mutex> L(M);
    Cancel = true;
  }
  CV.notify_all();
  if (Worker.joinable()) Worker.join();
}

void TIdatPipe::Start() {
  try {
    Worker = std::thread([this] { Run(); });
  } catch (...) {
    Publish(0, false, true);
  }
}

bool TIdatPipe::ReadExact(uint8_t* Data, size_t Length) {
  try {
    return Stream.Read(Data, Length) == Length;
  } catch (...) {
    return false; // the ordinary decoding meets the same failure and reports it
  }
}

void TIdatPipe::Publish(uint64_t Blocks, bool Finished, bool Failure) {
  {
    std::lock_guard<std::mutex> L(M);
    Published = Blocks;
    WorkerDone = Finished;
    WorkerFailed = Failure;
  }
  CV.notify_all();
}

// The worker: reads the IDAT chunks from the stream, checks their lengths and CRCs and inflates
// them into the ring, block by block. It stops at the first irregularity: a short read, a wrong
// CRC, a chunk other than IDAT before the deflate stream ends, a deflate error, a stream that
// gives more or fewer bytes than the picture needs, or data after the stream's end. A block is
// handed over only once a later byte has been inflated: a deflate error found right after a
// row's last byte makes libpng drop that row, and the reader must never show rows that the
// ordinary decoding would not.
void TIdatPipe::Run() {
  z_stream Z{};
  // The window size comes from the stream's header, as with libpng. The reader checks the
  // Adler-32 (on the other thread, as it hands the blocks over).
  if (inflateInit2(&Z, 0) != Z_OK || inflateValidate(&Z, 0) != Z_OK) {
    Publish(0, false, true);
    return;
  }
  std::vector<uint8_t> In(kInput);
  uint8_t Scratch[64];
  uint32_t Remaining = FirstLength;
  uLong Crc = crc32(0, reinterpret_cast<const Bytef*>("IDAT"), 4);
  uint64_t Out = 0, J = 0, Shown = 0;
  uint32_t Last4 = 0;
  bool Ok = false;
  auto Acquire = [&](uint64_t K) {
    std::unique_lock<std::mutex> L(M);
    CV.wait(L, [&] { return Cancel || K < Released + kSlots; });
    return !Cancel;
  };
  auto Slot = [&](uint64_t K) { return Ring.data() + (K % kSlots) * kBlock; };

  if (Acquire(0)) {
    Z.next_out = Slot(0);
    Z.avail_out = BlockSize(0);
    for (;;) {
      if (Z.avail_in == 0) {
        if (Remaining == 0) {
          uint8_t C[4], H[8];
          if (!ReadExact(C, 4) || BigEndian32(C) != Crc) break;
          if (!ReadExact(H, 8) || std::memcmp(H + 4, "IDAT", 4) != 0) break;
          const uint32_t Length = BigEndian32(H);
          if (Length > PNG_UINT_31_MAX || Length > LengthLimit) break;
          Remaining = Length;
          Crc = crc32(0, H + 4, 4);
          continue;
        }
        const uint32_t N = std::min(Remaining, kInput);
        if (!ReadExact(In.data(), N)) break;
        Crc = crc32(Crc, In.data(), N);
        Remaining -= N;
        for (uint32_t K = N >= 4 ? N - 4 : 0; K < N; ++K) // the stream's last four bytes so far
          Last4 = Last4 << 8 | In[K];
        Z.next_in = In.data();
        Z.avail_in = N;
      }
      const bool IntoScratch = Out == Filtered;
      const uInt Before = Z.avail_out;
      const int Ret = inflate(&Z, Z_NO_FLUSH);
      const uInt Made = Before - Z.avail_out;
      if (IntoScratch) {
        if (Made > 0) break; // more image data than the picture holds
      } else {
        Out += Made;
      }
      if (Ret == Z_STREAM_END) {
        if (Out != Filtered || Z.avail_in != 0 || Remaining != 0) break;
        uint8_t C[4];
        if (!ReadExact(C, 4) || BigEndian32(C) != Crc || !ReadExact(Tail, 8)) break;
        Adler = Last4; // the stream's own Adler-32
        Ok = true;
        break;
      }
      if (Ret != Z_OK) break;
      if (Z.avail_out == 0) {
        if (Out == Filtered) {
          Z.next_out = Scratch;
          Z.avail_out = sizeof Scratch;
        } else {
          if (!Acquire(++J)) break;
          Z.next_out = Slot(J);
          Z.avail_out = BlockSize(J);
        }
      }
      if (Out > 0) {
        const uint64_t Complete = std::min((Out - 1) / kBlock, BlockCount() - 1);
        if (Complete > Shown) Publish(Shown = Complete, false, false);
      }
    }
  }
  inflateEnd(&Z);
  Publish(Ok ? BlockCount() : Shown, Ok, !Ok);
}

void TIdatPipe::PrepareBlockHeader(uint64_t J) {
  const uint32_t Size = BlockSize(J);
  uint8_t* P = Small + SmallLength;
  P[0] = J + 1 == BlockCount() ? 1 : 0; // stored block, the last one final
  P[1] = uint8_t(Size);
  P[2] = uint8_t(Size >> 8);
  P[3] = uint8_t(~Size);
  P[4] = uint8_t(~Size >> 8);
  SmallLength += 5;
}

// After a block's payload: the Adler-32 of the whole stream after the last one, the chunk's CRC
// (libpng is told not to check the stored chunks' CRCs), then the next chunk's header and its
// block header, or the header of the file's chunk after the image data.
void TIdatPipe::PrepareAfterBlock() {
  SmallLength = SmallPos = 0;
  const bool Last = Block + 1 == BlockCount();
  if (Last) {
    PutBigEndian32(Small, Adler);
    SmallLength = 4;
  }
  PutBigEndian32(Small + SmallLength, 0);
  SmallLength += 4;
  if (Last) {
    std::memcpy(Small + SmallLength, Tail, 8);
    SmallLength += 8;
    TailQueued = true;
  } else {
    PutBigEndian32(Small + SmallLength, ChunkLength(Block + 1));
    std::memcpy(Small + SmallLength + 4, "IDAT", 4);
    SmallLength += 8;
    PrepareBlockHeader(Block + 1);
  }
}

size_t TIdatPipe::Serve(uint8_t* Data, size_t Length) {
  size_t Done = 0;
  while (Done < Length && !Broken && !AllServed) {
    if (SmallPos < SmallLength) {
      const size_t N = std::min(Length - Done, SmallLength - SmallPos);
      std::memcpy(Data + Done, Small + SmallPos, N);
      SmallPos += N;
      Done += N;
      if (SmallPos == SmallLength && TailQueued) AllServed = true;
      continue;
    }
    {
      std::unique_lock<std::mutex> L(M);
      CV.wait(L, [&] { return Published > Block || WorkerFailed || WorkerDone; });
      if (Published <= Block) {
        Broken = true;
        break;
      }
    }
    const uint32_t Size = BlockSize(Block);
    const uint8_t* From = Ring.data() + (Block % kSlots) * kBlock;
    if (Offset == 0) {
      // A wrong Adler-32 must be found before libpng sees the last row: it would fail that row.
      Check = uint32_t(adler32(Check, From, Size));
      if (Block + 1 == BlockCount() && Check != Adler) {
        Broken = true;
        break;
      }
    }
    const size_t N = std::min<size_t>(Length - Done, Size - Offset);
    std::memcpy(Data + Done, From + Offset, N);
    Offset += uint32_t(N);
    Done += N;
    if (Offset == Size) {
      {
        std::lock_guard<std::mutex> L(M);
        Released = Block + 1;
      }
      CV.notify_all();
      PrepareAfterBlock();
      ++Block;
      Offset = 0;
    }
  }
  return Done;
}

} // namespace orbisk
