#include "albums/albumdoc.h"

#include "platform/filenames.h"

#include "engine/safefile.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <utility>

namespace orbisk {

namespace {

std::string NameBytes(const QString& S) {
  return EncodeFileName(S).toStdString();
}

QString NameFromBytes(const std::string& B) {
  return DecodeFileName(QByteArray::fromStdString(B));
}

// Captions are UTF-8; older files hold single-byte text, taken as Latin-1 when not valid UTF-8.
QString CaptionFromBytes(const std::string& B) {
  QByteArray Bytes = QByteArray::fromStdString(B);
  QStringDecoder Utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString S = Utf8(Bytes);
  if (Utf8.hasError()) return QString::fromLatin1(Bytes);
  return S;
}

// A caption of at most kMaxCaptionLength characters; Cut is set when it was longer. The bytes
// are cut first (a character takes at most 4), so a huge caption is never decoded whole.
QString LimitedCaption(const std::string& B, bool& Cut) {
  size_t MostBytes = size_t(kMaxCaptionLength) * 4;
  if (B.size() > MostBytes)
    while (MostBytes > 0 && (static_cast<unsigned char>(B[MostBytes]) & 0xC0) == 0x80)
      --MostBytes; // before a UTF-8 lead byte, so the text still decodes as UTF-8
  QString S = CaptionFromBytes(B.size() > MostBytes ? B.substr(0, MostBytes) : B);
  if (B.size() > MostBytes || S.size() > kMaxCaptionLength) {
    qsizetype N = std::min<qsizetype>(S.size(), kMaxCaptionLength);
    if (N > 0 && N < S.size() && S[N - 1].isHighSurrogate()) --N; // keep characters whole
    if (N < S.size() || B.size() > MostBytes) Cut = true;
    S.truncate(N);
  }
  return S;
}

QString WithoutChars(const QString& S, const QString& Chars, bool& Changed) {
  QString R = S;
  for (QChar& C : R)
    if (Chars.contains(C)) {
      C = u' ';
      Changed = true;
    }
  return R;
}

} // namespace

// ---- document

QStringList TAlbumDocument::FileNames() const {
  QStringList L;
  for (const AlbumEntry& E : FEntries)
    L << E.FileName;
  return L;
}

bool TAlbumDocument::Add(const QString& FileName, const QString& Caption, int Rotation) {
  bool Changed = false;
  AlbumEntry E;
  E.FileName = WithoutChars(FileName, "\t", Changed);
  E.Caption = WithoutChars(Caption, "\r\n", Changed);
  E.Rotation = ((Rotation % 4) + 4) % 4;
  FEntries.push_back(std::move(E));
  this->Changed();
  return !Changed;
}

bool TAlbumDocument::SetCaption(int I, const QString& Caption) {
  bool Replaced = false;
  FEntries.at(size_t(I)).Caption = WithoutChars(Caption, "\r\n", Replaced);
  Changed();
  return !Replaced;
}

void TAlbumDocument::RotateClockwise(int I) {
  int& R = FEntries.at(size_t(I)).Rotation;
  R = (R + 1) % 4;
  Changed();
}

void TAlbumDocument::RotateCounterClockwise(int I) {
  int& R = FEntries.at(size_t(I)).Rotation;
  R = (R + 3) % 4;
  Changed();
}

bool TAlbumDocument::MoveUp(int I) {
  if (I <= 0 || I >= Count()) return false;
  std::swap(FEntries[size_t(I)], FEntries[size_t(I - 1)]);
  Changed();
  return true;
}

bool TAlbumDocument::MoveDown(int I) {
  if (I < 0 || I >= Count() - 1) return false;
  std::swap(FEntries[size_t(I)], FEntries[size_t(I + 1)]);
  Changed();
  return true;
}

void TAlbumDocument::Remove(int I) {
  if (I < 0 || I >= Count()) return;
  FEntries.erase(FEntries.begin() + I);
  Changed();
}

void TAlbumDocument::Clear() {
  FEntries.clear();
  Changed();
}

void TAlbumDocument::SetEntries(std::vector<AlbumEntry> Entries) {
  FEntries = std::move(Entries);
  Changed();
}

void TAlbumDocument::New() {
  CaptionFont = TAlbumFont();
  FileName = kNoAlbumFile;
  Clear();
}

void TAlbumDocument::Changed() {
  emit OnChange();
}

// ---- files

QByteArray AlbumFileBytes(const std::vector<AlbumEntry>& Entries, const AlbumSettings& S) {
  TAlbumFileData D;
  D.Header.Rows = S.Rows;
  D.Header.Cols = S.Cols;
  D.Header.Border = S.Border;
  D.Header.PrintFrames = S.PrintFrames;
  D.Header.CaptionOption = S.CaptionOption;
  D.Header.FontName = S.CaptionFont.Name.toStdString();
  D.Header.FontSize = S.CaptionFont.Size;
  D.Header.FontColor = S.CaptionFont.Color;
  D.Header.Bold = S.CaptionFont.Bold;
  D.Header.Italic = S.CaptionFont.Italic;
  D.Records.reserve(Entries.size());
  for (const AlbumEntry& E : Entries)
    D.Records.push_back({NameBytes(E.FileName), E.Caption.toStdString(), E.Rotation});
  return QByteArray::fromStdString(FormatAlbumFile(D));
}

TAlbumContent ParseAlbumBytes(const QByteArray& Bytes) {
  TAlbumReadReport Report;
  TAlbumFileData D = ParseAlbumFile(Bytes.toStdString(), &Report);
  TAlbumContent C;
  C.HasRotation = Report.HasRotation;
  C.Truncated = Report.Truncated;
  AlbumSettings& S = C.Settings;
  S.Rows = D.Header.Rows;
  S.Cols = D.Header.Cols;
  S.Border = D.Header.Border;
  S.PrintFrames = D.Header.PrintFrames;
  S.CaptionOption = D.Header.CaptionOption;
  S.CaptionFont.Name = CaptionFromBytes(D.Header.FontName);
  S.CaptionFont.Size = D.Header.FontSize;
  S.CaptionFont.Color = D.Header.FontColor;
  S.CaptionFont.Bold = D.Header.Bold;
  S.CaptionFont.Italic = D.Header.Italic;
  C.Entries.reserve(D.Records.size());
  for (const TAlbumRecord& R : D.Records)
    C.Entries.push_back(
        {NameFromBytes(R.FileName), LimitedCaption(R.Caption, C.CaptionsCut), R.Rotation});
  return C;
}

void WriteAlbumFileSafely(const QString& Path, const QByteArray& Data) {
  try {
    WriteFileSafely(EncodeFileName(Path).toStdString(), Data.constData(), size_t(Data.size()));
  } catch (const std::exception& E) {
    // The engine's text names the file and the system's reason.
    throw EAlbumFile(E.what());
  }
}

void SaveAlbum(const QString& Path, const std::vector<AlbumEntry>& Entries,
               const AlbumSettings& Settings) {
  if (Entries.empty()) throw EAlbumFile(kNoEntriesToSave);
  WriteAlbumFileSafely(Path, AlbumFileBytes(Entries, Settings));
}

TAlbumContent OpenAlbum(const QString& Path) {
  QFile F(Path);
  if (!F.open(QIODevice::ReadOnly))
    throw EAlbumFile(("Cannot open " + Path + ": " + F.errorString()).toStdString());
  if (F.size() > kMaxAlbumFileSize)
    throw EAlbumFile(
        ("Cannot open " + Path + ": the file is too large for an album").toStdString());
  QByteArray Bytes = F.read(kMaxAlbumFileSize + 1);
  if (F.error() != QFileDevice::NoError)
    throw EAlbumFile(("Cannot read " + Path + ": " + F.errorString()).toStdString());
  if (Bytes.size() > kMaxAlbumFileSize)
    throw EAlbumFile(
        ("Cannot open " + Path + ": the file is too large for an album").toStdString());
  try {
    return ParseAlbumBytes(Bytes);
  } catch (const EAlbumFormat& E) {
    throw EAlbumFile((Path + ": " + QString::fromUtf8(E.what())).toStdString());
  }
}

QString TruncatedAlbumText(const QString& Path, int EntriesRead) {
  return QString("The album file %1 ends inside an entry; the %2 entries before it were read.")
      .arg(Path)
      .arg(EntriesRead);
}

} // namespace orbisk
