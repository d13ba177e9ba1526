#include "cli/commands.h"
#include "cli/exif_command.h"

#include "engine/pixelgraphic.h"
#include "engine/registry.h"

#include <cstdio>
#include <iostream>
#include <stdexcept>

namespace orbisk {

namespace {

// "WxH" with both numbers positive.
void ParseSize(const std::string& S, int& W, int& H) {
  unsigned long long A = 0, B = 0;
  char X = 0, Extra = 0;
  if (std::sscanf(S.c_str(), "%llu%c%llu%c", &A, &X, &B, &Extra) != 3 || (X != 'x' && X != 'X') ||
      A == 0 || B == 0 || A > 1000000 || B > 1000000)
    throw std::runtime_error("--resize needs WxH with positive numbers, not \"" + S + "\"");
  W = int(A);
  H = int(B);
}

} // namespace

std::string FormatOptionsHelp() { return ""; }

int RunConvertCommand(const std::vector<std::string>& Args) {
  ParsedArgs P = ParseArgs(Args, {"--yes"}, {"--resize"});
  if (P.Files.size() != 2) throw std::runtime_error("convert needs IN and OUT");
  bool Yes = false;
  int NewW = 0, NewH = 0;
  for (const auto& [Name, Value] : P.Options) {
    if (Name == "--yes") Yes = true;
    else if (Name == "--resize") ParseSize(Value, NewW, NewH);
  }
  // Warnings are shown on stderr; the one question the engine asks (a different colour
  // resolution when saving) is answered by --yes.
  SetEnginePrompt([Yes](const std::string& Caption, const std::string& Text, bool WithCancel) {
    std::string Flat = Text;
    for (auto& C : Flat)
      if (C == '\r') C = '\n';
    std::fprintf(stderr, "%s: %s\n", Caption.c_str(), Flat.c_str());
    if (WithCancel && !Yes) std::fprintf(stderr, "(not confirmed: use --yes to accept)\n");
    return !WithCancel || Yes;
  });

  TPixelGraphic Picture;
  Picture.ReadWarningAction = pgwaOKBox;
  Picture.LoadFromFile(P.Files[0]);
  TPixelGraphic* Out = &Picture;
  TPixelGraphic Resized;
  if (NewW > 0) {
    Resized.SetSize(0, 0, Picture.BitCountNum());
    if (Picture.BitCountNum() != 3) Resized.AssignPalette(Picture);
    Resized.SetSize(NewW, NewH, Picture.BitCountNum());
    Resized.StretchFrom(Picture);
    Resized.RecognisePaletteKind();
    Out = &Resized;
  }
  Out->SaveColorResWarningAction = pgwaOKCancelBox;
  Out->SaveToFile(P.Files[1]);
  return 0;
}

int RunExif(const std::vector<std::string>& Args) { return RunExifCommand(Args); }

} // namespace orbisk
