// EXIF reader (no Qt): finds the TIFF-structured block near the start of a file, walks its
// directories and turns every entry into a named, formatted row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <span>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace orbisk {

enum ExifByteOrder : uint8_t { eboNone = 0, eboIntel = 1, eboMotorola = 2 };

// Which chain of directories an entry came from.
enum class TExifChain : uint8_t { ecMain, ecExif, ecGPS };

// A number of an entry: integers have Den 1.
struct TExifNumber {
  int64_t Num = 0, Den = 1;
  double Real() const { return Den ? double(Num) / double(Den) : 0.0; }
};

// One directory entry as read and formatted.
struct TExifEntry {
  TExifChain Chain = TExifChain::ecMain;
  int Directory = 0; // position in its chain: 0 = IFD0 (or the Exif IFD), 1 = IFD1, ...
  uint16_t Tag = 0;
  uint16_t Type = 0;
  uint32_t Count = 0;
  std::string Name;  // ExifTagName(Tag), or ExifGPSTagName(Tag) in the GPS directory
  std::string Value; // formatted by type (the raw value)
  // The value as people read it ("1/65 s", "f/5.6", "Fired, auto", "51°30′26″ N"); empty when
  // it reads the same as Value or nothing better is known.
  std::string Readable;
  // The first numbers (up to ExifNumbersKept) of a numeric entry, the first bytes of an
  // Undefined one as numbers (up to ExifBytesKept): what Readable is made from.
  std::vector<TExifNumber> Numbers;
};

// The text of the "Value" column: the readable value followed by the raw one in parentheses,
// or the raw value alone.
std::string ExifDisplayValue(const TExifEntry& E);

// A row of the "EXIF Data" list: columns "Description" and "Value".
struct TExifRow {
  std::string Description;
  std::string Value;
  bool operator==(const TExifRow&) const = default;
};

// Opening or reading the file failed; what() carries the system's reason.
class EExifFileError : public std::system_error {
public:
  EExifFileError(int Errno, const std::string& What)
      : std::system_error(Errno, std::generic_category(), What) {}
};

// Limits that keep hostile files cheap.
inline constexpr size_t ExifHeaderWindow = 64;        // bytes scanned for the byte-order mark
inline constexpr size_t ExifAsciiMax = 255;           // longest Ascii value kept
inline constexpr size_t ExifUndefinedMax = 64 * 1024; // most bytes listed for one Undefined value
inline constexpr int ExifMaxDirectories = 256;        // per file, both chains together
inline constexpr size_t ExifMaxListBytes = 4u << 20;  // total text of a listing
inline constexpr size_t ExifNumbersKept = 8;          // numbers kept per entry for Readable
inline constexpr size_t ExifBytesKept = 16;           // Undefined bytes kept for Readable

// Reads a 16- or 32-bit number at Pos; Intel = low byte first, Motorola = high byte first.
// eboNone, or a number that does not lie wholly inside Buffer, gives 0.
uint16_t ReadExifWord(std::span<const uint8_t> Buffer, size_t Pos, ExifByteOrder Order);
uint32_t ReadExifLong(std::span<const uint8_t> Buffer, size_t Pos, ExifByteOrder Order);

// Display name of a tag, or "Undefined (<tag>)".
std::string ExifTagName(unsigned Tag);
// Display name of a tag of the GPS directory, or "Undefined (<tag>)".
std::string ExifGPSTagName(unsigned Tag);

// Every entry of IFD0, IFD1, ..., then of the Exif sub-IFD chain, then of the GPS directory, in
// file order.
// Files without EXIF data give an empty list. A file that cannot be opened or read throws
// EExifFileError.
std::vector<TExifEntry> ReadExifEntries(const std::string& FileName);
std::vector<TExifEntry> ReadExifEntries(std::span<const uint8_t> Data);

// The rows for the "EXIF Data" list. List is emptied first and stays empty on an error.
void ListExifData(const std::string& FileName, std::vector<TExifRow>& List);
std::vector<TExifRow> ListExifData(const std::string& FileName);

// The date and time to show for a picture: the last non-empty "DateTime" entry, else the
// file's modification time (FormatExifFileTime). Throws EExifFileError when the file
// cannot be opened.
std::string GetExifDateTime(const std::string& FileName);

// Local short date followed by the long time (the time left out at exactly midnight), in
// the current LC_TIME locale; "" when the time cannot be converted.
std::string FormatExifFileTime(std::time_t Time);

} // namespace orbisk
