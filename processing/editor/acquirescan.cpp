// The editor's scanner entries: "Select..." and "Acquire...".
#include "platform/nativebitmap.h"
#include "platform/prompt.h"
#include "platform/scanner.h"
#include "platform/scanwindow.h"
#include "processing/editor/acquire.h"

#include <QAction>
#include <QDir>
#include <QTemporaryFile>

namespace orbisk {

namespace {

TScanner& EditorScanner() {
  TScanner& S = Scanner();
  if (!S.UserInterface) {
    S.UserInterface = &ScanWindows();
    S.ReportError = ShowScanError;
  }
  return S;
}

} // namespace

void TfrmAcquire::SetScannerAvailable(bool Available) {
  Select1->setEnabled(Available);
  Acquire1->setEnabled(Available);
}

void TfrmAcquire::SelectSourceClick() {
  EditorScanner().SelectImageSource(this);
}

void TfrmAcquire::AcquireClick() {
  // Asked before the scan: a scan takes long, and its picture replaces this one.
  if (!AskToSaveChanges()) return;
  TNativeBitmap Bitmap = EditorScanner().AcquireNative(this, 0);
  raise();
  activateWindow();
  update();
  if (Bitmap.empty()) return; // cancelled, or the scanner reported its error
  try {
    // A new file of our own with an unpredictable name, removed when T goes, on every path.
    QTemporaryFile T(QDir::tempPath() + "/PGLXXXXXX.bmp");
    if (T.open() && WriteNativeToOpenFile(Bitmap, T) == kNativeWritten) {
      Bitmap = TNativeBitmap(); // the bitmap is in the file now
      T.close();
      // LoadAcquiredFile says "Unable to aquire image" itself when the file does not load.
      LoadAcquiredFile(T.fileName());
      return;
    }
  } catch (const std::exception&) {
  }
  ShowMessage("Unable to aquire image", this);
}

} // namespace orbisk
