#include "engine/picturenames.h"

#include "engine/registry.h"

namespace orbisk {

bool IsReadablePictureName(const std::string& FileName) {
  const std::string Ext = FileExtension(FileName);
  if (Ext.empty()) return false;
  if (Ext == "jpe" || Ext == "jfif" || Ext == "pnm") return true;
  for (const TFileFormatReader* R : FileFormatReaders())
    if (LowerCase(R->Extension) == Ext) return true;
  return false;
}

} // namespace orbisk
