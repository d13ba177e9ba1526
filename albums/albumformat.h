// The album file (".alb"): a fixed-width text header with the print settings and the caption
// font, a 1000-byte version block, then one record per entry: a rotation byte, the file name, a
// TAB, the caption, CR LF. This layer works on bytes and uses no Qt, so the reader can be fuzzed
// on its own; albumdoc.h turns the records into the album document.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace orbisk {

// The header's fields as numbers and text. Font names of up to 40 bytes fit the header.
struct TAlbumHeader {
  int Rows = 3;
  int Cols = 2;
  int Border = 100;
  bool PrintFrames = false;
  int CaptionOption = 0;
  std::string FontName = "Arial";
  int FontSize = 8;
  int32_t FontColor = 0; // red in the low byte; system colours are negative
  bool Bold = false;
  bool Italic = false;
};

struct TAlbumRecord {
  std::string FileName; // bytes of the path as the file system names it
  std::string Caption;  // UTF-8
  int Rotation = 0;     // quarter turns clockwise, 0..3
};

struct TAlbumFileData {
  TAlbumHeader Header;
  std::vector<TAlbumRecord> Records;
};

// What the reader found besides the data.
struct TAlbumReadReport {
  bool HasRotation = true; // false for files written before entries could be turned
  bool Truncated = false;  // the file ends inside a record; the records before it were kept
};

// A file that is not an album file: the text says what is wrong with it.
class EAlbumFormat : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

inline constexpr int kAlbumHeaderSize = 67;
inline constexpr int kAlbumVersionBlockSize = 1000;
inline constexpr const char* kAlbumVersion = "7.80";
inline constexpr int kAlbumFontNameWidth = 40;

// The file's bytes. Header numbers are limited to what their fields hold (rows and columns 1..6,
// border 10..500, caption option 0..5, font size 1..99); a longer font name is cut to 40 bytes
// (at a character boundary); a TAB in a file name and a CR or LF in a caption, which the file
// cannot hold, are written as blanks; a rotation is written modulo 4.
std::string FormatAlbumFile(const TAlbumFileData& Data);

// Reads the bytes of an album file. Raises EAlbumFormat for a file too short to hold the
// header and the version block, or a header field that is not a number (the text names the
// field). A file that ends inside a record keeps the records before it (Report.Truncated).
// Rotation bytes are taken modulo 4.
TAlbumFileData ParseAlbumFile(const std::string& Bytes, TAlbumReadReport* Report = nullptr);

// Replaces the characters a record cannot hold by blanks; true when something was replaced.
bool SanitizeAlbumFileName(std::string& FileName);
bool SanitizeAlbumCaption(std::string& Caption);

} // namespace orbisk
