// Standard output of a shell command, for tests that compare with other programs' reports.
#pragma once

#include <cstdio>
#include <string>

namespace orbisk::test {

inline std::string ShellOutput(const std::string& Command) {
  std::string Out;
  if (FILE* P = popen(Command.c_str(), "r")) {
    char Buf[4096];
    size_t N;
    while ((N = fread(Buf, 1, sizeof Buf, P)) > 0)
      Out.append(Buf, N);
    pclose(P);
  }
  return Out;
}

} // namespace orbisk::test
