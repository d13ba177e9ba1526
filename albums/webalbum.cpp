#include "albums/webalbum.h"

#include "albums/albumrender.h"
#include "engine/formats/jpeg.h"
#include "engine/safefile.h"
#include "platform/filenames.h"
#include "processing/convfilter.h"
#include "processing/filter.h"

#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

namespace orbisk {

namespace {

// The engine's JPEG options for one run, restored on every way out: publishing must not change
// what the editor's next JPEG save writes.
class TJPEGOptionsScope {
public:
  TJPEGOptionsScope(int Quality, bool Progressive)
      : FQuality(JPEGQuality), FProgressive(JPEGProgressive) {
    JPEGQuality = Quality;
    JPEGProgressive = Progressive;
  }
  ~TJPEGOptionsScope() {
    JPEGQuality = FQuality;
    JPEGProgressive = FProgressive;
  }
  TJPEGOptionsScope(const TJPEGOptionsScope&) = delete;
  TJPEGOptionsScope& operator=(const TJPEGOptionsScope&) = delete;

private:
  int FQuality;
  bool FProgressive;
};

QString FileNameOf(const QString& Path) {
  return Path.mid(Path.lastIndexOf('/') + 1);
}

QString StemOf(const QString& Name) {
  const int Dot = Name.indexOf('.');
  return Dot < 0 ? Name : Name.left(Dot);
}

QString WithSlash(const QString& Folder) {
  return Folder.endsWith('/') ? Folder : Folder + '/';
}

// The bytes of a JPEG file whose own bytes may serve as its display picture: a ".jpg" or
// ".jpeg" name and JPEG content. Empty otherwise.
QByteArray CopyableJPEG(const QString& Path) {
  const QString Ext = FileNameOf(Path).section('.', -1).toUpper();
  if (!FileNameOf(Path).contains('.') || (Ext != "JPG" && Ext != "JPEG")) return {};
  QByteArray B;
  if (FILE* F = std::fopen(EnginePath(Path).c_str(), "rb")) {
    char Buf[1 << 16];
    for (size_t Got; (Got = std::fread(Buf, 1, sizeof Buf, F)) > 0;)
      B.append(Buf, qsizetype(Got));
    const bool Failed = std::ferror(F);
    std::fclose(F);
    if (Failed) return {};
  }
  if (B.size() < 3 || uint8_t(B[0]) != 0xFF || uint8_t(B[1]) != 0xD8 || uint8_t(B[2]) != 0xFF)
    return {};
  return B;
}

class TPublisher {
public:
  TPublisher(const std::vector<AlbumEntry>& Entries, const TWebAlbumOptions& O,
             const TWebPublishHooks& Hooks)
      : FEntries(Entries), FO(O), FHooks(Hooks), FFolder(WithSlash(O.WebFolder)),
        FSources(SourcePaths(Entries)) {}

  TWebPublishResult Run();

private:
  static std::vector<std::string> SourcePaths(const std::vector<AlbumEntry>& Entries) {
    std::vector<std::string> P;
    for (const AlbumEntry& E : Entries)
      P.push_back(EnginePath(E.FileName));
    return P;
  }
  void Say(const QString& Text) {
    ++FResult.Errors;
    if (FHooks.OnMessage) FHooks.OnMessage(Text);
  }
  bool IsSource(const QString& Path) const { return FSources.Contains(EnginePath(Path)); }
  // Writes the thumbnail and display picture of an entry; false (after a message) when it
  // could not.
  bool MakeWebPictures(const AlbumEntry& E, const QString& Name);

