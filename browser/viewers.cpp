#include "browser/viewers.h"

#include "engine/animation.h"
#include "engine/pixelgraphic.h"
#include "platform/codecsettings.h"
#include "platform/filenames.h"
#include "platform/pgqt.h"

#include <QFile>
#include <QMovie>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#ifdef ORBISK_HAVE_MULTIMEDIA
#include <QMediaPlayer>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>
#endif

namespace orbisk {

// ---- animated GIF

TAnimatedGifViewer::TAnimatedGifViewer(QWidget* Parent) : QWidget(Parent) {
  setObjectName("AnimatedGif1");
}

TAnimatedGifViewer::~TAnimatedGifViewer() = default;

void TAnimatedGifViewer::Clear() {
  FMovie.reset();
  FSize = QSize();
  FFrameCount = 0;
  FAnimate = false;
  update();
}

void TAnimatedGifViewer::LoadFromFile(const QString& Path) {
  Clear();
  auto M = std::make_unique<QMovie>(Path);
  if (!M->isValid() || !M->jumpToFrame(0) || M->currentImage().isNull())
    throw std::runtime_error("GIF: cannot read " + Path.toStdString());
  FSize = M->currentImage().size();
  FFrameCount = std::max(1, M->frameCount());
  connect(M.get(), &QMovie::frameChanged, this, [this] { update(); });
  // The control loops whatever the file's own loop count says.
  connect(M.get(), &QMovie::finished, this, [this] {
    if (FAnimate && FMovie)
      QTimer::singleShot(0, this, [this] {
        if (FAnimate && FMovie) FMovie->start();
      });
  });
  FMovie = std::move(M);
  update();
}

void TAnimatedGifViewer::SetAnimate(bool On) {
  FAnimate = On;
  if (!FMovie) return;
  if (On) {
    if (FMovie->state() != QMovie::Running) FMovie->start();
  } else if (FMovie->state() != QMovie::NotRunning) {
    FMovie->setPaused(true);
  }
}

int TAnimatedGifViewer::CurrentFrameNumber() const {
  return FMovie ? FMovie->currentFrameNumber() : -1;
}

QImage TAnimatedGifViewer::CurrentFrame() const {
  return FMovie ? FMovie->currentImage() : QImage();
}

void TAnimatedGifViewer::SetBackgroundColor(const QColor& C) {
  FColor = C;
  update();
}

void TAnimatedGifViewer::paintEvent(QPaintEvent*) {
  QPainter P(this);
  P.fillRect(rect(), FColor);
  if (FMovie) {
    P.setRenderHint(QPainter::SmoothPixmapTransform);
    P.drawImage(rect(), FMovie->currentImage());
  }
}

// ---- other moving pictures

namespace {

class TQtFrameTimer : public TFrameTimer {
public:
  TQtFrameTimer() {
    FTimer.setSingleShot(true);
    FTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      if (OnTimeout) OnTimeout();
    });
  }
  void Start(int Ms) override { FTimer.start(Ms); }
  void Stop() override { FTimer.stop(); }

private:
  QTimer FTimer;
};

} // namespace

TAnimationViewer::TAnimationViewer(QWidget* Parent) : QWidget(Parent) {
  setObjectName("Animation1");
  SetFrameTimer(std::make_unique<TQtFrameTimer>());
}

TAnimationViewer::~TAnimationViewer() {
  FTimer->Stop();
}

int TAnimationViewer::FrameCount() const {
  return FAnimation ? FAnimation->FrameCount() : 0;
}

int TAnimationViewer::LoopCount() const {
  return FAnimation ? FAnimation->LoopCount() : 0;
}

void TAnimationViewer::Clear() {
  FTimer->Stop();
  FAnimation.reset();
  FFrame = QImage();
  FSize = QSize();
  FFrameNumber = -1;
  FFrameMs = FPlays = 0;
  FAnimate = FFinished = false;
  update();
}

void TAnimationViewer::LoadFromFile(const QString& Path) {
  Clear();
  try {
    FAnimation = TAnimation::Open(EnginePath(Path));
    if (!ShowNext()) throw EPixelGraphic(FAnimation->Kind() + ": no frames");
  } catch (...) {
    Clear();
    throw;
  }
  FSize = QSize(FAnimation->Width(), FAnimation->Height());
}

bool TAnimationViewer::ShowNext() {
  int Ms = 0;
  if (!FAnimation->NextFrameBgra(FBuffer, Ms)) return false;
  const int W = FAnimation->Width(), H = FAnimation->Height();
  QImage I(W, H, QImage::Format_ARGB32);
  for (int Y = 0; Y < H; ++Y) {
    const uint8_t* S = &FBuffer[size_t(Y) * W * 4];
    auto* Row = reinterpret_cast<QRgb*>(I.scanLine(Y));
    for (int X = 0; X < W; ++X, S += 4)
      Row[X] = qRgba(S[2], S[1], S[0], S[3]);
  }
  FFrame = std::move(I);
  FFrameNumber = FAnimation->Position() - 1;
  FFrameMs = Ms;
  update();
  return true;
}

