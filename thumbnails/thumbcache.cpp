#include "thumbnails/thumbcache.h"

#include "engine/stream.h"
#include "platform/codecsettings.h"
#include "platform/pgqt.h"
#include "thumbnails/thumbcell.h"

#include <QCryptographicHash>
#include <QImage>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace orbisk {

namespace {

constexpr const char* kVersion = "0.1";
// Cache files larger than this are not ours to read (a 1024-pixel RGBA picture stays far below).
constexpr int64_t kMaxCacheFile = 16 << 20;

bool ReadSmallFile(const std::string& Path, std::vector<uint8_t>& Out) {
  const int Fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) return false;
  struct stat St {};
  bool Ok =
      ::fstat(Fd, &St) == 0 && S_ISREG(St.st_mode) && St.st_size > 0 && St.st_size <= kMaxCacheFile;
  if (Ok) {
    Out.resize(size_t(St.st_size));
    size_t Done = 0;
    while (Done < Out.size()) {
      const ssize_t N = ::read(Fd, Out.data() + Done, Out.size() - Done);
      if (N < 0 && errno == EINTR) continue;
      if (N <= 0) break;
      Done += size_t(N);
    }
    Out.resize(Done);
    Ok = Done > 0;
  }
  ::close(Fd);
  return Ok;
}

uint32_t BigEndian32(const uint8_t* P) {
  return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | P[3];
}

void Put32(std::vector<uint8_t>& Out, uint32_t V) {
  for (int S = 24; S >= 0; S -= 8)
    Out.push_back(uint8_t(V >> S));
}

void PutChunk(std::vector<uint8_t>& Out, const char Type[4], const uint8_t* Data, size_t Size) {
  Put32(Out, uint32_t(Size));
  const size_t Start = Out.size();
  Out.insert(Out.end(), Type, Type + 4);
  if (Size) Out.insert(Out.end(), Data, Data + Size);
  Put32(Out, uint32_t(crc32(0, Out.data() + Start, uInt(Out.size() - Start))));
}

bool ParseInt64(const std::string& Text, int64_t& V) {
  if (Text.empty() || Text.size() > 20) return false;
  char* End = nullptr;
  errno = 0;
  const long long R = std::strtoll(Text.c_str(), &End, 10);
  if (errno || !End || *End) return false;
  V = R;
  return true;
}

bool MakeFolders(const std::string& Path) {
  std::error_code E;
  std::filesystem::path P(Path);
  std::vector<std::filesystem::path> Missing;
  for (; !P.empty() && !std::filesystem::exists(P, E); P = P.parent_path()) {
    Missing.push_back(P);
    if (P == P.parent_path()) break;
  }
  for (auto It = Missing.rbegin(); It != Missing.rend(); ++It)
    if (::mkdir(It->c_str(), 0700) != 0 && errno != EEXIST) return false;
  return std::filesystem::is_directory(Path, E);
}

// The whole picture scaled into a box: the longer side becomes the box, the other keeps the
// ratio (rounded, at least 1).
QSize BoxSize(int W, int H, int Box) {
  const int M = std::max(W, H);
  if (M <= Box) return {W, H};
  return {std::max(1, int((int64_t(W) * Box + M / 2) / M)),
          std::max(1, int((int64_t(H) * Box + M / 2) / M))};
}

} // namespace

