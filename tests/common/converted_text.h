// Text converted by glibc's iconv, the tests' independent oracle of text
// encodings (its converters are its own, not the program's tables).
#ifndef GEOANCHOR_TESTS_COMMON_CONVERTED_TEXT_H_
#define GEOANCHOR_TESTS_COMMON_CONVERTED_TEXT_H_

#include <iconv.h>

#include <string>

namespace geoanchor {

// `text` converted from the encoding `from` to `to` (iconv names), or
// "(no converter)" / "(not convertible)" when iconv cannot, which includes
// input that ends inside a character.
inline std::string ConvertedText(const std::string& text, const char* from,
                                 const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return "(no converter)";
  std::string in = text;
  std::string out(in.size() * 4 + 8, '\0');
  char* in_p = &in[0];
  size_t in_left = in.size();
  char* out_p = &out[0];
  size_t out_left = out.size();
  const size_t done = iconv(cd, &in_p, &in_left, &out_p, &out_left);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1) || in_left != 0) {
    return "(not convertible)";
  }
  out.resize(out.size() - out_left);
  return out;
}

}  // namespace geoanchor

#endif  // GEOANCHOR_TESTS_COMMON_CONVERTED_TEXT_H_
