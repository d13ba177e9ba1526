#include "metadata/exif.h"

#include "metadata/exifvalues.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orbisk {

namespace {

enum : uint16_t {
  etByte = 1,
  etAscii = 2,
  etShort = 3,
  etLong = 4,
  etRational = 5,
  etSByte = 6,
  etUndefined = 7,
  etSShort = 8,
  etSLong = 9,
  etSRational = 10,
  etFloat = 11,
  etDouble = 12,
};

constexpr uint16_t TagExifOffset = 34665;
constexpr uint16_t TagGPSOffset = 34853;
constexpr uint16_t TagDateTime = 306;
constexpr size_t EntrySize = 12;
// Charged per row on top of its text, so that floods of tiny entries also hit the limit.
constexpr size_t RowOverhead = 64;

unsigned TypeSize(uint16_t Type) {
  switch (Type) {
  case etByte:
  case etAscii:
  case etSByte:
  case etUndefined:
    return 1;
  case etShort:
  case etSShort:
    return 2;
  case etLong:
  case etSLong:
  case etFloat:
    return 4;
  case etRational:
  case etSRational:
  case etDouble:
    return 8;
  default:
    return 0;
  }
}

// Positional reads; short at the end of the data.
class TExifSource {
public:
  virtual ~TExifSource() = default;
  virtual size_t ReadAt(uint64_t Pos, uint8_t* Buffer, size_t Count) = 0;
  // Bytes available from Pos on, so buffers are never larger than the data.
  virtual uint64_t Available(uint64_t Pos) const = 0;
};

class TExifMemorySource final : public TExifSource {
public:
  explicit TExifMemorySource(std::span<const uint8_t> D) : Data(D) {}
  size_t ReadAt(uint64_t Pos, uint8_t* Buffer, size_t Count) override {
    if (Pos >= Data.size()) return 0;
    size_t N = std::min<uint64_t>(Count, Data.size() - Pos);
    std::copy_n(Data.begin() + static_cast<ptrdiff_t>(Pos), N, Buffer);
    return N;
  }
  uint64_t Available(uint64_t Pos) const override {
    return Pos < Data.size() ? Data.size() - Pos : 0;
  }

private:
  std::span<const uint8_t> Data;
};

// Read-only, shared with other readers and writers; closed by the destructor on every path.
class TExifFileSource final : public TExifSource {
public:
  explicit TExifFileSource(const std::string& FileName) : Name(FileName) {
    Fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (Fd < 0) throw EExifFileError(errno, "Cannot open file \"" + Name + "\"");
    struct stat St {};
    if (::fstat(Fd, &St) == 0 && S_ISREG(St.st_mode)) Size = static_cast<uint64_t>(St.st_size);
  }
  ~TExifFileSource() override { ::close(Fd); }
  TExifFileSource(const TExifFileSource&) = delete;
  TExifFileSource& operator=(const TExifFileSource&) = delete;

  size_t ReadAt(uint64_t Pos, uint8_t* Buffer, size_t Count) override {
    size_t Done = 0;
    while (Done < Count) {
      uint64_t At = Pos + Done;
      if (At > static_cast<uint64_t>(INT64_MAX)) break;
      ssize_t R = ::pread(Fd, Buffer + Done, Count - Done, static_cast<off_t>(At));
      if (R < 0) {
        if (errno == EINTR) continue;
        throw EExifFileError(errno, "Cannot read file \"" + Name + "\"");
      }
      if (R == 0) break;
      Done += static_cast<size_t>(R);
    }
    return Done;
  }
  uint64_t Available(uint64_t Pos) const override { return Pos < Size ? Size - Pos : 0; }

private:
  std::string Name;
  int Fd = -1;
  uint64_t Size = UINT64_MAX; // unknown for devices: reads then end where the data end
};

class TExifWalker {
public:
  explicit TExifWalker(TExifSource& S) : Src(S) {}
  std::vector<TExifEntry> Run();

private:
  void WalkChain(uint32_t Start, TExifChain Chain);
  std::string FormatValue(const uint8_t* Entry, uint16_t Type, uint32_t Count,
                          std::vector<TExifNumber>& Numbers);
  std::span<const uint8_t> Span(const uint8_t* P, size_t N) { return {P, N}; }