std::string ThumbFileUri(const std::string& AbsolutePath) {
  static const char* Hex = "0123456789ABCDEF";
  std::string Out = "file://";
  Out.reserve(Out.size() + AbsolutePath.size() * 3 / 2);
  for (unsigned char C : AbsolutePath) {
    const bool Plain = (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') ||
                       std::strchr("!$&'()*+,-./:=@_~", C) != nullptr;
    if (Plain && C != 0) {
      Out += char(C);
    } else {
      Out += '%';
      Out += Hex[C >> 4];
      Out += Hex[C & 15];
    }
  }
  return Out;
}

std::string ThumbMd5Hex(const std::string& Text) {
  return QCryptographicHash::hash(QByteArray::fromStdString(Text), QCryptographicHash::Md5)
      .toHex()
      .toStdString();
}

bool ReadPngTextKeys(const uint8_t* Data, size_t Size, std::map<std::string, std::string>& Keys) {
  static const uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (Size < 8 || std::memcmp(Data, Signature, 8) != 0) return false;
  size_t At = 8;
  while (At + 12 <= Size) {
    const uint32_t Length = BigEndian32(Data + At);
    const uint8_t* Type = Data + At + 4;
    if (Length > Size - At - 12) return false;
    const char* Body = reinterpret_cast<const char*>(Data + At + 8);
    if (std::memcmp(Type, "tEXt", 4) == 0) {
      const char* Nul = static_cast<const char*>(std::memchr(Body, 0, Length));
      if (Nul) Keys[std::string(Body, Nul)] = std::string(Nul + 1, Body + Length);
    } else if (std::memcmp(Type, "iTXt", 4) == 0) {
      // keyword NUL, compression flag, method, language NUL, translated keyword NUL, text
      const char* End = Body + Length;
      const char* K = static_cast<const char*>(std::memchr(Body, 0, Length));
      if (K && End - K > 3 && K[1] == 0) {
        const char* Lang = static_cast<const char*>(std::memchr(K + 3, 0, size_t(End - K - 3)));
        const char* Tr =
            Lang ? static_cast<const char*>(std::memchr(Lang + 1, 0, size_t(End - Lang - 1)))
                 : nullptr;
        if (Tr) Keys[std::string(Body, K)] = std::string(Tr + 1, End);
      }
    } else if (std::memcmp(Type, "IEND", 4) == 0) {
      break;
    }
    At += 12 + size_t(Length);
  }
  return true;
}

std::vector<uint8_t> EncodeThumbPng(const TPixelGraphic& Picture,
                                    const std::vector<std::pair<std::string, std::string>>& Keys) {
  const int W = Picture.Width(), H = Picture.Height();
  const QImage Image = ToQImage(Picture);
  // Each row: filter type 1 (difference to the pixel on the left), then R G B A.
  const size_t RowBytes = size_t(W) * 4 + 1;
  std::vector<uint8_t> Raw(RowBytes * size_t(H));
  for (int Y = 0; Y < H; ++Y) {
    const QRgb* Line = reinterpret_cast<const QRgb*>(Image.constScanLine(Y));
    uint8_t* Out = Raw.data() + RowBytes * size_t(Y);
    *Out++ = 1;
    uint8_t Prev[4] = {0, 0, 0, 0};
    for (int X = 0; X < W; ++X) {
      const uint8_t Px[4] = {uint8_t(qRed(Line[X])), uint8_t(qGreen(Line[X])),
                             uint8_t(qBlue(Line[X])), 255};
      for (int C = 0; C < 4; ++C) {
        *Out++ = uint8_t(Px[C] - Prev[C]);
        Prev[C] = Px[C];
      }
    }
  }
  uLongf Packed = compressBound(uLong(Raw.size()));
  std::vector<uint8_t> Z(Packed);
  if (compress2(Z.data(), &Packed, Raw.data(), uLong(Raw.size()), 1) != Z_OK)
    throw EPGStreamError("PNG: compression failed");
  Z.resize(Packed);

  std::vector<uint8_t> Png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> Header;
  Put32(Header, uint32_t(W));
  Put32(Header, uint32_t(H));
  Header.insert(Header.end(), {8, 6, 0, 0, 0});
  PutChunk(Png, "IHDR", Header.data(), Header.size());
  for (const auto& [Key, Value] : Keys) {
    std::vector<uint8_t> Text(Key.begin(), Key.end());
    Text.push_back(0);
    Text.insert(Text.end(), Value.begin(), Value.end());
    PutChunk(Png, "tEXt", Text.data(), Text.size());
  }
  PutChunk(Png, "IDAT", Z.data(), Z.size());
  PutChunk(Png, "IEND", nullptr, 0);
  return Png;
}

// ---- the cache

TThumbCache::TThumbCache(std::string Root) : FRoot(std::move(Root)) {
  while (FRoot.size() > 1 && FRoot.back() == '/')
    FRoot.pop_back();
  char* Real = ::realpath(FRoot.c_str(), nullptr);
  FCanonicalRoot = Real ? Real : FRoot;
  std::free(Real);
}

std::string TThumbCache::DefaultRoot() {
  const char* Xdg = std::getenv("XDG_CACHE_HOME");
  if (Xdg && Xdg[0] == '/') return std::string(Xdg) + "/thumbnails";
  const char* Home = std::getenv("HOME");
  return std::string(Home && Home[0] ? Home : "/tmp") + "/.cache/thumbnails";
}

std::string TThumbCache::FailFolder() {
  return std::string("fail/orbisk-") + kVersion;
}

std::string TThumbCache::FileOf(const std::string& Folder, const TThumbSource& Source) const {
  return FRoot + "/" + Folder + "/" + Source.Hash + ".png";
}

bool TThumbCache::Describe(const std::string& Path, TThumbSource& Out) const {
  namespace fs = std::filesystem;
  if (Path.empty()) return false;
  fs::path P(Path);
  if (!P.is_absolute()) {
    std::error_code E;
    P = fs::current_path(E) / P;
    if (E) return false;
  }
  const std::string Abs = P.lexically_normal().string();
  struct stat St {};
  if (::stat(Abs.c_str(), &St) != 0 || !S_ISREG(St.st_mode)) return false;
  // Never the cache's own files, whichever way the path reaches them.
  auto Inside = [](const std::string& A, const std::string& Root) {
    return A.size() > Root.size() && A.compare(0, Root.size(), Root) == 0 && A[Root.size()] == '/';
  };
  if (Inside(Abs, FRoot) || Inside(Abs, FCanonicalRoot)) return false;
  if (char* Real = ::realpath(Abs.c_str(), nullptr)) {
    const bool In = Inside(Real, FCanonicalRoot);
    std::free(Real);
    if (In) return false;
  }
  Out.Path = Abs;
  Out.Uri = ThumbFileUri(Abs);
  Out.Hash = ThumbMd5Hex(Out.Uri);
  Out.MTime = int64_t(St.st_mtime);
  Out.Size = int64_t(St.st_size);
  return true;
}

bool TThumbCache::ValidKeys(const std::map<std::string, std::string>& Keys,
                            const TThumbSource& S) const {
  auto U = Keys.find("Thumb::URI");
  auto M = Keys.find("Thumb::MTime");
  int64_t V = 0;
  if (U == Keys.end() || U->second != S.Uri || M == Keys.end() || !ParseInt64(M->second, V) ||
      V != S.MTime)
    return false;
  auto Z = Keys.find("Thumb::Size");
  if (Z != Keys.end() && (!ParseInt64(Z->second, V) || V != S.Size)) return false;
  return true;
}

bool TThumbCache::Find(const TThumbSource& Source, int S, TCachedPicture& Out) const {
  std::vector<uint8_t> Data;
  for (const TThumbCacheFolder& F : kThumbCacheFolders) {
    const std::string File = FileOf(F.Name, Source);
    std::map<std::string, std::string> Keys;
    if (!ReadSmallFile(File, Data) || !ReadPngTextKeys(Data.data(), Data.size(), Keys) ||
        !ValidKeys(Keys, Source))
      continue;
    auto G = std::make_unique<TPixelGraphic>();
    try {
      G->SetBackGroundColor(kThumbBackground);
      G->ReadWarningAction = pgwaIgnore;
      TPGMemoryStream Stream(Data.data(), Data.size());
      G->LoadFromStreamExt(Stream, "png", 0, CurrentReadOptions());
    } catch (...) {
      continue;
    }
    const int PW = G->Width(), PH = G->Height();
    if (PW <= 0 || PH <= 0) continue;
    int64_t FW = 0, FH = 0;
    auto IW = Keys.find("Thumb::Image::Width"), IH = Keys.find("Thumb::Image::Height");
    const bool Known = IW != Keys.end() && IH != Keys.end() && ParseInt64(IW->second, FW) &&
                       ParseInt64(IH->second, FH) && FW > 0 && FH > 0 && FW <= INT_MAX &&
                       FH <= INT_MAX;
    if (!Known) {
      FW = PW;
      FH = PH;
    } else if (PW != PH && FW != FH && (PW > PH) != (FW > FH)) {
      // Stored as the file keeps it while the picture stands upright.
      std::swap(FW, FH);
    }
    const bool Whole = Known ? (PW >= FW && PH >= FH) : std::max(PW, PH) < F.Box;
    if (!Whole && std::max(PW, PH) < S) continue;
    Out.Picture = std::move(G);
    Out.FullWidth = int(FW);
    Out.FullHeight = int(FH);
    Out.File = File;
    return true;
  }
  return false;
}

bool TThumbCache::Failed(const TThumbSource& Source) const {
  std::vector<uint8_t> Data;
  std::map<std::string, std::string> Keys;
  return ReadSmallFile(FileOf(FailFolder(), Source), Data) &&
         ReadPngTextKeys(Data.data(), Data.size(), Keys) && ValidKeys(Keys, Source);
}

void TThumbCache::Write(const std::string& Folder, const TThumbSource& Source,
                        const std::vector<uint8_t>& Png) const {
  const std::string Dir = FRoot + "/" + Folder;
  if (!MakeFolders(Dir)) return;
  std::string Temp = Dir + "/." + Source.Hash + ".png.XXXXXX";
  const int Fd = ::mkstemp(Temp.data());
  if (Fd < 0) return;
  ::fchmod(Fd, 0600);
  size_t Done = 0;
  while (Done < Png.size()) {
    const ssize_t N = ::write(Fd, Png.data() + Done, Png.size() - Done);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) break;
    Done += size_t(N);
  }
  const bool Ok = ::close(Fd) == 0 && Done == Png.size();
  if (!Ok || ::rename(Temp.c_str(), FileOf(Folder, Source).c_str()) != 0) ::unlink(Temp.c_str());
}

