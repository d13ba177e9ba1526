// Fonts for the text of WMF pictures. libwmf measures text with the 35 standard PostScript fonts
// and fails the whole picture when it cannot open one; here each of those names is given a font
// file that is present on this machine, found through fontconfig (the metric-compatible URW fonts
// where they are installed, otherwise the closest font there is).
#pragma once

#include <string>
#include <vector>

namespace orbisk {

struct TWmfFontFile {
  std::string PsName; // "Times-Roman", "Helvetica-BoldOblique", ...
  std::string File;   // absolute path of the font file chosen for it
};

// The standard PostScript names that have a font file here. Worked out once per process.
const std::vector<TWmfFontFile>& WmfFontFiles();

} // namespace orbisk
