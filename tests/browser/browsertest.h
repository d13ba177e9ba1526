// Helpers for the browser window tests: private HOME and XDG folders (set before anything reads
// them), simulated user input, a prompt that records its texts, and small picture files.
#pragma once

#include "platform/prompt.h"
#include "tests/common/widgetfind.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <unistd.h>

namespace orbisk::test {

// The private home: HOME, XDG_CONFIG_HOME and XDG_DATA_HOME point into one fresh folder for the
// whole test program (set while static objects are built, before main()).
inline const QString& TestHome() {
  static const QString Home = [] {
    std::string Base = "/tmp/orbisk-browser-test-" + std::to_string(getpid());
    QDir().mkpath(QString::fromStdString(Base + "/config"));
    QDir().mkpath(QString::fromStdString(Base + "/data"));
    setenv("HOME", Base.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (Base + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (Base + "/data").c_str(), 1);
    return QString::fromStdString(Base);
  }();
  return Home;
}
inline const QString& HomeAtStart = TestHome();

inline QString SettingsFile() {
  return TestHome() + "/config/Brenmoor/Orbiskel.conf";
}
inline QString BookmarksPath() {
  return TestHome() + "/data/Orbiskel/bookmrks.dat";
}

// Forgets every stored setting and bookmark.
inline void ResetUserFiles() {
  QFile::remove(SettingsFile());
  QDir(TestHome() + "/data/Orbiskel").removeRecursively();
}

// A fresh folder under the private home.
inline QString MakeFolder(const QString& Name) {
  QString Path = TestHome() + "/" + Name;
  QDir(Path).removeRecursively();
  QDir().mkpath(Path);
  return Path;
}

inline void WriteBytes(const QString& Path, qint64 Size) {
  QFile F(Path);
  F.open(QIODevice::WriteOnly);
  F.write(QByteArray(Size, 'x'));
}

inline void WritePicture(const QString& Path, int W, int H) {
  QImage I(W, H, QImage::Format_RGB32);
  I.fill(QColor(200, 30, 30));
  ASSERT_TRUE(I.save(Path, "PNG")) << Path.toStdString();
}

inline void Wait(int Ms) {
  QEventLoop L;
  QTimer::singleShot(Ms, &L, &QEventLoop::quit);
  L.exec();
}

// Lets events run until Cond holds or Ms pass; the final value of Cond.
template <class F> bool WaitFor(F Cond, int Ms = 5000) {
  return QTest::qWaitFor(Cond, Ms);
}

// A GIF of two 1 x 1 frames (white, then black), 0.05 s each, looping for ever.
inline QByteArray TwoFrameGif() {
  QByteArray B("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00", 19);
  B += QByteArray("\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
  for (const char* Data : {"\x02\x02\x44\x01\x00", "\x02\x02\x4c\x01\x00"}) {
    B += QByteArray("\x21\xf9\x04\x00\x05\x00\x00\x00", 8);
    B += QByteArray("\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00", 10);
    B += QByteArray(Data, 5);
  }
  B += ';';
  return B;
}

// The file's bytes; "<missing>" when it cannot be read.
inline QByteArray ReadData(const QString& Path) {
  QFile F(Path);
  return F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray("<missing>");
}

inline void WriteData(const QString& Path, const QByteArray& Data) {
  QFile F(Path);
  F.open(QIODevice::WriteOnly);
  F.write(Data);
}

inline void Click(QWidget* W, QPoint P, Qt::KeyboardModifiers M = Qt::NoModifier) {
  QMouseEvent Press(QEvent::MouseButtonPress, P, W->mapToGlobal(P), Qt::LeftButton, Qt::LeftButton,
                    M);
  QApplication::sendEvent(W, &Press);
  QMouseEvent Release(QEvent::MouseButtonRelease, P, W->mapToGlobal(P), Qt::LeftButton,
                      Qt::NoButton, M);
  QApplication::sendEvent(W, &Release);
  QApplication::processEvents();
}

inline void Key(QWidget* W, int K, Qt::KeyboardModifiers M = Qt::NoModifier) {
  // Typed the way a user types: into the focused control of the active window, the window's
  // shortcuts first.
  QWidget* Window = W->window();
  if (QApplication::activeWindow() != Window) {
    Window->activateWindow();
    (void)QTest::qWaitFor([&] { return QApplication::activeWindow() == Window; }, 2000);
  }
  W->setFocus(Qt::OtherFocusReason);
  (void)QTest::qWaitFor([&] { return W->hasFocus(); }, 2000);
  QTest::keyClick(W, Qt::Key(K), M);
  QApplication::processEvents();
}

// Records every message and answers questions from a queue (No when empty).
class TRecordingPrompt : public TPrompt {
public:
  QStringList Messages;
  std::deque<bool> Answers;
  void Message(QWidget*, const QString& Text) override { Messages << Text; }
  bool YesNo(QWidget*, const QString& Text) override {
    Messages << Text;
    if (Answers.empty()) return false;
    bool A = Answers.front();
    Answers.pop_front();
    return A;
  }
};

// Installs a recording prompt for its lifetime.
class TPromptScope {
public:
  TPromptScope() {
    auto P = std::make_unique<TRecordingPrompt>();
    FPrompt = P.get();
    SetPrompt(std::move(P));
  }
  ~TPromptScope() { SetPrompt(nullptr); }
  TRecordingPrompt& operator*() { return *FPrompt; }
  TRecordingPrompt* operator->() { return FPrompt; }

private:
  TRecordingPrompt* FPrompt;
};

} // namespace orbisk::test