void TThumbCache::Store(const TThumbSource& Source, const TPixelGraphic& Decoded, int FullWidth,
                        int FullHeight) const {
  try {
    const int DW = Decoded.Width(), DH = Decoded.Height();
    if (DW <= 0 || DH <= 0 || FullWidth <= 0 || FullHeight <= 0) return;
    const bool Reduced = DW < FullWidth || DH < FullHeight;
    std::vector<std::pair<std::string, std::string>> Keys = {
        {"Thumb::URI", Source.Uri},
        {"Thumb::MTime", std::to_string(Source.MTime)},
        {"Thumb::Size", std::to_string(Source.Size)},
        {"Thumb::Image::Width", std::to_string(FullWidth)},
        {"Thumb::Image::Height", std::to_string(FullHeight)},
        {"Software", std::string("Orbisk ") + kVersion}};
    // Largest box first: the smaller picture is scaled from the larger one.
    QImage From;
    for (int I = kThumbCacheWritten - 1; I >= 0; --I) {
      const TThumbCacheFolder& F = kThumbCacheFolders[I];
      const QSize Want = BoxSize(FullWidth, FullHeight, F.Box);
      TPixelGraphic Out;
      if (Want == QSize(FullWidth, FullHeight)) {
        if (Reduced) continue;
        Out.Assign(&Decoded);
      } else {
        if (DW < Want.width() || DH < Want.height()) continue;
        if (From.isNull() || From.width() < Want.width() || From.height() < Want.height())
          From = ToQImage(Decoded);
        From = From.scaled(Want, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        AssignFromQImage(Out, From);
      }
      Write(F.Name, Source, EncodeThumbPng(Out, Keys));
    }
  } catch (...) {
  }
}

void TThumbCache::StoreFailure(const TThumbSource& Source) const {
  try {
    TPixelGraphic One;
    One.SetSize(1, 1, 3);
    Write(FailFolder(), Source,
          EncodeThumbPng(One, {{"Thumb::URI", Source.Uri},
                               {"Thumb::MTime", std::to_string(Source.MTime)},
                               {"Thumb::Size", std::to_string(Source.Size)},
                               {"Software", std::string("Orbisk ") + kVersion}}));
  } catch (...) {
  }
}

} // namespace orbisk
