// Metafile playback: libwmf and libemf2svg write SVG, QtSvg draws it. By default the libraries run
// in a forked child (they are old C code that trusts its input) that paints into shared memory.
#include "platform/metafileplayer.h"

#include "engine/messages.h"
#include "platform/wmffonts.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define ORBISK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORBISK_ASAN 1
#endif
#endif

namespace orbisk {

namespace {

using TClock = std::chrono::steady_clock;

// libwmf calls this after every record; a non-zero answer ends playback.
struct TWmfBudget {
  TClock::time_point Deadline;
};
int WmfStatus(void* Context, float /*Done*/) {
  return TClock::now() > static_cast<TWmfBudget*>(Context)->Deadline ? 1 : 0;
}

// Windows-1252 characters 0x80..0x9F (0 where the code page has none).
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendChar(QByteArray& Out, uint8_t C) {
  if (C < 0x80) {
    Out.append(C < 0x20 && C != '\n' && C != '\t' && C != '\r' ? ' ' : char(C));
    return;
  }
  const char16_t U = C < 0xA0 ? kCp1252High[C - 0x80] : char16_t(C);
  Out.append(U ? QString(QChar(U)).toUtf8() : QByteArray(" "));
}

// libwmf copies texts and font names from the file into its SVG as they are: 8-bit code page
// characters, "&" and "<" would make the document unreadable. It also draws every fill at half
// opacity while the background mode is transparent, which WMF fills never are, and gives pens
// below a pixel, which the screen draws one pixel wide.
QByteArray CleanWmfSvg(const QByteArray& In) {
  QByteArray Out;
  Out.reserve(In.size() + In.size() / 8);
  const char* P = In.constData();
  const qsizetype N = In.size();
  auto At = [&](qsizetype I, const char* S) {
    const qsizetype L = qsizetype(std::strlen(S));
    return I + L <= N && std::memcmp(P + I, S, size_t(L)) == 0;
  };
  for (qsizetype I = 0; I < N;) {
    if (At(I, "fill-opacity:0.5; ")) {
      I += 18;
    } else if (At(I, "stroke-width:")) {
      // The picture is drawn in pixels: thinner pens still draw one pixel, as on the screen.
      I += 13;
      qsizetype E = I;
      while (E < N && (std::isdigit(uint8_t(P[E])) || P[E] == '.'))
        ++E;
      const double Width = QByteArray(P + I, E - I).toDouble();
      Out.append("stroke-width:").append(QByteArray::number(std::max(Width, 1.0), 'f', 6));
      I = E;
    } else if (At(I, "<text ")) {
      // The start tag: keep its markup, strip what could end the style attribute from the font
      // name.
      bool InFamily = false;
      for (; I < N && P[I] != '>'; ++I) {
        if (At(I, "font-family:")) {
          Out.append("font-family:");
          I += 11;
          InFamily = true;
          continue;
        }
        if (InFamily && At(I, "; font-")) InFamily = false;
        const uint8_t C = uint8_t(P[I]);
        if (InFamily && std::strchr("\"'&<>;", C)) continue;
        AppendChar(Out, C);
      }
      if (I < N) Out.append('>'), ++I;
      // The text itself, up to its end tag.
      for (; I < N && !At(I, "</text>"); ++I) {
        const uint8_t C = uint8_t(P[I]);
        if (C == '&')
          Out.append("&amp;");
        else if (C == '<')
          Out.append("&lt;");
        else if (C == '>')
          Out.append("&gt;");
        else
          AppendChar(Out, C);
      }
    } else {
      AppendChar(Out, uint8_t(P[I]));
      ++I;
    }
  }
  return Out;
}

bool WmfToSvg(const TMetafile& M, int Width, int Height, QByteArray& Svg, QString& Error) {
  wmfAPI* API = nullptr;
  wmfAPI_Options Options{};
  Options.function = wmf_svg_function;
  unsigned long Flags =
      WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
  // Text needs a font file for every PostScript name libwmf maps the metafile's fonts to; give it
  // the ones fontconfig finds here, so that a missing font package never fails the picture.
  std::vector<std::string> Dirs;
  std::vector<char*> DirList;
  std::vector<wmfMapping> PsList;
  for (const TWmfFontFile& F : WmfFontFiles()) {
    PsList.push_back(wmfMapping{const_cast<char*>(F.PsName.c_str()),
                                const_cast<char*>(F.File.c_str()), FT_ENCODING_NONE});
    const std::string Dir = F.File.substr(0, F.File.rfind('/'));
    if (std::find(Dirs.begin(), Dirs.end(), Dir) == Dirs.end()) Dirs.push_back(Dir);
  }
  wmfFontMap NoWmfMap[1] = {};
  wmfMapping NoSubMap[1] = {};
  if (!PsList.empty()) {
    for (std::string& D : Dirs)
      DirList.push_back(D.data());
    DirList.push_back(nullptr);
    PsList.push_back(wmfMapping{nullptr, nullptr, FT_ENCODING_NONE});
    Options.fontdirs = DirList.data();
    Options.font.wmf = NoWmfMap;
    Options.font.sub = NoSubMap;
    Options.font.ps = PsList.data();
    Flags |= WMF_OPT_FONTDIRS | WMF_OPT_FONTMAP;
  }
  if (wmf_api_create(&API, Flags, &Options) != wmf_E_None) {
    if (API) wmf_api_destroy(API);
    Error = "libwmf could not start";
    return false;
  }
  std::vector<unsigned char> Copy(M.Data.begin(), M.Data.end());
  bool Ok = false;
  TWmfBudget Budget{TClock::now() + std::chrono::seconds(60)};
  wmf_status_function(API, &Budget, WmfStatus);
  wmfD_Rect Box{};
  if (wmf_mem_open(API, Copy.data(), long(Copy.size())) == wmf_E_None &&
      wmf_scan(API, 0, &Box) == wmf_E_None) {
    wmf_svg_t* Device = WMF_SVG_GetData(API);
    Device->out = wmf_stream_create(API, nullptr);
    Device->Description = const_cast<char*>("Orbisk");
    Device->bbox = Box;
    Device->width = unsigned(Width);
    Device->height = unsigned(Height);
    Device->flags |= WMF_SVG_INLINE_IMAGES;
    const wmf_error_t Played = wmf_play(API, 0, &Box);
    char* Buffer = nullptr;
    unsigned long Length = 0;
    if (Device->out) wmf_stream_destroy(API, Device->out, &Buffer, &Length);
    if (Played == wmf_E_None && Buffer && Length <= kMaxMetafileSvgBytes) {
      Svg = CleanWmfSvg(QByteArray(Buffer, qsizetype(Length)));
      Ok = true;
    } else {
      Error = Played != wmf_E_None ? "libwmf could not play the records" : "SVG too large";
    }
    wmf_mem_close(API);
  } else {
    Error = "libwmf could not read the metafile";
  }
  wmf_api_destroy(API);
  return Ok;
}

bool EmfToSvg(const TMetafile& M, QByteArray& Svg, QString& Error) {
  std::vector<char> Copy(M.Data.begin(), M.Data.end());
  generatorOptions Options{};
  Options.nameSpace = const_cast<char*>("");
  Options.verbose = false;
  Options.emfplus = true;
  Options.svgDelimiter = true;
  char* Out = nullptr;
  size_t Length = 0;
  const int Result = emf2svg(Copy.data(), Copy.size(), &Out, &Length, &Options);
  const bool Ok = Result == 1 && Out && Length <= kMaxMetafileSvgBytes;
  if (Ok)
    Svg = QByteArray(Out, qsizetype(Length));
  else
    Error = Result != 1 ? "libemf2svg could not convert the records" : "SVG too large";
  std::free(Out);
  return Ok;
}

// ---- the child process ------------------------------------------------------------------------

void QuietMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

void LimitChild(int TimeoutMs) {
  rlimit CPU{rlim_t(TimeoutMs / 1000 + 2), rlim_t(TimeoutMs / 1000 + 4)};
  setrlimit(RLIMIT_CPU, &CPU);
#ifndef ORBISK_ASAN
  // Room for 2 GiB beyond what the program already maps (the sanitizer's shadow memory would not
  // fit under any limit).
  long Pages = 0;
  if (FILE* F = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(F, "%ld", &Pages) != 1) Pages = 0;
    std::fclose(F);
  }
  if (Pages > 0) {
    const rlim_t Limit = rlim_t(Pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(2) << 30);
    rlimit AS{Limit, Limit};
    setrlimit(RLIMIT_AS, &AS);
  }
#endif
}

// Fonts are found once in the program, so that children do not each search for them again.
void WarmUpFonts() {
  static std::once_flag Once;
  std::call_once(Once, [] {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
      QFontDatabase::families();
      QImage Tiny(8, 8, QImage::Format_RGB32);
      QPainter P(&Tiny);
      P.drawText(0, 8, "x");
    }
  });
}

