// The picture area's viewers besides the picture view: the animated-GIF control, the player of
// the other moving pictures (WebP, AVIF, JPEG XL, APNG), the AVI player and the stretched
// picture control for icons and metafiles.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

class QMovie;

namespace orbisk {

class TAnimation;
class TPixelGraphic;

// Shows a GIF with its frames stretched to the control; loops for ever while animating.
class TAnimatedGifViewer : public QWidget {
  Q_OBJECT
public:
  explicit TAnimatedGifViewer(QWidget* Parent = nullptr);
  ~TAnimatedGifViewer() override;
  // Raises std::runtime_error when the file is not a readable GIF; the control is then empty.
  void LoadFromFile(const QString& Path);
  void Clear();
  QSize GifSize() const { return FSize; }
  int FrameCount() const { return FFrameCount; }
  bool Animate() const { return FAnimate; }
  void SetAnimate(bool On);
  int CurrentFrameNumber() const;
  QImage CurrentFrame() const;
  void SetBackgroundColor(const QColor& C);

protected:
  void paintEvent(QPaintEvent* E) override;

private:
  std::unique_ptr<QMovie> FMovie;
  QSize FSize;
  int FFrameCount = 0;
  bool FAnimate = false;
  QColor FColor = Qt::white;
};

// What the animation viewer waits on between frames: Start(Ms) asks for one OnTimeout after Ms
// milliseconds (a new Start replaces the wait), Stop cancels it. The viewer's own runs on a Qt
// timer; tests hand in one that they advance themselves.
class TFrameTimer {
public:
  virtual ~TFrameTimer() = default;
  virtual void Start(int Ms) = 0;
  virtual void Stop() = 0;
  std::function<void()> OnTimeout;
};

// Plays animated WebP, AVIF sequences, animated JPEG XL and APNG files with their own frame times,
// frames stretched to the control over the area's colour. A file that names a loop count stops
// on its last frame after that many plays; one that names none plays for ever. Frames are
// decoded one at a time as they become due.
class TAnimationViewer : public QWidget {
  Q_OBJECT
public:
  explicit TAnimationViewer(QWidget* Parent = nullptr);
  ~TAnimationViewer() override;
  // Shows the first frame, not yet animating. Raises std::runtime_error (an EPixelGraphic) when
  // the file is not a readable picture of the four kinds; the control is then empty.
  void LoadFromFile(const QString& Path);
  void Clear();
  QSize PictureSize() const { return FSize; }
  int FrameCount() const;
  // 0 plays for ever, otherwise the number of plays.
  int LoopCount() const;
  bool Animate() const { return FAnimate; }
  // On: the frames advance from the one shown (from the first again once the plays are over);
  // off: the shown frame stays.
  void SetAnimate(bool On);
  // The shown frame, counted from 0 (-1 when empty).
  int CurrentFrameNumber() const { return FFrameNumber; }
  // How long the shown frame stays, in milliseconds.
  int CurrentFrameTime() const { return FFrameMs; }
  // Whether the file's plays are over (the last frame stays).
  bool Finished() const { return FFinished; }
  // The shown frame with its transparency.
  QImage CurrentFrame() const { return FFrame; }
  void SetBackgroundColor(const QColor& C);
  // Replaces the clock (for tests); the viewer owns it.
  void SetFrameTimer(std::unique_ptr<TFrameTimer> Timer);

signals:
  // A later frame could not be decoded; the last good frame stays and the playing stops.
  void Error(const QString& Reason);

protected:
  void paintEvent(QPaintEvent* E) override;

private:
  bool ShowNext();
  void Tick();
  // Shows the first frame again; false when that failed (the play then ends with Error).
  bool Restart();
  // The play ends with E's text as Error.
  void Stop(const std::exception& E);
  void Schedule();

  std::unique_ptr<TAnimation> FAnimation;
  std::unique_ptr<TFrameTimer> FTimer;
  std::vector<uint8_t> FBuffer;
  QImage FFrame;
  QSize FSize;
  int FFrameNumber = -1, FFrameMs = 0, FPlays = 0;
  bool FAnimate = false, FFinished = false;
  QColor FColor = Qt::white;
};

// Icons and metafiles through the program's own readers, drawn stretched to the control on the
// area's colour (transparent pixels show the colour).
class TStretchedPictureViewer : public QWidget {
  Q_OBJECT
public:
  explicit TStretchedPictureViewer(QWidget* Parent = nullptr);
  ~TStretchedPictureViewer() override;
  // Raises an EPixelGraphic-family error when the file cannot be read; the control is empty.
  void LoadFromFile(const QString& Path);
  void Clear();
  int PictureWidth() const { return FImage.width(); }
  int PictureHeight() const { return FImage.height(); }
  // The picture as read (nullptr when empty).
  TPixelGraphic* PixelGraphic() const { return FGraphic.get(); }
  const QImage& Image() const { return FImage; }

protected:
  void paintEvent(QPaintEvent* E) override;

private:
  std::unique_ptr<TPixelGraphic> FGraphic;
  QImage FImage; // with transparency applied
};

// The frame size in an AVI file's main header; false when Head (the file's first bytes) does not
// hold a sound RIFF AVI header.
bool ReadAviFrameSize(const QByteArray& Head, int& Width, int& Height);

// Plays AVI files on black, frames stretched to the control. Playback runs through Qt
// Multimedia when the program is built with it; failures arrive through Error (also when no
// playback is available), never as a blocked window.
class TAviPlayer : public QWidget {
  Q_OBJECT
public:
  explicit TAviPlayer(QWidget* Parent = nullptr);
  ~TAviPlayer() override;
  // Reads the frame size; raises std::runtime_error when the file is not an AVI.
  void Open(const QString& Path);
  void Play();
  void Stop();
  QString FileName() const { return FFileName; }
  QSize FrameSize() const { return FFrameSize; }
  bool Playing() const { return FPlaying; }
  // Frames shown since Play.
  int FramesShown() const { return FFrames; }
  QImage CurrentFrame() const { return FFrame; }
  // Whether this build can play video at all.
  static bool PlaybackAvailable();

signals:
  // Playback failed (or is not available); playing has stopped.
  void Error(const QString& Reason);

protected:
  void paintEvent(QPaintEvent* E) override;

private:
  void Fail(const QString& Reason);
  void FrameArrived(const QImage& Frame);

  struct TBackend;
  std::unique_ptr<TBackend> FBackend;
  QString FFileName;
  QSize FFrameSize;
  QImage FFrame;
  bool FPlaying = false;
  int FFrames = 0;
};

} // namespace orbisk
