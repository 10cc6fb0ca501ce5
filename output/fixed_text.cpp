#include "output/fixed_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

void AppendFixed(std::string* out, double v, int decimals) {
  if (!std::isfinite(v)) {
    // glibc's spelling; to_chars would write the same letters, but this
    // keeps the contract in one obvious place.
    if (std::signbit(v)) *out += '-';
    *out += std::isnan(v) ? "nan" : "inf";
    return;
  }
  // The longest fixed rendering of a double: sign, 309 integer digits,
  // point and the decimals.
  char buffer[320 + 32];
  const std::to_chars_result result = std::to_chars(
      buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
  out->append(buffer, result.ptr);
}

void FlushToStdout(std::string* text) {
  if (!text->empty()) std::fwrite(text->data(), 1, text->size(), stdout);
  text->clear();
}
