// Property checks for the fuzz targets: a failed check prints what differed
// and aborts, which libFuzzer reports as a crash with the input saved.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzzcheck {

inline std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

inline std::string First(const std::vector<std::string>& texts) {
  return texts.empty() ? "(none)" : texts.front();
}

[[noreturn]] inline void Fail(const char* file, int line, const char* what,
                              const std::string& detail) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n  %s\n", file, line, what,
               Printable(detail).c_str());
  std::abort();
}

}  // namespace fuzzcheck

#define FUZZ_CHECK(cond, detail)                                     \
  do {                                                               \
    if (!(cond)) fuzzcheck::Fail(__FILE__, __LINE__, #cond, detail); \
  } while (0)
