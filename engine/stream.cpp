#include "engine/stream.h"
#include "engine/messages.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace orbisk {

void TPGStream::ReadBuffer(void* Buffer, size_t Count) {
  if (Read(Buffer, Count) != Count) throw EPGStreamError("Stream read error");
}

uint8_t TPGStream::ReadByte() {
  uint8_t B;
  ReadBuffer(&B, 1);
  return B;
}

uint16_t TPGStream::ReadU16LE() {
  uint8_t B[2];
  ReadBuffer(B, 2);
  return uint16_t(B[0] | (B[1] << 8));
}

uint32_t TPGStream::ReadU32LE() {
  uint8_t B[4];
  ReadBuffer(B, 4);
  return uint32_t(B[0]) | (uint32_t(B[1]) << 8) | (uint32_t(B[2]) << 16) | (uint32_t(B[3]) << 24);
}

uint16_t TPGStream::ReadU16BE() {
  uint8_t B[2];
  ReadBuffer(B, 2);
  return uint16_t((B[0] << 8) | B[1]);
}

uint32_t TPGStream::ReadU32BE() {
  uint8_t B[4];
  ReadBuffer(B, 4);
  return (uint32_t(B[0]) << 24) | (uint32_t(B[1]) << 16) | (uint32_t(B[2]) << 8) | uint32_t(B[3]);
}

void TPGStream::WriteU16LE(uint16_t V) {
  uint8_t B[2] = {uint8_t(V), uint8_t(V >> 8)};
  Write(B, 2);
}

void TPGStream::WriteU32LE(uint32_t V) {
  uint8_t B[4] = {uint8_t(V), uint8_t(V >> 8), uint8_t(V >> 16), uint8_t(V >> 24)};
  Write(B, 4);
}

void TPGStream::WriteU16BE(uint16_t V) {
  uint8_t B[2] = {uint8_t(V >> 8), uint8_t(V)};
  Write(B, 2);
}

void TPGStream::WriteU32BE(uint32_t V) {
  uint8_t B[4] = {uint8_t(V >> 24), uint8_t(V >> 16), uint8_t(V >> 8), uint8_t(V)};
  Write(B, 4);
}

// ---- memory ----

TPGMemoryStream::TPGMemoryStream(const void* Data, size_t Size)
    : View(static_cast<const uint8_t*>(Data)), ViewSize(Size) {
  if (!View) View = reinterpret_cast<const uint8_t*>(""); // an empty view stays read-only
}

size_t TPGMemoryStream::Read(void* Buffer, size_t Count) {
  size_t Sz = static_cast<size_t>(Size());
  if (Pos >= Sz) return 0;
  size_t N = std::min(Count, Sz - Pos);
  if (N == 0) return 0;
  std::memcpy(Buffer, Memory() + Pos, N);
  Pos += N;
  return N;
}

void TPGMemoryStream::Write(const void* Buffer, size_t Count) {
  if (View) throw EPGStreamError("Stream write error");
  if (Count == 0) return;
  if (Pos + Count > Data.size()) Data.resize(Pos + Count);
  std::memcpy(Data.data() + Pos, Buffer, Count);
  Pos += Count;
}

int64_t TPGMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t Base = Origin == TSeekOrigin::soBeginning ? 0
                 : Origin == TSeekOrigin::soCurrent ? int64_t(Pos)
                                                    : Size();
  int64_t NewPos = Base + Offset;
  if (NewPos < 0) NewPos = 0;
  Pos = static_cast<size_t>(NewPos);
  return NewPos;
}

void TPGMemoryStream::Clear() {
  Data.clear();
  View = nullptr;
  ViewSize = 0;
  Pos = 0;
}

// ---- file ----

TPGFileStream::TPGFileStream(const std::string& FileName, TFileMode /*Mode*/) : Name(FileName) {
  F = std::fopen(FileName.c_str(), "rb");
  if (!F) throw EPGStreamError("Cannot open file \"" + FileName + "\". " + std::strerror(errno));
  std::setvbuf(F, nullptr, _IOFBF, 1 << 16);
}

TPGFileStream::TPGFileStream(int Descriptor, const std::string& FileName) : Name(FileName) {
  const int Own = dup(Descriptor);
  if (Own >= 0) F = fdopen(Own, "w+b");
  if (!F) {
    const int Error = errno;
    if (Own >= 0) close(Own);
    throw EPGStreamError("Cannot open file \"" + FileName + "\". " + std::strerror(Error));
  }
  std::setvbuf(F, nullptr, _IOFBF, 1 << 16);
}

TPGFileStream::~TPGFileStream() {
  if (F) std::fclose(F);
}

size_t TPGFileStream::Read(void* Buffer, size_t Count) {
  if (!F) return 0;
  return std::fread(Buffer, 1, Count, F);
}

void TPGFileStream::Write(const void* Buffer, size_t Count) {
  if (!F) throw EPGStreamError("Stream write error: " + Name);
  if (std::fwrite(Buffer, 1, Count, F) != Count)
    throw EPGStreamError("Stream write error: " + Name + ". " + std::strerror(errno));
}

int64_t TPGFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  if (!F) return 0;
  int Whence = Origin == TSeekOrigin::soBeginning ? SEEK_SET
               : Origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                  : SEEK_END;
  if (!(Origin == TSeekOrigin::soCurrent && Offset == 0)) {
    if (Origin == TSeekOrigin::soBeginning && Offset < 0) Offset = 0;
    if (fseeko(F, Offset, Whence) != 0) throw EPGStreamError("Stream seek error: " + Name);
  }
  return ftello(F);
}

int64_t TPGFileStream::Size() {
  if (!F) return 0;
  off_t Cur = ftello(F);
  fseeko(F, 0, SEEK_END);
  off_t End = ftello(F);
  fseeko(F, Cur, SEEK_SET);
  return End;
}

void TPGFileStream::Close() {
  if (!F) return;
  bool Ok = std::fflush(F) == 0;
  int Error = errno;
  if (std::fclose(F) != 0 && Ok) {
    Ok = false;
    Error = errno;
  }
  F = nullptr;
  if (!Ok) throw EPGStreamError("Stream write error: " + Name + ". " + std::strerror(Error));
}

} // namespace orbisk
