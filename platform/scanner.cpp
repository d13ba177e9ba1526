#include "platform/scanner.h"

#include "platform/prompt.h"

#include <sane/saneopts.h>

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QPointer>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <thread>

namespace orbisk {

const char* const kScanLoadFailed = "Unable to load Source Manager (SANE)";
const char* const kScanOpenFailed = "Unable to open Source Manager (SANE)";

QString TScanner::LibraryPath = "libsane.so.1";

namespace {

const char* const kOpenSourceFailed = "Unable to open default Data Source.";
const char* const kNegotiateFailed = "Failed to negotiate Pixel Type.";
const char* const kEnableFailed = "Failed to enable Data Source.";
const char* const kTransferFailed = "Failed to transfer the image.";

// The hour-glass while a device is listed or opened, where there are windows (not on the command
// line).
class TBusy {
public:
  TBusy() : FOn(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
    if (FOn) QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  }
  ~TBusy() {
    if (FOn) QGuiApplication::restoreOverrideCursor();
  }
  TBusy(const TBusy&) = delete;
  TBusy& operator=(const TBusy&) = delete;

private:
  bool FOn;
};

// Backends that want a user name and password get none: the program keeps no credentials.
void NoAuthorization(SANE_String_Const, SANE_Char* User, SANE_Char* Password) {
  User[0] = 0;
  Password[0] = 0;
}

} // namespace

QString ScanErrorText(int Number) {
  static const char* const Texts[] = {"[no details available]",
                                      "",
                                      "sane_control_option/SANE_ACTION_GET_VALUE failed",
                                      "sane_control_option/SANE_ACTION_SET_VALUE failed",
                                      "Source Manager operation failed",
                                      "DataSource operation failed",
                                      "",
                                      "SANE session not in State 4 (Source Open)",
                                      "sane_get_option_descriptor returned no option",
                                      "sane_get_option_descriptor returned an invalid option",
                                      "Returned option is not valid type",
                                      "Returned option has invalid constraint",
                                      "Returned option list is empty",
                                      "App and source found NO values in common"};
  if (Number < 0 || Number >= int(std::size(Texts))) return QString();
  return Texts[Number];
}

QString ScanErrorReport(const QString& Message, int Number, int Status, const QString& Condition) {
  QString Text = Message + "\n" + ScanErrorText(Number);
  if (Number >= 2 && Number <= 5)
    Text += "\nRC:   " + SaneStatusName(Status) + "\nCC:   " + Condition;
  return Text;
}

bool SetScanMode(TScanSource& Source, const QString& Mode) {
  const auto Modes = Source.Option(SANE_NAME_SCAN_MODE);
  const QStringList List = Modes ? Modes->Strings : QStringList();
  auto Depth = [&Source](int Bits) {
    const auto D = Source.Option(SANE_NAME_BIT_DEPTH);
    if (!D || !D->Settable) return Bits != 1; // the mode decides the depth itself
    if (!D->Words.empty() &&
        std::find(D->Words.begin(), D->Words.end(), double(Bits)) == D->Words.end())
      return false;
    return Source.SetNumber(SANE_NAME_BIT_DEPTH, Bits);
  };
  QString Exact;
  for (const QString& M : List)
    if (M.compare(Mode, Qt::CaseInsensitive) == 0) Exact = M;
  if (!Exact.isEmpty()) {
    if (!Source.SetString(SANE_NAME_SCAN_MODE, Exact)) return false;
    // A device whose depth is separate from its mode gets a depth that fits the mode.
    const auto D = Source.GetNumber(SANE_NAME_BIT_DEPTH);
    if (D && Mode.compare("Lineart", Qt::CaseInsensitive) != 0 && *D == 1) Depth(8);
    return true;
  }
  if (Mode.compare("Lineart", Qt::CaseInsensitive) == 0) {
    for (const char* Grey : {"Gray", "Grey"})
      if (List.contains(Grey) && Source.SetString(SANE_NAME_SCAN_MODE, Grey)) return Depth(1);
  }
  return false;
}

TScanner::TScanner() {
  ReportError = [](QWidget* Window, const QString& Text) { ShowMessage(Text, Window); };
}

TScanner::~TScanner() {
  std::lock_guard Lock(FConnection);
  CloseAll();
}

TScanner& Scanner() {
  static TScanner S;
  return S;
}

namespace {

// The availability checks still running; joined at the program's end.
struct TChecks {
  std::mutex Lock;
  std::vector<std::thread> Threads;
  ~TChecks() {
    std::lock_guard L(Lock);
    for (std::thread& T : Threads)
      T.join();
  }
};

} // namespace

void CheckScannerAvailable(QObject* Context, std::function<void(bool Available)> Done) {
  TScanner& S = Scanner(); // made before the checks, so it outlives them
  static TChecks Checks;
  QPointer<QObject> Target(Context);
  std::lock_guard L(Checks.Lock);
  Checks.Threads.emplace_back([&S, Target, Done = std::move(Done)] {
    const bool Yes = S.IsAvailable();
    if (QCoreApplication* App = QCoreApplication::instance())
      QMetaObject::invokeMethod(
          App,
          [Target, Done, Yes] {
            if (Target && Done) Done(Yes);
          },
          Qt::QueuedConnection);
  });
}

void TScanner::RegisterApp(int MajorNum, int MinorNum, int Language, int Country,
                           const QString& VersionText, const QString& Manufacturer,
                           const QString& ProductFamily, const QString& ProductName) {
  FIdentity.Id = 0;
  FIdentity.MajorNum = MajorNum;
  FIdentity.MinorNum = MinorNum;
  FIdentity.Language = Language;
  FIdentity.Country = Country;
  FIdentity.Info = VersionText;
  FIdentity.ProtocolMajor = 1;
  FIdentity.ProtocolMinor = 6;
  FIdentity.SupportedGroups = 3;
  FIdentity.Manufacturer = Manufacturer;
  FIdentity.ProductFamily = ProductFamily;
  FIdentity.ProductName = ProductName;
}

void TScanner::Fail(QWidget* Window, QString* Error, const QString& Text) {
  if (Error)
    *Error = Text;
  else if (ReportError)
    ReportError(Window, Text);
}

bool TScanner::OpenManager(QWidget* Window, QString* Error) {
  if (!FLib.Load(LibraryPath.toStdString())) {
    Fail(Window, Error, kScanLoadFailed);
    return false;
  }
  FState = tsManagerLoaded;
  SANE_Int Version = 0;
  if (FLib.Api().Init(&Version, NoAuthorization) != SANE_STATUS_GOOD) {
    Fail(Window, Error, kScanOpenFailed);
    return false;
  }
  FState = tsManagerOpen;
  return true;
}

void TScanner::CloseAll() {
  const TSaneApi& A = FLib.Api();
  if (FHandle) {
    // Cancelling an idle device is harmless; a device stopped mid-scan must be cancelled.
    A.Cancel(FHandle);
    FState = tsSourceOpen;
    FSource.reset();
    A.Close(FHandle);
    FHandle = nullptr;
  }
  if (FState >= tsManagerOpen) A.Exit();
  FLib.Unload();
  FState = tsNoManager;
}

bool TScanner::IsAvailable() {
  std::lock_guard Lock(FConnection);
  if (FAvailable == avUnknown) {
    bool Yes = false;
    if (FLib.Load(LibraryPath.toStdString())) {
      FState = tsManagerLoaded;
      SANE_Int Version = 0;
      if (FLib.Api().Init(&Version, NoAuthorization) == SANE_STATUS_GOOD) {
        FState = tsManagerOpen;
        const SANE_Device** List = nullptr;
        Yes = FLib.Api().GetDevices(&List, SANE_FALSE) == SANE_STATUS_GOOD && List && List[0];
      }
    }
    CloseAll();
    FAvailable = Yes ? avYes : avNo;
  }
  return FAvailable == avYes;
}

void TScanner::ResetAvailability() {
  std::lock_guard Lock(FConnection);
  FAvailable = avUnknown;
}

namespace {

std::vector<TScanDevice> DeviceList(const TSaneApi& A, int& Status) {
  std::vector<TScanDevice> Devices;
  const SANE_Device** List = nullptr;
  Status = A.GetDevices(&List, SANE_FALSE);
  if (Status != SANE_STATUS_GOOD || !List) return Devices;
  for (const SANE_Device** D = List; *D; ++D) {
    TScanDevice T;
    T.Name = (*D)->name ? QByteArray((*D)->name) : QByteArray();
    T.Vendor = (*D)->vendor ? QString::fromUtf8((*D)->vendor) : QString();
    T.Model = (*D)->model ? QString::fromUtf8((*D)->model) : QString();
    T.Type = (*D)->type ? QString::fromUtf8((*D)->type) : QString();
    Devices.push_back(T);
  }
  return Devices;
}

} // namespace

bool TScanner::SelectImageSource(QWidget* Window) {
  std::lock_guard Lock(FConnection);
  bool Chosen = false;
  if (OpenManager(Window, nullptr)) {
    int Status = SANE_STATUS_GOOD;
    std::vector<TScanDevice> Devices;
    {
      TBusy Wait;
      Devices = DeviceList(FLib.Api(), Status);
    }
    if (Status != SANE_STATUS_GOOD) {
      FError = 4;
      Fail(Window, nullptr,
           ScanErrorReport(kScanOpenFailed, 4, Status,
                           QString::fromUtf8(FLib.Api().StrStatus(SANE_Status(Status)))));
    } else if (UserInterface) {
      const int I = UserInterface->ChooseSource(Window, Devices, FSelected);
      if (I >= 0 && I < int(Devices.size())) {
        FSelected = Devices[size_t(I)].Name;
        Chosen = true;
      }
    }
  }
  CloseAll();
  return Chosen;
}

std::vector<TScanDevice> TScanner::ListDevices(QString* Error) {
  std::lock_guard Lock(FConnection);
  std::vector<TScanDevice> Devices;
  if (OpenManager(nullptr, Error)) {
    int Status = SANE_STATUS_GOOD;
    Devices = DeviceList(FLib.Api(), Status);
    if (Status != SANE_STATUS_GOOD && Error)
      *Error = ScanErrorReport(kScanOpenFailed, 4, Status,
                               QString::fromUtf8(FLib.Api().StrStatus(SANE_Status(Status))));
  }
  CloseAll();
  return Devices;
}

TNativeBitmap TScanner::AcquireNative(QWidget* Window, int PixelTypes) {
  return Acquire(Window, PixelTypes, nullptr, nullptr);
}

TNativeBitmap TScanner::AcquireWithSettings(const TScanSettings& Settings, QString* Error) {
  return Acquire(nullptr, 0, &Settings, Error);
}

TNativeBitmap TScanner::Acquire(QWidget* Window, int PixelTypes, const TScanSettings* Settings,
                                QString* Error) {
  std::lock_guard Lock(FConnection);
  FError = 0;
  FResolution = 0;
  // Whatever happens below, the connection goes back to state 1.
  struct TCloser {
    TScanner* S;
    ~TCloser() { S->CloseAll(); }
  } Closer{this};
  if (!OpenManager(Window, Error)) return {};
  const TSaneApi& A = FLib.Api();
  auto Status = [&A](int S) { return QString::fromUtf8(A.StrStatus(SANE_Status(S))); };

  // The default source: the device chosen in this session, or SANE's first one.
  const QByteArray Name = Settings && !Settings->Device.isEmpty() ? Settings->Device : FSelected;
  SANE_Handle H = nullptr;
  SANE_Status S;
  {
    TBusy Wait;
    S = A.Open(Name.constData(), &H);
  }
  if (S != SANE_STATUS_GOOD || !H) {
    FError = 4;
    Fail(Window, Error, ScanErrorReport(kOpenSourceFailed, 4, S, Status(S)));
    return {};
  }
  FHandle = H;
  FSource = std::make_unique<TScanSource>(A, H, Name);
  FState = tsSourceOpen;

  // Pixel types: the first of colour, grey and line art in the mask that the device offers.
  if (PixelTypes != 0) {
    bool Agreed = false;
    for (auto [Type, Mode] : {std::pair{ptRGB, "Color"}, {ptGray, "Gray"}, {ptBW, "Lineart"}})
      if (!Agreed && (PixelTypes & (1 << Type))) Agreed = SetScanMode(*FSource, Mode);
    if (!Agreed) {
      FError = 13;
      Fail(Window, Error, ScanErrorReport(kNegotiateFailed, 13, SANE_STATUS_UNSUPPORTED, ""));
      return {};
    }
  }
  if (Settings) {
    if (!Settings->Mode.isEmpty() && !SetScanMode(*FSource, Settings->Mode)) {
      FError = 3;
      Fail(Window, Error,
           ScanErrorReport(kNegotiateFailed, 3, SANE_STATUS_INVAL,
                           "the device has no mode \"" + Settings->Mode + "\""));
      return {};
    }
    int RS = SANE_STATUS_GOOD;
    if (Settings->Resolution > 0) {
      // Devices round to what they can do, and clamp what they cannot: a clamped value is
      // refused rather than scanned at a resolution nobody asked for.
      const bool Set = FSource->SetNumber(SANE_NAME_SCAN_RESOLUTION, Settings->Resolution, &RS);
      const double Got = FSource->GetNumber(SANE_NAME_SCAN_RESOLUTION).value_or(0);
      if (!Set ||
          std::abs(Got - Settings->Resolution) > std::max(1.0, Settings->Resolution / 100)) {
        FError = 3;
        Fail(Window, Error,
             ScanErrorReport("Failed to set the resolution.", 3, RS,
                             RS == SANE_STATUS_GOOD
                                 ? QString("the device offers %1 dpi instead of %2")
                                       .arg(Got)
                                       .arg(Settings->Resolution)
                                 : Status(RS)));
        return {};
      }
    }
  }

  // Enabling the source: its options window.
  if (!A.GetOptionDescriptor(H, 0)) {
    FError = 5;
    Fail(Window, Error,
         ScanErrorReport(kEnableFailed, 5, SANE_STATUS_INVAL, "the device describes no options"));
    return {};
  }
  FState = tsSourceEnabled;
  if (UserInterface && !Settings && !UserInterface->ShowSourceWindow(Window, *FSource)) return {};
  FResolution = FSource->GetNumber(SANE_NAME_SCAN_RESOLUTION).value_or(0);

  TNativeBitmap Result;
  QString Failure;
  if (!RunTransfer(Window, UserInterface && !Settings, Result, Failure)) {
    if (!Failure.isEmpty()) Fail(Window, Error, Failure);
    return {};
  }
  return Result;
}

bool TScanner::RunTransfer(QWidget* Window, bool WithWindows, TNativeBitmap& Result,
                           QString& Failure) {
  TTransferWatch Watch;
  bool Done = false;
  if (WithWindows) {
    std::thread Reader([&] {
      Done = Transfer(Watch, Result, Failure);
      Watch.Finished = true;
    });
    UserInterface->WaitForTransfer(Window, Watch);
    Reader.join();
  } else {
    Done = Transfer(Watch, Result, Failure);
    Watch.Finished = true;
  }
  // SANE's thread-based backends end their reader thread with an asynchronous cancel; one that
  // is still starting (inside malloc) when the cancel comes leaves the allocator locked and the
  // cancel waits for it forever. After an error or Cancel the reader is given a moment to reach
  // its pipe (or finish a small frame) first.
  if (!Done) std::this_thread::sleep_for(std::chrono::milliseconds(150));
  // The device goes back to its options whatever happened.
  FLib.Api().Cancel(FHandle);
  FState = tsSourceEnabled;
  return Done;
}

TNativeBitmap TScanner::PreviewNative(QWidget* Window) {
  if (FState != tsSourceEnabled || !FSource) return {};
  TScanSource& S = *FSource;
  const char* const Kept[] = {SANE_NAME_SCAN_RESOLUTION, SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y,
                              SANE_NAME_SCAN_BR_X, SANE_NAME_SCAN_BR_Y};
  std::vector<std::pair<const char*, double>> Saved;
  for (const char* Name : Kept)
    if (const auto V = S.GetNumber(Name)) Saved.emplace_back(Name, *V);
  const auto Preview = S.Option(SANE_NAME_PREVIEW);
  const bool PreviewMode = Preview && Preview->Settable && Preview->Type == SANE_TYPE_BOOL;
  if (PreviewMode) {
    S.SetBool(SANE_NAME_PREVIEW, true);
  } else if (const auto R = S.Option(SANE_NAME_SCAN_RESOLUTION)) {
    // About 30 dpi: a page fits the window.
    double Low = 30;
    if (R->HasRange) {
      Low = std::clamp(Low, R->Min, R->Max);
    } else if (!R->Words.empty()) {
      Low = *std::min_element(R->Words.begin(), R->Words.end());
      for (double W : R->Words)
        if (W >= 25 && (Low < 25 || W < Low)) Low = W;
    }
    S.SetNumber(SANE_NAME_SCAN_RESOLUTION, Low);
  }
  for (const char* Name : {SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y})
    if (const auto O = S.Option(Name); O && O->HasRange) S.SetNumber(Name, O->Min);
  for (const char* Name : {SANE_NAME_SCAN_BR_X, SANE_NAME_SCAN_BR_Y})
    if (const auto O = S.Option(Name); O && O->HasRange) S.SetNumber(Name, O->Max);
  FResolution = S.GetNumber(SANE_NAME_SCAN_RESOLUTION).value_or(0);

  TNativeBitmap Result;
  QString Failure;
  const bool Done = RunTransfer(Window, UserInterface != nullptr, Result, Failure);
  if (PreviewMode) S.SetBool(SANE_NAME_PREVIEW, false);
  for (const auto& [Name, Value] : Saved)
    S.SetNumber(Name, Value);
  if (!Done) {
    if (!Failure.isEmpty()) Fail(Window, nullptr, Failure);
    return {};
  }
  return Result;
}

bool TScanner::Transfer(TTransferWatch& Watch, TNativeBitmap& Result, QString& Failure) {
  const TSaneApi& A = FLib.Api();
  TFrameAssembler Frames(FResolution);
  std::vector<SANE_Byte> Buffer(64 * 1024);
  auto Failed = [&](int S, const QString& Condition) {
    if (Watch.Cancelled() && S == SANE_STATUS_CANCELLED) return false; // the user's own cancel
    FError = 5;
    Failure = ScanErrorReport(kTransferFailed, 5, S, Condition);
    return false;
  };
  auto Status = [&A](int S) { return QString::fromUtf8(A.StrStatus(SANE_Status(S))); };
  while (!Frames.Complete()) {
    if (Watch.Cancelled()) return false;
    SANE_Status S = A.Start(FHandle);
    if (S != SANE_STATUS_GOOD) return Failed(S, Status(S));
    FState = tsTransferReady;
    SANE_Parameters P{};
    S = A.GetParameters(FHandle, &P);
    if (S != SANE_STATUS_GOOD) return Failed(S, Status(S));
    try {
      Frames.BeginFrame({int(P.format), P.last_frame != SANE_FALSE, P.bytes_per_line,
                         P.pixels_per_line, P.lines, P.depth});
    } catch (const EScanFrame& E) {
      return Failed(S, QString::fromStdString(E.what()));
    }
    Watch.Expected = Frames.BytesExpected();
    FState = tsTransferring;
    for (;;) {
      if (Watch.Cancelled()) return false;
      SANE_Int Length = 0;
      S = A.Read(FHandle, Buffer.data(), SANE_Int(Buffer.size()), &Length);
      if (S == SANE_STATUS_EOF) break;
      if (S != SANE_STATUS_GOOD) return Failed(S, Status(S));
      if (Length < 0 || size_t(Length) > Buffer.size())
        return Failed(S, QString("the device returned %1 bytes into a buffer of %2")
                             .arg(Length)
                             .arg(Buffer.size()));
      try {
        Frames.Add(Buffer.data(), size_t(Length));
      } catch (const EScanFrame& E) {
        return Failed(S, QString::fromStdString(E.what()));
      }
      Watch.Done = Frames.BytesDone();
    }
    try {
      Frames.EndFrame();
    } catch (const EScanFrame& E) {
      return Failed(S, QString::fromStdString(E.what()));
    }
    FState = tsTransferReady;
  }
  Result = Frames.Finish();
  return true;
}

} // namespace orbisk
