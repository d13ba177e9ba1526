// Writing a packed device-independent bitmap (information header, colour table, pixel rows) as a
// BMP file: the 14-byte file header in front of the bitmap's bytes.
#pragma once

#include "platform/packedbitmap.h"

#include <QString>

#include <functional>

class QFileDevice;
class QWidget;

namespace orbisk {

// Writes Bitmap as the BMP file FileName, through a safe file that replaces an existing file only
// when complete. An empty FileName asks for a name (AskBitmapFileName); a name without an
// extension gets ".bmp".
int WriteNativeToFile(const TNativeBitmap& Bitmap, QString FileName, QWidget* Parent = nullptr);
// Writes Bitmap into a file the caller created and holds open (a temporary file), from its start.
int WriteNativeToOpenFile(const TNativeBitmap& Bitmap, QFileDevice& File);

// Asks for the file name when none is given: a save dialog with "Windows Bitmap (*.bmp)" unless
// replaced (tests). An empty text means cancelled.
extern std::function<QString(QWidget* Parent)> AskBitmapFileName;

} // namespace orbisk
