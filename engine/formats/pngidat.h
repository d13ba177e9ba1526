// PNG image data inflated on a worker thread: the file's IDAT chunks are read, checked and
// inflated there, and libpng on the calling thread is handed the same filtered rows re-packed as
// stored (uncompressed) deflate blocks in IDAT chunks of their own, so that unfiltering and every
// transformation stay libpng's. Anything out of the ordinary in the file's chunks or its deflate
// stream stops the worker; the reader then decodes the file again the ordinary way, so files
// that are not regular behave exactly as before.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <zlib.h>

namespace orbisk {

class TPGStream;

// The number of filtered bytes libpng inflates for a picture of this header (every pass of an
// interlaced one, each row with its filter byte).
uint64_t FilteredSize(uint32_t Width, uint32_t Height, int PixelBits, bool Interlaced);

class TIdatPipe {
public:
  // Stream stands just after the header of the first IDAT chunk, FirstLength bytes long;
  // Filtered is FilteredSize of the picture; LengthLimit the longest IDAT libpng takes quietly.
  TIdatPipe(TPGStream& Stream, uint32_t FirstLength, uint64_t Filtered, uint32_t LengthLimit);
  ~TIdatPipe();
  TIdatPipe(const TIdatPipe&) = delete;
  TIdatPipe& operator=(const TIdatPipe&) = delete;

  // The data length of the first stored chunk, put in place of the file's first IDAT length.
  uint32_t FirstChunkLength() const { return ChunkLength(0); }
  void Start();
  // Copies the next bytes libpng asks for; returns how many were served (fewer than Length once
  // everything of the stored chunks and the header of the chunk after the image data has gone:
  // the rest then comes from the stream). Failed() tells that the file's data went wrong and
  // nothing more can be served.
  size_t Serve(uint8_t* Data, size_t Length);
  bool Failed() const { return Broken; }
  bool Finished() const { return AllServed; }

private:
  static constexpr uint32_t kBlock = 65535; // the largest stored block
  static constexpr int kSlots = 8;

  uint64_t BlockCount() const { return (Filtered + kBlock - 1) / kBlock; }
  uint32_t BlockSize(uint64_t J) const {
    return J + 1 < BlockCount() ? kBlock : uint32_t(Filtered - kBlock * (BlockCount() - 1));
  }
  uint32_t ChunkLength(uint64_t J) const {
    return (J == 0 ? 2 : 0) + 5 + BlockSize(J) + (J + 1 == BlockCount() ? 4 : 0);
  }
  void Run();
  bool ReadExact(uint8_t* Data, size_t Length);
  void Publish(uint64_t Blocks, bool Finished, bool Failure);
  void PrepareAfterBlock();
  void PrepareBlockHeader(uint64_t J);

  TPGStream& Stream;
  const uint32_t FirstLength;
  const uint64_t Filtered;
  const uint32_t LengthLimit;
  std::vector<uint8_t> Ring;
  std::thread Worker;

  std::mutex M;
  std::condition_variable CV;
  uint64_t Published = 0; // blocks complete for the reader
  uint64_t Released = 0;  // blocks the reader has copied out
  bool WorkerDone = false, WorkerFailed = false, Cancel = false;
  uint8_t Tail[8] = {}; // the header of the chunk after the image data
  uint32_t Adler = 0;

  // The reader's side (calling thread only).
  uint64_t Block = 0;     // the block being served
  uint32_t Offset = 0;    // bytes of its payload served
  uint32_t Check = 1;     // Adler-32 of the blocks served
  uint8_t Small[32] = {}; // headers and trailers between payloads
  size_t SmallLength = 0, SmallPos = 0;
  bool TailQueued = false, AllServed = false, Broken = false;
};

} // namespace orbisk
