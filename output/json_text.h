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
// Ceres' termination names, the warnings and notes, the points' names from
// a table, a scene's SRS text), and JSON text is: only the quote, the
// backslash and control characters need care. Control characters are
// escaped, so that a multi-line text (a WKT as PROJ prints it) reads back
// as written: \n, \r and \t by name, the others as \u00XX.
inline std::string JsonString(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20) {
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 0xF];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace geoanchor

#endif  // GEOANCHOR_OUTPUT_JSON_TEXT_H_
