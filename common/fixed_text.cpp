#include "common/fixed_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace geoanchor {

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

std::string FormatDouble(const char* format, double v) {
  char buffer[64];
  const int length = std::snprintf(buffer, sizeof buffer, format, v);
  if (length < 0) return std::string();
  if (static_cast<size_t>(length) < sizeof buffer) {
    return std::string(buffer, static_cast<size_t>(length));
  }
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(&text[0], text.size(), format, v);
  text.resize(static_cast<size_t>(length));
  return text;
}

void FlushToStdout(std::string* text) {
  if (!text->empty()) std::fwrite(text->data(), 1, text->size(), stdout);
  text->clear();
}

}  // namespace geoanchor
