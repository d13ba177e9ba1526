#include "platform/filenames.h"

#include <QDir>

#include <climits>

#include <sys/stat.h>
#include <unistd.h>

namespace orbisk {

namespace {

// Length of the valid UTF-8 sequence at P (at most N bytes available), 0 when there is none.
int ValidSequence(const unsigned char* P, qsizetype N, char32_t& Code) {
  const unsigned char B = P[0];
  int Len;
  char32_t Min;
  if (B < 0x80) {
    Code = B;
    return 1;
  } else if ((B & 0xE0) == 0xC0) {
    Len = 2, Min = 0x80, Code = B & 0x1F;
  } else if ((B & 0xF0) == 0xE0) {
    Len = 3, Min = 0x800, Code = B & 0x0F;
  } else if ((B & 0xF8) == 0xF0) {
    Len = 4, Min = 0x10000, Code = B & 0x07;
  } else {
    return 0;
  }
  if (N < Len) return 0;
  for (int I = 1; I < Len; ++I) {
    if ((P[I] & 0xC0) != 0x80) return 0;
    Code = Code << 6 | (P[I] & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not valid UTF-8.
  if (Code < Min || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF)) return 0;
  return Len;
}

bool IsEscapedByte(QChar C) {
  return C.unicode() >= 0xDC80 && C.unicode() <= 0xDCFF;
}

} // namespace

QString DecodeFileName(const QByteArray& Bytes) {
  QString Out;
  Out.reserve(Bytes.size());
  const auto* P = reinterpret_cast<const unsigned char*>(Bytes.constData());
  const qsizetype N = Bytes.size();
  for (qsizetype I = 0; I < N;) {
    char32_t Code = 0;
    const int Len = ValidSequence(P + I, N - I, Code);
    if (Len == 0) {
      Out.append(QChar(char16_t(0xDC00 + P[I])));
      ++I;
      continue;
    }
    if (Code >= 0x10000) {
      Out.append(QChar::highSurrogate(Code));
      Out.append(QChar::lowSurrogate(Code));
    } else {
      Out.append(QChar(char16_t(Code)));
    }
    I += Len;
  }
  return Out;
}

QByteArray EncodeFileName(const QString& Name) {
  QByteArray Out;
  Out.reserve(Name.size());
  qsizetype Start = 0;
  for (qsizetype I = 0; I < Name.size(); ++I) {
    // A lone low surrogate in the escape range stands for one byte; a low surrogate after a high
    // one is half of a character above U+FFFF.
    if (IsEscapedByte(Name[I]) && (I == 0 || !Name[I - 1].isHighSurrogate())) {
      Out += Name.mid(Start, I - Start).toUtf8();
      Out += char(Name[I].unicode() - 0xDC00);
      Start = I + 1;
    }
  }
  Out += Name.mid(Start).toUtf8();
  return Out;
}

QString AbsoluteFilePath(const QString& Path) {
  if (Path.startsWith('/')) return QDir::cleanPath(Path);
  char Buf[PATH_MAX];
  if (!::getcwd(Buf, sizeof Buf)) return QDir::cleanPath(Path);
  return QDir::cleanPath(DecodeFileName(QByteArray(Buf)) + '/' + Path);
}

bool IsUtf8Name(const QString& Name) {
  for (qsizetype I = 0; I < Name.size(); ++I) {
    if (Name[I].isHighSurrogate() && I + 1 < Name.size() && Name[I + 1].isLowSurrogate()) {
      ++I;
      continue;
    }
    if (Name[I].isSurrogate()) return false;
  }
  return true;
}

QByteArray PercentEncodedPath(const QByteArray& Bytes) {
  static const char Hex[] = "0123456789ABCDEF";
  QByteArray Out;
  Out.reserve(Bytes.size() * 3);
  for (const char Ch : Bytes) {
    const auto B = static_cast<unsigned char>(Ch);
    if ((B >= 'A' && B <= 'Z') || (B >= 'a' && B <= 'z') || (B >= '0' && B <= '9') || B == '-' ||
        B == '.' || B == '_' || B == '~' || B == '/') {
      Out += char(B);
    } else {
      Out += '%';
      Out += Hex[B >> 4];
      Out += Hex[B & 15];
    }
  }
  return Out;
}

QString FileUri(const QString& AbsolutePath) {
  return QStringLiteral("file://") +
         QString::fromLatin1(PercentEncodedPath(EncodeFileName(AbsolutePath)));
}

TFileStat StatPath(const QString& Path) {
  TFileStat S;
  struct stat St {};
  if (Path.isEmpty() || ::stat(EncodeFileName(Path).constData(), &St) != 0) return S;
  S.Exists = true;
  S.IsFile = S_ISREG(St.st_mode);
  S.IsDir = S_ISDIR(St.st_mode);
  S.Size = qint64(St.st_size);
  S.Modified = QDateTime::fromMSecsSinceEpoch(qint64(St.st_mtim.tv_sec) * 1000 +
                                              qint64(St.st_mtim.tv_nsec) / 1000000);
  return S;
}

namespace {

// Characters that change the direction of the text around them.
bool IsBidiControl(char16_t C) {
  return C == 0x061C || C == 0x200E || C == 0x200F || (C >= 0x202A && C <= 0x202E) ||
         (C >= 0x2066 && C <= 0x2069);
}

} // namespace

QString DisplayFileName(const QString& Name) {
  QString Out = Name;
  for (qsizetype I = 0; I < Out.size(); ++I) {
    const QChar C = Out[I];
    // Halves of a character above U+FFFF stay; a lone half is a byte that is not UTF-8.
    if (C.isHighSurrogate() && I + 1 < Out.size() && Out[I + 1].isLowSurrogate()) {
      ++I;
      continue;
    }
    const QChar::Category Cat = C.category();
    if (Cat == QChar::Other_Control || Cat == QChar::Separator_Line ||
        Cat == QChar::Separator_Paragraph || C.isSurrogate() || IsBidiControl(C.unicode()))
      Out[I] = QChar::ReplacementCharacter;
  }
  return Out;
}

} // namespace orbisk
