#include "albums/albumformat.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace orbisk {

namespace {

// Right-aligned in Width bytes, padded with blanks on the left; longer text is kept whole.
std::string RightAligned(const std::string& Text, size_t Width) {
  if (Text.size() >= Width) return Text;
  return std::string(Width - Text.size(), ' ') + Text;
}

std::string Number(long long V, size_t Width) {
  return RightAligned(std::to_string(V), Width);
}

int Limited(int V, int Lo, int Hi) {
  return std::clamp(V, Lo, Hi);
}

// At most MaxBytes bytes of Text, not splitting a UTF-8 sequence.
std::string CutUtf8(const std::string& Text, size_t MaxBytes) {
  if (Text.size() <= MaxBytes) return Text;
  size_t N = MaxBytes;
  // Step back over continuation bytes so the cut falls before a lead byte.
  while (N > 0 && (static_cast<unsigned char>(Text[N]) & 0xC0) == 0x80)
    --N;
  return Text.substr(0, N);
}

std::string Trimmed(const std::string& S) {
  size_t B = S.find_first_not_of(' ');
  if (B == std::string::npos) return {};
  size_t E = S.find_last_not_of(' ');
  return S.substr(B, E - B + 1);
}

// A header field as a signed decimal number with surrounding blanks; EAlbumFormat otherwise.
long long FieldNumber(const std::string& Raw, const char* Field) {
  std::string T = Trimmed(Raw);
  bool Ok = !T.empty();
  size_t I = (Ok && (T[0] == '-' || T[0] == '+')) ? 1 : 0;
  if (I == T.size()) Ok = false;
  for (size_t K = I; Ok && K < T.size(); ++K)
    if (T[K] < '0' || T[K] > '9') Ok = false;
  long long V = 0;
  if (Ok) {
    errno = 0;
    V = std::strtoll(T.c_str(), nullptr, 10);
    if (errno == ERANGE || V < INT32_MIN || V > INT32_MAX) Ok = false;
  }
  if (!Ok)
    throw EAlbumFormat(std::string("The album file's header field \"") + Field +
                       "\" is not a number");
  return V;
}

bool Replace(std::string& S, const char* Chars) {
  bool Changed = false;
  for (char& C : S)
    if (std::strchr(Chars, C) && C != '\0') {
      C = ' ';
      Changed = true;
    }
  return Changed;
}

} // namespace

bool SanitizeAlbumFileName(std::string& FileName) {
  return Replace(FileName, "\t");
}

bool SanitizeAlbumCaption(std::string& Caption) {
  return Replace(Caption, "\r\n");
}

std::string FormatAlbumFile(const TAlbumFileData& Data) {
  const TAlbumHeader& H = Data.Header;
  std::string Out;
  Out.reserve(kAlbumHeaderSize + kAlbumVersionBlockSize + Data.Records.size() * 64);
  Out += Number(Limited(H.Rows, 1, 6), 3);
  Out += Number(Limited(H.Cols, 1, 6), 3);
  Out += Number(Limited(H.Border, 10, 500), 3);
  Out += H.PrintFrames ? '1' : '0';
  Out += static_cast<char>('0' + Limited(H.CaptionOption, 0, 5));
  Out += RightAligned(CutUtf8(H.FontName, kAlbumFontNameWidth), kAlbumFontNameWidth);
  Out += Number(Limited(H.FontSize, 1, 99), 2);
  Out += Number(H.FontColor, 12);
  Out += H.Bold ? '1' : '0';
  Out += H.Italic ? '1' : '0';
  Out += kAlbumVersion;
  Out.append(kAlbumVersionBlockSize - 4, ' ');
  for (const TAlbumRecord& R : Data.Records) {
    std::string Name = R.FileName, Caption = R.Caption;
    SanitizeAlbumFileName(Name);
    SanitizeAlbumCaption(Caption);
    Out += static_cast<char>(((R.Rotation % 4) + 4) % 4);
    Out += Name;
    Out += '\t';
    Out += Caption;
    Out += "\r\n";
  }
  return Out;
}

TAlbumFileData ParseAlbumFile(const std::string& Bytes, TAlbumReadReport* Report) {
  TAlbumReadReport Local;
  TAlbumReadReport& Rep = Report ? *Report : Local;
  Rep = TAlbumReadReport();
  if (Bytes.size() < size_t(kAlbumHeaderSize))
    throw EAlbumFormat("The album file is too short to hold its header");
  if (Bytes.size() < size_t(kAlbumHeaderSize + kAlbumVersionBlockSize))
    throw EAlbumFormat("The album file ends inside its version block");

  TAlbumFileData Data;
  TAlbumHeader& H = Data.Header;
  size_t Pos = 0;
  auto Field = [&](size_t Width) {
    std::string F = Bytes.substr(Pos, Width);
    Pos += Width;
    return F;
  };
  H.Rows = int(FieldNumber(Field(3), "Rows"));
  H.Cols = int(FieldNumber(Field(3), "Cols"));
  H.Border = int(FieldNumber(Field(3), "Border"));
  H.PrintFrames = Field(1) == "1";
  H.CaptionOption = int(FieldNumber(Field(1), "CaptionOption"));
  H.FontName = Trimmed(Field(40));
  H.FontSize = int(FieldNumber(Field(2), "FontSize"));
  H.FontColor = int32_t(FieldNumber(Field(12), "FontColor"));
  H.Bold = Field(1) == "1";
  H.Italic = Field(1) == "1";

  Rep.HasRotation = Bytes[Pos] == '7';
  Pos += kAlbumVersionBlockSize;

  const size_t End = Bytes.size();
  while (Pos < End) {
    TAlbumRecord R;
    if (Rep.HasRotation) R.Rotation = static_cast<unsigned char>(Bytes[Pos++]) % 4;
    size_t Tab = Bytes.find('\t', Pos);
    if (Tab == std::string::npos) {
      Rep.Truncated = true;
      break;
    }
    size_t Cr = Bytes.find('\r', Tab + 1);
    if (Cr == std::string::npos) {
      Rep.Truncated = true;
      break;
    }
    R.FileName.assign(Bytes, Pos, Tab - Pos);
    R.Caption.assign(Bytes, Tab + 1, Cr - Tab - 1);
    Pos = Cr + 1;
    if (Pos < End && Bytes[Pos] == '\n') ++Pos;
    Data.Records.push_back(std::move(R));
  }
  return Data;
}

} // namespace orbisk