void TAnimationViewer::Schedule() {
  if (FAnimate && FAnimation && FAnimation->FrameCount() > 1 && !FFinished) FTimer->Start(FFrameMs);
}

void TAnimationViewer::Tick() {
  if (!FAnimation || !FAnimate || FFinished) return;
  try {
    if (ShowNext()) {
      Schedule();
      return;
    }
  } catch (const std::exception& E) {
    Stop(E);
    return;
  }
  // The end of a play: the last frame has had its time.
  ++FPlays;
  if (FAnimation->LoopCount() > 0 && FPlays >= FAnimation->LoopCount()) {
    FFinished = true;
    return;
  }
  if (Restart()) Schedule();
}

bool TAnimationViewer::Restart() {
  try {
    FAnimation->Rewind();
    if (!ShowNext()) throw EPixelGraphic(FAnimation->Kind() + ": no frames");
    return true;
  } catch (const std::exception& E) {
    Stop(E);
    return false;
  }
}

void TAnimationViewer::Stop(const std::exception& E) {
  FFinished = true;
  emit Error(QString::fromStdString(E.what()));
}

void TAnimationViewer::SetAnimate(bool On) {
  if (!On) {
    FAnimate = false;
    FTimer->Stop();
    return;
  }
  if (FAnimate && !FFinished) return;
  FAnimate = true;
  if (FFinished && FAnimation) {
    // Played out: from the first frame again.
    FFinished = false;
    FPlays = 0;
    if (!Restart()) return;
  }
  Schedule();
}

void TAnimationViewer::SetBackgroundColor(const QColor& C) {
  FColor = C;
  update();
}

void TAnimationViewer::SetFrameTimer(std::unique_ptr<TFrameTimer> Timer) {
  if (FTimer) FTimer->Stop();
  FTimer = std::move(Timer);
  FTimer->OnTimeout = [this] { Tick(); };
  Schedule();
}

void TAnimationViewer::paintEvent(QPaintEvent*) {
  QPainter P(this);
  P.fillRect(rect(), FColor);
  if (!FFrame.isNull()) {
    P.setRenderHint(QPainter::SmoothPixmapTransform);
    P.drawImage(rect(), FFrame);
  }
}

// ---- icons and metafiles

TStretchedPictureViewer::TStretchedPictureViewer(QWidget* Parent) : QWidget(Parent) {
  setObjectName("Image1");
}

TStretchedPictureViewer::~TStretchedPictureViewer() = default;

void TStretchedPictureViewer::Clear() {
  FGraphic.reset();
  FImage = QImage();
  update();
}

void TStretchedPictureViewer::LoadFromFile(const QString& Path) {
  Clear();
  auto G = std::make_unique<TPixelGraphic>();
  G->ReadWarningAction = pgwaIgnore;
  G->LoadFromFile(EnginePath(Path), ViewReadOptions());
  QImage I = ToQImage(*G).convertToFormat(QImage::Format_ARGB32);
  if (G->Transparent) {
    const QRgb Key = qRgb(G->TransparentColor & 0xFF, (G->TransparentColor >> 8) & 0xFF,
                          (G->TransparentColor >> 16) & 0xFF);
    for (int Y = 0; Y < I.height(); ++Y) {
      auto* Row = reinterpret_cast<QRgb*>(I.scanLine(Y));
      for (int X = 0; X < I.width(); ++X)
        if ((Row[X] & 0xFFFFFF) == (Key & 0xFFFFFF)) Row[X] = 0;
    }
  }
  FGraphic = std::move(G);
  FImage = std::move(I);
  update();
}

void TStretchedPictureViewer::paintEvent(QPaintEvent*) {
  if (FImage.isNull()) return;
  // No background of its own: the picture area's colour shows through transparent pixels.
  QPainter P(this);
  P.setRenderHint(QPainter::SmoothPixmapTransform);
  P.drawImage(rect(), FImage);
}

// ---- AVI

namespace {

uint32_t U32(const QByteArray& B, qint64 At) {
  const auto* P = reinterpret_cast<const uint8_t*>(B.constData()) + At;
  return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}

bool Tag(const QByteArray& B, qint64 At, const char* T) {
  return At >= 0 && At + 4 <= B.size() && std::memcmp(B.constData() + At, T, 4) == 0;
}

constexpr int kMaxAviSide = 32768;

} // namespace

