// Scanner acquisition over SANE. One connection at a time goes through the states
//   1 no source manager, 2 loaded (libsane.so.1 loaded), 3 open (sane_init), 4 source open
//   (sane_open), 5 enabled (its options window is up), 6 transfer ready (sane_start),
//   7 transferring (sane_read),
// and back to 1 at the end of every command, whatever happened: a running scan is cancelled,
// the device closed, SANE ended and the library unloaded.
#pragma once

#include "platform/scanframes.h"
#include "platform/scansource.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QObject;
class QWidget;

namespace orbisk {

enum TScanState {
  tsNoManager = 1,
  tsManagerLoaded,
  tsManagerOpen,
  tsSourceOpen,
  tsSourceEnabled,
  tsTransferReady,
  tsTransferring
};

// The program's identity, filled once at start.
struct TAppIdentity {
  int Id = 0;
  int MajorNum = 0, MinorNum = 0, Language = 0, Country = 0;
  QString Info;
  int ProtocolMajor = 1, ProtocolMinor = 6;
  int SupportedGroups = 3; // control and image
  QString Manufacturer, ProductFamily, ProductName;
};

struct TScanDevice {
  QByteArray Name; // what sane_open takes
  QString Vendor, Model, Type;
};

// Pixel types for AcquireNative's mask: bit (1 << type).
enum TScanPixelType { ptBW = 0, ptGray = 1, ptRGB = 2 };

// A transfer as the window waiting for it sees it. The counters and the end flag are written by
// the thread that reads the scanner; Cancel may be called from the window's thread at any time
// and takes effect when the device hands over its next block.
class TTransferWatch {
public:
  std::atomic<int64_t> Done{0};
  std::atomic<int64_t> Expected{-1}; // bytes of the whole picture, -1 while unknown
  std::atomic<bool> Finished{false};
  // Asks the scan to stop: it ends without a picture and without a message.
  void Cancel() { FCancelled = true; }
  bool Cancelled() const { return FCancelled; }

private:
  std::atomic<bool> FCancelled{false};
};

// The windows of a scan. The scanner calls them on the window thread.
class TScanUserInterface {
public:
  virtual ~TScanUserInterface() = default;
  // The source-selection window: the index of the chosen device, or -1 (cancelled).
  virtual int ChooseSource(QWidget* Parent, const std::vector<TScanDevice>& Devices,
                           const QByteArray& Current) = 0;
  // The source's own window on its options: true for "Scan", false for "Cancel".
  virtual bool ShowSourceWindow(QWidget* Parent, TScanSource& Source) = 0;
  // Returns when Watch.Finished; meanwhile shows progress and offers Cancel.
  virtual void WaitForTransfer(QWidget* Parent, TTransferWatch& Watch) = 0;
};

// What a scan without windows sets before it starts (empty or 0: the device's own value).
struct TScanSettings {
  QByteArray Device;
  QString Mode; // "Color", "Gray", "Lineart"
  double Resolution = 0;
};

class TScanner {
public:
  TScanner();
  ~TScanner();

  // True when SANE can be loaded, starts and lists at least one device. Found out once (loading
  // and unloading SANE) and remembered; ResetAvailability forgets the answer. Safe to call from a
  // worker thread: listing devices can take seconds.
  bool IsAvailable();
  void ResetAvailability();
  void RegisterApp(int MajorNum, int MinorNum, int Language, int Country,
                   const QString& VersionText, const QString& Manufacturer,
                   const QString& ProductFamily, const QString& ProductName);
  const TAppIdentity& Identity() const { return FIdentity; }

  // The source-selection window; true when the user chose a device (remembered for the session).
  bool SelectImageSource(QWidget* Window);
  // One picture from the selected device (or the first): its options window, the transfer with
  // progress. None on cancel (no message) or failure (reported).
  TNativeBitmap AcquireNative(QWidget* Window, int PixelTypes);

  // While the options window is up: a quick scan of the device's whole area at a low resolution
  // (in the device's preview mode where it has one), for choosing the area. The options are as
  // they were afterwards. None on cancel or failure (reported).
  TNativeBitmap PreviewNative(QWidget* Window);

  // Without windows (the command line): the devices, and a scan with fixed settings. Errors come
  // back in Error (with the report's text) instead of a message box.
  std::vector<TScanDevice> ListDevices(QString* Error);
  TNativeBitmap AcquireWithSettings(const TScanSettings& Settings, QString* Error);

  QByteArray SelectedDevice() const { return FSelected; }
  void SetSelectedDevice(const QByteArray& Name) { FSelected = Name; }
  TScanState State() const { return FState; }
  int LastErrorNumber() const { return FError; }

  // The library loaded (a test seam; "libsane.so.1" by default).
  static QString LibraryPath;
  // Reports an error (a message box through the prompt unless replaced).
  std::function<void(QWidget* Window, const QString& Text)> ReportError;
  // The windows; none: selecting chooses nothing, acquiring scans with the device's settings.
  TScanUserInterface* UserInterface = nullptr;

private:
  struct TSession;
  bool OpenManager(QWidget* Window, QString* Error);
  void CloseAll();
  TNativeBitmap Acquire(QWidget* Window, int PixelTypes, const TScanSettings* Settings,
                        QString* Error);
  bool Transfer(TTransferWatch& Watch, TNativeBitmap& Result, QString& Failure);
  // Transfer on a worker thread while the windows show its progress (without windows: here).
  bool RunTransfer(QWidget* Window, bool WithWindows, TNativeBitmap& Result, QString& Failure);
  void Fail(QWidget* Window, QString* Error, const QString& Text);

  TAppIdentity FIdentity;
  TSaneLibrary FLib;
  std::unique_ptr<TScanSource> FSource;
  SANE_Handle FHandle = nullptr;
  std::atomic<TScanState> FState{tsNoManager};
  enum { avUnknown, avYes, avNo } FAvailable = avUnknown;
  std::mutex FConnection; // one connection at a time (the availability check runs on a worker)
  QByteArray FSelected;
  int FError = 0;
  double FResolution = 0;
};

// The scanner of the program.
TScanner& Scanner();
// Asks Scanner().IsAvailable on a worker thread (listing devices can take seconds) and calls Done
// with the answer on the window thread, unless Context is gone by then. The program's end waits
// for a check still running.
void CheckScannerAvailable(QObject* Context, std::function<void(bool Available)> Done);

// The report's texts: the error number's text (0..13) and the full report of a failure.
QString ScanErrorText(int Number);
// Message, line break, the error's text; for errors 2 to 5 the "RC:" line with the SANE status
// name and the "CC:" line with the condition.
QString ScanErrorReport(const QString& Message, int Number, int Status, const QString& Condition);
// Sets the scan mode; "Lineart" on a device that has none becomes grey at depth 1 where the
// device offers it. False when the device offers neither.
bool SetScanMode(TScanSource& Source, const QString& Mode);

extern const char* const kScanLoadFailed; // "Unable to load Source Manager (SANE)"
extern const char* const kScanOpenFailed; // "Unable to open Source Manager (SANE)"

} // namespace orbisk
