// The JSON the tool writes (the fit report, the map check): numbers that
// read back to the same doubles, and strings from UTF-8 text.
#ifndef GEOANCHOR_OUTPUT_JSON_TEXT_H_
#define GEOANCHOR_OUTPUT_JSON_TEXT_H_

#include <cmath>
#include <cstdio>
#include <string>

namespace geoanchor {

// `v` with 17 significant digits, which read back to the same double;
// null for a value that is not finite (JSON has no NaN or infinity).
inline std::string JsonNumber(double v) {
  if (!std::isfinite(v)) return "null";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", v);
  return buffer;
}

// `text` (UTF-8) as a JSON string. Our texts are UTF-8 (mode names,
// Ceres' termination names, the warnings and notes, and the points' names
// from a table), and JSON text is: only the quote, the backslash and
// control characters need care; control characters are dropped.
inline std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) >= 0x20) out += c;
  }
  return out + "\"";
}

}  // namespace geoanchor

#endif  // GEOANCHOR_OUTPUT_JSON_TEXT_H_
