// orbisk-cli convert IN --to TYPE: the picture converter's one-step conversion, written next to
// the source by the converter window's naming rule, with the same settings and the same bytes.
#include "cli/commands.h"

#include "engine/pixelgraphic.h"
#include "engine/registry.h"
#include "processing/converter.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>

namespace orbisk {

bool WantsConvertTo(const std::vector<std::string>& Args) {
  return std::any_of(Args.begin(), Args.end(),
                     [](const std::string& A) { return A == "--to" || A.rfind("--to=", 0) == 0; });
}

int RunConvertToCommand(const std::vector<std::string>& Args) {
  ParsedArgs P = ParseArgs(Args, {"--no-sharpen", "--interlace", "--overwrite", "--keep-existing"},
                           {"--to", "--size", "--quality", "--transparent"});
  if (P.Files.size() != 1) throw std::runtime_error("convert --to needs exactly one IN file");
  TConvertSettings S;
  bool Overwrite = false, KeepExisting = false;
  TRGB TransparentColor = 0;
  for (const auto& [Name, V] : P.Options) {
    if (Name == "--to") {
      if (!ConvertTargetFromExtension(V, S.Target))
        throw std::runtime_error("--to takes bmp, jpg, tif, png, tga, gif, webp or avif, not \"" +
                                 V + "\"");
    } else if (Name == "--size") {
      const auto X = V.find_first_of("xX");
      if (X == std::string::npos) throw std::runtime_error("--size needs WxH, not \"" + V + "\"");
      S.DisplayWidth = int(WholeNumber("--size", V.substr(0, X), 1, 1000000));
      S.DisplayHeight = int(WholeNumber("--size", V.substr(X + 1), 1, 1000000));
      S.MaintainOriginalSize = false;
    } else if (Name == "--no-sharpen") {
      S.AutoSharpen = false;
    } else if (Name == "--quality") {
      S.JPEGQuality = int(WholeNumber("--quality", V, 10, 100));
    } else if (Name == "--interlace") {
      S.Interlaced = true;
    } else if (Name == "--transparent") {
      if (V.size() != 6 ||
          !std::all_of(V.begin(), V.end(), [](unsigned char C) { return std::isxdigit(C) != 0; }))
        throw std::runtime_error("--transparent needs RRGGBB, not \"" + V + "\"");
      S.Transparent = true;
      TransparentColor = RGBFromHex(uint32_t(std::stoul(V, nullptr, 16)));
    } else if (Name == "--overwrite") {
      Overwrite = true;
    } else if (Name == "--keep-existing") {
      KeepExisting = true;
    }
  }
  if (Overwrite && KeepExisting)
    throw std::runtime_error("--overwrite and --keep-existing exclude each other");

  SetEnginePrompt([](const std::string& Caption, const std::string& Text, bool WithCancel) {
    std::string Flat = Text;
    std::replace(Flat.begin(), Flat.end(), '\r', '\n');
    std::fprintf(stderr, "%s: %s\n", Caption.c_str(), Flat.c_str());
    return !WithCancel;
  });

  const std::string& In = P.Files[0];
  TPixelGraphic Picture;
  Picture.ReadWarningAction = pgwaOKBox;
  PrepareToRead(In);
  Picture.LoadFromFile(In);

  // The question is never answered here: without --overwrite or --keep-existing an existing
  // destination (other than the source, which always takes the "!" name) is an error.
  std::string Refused;
  const std::string Dest = ChooseConvertDestination(In, S.Target, [&](const std::string& D) {
    if (!Overwrite && !KeepExisting) {
      Refused = D;
      return true;
    }
    return Overwrite;
  });
  if (!Refused.empty())
    throw std::runtime_error(Refused + " exists (use --overwrite or --keep-existing)");

  ConvertPictureFile(Picture, In, Dest, S, [&](TPixelGraphic& G, TRGB& C) {
    C = G.GetPaletteEntry(G.GetNearestPaletteIndex(TransparentColor));
    return true;
  });
  std::printf("%s\n", Dest.c_str());
  return 0;
}

} // namespace orbisk
