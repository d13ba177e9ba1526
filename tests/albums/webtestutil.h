// Helpers of the web album tests: pictures made by the engine, file bytes and hashes, and the
// pages checked and parsed through tidy.
#pragma once

#include "albums/webalbum.h"
#include "engine/pixelgraphic.h"
#include "platform/filenames.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include <map>

namespace orbisk::test {

// A W x H picture of one colour, saved by the engine (the writer chosen by the extension).
inline QString MakeWebPicture(const QString& Path, int W, int H, TRGB C = RGBOf(200, 40, 30)) {
  TPixelGraphic G;
  G.SetSize(W, H, 3);
  for (int Y = 0; Y < H; ++Y) {
    uint8_t* Row = G.ScanLine(Y);
    for (int X = 0; X < W; ++X) {
      // A gentle gradient so that JPEG files are not trivially flat.
      Row[3 * X] = uint8_t(BlueOf(C));
      Row[3 * X + 1] = uint8_t((GreenOf(C) + X / 16) & 0xFF);
      Row[3 * X + 2] = uint8_t(RedOf(C));
    }
  }
  G.SaveToFile(EnginePath(Path));
  return Path;
}

inline QByteArray FileBytes(const QString& Path) {
  QFile F(Path);
  return F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray();
}

inline QByteArray HashOf(const QString& Path) {
  return QCryptographicHash::hash(FileBytes(Path), QCryptographicHash::Sha256);
}

// The size of a picture file as the engine reads it ({0, 0} when it cannot).
inline TSize2 PictureSize(const QString& Path) {
  try {
    TPixelGraphic G;
    G.LoadFromFile(EnginePath(Path));
    return {G.Width(), G.Height()};
  } catch (const std::exception&) {
    return {};
  }
}

inline TRGB CentreColor(const QString& Path) {
  TPixelGraphic G;
  G.LoadFromFile(EnginePath(Path));
  return G.GetPixelColor(G.Width() / 2, G.Height() / 2);
}

inline bool TidyAvailable() {
  return !QStandardPaths::findExecutable("tidy").isEmpty();
}

// tidy's verdict on a page: 0 clean, 1 warnings only, 2 errors. Errors go to Report.
inline int TidyStatus(const QString& Page, QString* Report = nullptr) {
  QProcess P;
  P.start("tidy", {"-errors", "-quiet", Page});
  P.waitForFinished(30000);
  if (Report) *Report = QString::fromUtf8(P.readAllStandardError());
  return P.exitCode();
}

// What a browser takes from a page: the texts of title, heading, cells and footer, the link and
// picture addresses, and the names of all elements.
struct TParsedPage {
  QString Title, Heading, Footer;
  QStringList CellTexts, Links, Pictures, Elements;
};

// Parses a page through tidy's XHTML output.
inline TParsedPage ParsePage(const QString& Page) {
  QProcess P;
  P.start("tidy", {"-quiet", "-asxhtml", "-utf8", "--numeric-entities", "yes", "--show-warnings",
                   "no", "--force-output", "yes", "--wrap", "0", Page});
  P.waitForFinished(30000);
  QXmlStreamReader X(P.readAllStandardOutput());
  TParsedPage R;
  QStringList Open;
  while (!X.atEnd()) {
    X.readNext();
    if (X.isStartElement()) {
      const QString N = X.name().toString().toLower();
      Open << N;
      R.Elements << N;
      if (N == "a") R.Links << X.attributes().value("href").toString();
      if (N == "img") R.Pictures << X.attributes().value("src").toString();
      if (N == "td") R.CellTexts << QString();
    } else if (X.isEndElement()) {
      if (!Open.isEmpty()) Open.removeLast();
    } else if (X.isCharacters() && !Open.isEmpty()) {
      const QString T = X.text().toString();
      if (Open.contains("title")) R.Title += T;
      if (Open.contains("h1")) R.Heading += T;
      if (Open.contains("i")) R.Footer += T;
      if (Open.contains("td") && !R.CellTexts.isEmpty()) R.CellTexts.last() += T;
    }
  }
  // tidy breaks lines after <br> and fills empty rows with an empty cell.
  QStringList Cells;
  for (const QString& C : R.CellTexts)
    if (!C.trimmed().isEmpty()) Cells << C.trimmed();
  R.CellTexts = Cells;
  return R;
}

// A relative address back to the file name it stands for.
inline QString NameOfUrl(const QString& Url) {
  return DecodeFileName(QByteArray::fromPercentEncoding(Url.toLatin1()));
}

} // namespace orbisk::test