bool ReadAviFrameSize(const QByteArray& Head, int& Width, int& Height) {
  if (!Tag(Head, 0, "RIFF") || !Tag(Head, 8, "AVI ")) return false;
  const qint64 End = Head.size();
  qint64 Pos = 12;
  // The main header sits in the "hdrl" list near the start; walk chunks, entering lists.
  for (int Guard = 0; Guard < 4096 && Pos + 8 <= End; ++Guard) {
    const qint64 Size = U32(Head, Pos + 4);
    if (Tag(Head, Pos, "LIST")) {
      if (Size < 4) return false;
      if (Tag(Head, Pos + 8, "hdrl")) {
        Pos += 12;
        continue;
      }
    } else if (Tag(Head, Pos, "avih")) {
      if (Size < 40 || Pos + 8 + 40 > End) return false;
      const uint32_t W = U32(Head, Pos + 8 + 32), H = U32(Head, Pos + 8 + 36);
      if (W == 0 || H == 0 || W > kMaxAviSide || H > kMaxAviSide) return false;
      Width = int(W);
      Height = int(H);
      return true;
    }
    Pos += 8 + Size + (Size & 1);
  }
  return false;
}

#ifdef ORBISK_HAVE_MULTIMEDIA
struct TAviPlayer::TBackend {
  QMediaPlayer Player;
  QVideoSink Sink;
};
#else
struct TAviPlayer::TBackend {};
#endif

TAviPlayer::TAviPlayer(QWidget* Parent) : QWidget(Parent) {
  setObjectName("AviPlayer1");
}

TAviPlayer::~TAviPlayer() {
  Stop();
}

bool TAviPlayer::PlaybackAvailable() {
#ifdef ORBISK_HAVE_MULTIMEDIA
  return true;
#else
  return false;
#endif
}

void TAviPlayer::Open(const QString& Path) {
  Stop();
  FFrame = QImage();
  FFileName.clear();
  FFrameSize = QSize();
  QFile F(Path);
  if (!F.open(QIODevice::ReadOnly)) throw std::runtime_error("AVI: cannot open the file");
  int W = 0, H = 0;
  if (!ReadAviFrameSize(F.read(64 * 1024), W, H))
    throw std::runtime_error("AVI: not a readable AVI file");
  FFileName = Path;
  FFrameSize = QSize(W, H);
  update();
}

void TAviPlayer::Play() {
  if (FFileName.isEmpty()) return;
  FFrames = 0;
  FPlaying = true;
#ifdef ORBISK_HAVE_MULTIMEDIA
  if (!FBackend) {
    // Qt 6.4's other backend garbles frames.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) qputenv("QT_MEDIA_BACKEND", "gstreamer");
    FBackend = std::make_unique<TBackend>();
    FBackend->Player.setVideoSink(&FBackend->Sink);
    connect(&FBackend->Sink, &QVideoSink::videoFrameChanged, this,
            [this](const QVideoFrame& Frame) {
              if (FPlaying && Frame.isValid()) FrameArrived(Frame.toImage());
            });
    connect(&FBackend->Player, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error, const QString& Text) { Fail(Text); });
    connect(&FBackend->Player, &QMediaPlayer::mediaStatusChanged, this,
            [this](QMediaPlayer::MediaStatus S) {
              if (S == QMediaPlayer::InvalidMedia) Fail("the video cannot be played");
              // Loops like the widget it stands for.
              if (S == QMediaPlayer::EndOfMedia && FPlaying) FBackend->Player.play();
            });
  }
  FBackend->Player.setSource(QUrl::fromLocalFile(FFileName));
  FBackend->Player.play();
#else
  QTimer::singleShot(0, this, [this] {
    if (FPlaying) Fail("video playback is not available in this build");
  });
#endif
}

void TAviPlayer::Stop() {
  FPlaying = false;
#ifdef ORBISK_HAVE_MULTIMEDIA
  if (FBackend) {
    FBackend->Player.stop();
    FBackend->Player.setSource(QUrl());
  }
#endif
}

void TAviPlayer::Fail(const QString& Reason) {
  if (!FPlaying) return;
  Stop();
  emit Error(Reason);
}

void TAviPlayer::FrameArrived(const QImage& Frame) {
  if (Frame.isNull()) return;
  FFrame = Frame;
  ++FFrames;
  update();
}

void TAviPlayer::paintEvent(QPaintEvent*) {
  QPainter P(this);
  P.fillRect(rect(), Qt::black);
  if (!FFrame.isNull()) {
    P.setRenderHint(QPainter::SmoothPixmapTransform);
    P.drawImage(rect(), FFrame);
  }
}

} // namespace orbisk
