// The thumbnail cache of the window tests lives in their private home, whatever the environment
// names (set while static objects are built, before any window reads it).
#pragma once

#include "tests/browser/browsertest.h"

#include <cstdlib>
#include <string>

namespace orbisk::test {

inline const std::string& TestCacheHome() {
  static const std::string Home = [] {
    const std::string H = TestHome().toStdString() + "/cache";
    setenv("XDG_CACHE_HOME", H.c_str(), 1);
    return H;
  }();
  return Home;
}
inline const std::string& CacheHomeAtStart = TestCacheHome();

} // namespace orbisk::test