  TExifSource& Src;
  ExifByteOrder Order = eboNone;
  uint64_t Origin = 0;
  uint32_t ExifOffset = 0;
  uint32_t GPSOffset = 0;
  std::set<uint32_t> Visited;
  int Directories = 0;
  size_t ListBytes = 0;
  bool Stopped = false;
  std::vector<TExifEntry> Out;
};

std::vector<TExifEntry> TExifWalker::Run() {
  // Zero-filled so a short file never exposes stale bytes; a mark only counts when all eight
  // header bytes from it were read.
  std::array<uint8_t, ExifHeaderWindow> Header{};
  size_t Got = Src.ReadAt(0, Header.data(), Header.size());
  if (Got < 8) return {};
  size_t Last = std::min<size_t>(Got - 8, ExifHeaderWindow - 2);
  for (auto [Mark, Ord] : {std::pair{'I', eboIntel}, std::pair{'M', eboMotorola}}) {
    for (size_t P = 0; P <= Last && Order == eboNone; ++P)
      if (Header[P] == Mark && Header[P + 1] == Mark) {
        Order = Ord;
        Origin = P;
      }
    if (Order != eboNone) break;
  }
  if (Order == eboNone) return {};
  uint8_t Magic = Header[Origin + (Order == eboIntel ? 2 : 3)];
  if (Magic < 42) return {};

  // Offsets are used whole: cutting them to 16 bits changes nothing inside a JPEG segment
  // but turns the directories of larger TIFF files into garbage.
  uint32_t First = ReadExifLong(Header, Origin + 4, Order);
  WalkChain(First, TExifChain::ecMain);
  if (ExifOffset != 0 && !Stopped) WalkChain(ExifOffset, TExifChain::ecExif);
  if (GPSOffset != 0 && !Stopped) WalkChain(GPSOffset, TExifChain::ecGPS);
  DescribeValues(Out, Order == eboMotorola);
  return std::move(Out);
}

void TExifWalker::WalkChain(uint32_t Start, TExifChain Chain) {
  uint32_t Offset = Start;
  for (int Index = 0; Offset != 0 && !Stopped; ++Index) {
    // A link back to a directory already listed ends the chain.
    if (!Visited.insert(Offset).second) return;
    if (++Directories > ExifMaxDirectories) {
      Stopped = true;
      return;
    }
    uint64_t At = Origin + Offset;
    uint8_t CountBytes[2];
    if (Src.ReadAt(At, CountBytes, 2) < 2) return;
    size_t N = ReadExifWord(CountBytes, 0, Order);
    // Entries and the next link in one read: at most 65535 * 12 + 4 bytes.
    size_t Need = N * EntrySize + 4;
    std::vector<uint8_t> Block(std::min<uint64_t>(Need, Src.Available(At + 2)));
    size_t Got = Src.ReadAt(At + 2, Block.data(), Block.size());
    size_t Whole = std::min(N, Got / EntrySize);
    for (size_t I = 0; I < Whole && !Stopped; ++I) {
      const uint8_t* E = Block.data() + I * EntrySize;
      TExifEntry Entry;
      Entry.Chain = Chain;
      Entry.Directory = Index;
      Entry.Tag = ReadExifWord(Span(E, EntrySize), 0, Order);
      Entry.Type = ReadExifWord(Span(E, EntrySize), 2, Order);
      Entry.Count = ReadExifLong(Span(E, EntrySize), 4, Order);
      if (Entry.Tag == TagExifOffset && Chain == TExifChain::ecMain)
        ExifOffset = ReadExifLong(Span(E, EntrySize), 8, Order);
      if (Entry.Tag == TagGPSOffset && Chain == TExifChain::ecMain)
        GPSOffset = ReadExifLong(Span(E, EntrySize), 8, Order);
      Entry.Name = Chain == TExifChain::ecGPS ? ExifGPSTagName(Entry.Tag) : ExifTagName(Entry.Tag);
      Entry.Value = FormatValue(E, Entry.Type, Entry.Count, Entry.Numbers);
      ListBytes += Entry.Name.size() + Entry.Value.size() + RowOverhead;
      Out.push_back(std::move(Entry));
      if (ListBytes > ExifMaxListBytes) Stopped = true;
    }
    // A directory cut short by the end of the file has no readable link.
    if (Got < Need) return;
    Offset = ReadExifLong(Block, N * EntrySize, Order);
  }
}

std::string TExifWalker::FormatValue(const uint8_t* Entry, uint16_t Type, uint32_t Count,
                                     std::vector<TExifNumber>& Numbers) {
  unsigned Size = TypeSize(Type);
  if (Count == 0 || Size == 0 || Type == etFloat || Type == etDouble) return {};

  // Numbers: the first value is listed, the first few are kept for the readable value.
  size_t Want = std::min<size_t>(Count, ExifNumbersKept) * Size;
  if (Type == etAscii) Want = std::min<size_t>(Count, ExifAsciiMax);
  if (Type == etUndefined) Want = std::min<size_t>(Count, ExifUndefinedMax);

  std::vector<uint8_t> Buf;
  size_t Got;
  if (uint64_t(Count) * Size <= 4) {
    Buf.assign(Entry + 8, Entry + 8 + Want);
    Got = Want;
  } else {
    uint64_t At = Origin + ReadExifLong(Span(Entry, EntrySize), 8, Order);
    Buf.resize(std::min<uint64_t>(Want, Src.Available(At)));
    Got = Src.ReadAt(At, Buf.data(), Buf.size());
  }

  switch (Type) {
  case etAscii: {
    auto End = std::find(Buf.begin(), Buf.begin() + static_cast<ptrdiff_t>(Got), 0);
    return std::string(Buf.begin(), End);
  }
  case etUndefined: {
    for (size_t I = 0; I < std::min(Got, ExifBytesKept); ++I)
      Numbers.push_back({Buf[I], 1});
    std::string S;
    S.reserve(Got * 4);
    for (size_t I = 0; I < Got; ++I) {
      unsigned V = Buf[I];
      if (V >= 100) S += char('0' + V / 100);
      if (V >= 10) S += char('0' + V / 10 % 10);
      S += char('0' + V % 10);
      S += ',';
    }
    if (!S.empty()) S.pop_back();
    return S;
  }
  default:
    break;
  }
  // A number cut off by the end of the file shows nothing.
  if (Got < Size) return {};
  for (size_t At = 0; At + Size <= Got; At += Size) {
    const std::span<const uint8_t> V(Buf.data() + At, Size);
    switch (Type) {
    case etByte:
      Numbers.push_back({V[0], 1});
      break;
    case etSByte:
      Numbers.push_back({static_cast<int8_t>(V[0]), 1});
      break;
    case etShort:
      Numbers.push_back({ReadExifWord(V, 0, Order), 1});
      break;
    case etSShort:
      Numbers.push_back({static_cast<int16_t>(ReadExifWord(V, 0, Order)), 1});
      break;
    case etLong:
      Numbers.push_back({ReadExifLong(V, 0, Order), 1});
      break;
    case etSLong:
      Numbers.push_back({static_cast<int32_t>(ReadExifLong(V, 0, Order)), 1});
      break;
    case etRational:
      Numbers.push_back({ReadExifLong(V, 0, Order), ReadExifLong(V, 4, Order)});
      break;
    case etSRational:
      Numbers.push_back({static_cast<int32_t>(ReadExifLong(V, 0, Order)),
                         static_cast<int32_t>(ReadExifLong(V, 4, Order))});
      break;
    default:
      break;
    }
  }
  switch (Type) {
  case etByte:
    return std::to_string(Buf[0]);
  case etSByte:
    return std::to_string(static_cast<int8_t>(Buf[0]));
  case etShort:
    return std::to_string(ReadExifWord(Buf, 0, Order));
  case etSShort:
    return std::to_string(static_cast<int16_t>(ReadExifWord(Buf, 0, Order)));
  case etLong:
  case etSLong:
    return std::to_string(static_cast<int32_t>(ReadExifLong(Buf, 0, Order)));
  case etRational:
  case etSRational:
    return std::to_string(static_cast<int32_t>(ReadExifLong(Buf, 0, Order))) + "/" +
           std::to_string(static_cast<int32_t>(ReadExifLong(Buf, 4, Order)));
  default:
    return {};
  }
}

struct TTagName {
  uint16_t Tag;
  const char* Name;
};

// The tags of the TIFF and Exif directories of Exif 2.32, sorted by tag for the binary search.
constexpr TTagName TagNames[] = {
    {254, "NewSubFile Type"},
    {256, "ImageWidth"},
    {257, "ImageLength"},
    {258, "BitsPerSample"},
    {259, "Compression"},
    {262, "PhotometricInterpretation"},
    {266, "FillOrder"},
    {269, "DocumentName"},
    {270, "ImageDescription"},
    {271, "Make"},
    {272, "Model"},
    {273, "StripOffsets"},
    {274, "Orientation"},
    {277, "SamplesPerPixel"},
    {278, "RowsPerStrip"},
    {279, "StripByteCounts"},
    {282, "XResolution"},
    {283, "YResolution"},
    {284, "PlanarConfiguration"},
    {296, "ResolutionUnit"},
    {301, "TransferFunction"},
    {305, "Software"},
    {306, "DateTime"},
    {315, "Artist"},
    {318, "WhitePoint"},
    {319, "PrimaryChromaticities"},
    {342, "TransferRange"},
    {512, "JPEGProc"},
    {513, "JPEGInterchangeFormat"},
    {514, "JPEGInterchangeFormatLength"},
    {529, "YCbCrCoefficients"},
    {530, "YCbCrSubSampling"},
    {531, "YCbCrPositioning"},
    {532, "ReferenceBlackWhite"},
    {33421, "CFARepeatPatternDim"},
    {33422, "CFAPattern"},
    {33423, "BatteryLevel"},
    {33432, "Copyright"},
    {33434, "Exposure Time"},
    {33437, "F Number"},
    {33723, "IPTC/NAA"},
    {34665, "ExifOffset"},
    {34675, "InterColorProfile"},
    {34850, "Exposure Program"},
    {34852, "SpectralSensitivity"},
    {34853, "GPSInfo"},
    {34855, "ISO Speed Rating"},
    {34856, "OECF"},
    {34864, "Sensitivity Type"},
    {34865, "Standard Output Sensitivity"},
    {34866, "Recommended Exposure Index"},
    {34867, "ISO Speed"},
    {34868, "ISO Speed Latitude yyy"},
    {34869, "ISO Speed Latitude zzz"},
    {36864, "Exif Version"},
    {36867, "DateTime Original"},
    {36868, "DateTime Digitized"},
    {36880, "Offset Time"},
    {36881, "Offset Time Original"},
    {36882, "Offset Time Digitized"},
    {37121, "Component Configuration"},
    {37122, "Compressed Bits Per Pixel"},
    {37377, "Shutter Speed Value"},
    {37378, "Aperture Value"},
    {37379, "Brightness Value"},
    {37380, "Exposure Bias Value"},
    {37381, "Max Aperture Value"},
    {37382, "Subject Distance"},
    {37383, "Metering Mode"},
    {37384, "Light Source"},
    {37385, "Flash"},
    {37386, "Focal Length"},
    {37396, "Subject Area"},
    {37500, "Maker Note"},
    {37510, "User Comment"},
    {37520, "SubSecTime"},
    {37521, "SubSecTimeOriginal"},
    {37522, "SubSecTimeDigitized"},
    {37888, "Temperature"},
    {37889, "Humidity"},
    {37890, "Pressure"},
    {37891, "Water Depth"},
    {37892, "Acceleration"},
    {37893, "Camera Elevation Angle"},
    {40960, "Flash Pix Version"},
    {40961, "Color Space"},
    {40962, "Exif Image Width"},
    {40963, "Exif Image Height"},
    {40964, "Related Sound File"},
    {40965, "Exif Interoperability Offset"},
    {41483, "Flash Energy"},
    {41484, "Spatial Frequency Response"},
    {41486, "Focal Plane X Resolution"},
    {41487, "Focal Plane Y Resolution"},
    {41488, "Focal Plane Resolution Unit"},
    {41492, "Subject Location"},
    {41493, "Exposure Index"},
    {41495, "Sensing Method"},
    {41728, "File Source"},
    {41729, "Scene Type"},
    {41730, "CFA Pattern"},
    {41985, "Custom Rendered"},
    {41986, "Exposure Mode"},
    {41987, "White Balance"},
    {41988, "Digital Zoom Ratio"},
    {41989, "Focal Length In 35mm Film"},
    {41990, "Scene Capture Type"},
    {41991, "Gain Control"},
    {41992, "Contrast"},
    {41993, "Saturation"},
    {41994, "Sharpness"},
    {41995, "Device Setting Description"},
    {41996, "Subject Distance Range"},
    {42016, "Image Unique ID"},
    {42032, "Camera Owner Name"},
    {42033, "Body Serial Number"},
    {42034, "Lens Specification"},
    {42035, "Lens Make"},
    {42036, "Lens Model"},
    {42037, "Lens Serial Number"},
    {42240, "Gamma"},
};

std::vector<TExifEntry> ReadFrom(TExifSource& Src) {
  return TExifWalker(Src).Run();
}

} // namespace