  const std::vector<AlbumEntry>& FEntries;
  const TWebAlbumOptions& FO;
  const TWebPublishHooks& FHooks;
  QString FFolder;
  TSourceFiles FSources;
  TWebPublishResult FResult;
};

bool TPublisher::MakeWebPictures(const AlbumEntry& E, const QString& Name) {
  const QString Thumb = FFolder + "tm_" + Name, Display = FFolder + Name;
  // Never over a picture the album is made from, whatever path or link names it.
  for (const QString& T : {Thumb, Display})
    if (IsSource(T)) {
      Say(kErrorWritingFile + T);
      return false;
    }
  TPixelGraphic Pic;
  bool Turned = false;
  try {
    Turned = LoadWebSource(E, Pic);
  } catch (const EAlbumPicture& X) {
    Say(QString::fromUtf8(X.what()));
    return false;
  } catch (const std::exception&) {
    Say(kCantLoadGraphic + E.FileName);
    return false;
  }
  try {
    auto Small = WebScaledCopy(Pic, FO.ThumbnailSize, FO.AutoSharpen, FO.SharpeningAmount);
    Small->SaveToFile(EnginePath(Thumb));
  } catch (const std::exception&) {
    Say(kErrorWritingFile + Thumb);
    return false;
  }
  try {
    const bool Large = Pic.Width() > FO.MaxSize || Pic.Height() > FO.MaxSize;
    QByteArray Bytes;
    if (!Large && !Turned) Bytes = CopyableJPEG(E.FileName);
    if (!Bytes.isEmpty()) {
      // A JPEG that fits is published as it is, byte for byte.
      WriteFileSafely(EnginePath(Display), Bytes.constData(), size_t(Bytes.size()));
    } else if (Large) {
      WebScaledCopy(Pic, FO.MaxSize, FO.AutoSharpen, FO.SharpeningAmount)
          ->SaveToFile(EnginePath(Display));
    } else {
      Pic.SaveToFile(EnginePath(Display));
    }
  } catch (const std::exception&) {
    Say(kErrorWritingFile + Display);
    return false;
  }
  return true;
}

TWebPublishResult TPublisher::Run() {
  if (!MakeWebFolder(FO.WebFolder)) {
    FResult.FolderMissing = true;
    Say(ErrorCreatingFolderText(FO.WebFolder));
    return FResult;
  }
  const int N = int(FEntries.size());
  const int Pages = WebPageCount(N, FO.Cols, FO.Rows);
  if (Pages == 0) return FResult;
  TJPEGOptionsScope JPEG(FO.Quality, FO.Progressive);
  const std::vector<QString> Names = WebPictureNames(FEntries);
  const QString Base = BasePageName(FO.PageName);
  int Next = 0; // the running entry counter, across pages
  for (int Page = 1; Page <= Pages; ++Page) {
    std::vector<QStringList> Rows;
    for (int R = 0; R < FO.Rows; ++R) {
      QStringList Cells;
      for (int C = 0; C < FO.Cols; ++C) {
        if (Next < N) {
          const AlbumEntry& E = FEntries[size_t(Next)];
          const QString& Name = Names[size_t(Next)];
          ++Next;
          if (MakeWebPictures(E, Name)) {
            ++FResult.Published;
            Cells << WebCellLine(FO.Caption, Name, E.Caption);
          }
        }
        if (FHooks.OnProgress) FHooks.OnProgress(std::min(Next, N));
        if (FHooks.KeepRunning && !FHooks.KeepRunning()) {
          FResult.Stopped = true;
          return FResult;
        }
      }
      Rows.push_back(Cells);
    }
    const QString Target = FFolder + WebPageFileName(Base, Page, Pages);
    try {
      if (IsSource(Target)) throw std::runtime_error("source");
      const QByteArray Bytes = WebPageBytes(WebPageLines(FO, Page, Pages, Rows));
      WriteFileSafely(EnginePath(Target), Bytes.constData(), size_t(Bytes.size()));
      FResult.Pages << Target;
      if (Page == 1) FResult.FirstPage = Target;
    } catch (const std::exception&) {
      Say(kErrorWritingFile + Target);
    }
  }
  return FResult;
}

} // namespace

QString ErrorCreatingFolderText(const QString& Folder) {
  return "Error creating folder " + Folder + "\r\n" +
         "Please use a standard windows path like C:\\MyWebPages";
}

TWebCaption WebCaptionOf(int AlbumCaptionOption) {
  return TWebCaption(std::clamp(AlbumCaptionOption, 0, 2));
}

int WebPageCount(int Entries, int Cols, int Rows) {
  if (Cols < 1 || Rows < 1 || Entries <= 0) return 0;
  const int64_t PerPage = int64_t(Cols) * Rows;
  return int(Entries / PerPage + (Entries % PerPage != 0 ? 1 : 0));
}

QString PageCountText(int Pages) {
  return Pages == 1 ? QString("1 page") : QString::number(Pages) + " pages";
}

QString LayoutProblem(int Cols, int Rows) {
  if (Cols < 1 || Rows < 1) return "Columns and rows must be at least 1.";
  return {};
}

QString PageNameProblem(const QString& PageName) {
  if (PageName.contains('/') || PageName.contains(QChar(0)))
    return "The page name is a file name without a folder.";
  if (BasePageName(PageName).trimmed().isEmpty())
    return "Please enter a page name such as myphotos.html.";
  return {};
}

QString BasePageName(const QString& PageName) {
  return StemOf(PageName);
}

QString WebPageFileName(const QString& Base, int Page, int Pages) {
  return Pages == 1 ? Base + ".html" : Base + "_" + QString::number(Page) + ".html";
}

QString WebPictureName(const QString& FileName) {
  return StemOf(FileNameOf(FileName)) + ".jpg";
}

std::vector<QString> WebPictureNames(const std::vector<AlbumEntry>& Entries) {
  std::vector<QString> Names;
  QSet<QString> Used; // case-folded names of pictures and thumbnails given so far
  auto Taken = [&](const QString& N) {
    return Used.contains(N.toCaseFolded()) || Used.contains(("tm_" + N).toCaseFolded());
  };
  for (const AlbumEntry& E : Entries) {
    const QString Stem = StemOf(FileNameOf(E.FileName));
    QString Name = Stem + ".jpg";
    for (int K = 2; Taken(Name); ++K)
      Name = Stem + "_" + QString::number(K) + ".jpg";
    Used.insert(Name.toCaseFolded());
    Used.insert(("tm_" + Name).toCaseFolded());
    Names.push_back(Name);
  }
  return Names;
}

QString HexColor(TRGB C) {
  return QString("%1%2%3")
      .arg(RedOf(C), 2, 16, QChar('0'))
      .arg(GreenOf(C), 2, 16, QChar('0'))
      .arg(BlueOf(C), 2, 16, QChar('0'))
      .toUpper();
}

QString HtmlEscape(const QString& Text) {
  QString R;
  R.reserve(Text.size() + Text.size() / 8);
  for (qsizetype I = 0; I < Text.size(); ++I) {
    const QChar C = Text[I];
    switch (C.unicode()) {
    case '&':
      R += "&amp;";
      break;
    case '<':
      R += "&lt;";
      break;
    case '>':
      R += "&gt;";
      break;
    case '"':
      R += "&quot;";
      break;
    case '\'':
      R += "&#39;";
      break;
    default:
      if (C.isHighSurrogate() && I + 1 < Text.size() && Text[I + 1].isLowSurrogate()) {
        R += C; // a character beyond the first plane (emoji, ...) stays whole
        R += Text[++I];
      } else {
        // A lone half, as the bytes of a name that is not UTF-8 decode, cannot be written.
        R += C.isSurrogate() ? QChar(0xFFFD) : C;
      }
    }
  }
  return R;
}

QString UrlOfName(const QString& Name) {
  return QString::fromLatin1(EncodeFileName(Name).toPercentEncoding());
}

TSize2 WebPictureSize(int W, int H, int S) {
  if (W <= 0 || H <= 0 || S <= 0) return {};
  if (W == H) return {S, S};
  if (W > H) return {S, int(std::max<int64_t>(int64_t(H) * S / W, 1))};
  return {int(std::max<int64_t>(int64_t(W) * S / H, 1)), S};
}

QString WebCellLine(TWebCaption Caption, const QString& PictureName, const QString& CaptionText) {
  QString L = "<td align=\"center\"><a href=\"" + UrlOfName(PictureName) +
              "\"><img border=\"1\" src=\"" + UrlOfName("tm_" + PictureName) + "\"></a>";
  switch (Caption) {
  case wcNone:
    break;
  case wcFilename:
    L += "<BR>" + HtmlEscape(PictureName);
    break;
  case wcCaption:
    L += "<BR>" + HtmlEscape(CaptionText);
    break;
  }
  return L + "</td>";
}

QStringList WebPageLines(const TWebAlbumOptions& O, int Page, int Pages,
                         const std::vector<QStringList>& RowCells) {
  QStringList L;
  L << "<html>"
    << "<head>"
    << "<meta charset=\"utf-8\">"
    << "<meta name=\"GENERATOR\" content=\"Orbisk Internet Tessly\">"
    << "<meta name=\"ProgId\" content=\"Orbisk Document\">"
    << "<title>" + HtmlEscape(O.Title) + "</title>"
    << "</head>";
  if (O.UseBGImage && !O.BGImage.isEmpty())
    L << "<body background=\"" + HtmlEscape(O.BGImage) + "\">";
  else
    L << "<body bgcolor=\"#" + HexColor(O.BackgroundColor) + "\">";
  L << "<div align=\"center\">"
    << "<center>"
    << "<font color=\"#" + HexColor(O.TextColor) + "\">";
  if (Pages > 1) {
    const QString Base = BasePageName(O.PageName);
    QString P = "<p>Page";
    for (int N = 1; N <= Pages; ++N) {
      if (N == Page)
        P += " " + QString::number(N);
      else
        P += " <a href=\"" + UrlOfName(WebPageFileName(Base, N, Pages)) + "\">" +
             QString::number(N) + "</a>";
    }
    L << P + "</p>";
  }
  L << "<h1>" + HtmlEscape(O.Header) + "</h1>"
    << QString("<table border=\"%1\" width=\"1\" height = \"1\" cellspacing=\"0\" "
               "cellpadding=\"12\">")
           .arg(QString(O.ShowFrames ? "3" : "0"));
  for (int R = 0; R < O.Rows; ++R) {
    L << "<tr>";
    if (size_t(R) < RowCells.size()) L << RowCells[size_t(R)];
    L << "</tr>";
  }
  L << "</table>"
    << "<I>" + HtmlEscape(O.Footer) + "</I>"
    << "</font>"
    << "</center>"
    << "</div>"
    << "</body>"
    << "</html>";
  return L;
}

QByteArray WebPageBytes(const QStringList& Lines) {
  QByteArray B;
  for (const QString& S : Lines)
    B += S.toUtf8() + "\r\n";
  return B;
}

bool LoadWebSource(const AlbumEntry& Entry, TPixelGraphic& Dest) {
  Dest.ReadWarningAction = pgwaIgnore;
  Dest.SaveColorResWarningAction = pgwaIgnore;
  LoadEntryPicture(Entry, Dest);
  Dest.ReadWarningAction = pgwaIgnore;
  Dest.SaveColorResWarningAction = pgwaIgnore;
  Dest.StretchMode = smPrecise;
  return Entry.Rotation % 4 != 0;
}

std::unique_ptr<TPixelGraphic> WebScaledCopy(const TPixelGraphic& Source, int S, bool Sharpen,
                                             int Amount) {
  const TSize2 Size = WebPictureSize(Source.Width(), Source.Height(), S);
  auto Scaled = std::make_unique<TPixelGraphic>();
  Scaled->StretchMode = smPrecise;
  Scaled->SaveColorResWarningAction = pgwaIgnore;
  Scaled->SetSize(Size.Width, Size.Height, 3);
  Scaled->StretchFrom(Source);
  if (!Sharpen) return Scaled;
  TConvFilter Filter;
  Filter.SetSharpenKernel(dsTent, false, Amount, 0.75L);
  auto Sharp = std::make_unique<TPixelGraphic>();
  Sharp->SaveColorResWarningAction = pgwaIgnore;
  Sharp->SetSize(Size.Width, Size.Height, 3);
  ApplyFilter(*Sharp, Filter, *Scaled);
  return Sharp;
}

bool MakeWebFolder(const QString& Folder) {
  const std::string Path = EnginePath(Folder);
  if (Path.empty()) return false;
  // Every missing folder on the way, from the top.
  for (size_t I = 1; I <= Path.size(); ++I) {
    if (I < Path.size() && Path[I] != '/') continue;
    const std::string Part = Path.substr(0, I);
    struct stat St {};
    if (::stat(Part.c_str(), &St) == 0) continue;
    if (::mkdir(Part.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  struct stat St {};
  return ::stat(Path.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

TWebPublishResult PublishWebAlbum(const std::vector<AlbumEntry>& Entries, const TWebAlbumOptions& O,
                                  const TWebPublishHooks& Hooks) {
  return TPublisher(Entries, O, Hooks).Run();
}

} // namespace orbisk
