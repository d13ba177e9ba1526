#include "platform/nativebitmap.h"

#include "engine/messages.h"
#include "engine/safefile.h"
#include "platform/filenames.h"

#include <QFileDevice>
#include <QFileDialog>
#include <QFileInfo>

namespace orbisk {

std::function<QString(QWidget* Parent)> AskBitmapFileName = [](QWidget* Parent) {
  return QFileDialog::getSaveFileName(Parent, QString(), QString(), "Windows Bitmap (*.bmp)");
};

int WriteNativeToFile(const TNativeBitmap& Bitmap, QString FileName, QWidget* Parent) {
  if (FileName.isEmpty()) {
    FileName = AskBitmapFileName ? AskBitmapFileName(Parent) : QString();
    if (FileName.isEmpty()) return kNativeNoName;
  }
  if (QFileInfo(FileName).suffix().isEmpty()) FileName += ".bmp";
  std::vector<uint8_t> File;
  const int Code = PackedBitmapToBMP(Bitmap.data(), Bitmap.size(), File);
  if (Code != kNativeWritten) return Code;
  std::unique_ptr<TSafeFile> Out;
  try {
    Out = std::make_unique<TSafeFile>(EncodeFileName(FileName).toStdString());
  } catch (const std::exception&) {
    return kNativeCannotCreate;
  }
  try {
    Out->Write(File.data(), File.size());
    Out->Commit();
  } catch (const std::exception&) {
    return kNativeWriteFailed;
  }
  return kNativeWritten;
}

int WriteNativeToOpenFile(const TNativeBitmap& Bitmap, QFileDevice& File) {
  std::vector<uint8_t> Bytes;
  const int Code = PackedBitmapToBMP(Bitmap.data(), Bitmap.size(), Bytes);
  if (Code != kNativeWritten) return Code;
  if (!File.isOpen() || !File.seek(0) || !File.resize(0)) return kNativeCannotCreate;
  if (File.write(reinterpret_cast<const char*>(Bytes.data()), qint64(Bytes.size())) !=
          qint64(Bytes.size()) ||
      !File.flush())
    return kNativeWriteFailed;
  return kNativeWritten;
}

} // namespace orbisk