// Writes the drawing into the picture: 24-bit pictures take the colours, palette pictures the
// nearest palette entries.
void CopyToPicture(const QImage& Image, TPixelGraphic& Target) {
  const int W = Target.Width(), H = Target.Height();
  for (int Y = 0; Y < H; ++Y) {
    const QRgb* Src = reinterpret_cast<const QRgb*>(Image.constScanLine(Y));
    if (Target.BitCountNum() == 3) {
      uint8_t* Row = Target.ScanLine(Y);
      for (int X = 0; X < W; ++X) {
        Row[3 * X] = uint8_t(qBlue(Src[X]));
        Row[3 * X + 1] = uint8_t(qGreen(Src[X]));
        Row[3 * X + 2] = uint8_t(qRed(Src[X]));
      }
    } else {
      for (int X = 0; X < W; ++X)
        Target.SetPixelColor(
            X, Y, RGBOf(unsigned(qRed(Src[X])), unsigned(qGreen(Src[X])), unsigned(qBlue(Src[X]))));
    }
  }
  Target.Changed();
}

// Runs RenderMetafile in a child that paints into shared memory, then copies that into Target.
bool PlayIsolated(const TMetafile& M, TPixelGraphic& Target, int TimeoutMs, QString& Error) {
  const int W = Target.Width(), H = Target.Height();
  const size_t Bytes = size_t(W) * size_t(H) * 4;
  void* Shared = mmap(nullptr, Bytes, PROT_READ | PROT_WRITE,
                      MAP_SHARED | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (Shared == MAP_FAILED) {
    Error = "no memory for the drawing";
    return false;
  }
  int Pipe[2];
  if (pipe2(Pipe, O_CLOEXEC) != 0) {
    munmap(Shared, Bytes);
    Error = "pipe failed";
    return false;
  }
  WarmUpFonts();
  std::fflush(nullptr);
  const pid_t Child = fork();
  if (Child == 0) {
    close(Pipe[0]);
    // The libraries talk on the standard streams; the program's output is not theirs.
    const int Null = open("/dev/null", O_WRONLY);
    if (Null >= 0) {
      dup2(Null, 1);
      dup2(Null, 2);
      close(Null);
    }
    LimitChild(TimeoutMs);
    qInstallMessageHandler(QuietMessages);
    QImage Canvas(static_cast<uchar*>(Shared), W, H, qsizetype(W) * 4, QImage::Format_RGB32);
    Canvas.fill(Qt::white);
    QString ChildError;
    const bool Ok = RenderMetafile(M, Canvas, ChildError);
    if (!Ok) {
      const QByteArray Reason = ChildError.toUtf8().left(400);
      if (write(Pipe[1], Reason.constData(), size_t(Reason.size())) < 0) {
      }
    }
    _exit(Ok ? 0 : 3);
  }
  close(Pipe[1]);
  if (Child < 0) {
    close(Pipe[0]);
    munmap(Shared, Bytes);
    Error = "fork failed";
    return false;
  }

  // The pipe reaches its end when the child ends, whichever way it ends.
  QByteArray Reason;
  const auto Deadline = TClock::now() + std::chrono::milliseconds(TimeoutMs);
  bool TimedOut = false;
  for (;;) {
    const auto Left =
        std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - TClock::now()).count();
    if (Left <= 0) {
      TimedOut = true;
      break;
    }
    pollfd P{Pipe[0], POLLIN, 0};
    const int R = poll(&P, 1, int(Left));
    if (R < 0 && errno == EINTR) continue;
    if (R <= 0) {
      TimedOut = true;
      break;
    }
    char Buffer[512];
    const ssize_t N = read(Pipe[0], Buffer, sizeof Buffer);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) break;
    if (Reason.size() < 1024) Reason.append(Buffer, N);
  }
  close(Pipe[0]);
  if (TimedOut) kill(Child, SIGKILL);
  int Status = 0;
  while (waitpid(Child, &Status, 0) < 0 && errno == EINTR) {
  }
  const bool Ok = !TimedOut && WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
  if (Ok) {
    const QImage Result(static_cast<const uchar*>(Shared), W, H, qsizetype(W) * 4,
                        QImage::Format_RGB32);
    CopyToPicture(Result, Target);
  } else if (TimedOut) {
    Error = "playback took too long";
  } else if (WIFSIGNALED(Status)) {
    Error = QString("the player stopped with signal %1").arg(WTERMSIG(Status));
  } else {
    Error = Reason.isEmpty() ? QString("the player failed") : QString::fromUtf8(Reason);
  }
  munmap(Shared, Bytes);
  return Ok;
}

} // namespace

