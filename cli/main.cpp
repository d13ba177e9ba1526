// orbisk-cli: the engine and tools without windows.
#include "cli/commands.h"

#include "engine/pixelgraphic.h"
#include "engine/registry.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

using namespace orbisk;

namespace {

const char* kUsage = R"(Usage: orbisk-cli COMMAND [OPTIONS] FILE...

Commands:
  info FILE...            Print the file information of each picture: Type, SubType, Options,
                          Width, Height, Colors, BitsPerPixel, GraphicCount.
  convert IN OUT [OPTIONS]
                          Load IN, apply the operations, and save it as OUT; the writer is
                          chosen by OUT's extension (see the options below).
  exif FILE...            List the EXIF entries of each file as "name<TAB>value" rows.
      --detail            Rows as chain, directory, tag, type, count, name, value.
      --date              Print the date shown for the picture (EXIF DateTime, else the
                          file's modification time).
  help                    Show this text (also --help, -h).

Options may stand before or after the file names. Errors are printed to stderr with the
engine's message text, and the exit status is non-zero.
)";

int Help() {
  std::fputs(kUsage, stdout);
  std::fputs(FormatOptionsHelp().c_str(), stdout);
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  std::vector<std::string> Args(argv + 1, argv + argc);
  if (Args.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string Command = Args[0];
  Args.erase(Args.begin());
  for (const auto& A : Args)
    if (A == "--help" || A == "-h") return Help();
  TReadSupport Support;
  try {
    if (Command == "help" || Command == "--help" || Command == "-h") return Help();
    if (Command == "info") return RunInfoCommand(Args);
    if (Command == "convert") return RunConvertCommand(Args);
    if (Command == "exif") return RunExif(Args);
    std::cerr << "orbisk-cli: unknown command \"" << Command << "\" (see orbisk-cli --help)\n";
    return 2;
  } catch (const std::exception& E) {
    std::cerr << E.what() << "\n";
    return 1;
  }
}
