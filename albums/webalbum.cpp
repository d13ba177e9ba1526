#include "albums/webalbum.h"

#include "albums/albumrender.h"
#include "engine/formats/jpeg.h"
#include "platform/codecsettings.h"
#include "engine/imagemetadata.h"
#include "engine/runtargets.h"
#include "engine/safefile.h"
#include "platform/filenames.h"
#include "processing/convfilter.h"
#include "processing/filter.h"

#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace orbisk {

namespace {

// The writer options of one run: the program's current ones with the album's JPEG quality and
// progressive choice. Publishing never changes what the editor's next JPEG save writes.
TWriteOptions AlbumWriteOptions(const TWebAlbumOptions& O) {
  TWriteOptions W = CurrentWriteOptions();
  W.JPEGQuality = O.Quality;
  W.JPEGProgressive = O.Progressive;
  return W;
}

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

// True when the file starts like a JPEG (FF D8): the reader that will decode it can scale.
bool StartsLikeJPEG(const QString& Path) {
  uint8_t Head[2] = {};
  size_t Got = 0;
  if (FILE* F = std::fopen(EnginePath(Path).c_str(), "rb")) {
    Got = std::fread(Head, 1, sizeof Head, F);
    std::fclose(F);
  }
  return Got == 2 && Head[0] == 0xFF && Head[1] == 0xD8;
}

// A 24-bit copy of Source stretched to Size, sharpened when Sharpen (amount in percent).
std::unique_ptr<TPixelGraphic> ScaledTo(const TPixelGraphic& Source, TSize2 Size, bool Sharpen,
                                        int Amount) {
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

class TPublisher {
public:
  TPublisher(const std::vector<AlbumEntry>& Entries, const TWebAlbumOptions& O,
             const TWebPublishHooks& Hooks)
      : FEntries(Entries), FO(O), FHooks(Hooks), FFolder(WithSlash(O.WebFolder)),
        FSources(SourcePaths(Entries)), FTargets(O.ReplaceExisting), FWrite(AlbumWriteOptions(O)) {}

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
  // Claims a name of the run in the web folder; false (the file noted as skipped) when a file of
  // that name was there before the run and may not be replaced.
  bool Claim(const QString& Name) {
    const QString Stem = Name.left(Name.lastIndexOf('.'));
    const QString Ext = Name.mid(Stem.size());
    std::string Folder = EnginePath(FFolder);
    if (Folder.size() > 1) Folder.pop_back();
    if (!FTargets.Claim(Folder, EnginePath(Stem), EnginePath(Ext)).Existing) return true;
    FResult.Skipped << FFolder + Name;
    return false;
  }
  // The blocks the pictures re-encoded from Source carry: its colour profile, and its camera
  // data unless that is removed.
  TImageMetadata PublishedMetadata(const QString& Source) const;
  // Writes the thumbnail and display picture of an entry; false (after a message) when it
  // could not.
  bool MakeWebPictures(const AlbumEntry& E, const QString& Name);

  const std::vector<AlbumEntry>& FEntries;
  const TWebAlbumOptions& FO;
  const TWebPublishHooks& FHooks;
  QString FFolder;
  TSourceFiles FSources;
  TRunTargets FTargets;
  TWriteOptions FWrite; // the run's own writer options
  TWebPublishResult FResult;
};

TImageMetadata TPublisher::PublishedMetadata(const QString& Source) const {
  TImageMetadata M = ReadImageMetadata(EnginePath(Source));
  FitMetadataToViewPixels(M);
  if (FO.RemoveMetadata) {
    M.Exif.clear();
    M.Xmp.clear();
  }
  return M;
}

// Pic carries M, fitted to its size; the pixels were turned upright when read (and by the
// entry's turns), so the orientation is 1.
void GiveMetadata(TPixelGraphic& Pic, TImageMetadata M) {
  FitMetadataToPicture(M, Pic.Width(), Pic.Height(), true);
  Pic.Metadata = std::move(M);
}

bool TPublisher::MakeWebPictures(const AlbumEntry& E, const QString& Name) {
  const QString Thumb = FFolder + "tm_" + Name, Display = FFolder + Name;
  // Never over a picture the album is made from, whatever path or link names it.
  for (const QString& T : {Thumb, Display})
    if (IsSource(T)) {
      Say(kErrorWritingFile + T);
      return false;
    }
  // Nor over a file this run did not write, unless told to: the entry is then left out.
  const bool ThumbFree = Claim("tm_" + Name);
  if (!Claim(Name) || !ThumbFree) return false;
  TPixelGraphic Pic;
  bool Turned = false;
  const TImageMetadata Metadata = PublishedMetadata(E.FileName);
  // Sizes are those of the full picture; a JPEG larger than both pictures need is decoded once,
  // DCT-scaled to the larger of them, and both are made from that.
  // Other readers' reduced decodes would change their published pixels: they decode in full.
  const int Reduced = StartsLikeJPEG(E.FileName) ? std::max(FO.MaxSize, FO.ThumbnailSize) : 0;
  QSize Full;
  try {
    Turned = LoadWebSource(E, Pic, Reduced, &Full);
  } catch (const EAlbumPicture& X) {
    Say(QString::fromUtf8(X.what()));
    return false;
  } catch (const std::exception&) {
    Say(kCantLoadGraphic + E.FileName);
    return false;
  }
  try {
    auto Small = ScaledTo(Pic, WebPictureSize(Full.width(), Full.height(), FO.ThumbnailSize),
                          FO.AutoSharpen, FO.SharpeningAmount);
    GiveMetadata(*Small, Metadata);
    Small->SaveToFile(EnginePath(Thumb), FWrite);
  } catch (const std::exception&) {
    Say(kErrorWritingFile + Thumb);
    return false;
  }
  try {
    const bool Large = Full.width() > FO.MaxSize || Full.height() > FO.MaxSize;
    QByteArray Bytes;
    if (!Large && !Turned) Bytes = CopyableJPEG(E.FileName);
    if (!Bytes.isEmpty() && FO.RemoveMetadata) Bytes = JPEGWithoutCameraData(Bytes);
    if (!Bytes.isEmpty()) {
      // A JPEG that fits is published as it is, byte for byte (less its camera data).
      WriteFileSafely(EnginePath(Display), Bytes.constData(), size_t(Bytes.size()));
    } else if (Large) {
      auto Scaled = ScaledTo(Pic, WebPictureSize(Full.width(), Full.height(), FO.MaxSize),
                             FO.AutoSharpen, FO.SharpeningAmount);
      GiveMetadata(*Scaled, Metadata);
      Scaled->SaveToFile(EnginePath(Display), FWrite);
    } else {
      GiveMetadata(Pic, Metadata);
      Pic.SaveToFile(EnginePath(Display), FWrite);
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
  const std::vector<QString> Names = WebPictureNames(FEntries);
  const QString Base = BasePageName(FO.PageName);
  FResult.MetadataRemoved = FO.RemoveMetadata;
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
    const QString PageName = WebPageFileName(Base, Page, Pages);
    const QString Target = FFolder + PageName;
    try {
      if (IsSource(Target)) throw std::runtime_error("source");
      if (!Claim(PageName)) continue;
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
    auto Link = [&](int N, const QString& Text) {
      return " <a href=\"" + UrlOfName(WebPageFileName(Base, N, Pages)) + "\">" + Text + "</a>";
    };
    // Every page is linked while there are few; beyond that a link to every page on every page
    // would make the pages grow with the square of their number, so a window of pages around
    // this one stands between links to the first, previous, next and last pages.
    int From = 1, To = Pages;
    QString P = "<p>Page";
    if (Pages > kAllPageLinks) {
      From = std::max(1, Page - kPageWindow);
      To = std::min(Pages, Page + kPageWindow);
      if (Page > 1) P += Link(1, "First") + Link(Page - 1, "Previous");
    }
    for (int N = From; N <= To; ++N)
      P += N == Page ? " " + QString::number(N) : Link(N, QString::number(N));
    if (Pages > kAllPageLinks && Page < Pages) P += Link(Page + 1, "Next") + Link(Pages, "Last");
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

bool LoadWebSource(const AlbumEntry& Entry, TPixelGraphic& Dest, int ReducedSize, QSize* Full) {
  Dest.ReadWarningAction = pgwaIgnore;
  Dest.SaveColorResWarningAction = pgwaIgnore;
  LoadEntryPicture(Entry, Dest, ReducedSize, Full);
  Dest.ReadWarningAction = pgwaIgnore;
  Dest.SaveColorResWarningAction = pgwaIgnore;
  Dest.StretchMode = smPrecise;
  return Entry.Rotation % 4 != 0;
}

std::unique_ptr<TPixelGraphic> WebScaledCopy(const TPixelGraphic& Source, int S, bool Sharpen,
                                             int Amount) {
  return ScaledTo(Source, WebPictureSize(Source.Width(), Source.Height(), S), Sharpen, Amount);
}

QByteArray JPEGWithoutCameraData(const QByteArray& Jpeg) {
  const auto* B = reinterpret_cast<const uint8_t*>(Jpeg.constData());
  const qsizetype N = Jpeg.size();
  if (N < 4 || B[0] != 0xFF || B[1] != 0xD8) return {};
  QByteArray Out;
  Out.reserve(N);
  Out.append("\xFF\xD8", 2);
  qsizetype Pos = 2;
  for (;;) {
    // The next marker (fill bytes 0xFF may stand before it).
    if (Pos >= N || B[Pos] != 0xFF) return {};
    while (Pos < N && B[Pos] == 0xFF)
      ++Pos;
    if (Pos >= N) return {};
    const uint8_t M = B[Pos++];
    if (M == 0xD9) { // end of the picture: whatever follows is left out
      Out.append("\xFF\xD9", 2);
      return Out;
    }
    if (M == 0x01 || (M >= 0xD0 && M <= 0xD7)) { // markers without a length
      Out.append(char(0xFF)).append(char(M));
      continue;
    }
    if (Pos + 2 > N) return {};
    const qsizetype Len = (qsizetype(B[Pos]) << 8) | B[Pos + 1];
    if (Len < 2 || Pos + Len > N) return {};
    const qsizetype SegEnd = Pos + Len;
    const bool Icc = M == 0xE2 && Len >= 14 && std::memcmp(B + Pos + 2, "ICC_PROFILE\0", 12) == 0;
    const bool Camera = (M >= 0xE1 && M <= 0xEF && M != 0xEE && !Icc) || M == 0xFE;
    if (!Camera) Out.append(Jpeg.constData() + Pos - 2, Len + 2);
    Pos = SegEnd;
    if (M == 0xDA) {
      // The entropy-coded data runs to the next marker that is not a stuffed byte or a restart.
      qsizetype E = Pos;
      while (E + 1 < N && !(B[E] == 0xFF && B[E + 1] != 0x00 && B[E + 1] != 0xFF &&
                            !(B[E + 1] >= 0xD0 && B[E + 1] <= 0xD7)))
        ++E;
      if (E + 1 >= N) return {};
      Out.append(Jpeg.constData() + Pos, E - Pos);
      Pos = E;
    }
  }
}

QString WebPublishSummary(const TWebPublishResult& R, int Entries) {
  QString S =
      QString("Published %1 of %2 pictures and %3.")
          .arg(R.Published)
          .arg(Entries)
          .arg(R.Pages.size() == 1 ? QString("1 page") : QString("%1 pages").arg(R.Pages.size()));
  S += R.MetadataRemoved ? " Location and camera data were removed from the pictures."
                         : " The pictures keep their location and camera data.";
  if (!R.Skipped.isEmpty()) {
    QStringList Names;
    for (const QString& P : R.Skipped.mid(0, 20))
      Names << FileNameOf(P);
    if (R.Skipped.size() > 20) Names << QString("and %1 more").arg(R.Skipped.size() - 20);
    S += QString(" Skipped, because files of these names were already in the folder: %1.")
             .arg(Names.join(", "));
  }
  return S;
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