uint16_t ReadExifWord(std::span<const uint8_t> Buffer, size_t Pos, ExifByteOrder Order) {
  if (Pos > Buffer.size() || Buffer.size() - Pos < 2) return 0;
  uint16_t A = Buffer[Pos], B = Buffer[Pos + 1];
  switch (Order) {
  case eboIntel:
    return static_cast<uint16_t>(A | B << 8);
  case eboMotorola:
    return static_cast<uint16_t>(A << 8 | B);
  default:
    return 0;
  }
}

uint32_t ReadExifLong(std::span<const uint8_t> Buffer, size_t Pos, ExifByteOrder Order) {
  if (Pos > Buffer.size() || Buffer.size() - Pos < 4) return 0;
  uint32_t Lo = ReadExifWord(Buffer, Order == eboIntel ? Pos : Pos + 2, Order);
  uint32_t Hi = ReadExifWord(Buffer, Order == eboIntel ? Pos + 2 : Pos, Order);
  return Lo | Hi << 16;
}

std::string ExifTagName(unsigned Tag) {
  auto It = std::lower_bound(std::begin(TagNames), std::end(TagNames), Tag,
                             [](const TTagName& T, unsigned V) { return T.Tag < V; });
  if (It != std::end(TagNames) && It->Tag == Tag) return It->Name;
  return "Undefined (" + std::to_string(Tag) + ")";
}

