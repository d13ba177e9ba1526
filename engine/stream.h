// The engine's byte streams: files and memory blocks, with seekable positions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace orbisk {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TPGStream {
public:
  virtual ~TPGStream() = default;
  // Reads up to Count bytes; returns how many were read (short at the end of the data).
  virtual size_t Read(void* Buffer, size_t Count) = 0;
  // Writes Count bytes; throws EPGStreamError when they cannot all be written.
  virtual void Write(const void* Buffer, size_t Count) = 0;
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
  virtual int64_t Size() = 0;

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, TSeekOrigin::soBeginning); }
  int64_t Remaining() { return Size() - Position(); }

  // Reads exactly Count bytes or throws EPGStreamError ("Stream read error").
  void ReadBuffer(void* Buffer, size_t Count);
  void WriteBuffer(const void* Buffer, size_t Count) { Write(Buffer, Count); }

  uint8_t ReadByte();
  uint16_t ReadU16LE();
  uint32_t ReadU32LE();
  uint16_t ReadU16BE();
  uint32_t ReadU32BE();
  void WriteByte(uint8_t V) { Write(&V, 1); }
  void WriteU16LE(uint16_t V);
  void WriteU32LE(uint32_t V);
  void WriteU16BE(uint16_t V);
  void WriteU32BE(uint32_t V);
};

// A growable memory block, or a read-only view of caller-owned bytes.
class TPGMemoryStream : public TPGStream {
public:
  TPGMemoryStream() = default;
  TPGMemoryStream(const void* Data, size_t Size); // read-only view, no copy
  size_t Read(void* Buffer, size_t Count) override;
  void Write(const void* Buffer, size_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return static_cast<int64_t>(View ? ViewSize : Data.size()); }

  const uint8_t* Memory() const { return View ? View : Data.data(); }
  std::vector<uint8_t>& Bytes() { return Data; }
  void Reserve(size_t N) { Data.reserve(N); }
  void Clear();

private:
  std::vector<uint8_t> Data;
  const uint8_t* View = nullptr;
  size_t ViewSize = 0;
  size_t Pos = 0;
};

// Files are opened for reading only: everything the program writes goes through a TSafeFile
// (a temporary file renamed over the target), never by truncating a file in place.
enum class TFileMode { fmOpenRead };

// A buffered file. Opening failures throw EPGStreamError with the system's reason.
class TPGFileStream : public TPGStream {
public:
  TPGFileStream(const std::string& FileName, TFileMode Mode);
  // Writes to an open descriptor (a TSafeFile's); Name is the file named in messages. The
  // descriptor stays open after Close.
  TPGFileStream(int Descriptor, const std::string& Name);
  ~TPGFileStream() override;
  size_t Read(void* Buffer, size_t Count) override;
  void Write(const void* Buffer, size_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override;
  // Flushes and closes; throws when buffered data cannot be written.
  void Close();

private:
  std::FILE* F = nullptr;
  std::string Name;
};

} // namespace orbisk
