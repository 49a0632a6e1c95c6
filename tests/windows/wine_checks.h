// The counting of the Windows test programs run under Wine: one line a
// check ("ok - NAME" or "not ok - NAME: DETAIL") and, from Summary, the
// line "N passed, M failed" the harness reads.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "morvel/types.h"

namespace wine_checks {

inline int passed = 0, failed = 0;

inline void Check(bool ok, const std::string& name, const std::string& detail = "") {
  if (ok) {
    ++passed;
    std::printf("ok - %s\n", name.c_str());
  } else {
    ++failed;
    std::printf("not ok - %s%s%s\n", name.c_str(), detail.empty() ? "" : ": ", detail.c_str());
  }
}

// Prints the summary; the program's exit status.
inline int Summary() {
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}

// The automation error number a call raises; 0 when it raises none.
inline int ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const morvel::AutomationError& e) {
    return e.Number();
  }
  return 0;
}

// UTF-8 as Windows' wide calls take it.
inline std::wstring Wide(const std::string& utf8) {
  morvel::String text = morvel::FromUtf8(utf8);
  return std::wstring(text.begin(), text.end());
}

}  // namespace wine_checks