std::vector<TExifEntry> ReadExifEntries(const std::string& FileName) {
  TExifFileSource Src(FileName);
  return ReadFrom(Src);
}

std::vector<TExifEntry> ReadExifEntries(std::span<const uint8_t> Data) {
  TExifMemorySource Src(Data);
  return ReadFrom(Src);
}

void ListExifData(const std::string& FileName, std::vector<TExifRow>& List) {
  List.clear();
  std::vector<TExifEntry> Entries = ReadExifEntries(FileName);
  std::vector<TExifRow> Rows;
  Rows.reserve(Entries.size());
  for (auto& E : Entries)
    Rows.push_back({std::move(E.Name), ExifDisplayValue(E)});
  List = std::move(Rows);
}

std::string ExifDisplayValue(const TExifEntry& E) {
  if (E.Readable.empty() || E.Readable == E.Value) return E.Value;
  if (E.Value.empty()) return E.Readable;
  return E.Readable + " (" + E.Value + ")";
}

std::vector<TExifRow> ListExifData(const std::string& FileName) {
  std::vector<TExifRow> Rows;
  ListExifData(FileName, Rows);
  return Rows;
}

std::string FormatExifFileTime(std::time_t Time) {
  std::tm T{};
  if (!localtime_r(&Time, &T)) return {};
  char Buf[128];
  if (std::strftime(Buf, sizeof Buf, "%x", &T) == 0) return {};
  std::string S = Buf;
  if ((T.tm_hour || T.tm_min || T.tm_sec) && std::strftime(Buf, sizeof Buf, "%X", &T) != 0)
    S += std::string(" ") + Buf;
  return S;
}

std::string GetExifDateTime(const std::string& FileName) {
  std::string Result;
  struct stat St {};
  if (::stat(FileName.c_str(), &St) == 0) Result = FormatExifFileTime(St.st_mtime);
  for (const TExifEntry& E : ReadExifEntries(FileName))
    // An empty stored date would only hide the file's own date.
    if (E.Tag == TagDateTime && !E.Value.empty()) Result = E.Value;
  return Result;
}

} // namespace orbisk
