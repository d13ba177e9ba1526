// orbisk-cli jpegturn: the lossless JPEG turn.
#include "cli/commands.h"
#include "processing/jpegturn.h"

#include <stdexcept>

namespace orbisk {

int RunJPEGTurnCommand(const std::vector<std::string>& Args) {
  const ParsedArgs P = ParseArgs(Args, {"--trim", "--perfect"}, {});
  if (P.Files.size() != 3) throw std::runtime_error("jpegturn needs IN, OUT and 90|180|270|h|v");
  const int Turn = TurnFromName(P.Files[2]);
  if (Turn == 0)
    throw std::runtime_error("jpegturn turns by 90, 180 or 270, or flips h or v, not \"" +
                             P.Files[2] + "\"");
  TJPEGTurnEdge Edge = TJPEGTurnEdge::jeTrim;
  for (const auto& [Name, Value] : P.Options)
    Edge = Name == "--perfect" ? TJPEGTurnEdge::jePerfect : TJPEGTurnEdge::jeTrim;
  TurnJPEGFileLossless(P.Files[0], P.Files[1], Turn, Edge);
  return 0;
}

} // namespace orbisk