bool MetafileToSvg(const TMetafile& M, int Width, int Height, QByteArray& Svg, QString& Error) {
  if (M.Data.empty()) {
    Error = "no records";
    return false;
  }
  return M.Enhanced ? EmfToSvg(M, Svg, Error) : WmfToSvg(M, Width, Height, Svg, Error);
}

bool RenderMetafile(const TMetafile& M, QImage& Image, QString& Error) {
  const int W = Image.width(), H = Image.height();
  QByteArray Svg;
  if (!MetafileToSvg(M, W, H, Svg, Error)) return false;
  QSvgRenderer Renderer(Svg);
  if (!Renderer.isValid()) {
    Error = "the records gave no usable drawing";
    return false;
  }
  const QRectF Box = Renderer.viewBoxF();
  if (Box.width() <= 0 || Box.height() <= 0) return true; // nothing drawn
  QPainter P(&Image);
  P.setRenderHint(QPainter::Antialiasing);
  P.setRenderHint(QPainter::SmoothPixmapTransform);
  // Metafile coordinates name pixel centres, Qt's pixel corners.
  P.translate(0.5, 0.5);
  const double FW = M.FrameRight - M.FrameLeft, FH = M.FrameBottom - M.FrameTop;
  if (M.Enhanced && FW > 0 && FH > 0) {
    // The SVG covers the header's bounds; the picture shows the frame.
    P.scale(W / FW, H / FH);
    P.translate(M.BoundsLeft - M.FrameLeft, M.BoundsTop - M.FrameTop);
    Renderer.render(&P, QRectF(0, 0, Box.width(), Box.height()));
  } else {
    Renderer.render(&P, QRectF(0, 0, W, H));
  }
  return true;
}

void TQtMetafilePlayer::Play(const TMetafile& M, TPixelGraphic& Target) {
  LastError.clear();
  if (Target.Empty()) return;
  QString Error;
  bool Ok = false;
  if (Isolated) {
    Ok = PlayIsolated(M, Target, TimeoutMs, Error);
  } else {
    QImage Image(Target.Width(), Target.Height(), QImage::Format_RGB32);
    if (Image.isNull()) throw EPixelGraphic(EngineMessage(msgFailed, "CreateDIBSection"));
    Image.fill(Qt::white);
    Ok = RenderMetafile(M, Image, Error);
    if (Ok) CopyToPicture(Image, Target);
  }
  if (!Ok) {
    LastError = Error;
    throw EPixelGraphic(EngineMessage(msgFailed, "Metafile playback"));
  }
}

void InstallMetafilePlayer() {
  SetMetafilePlayer(std::make_shared<TQtMetafilePlayer>());
}

} // namespace orbisk
