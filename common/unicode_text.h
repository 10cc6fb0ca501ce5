// Bytes of a text file as Unicode text: byte-order marks, UTF-16 and UTF-8
// validity. Plain portable code; the flag-file reader (platform/) decides
// with it how a file's bytes become the program's own strings.
#ifndef GEOANCHOR_COMMON_UNICODE_TEXT_H_
#define GEOANCHOR_COMMON_UNICODE_TEXT_H_

#include <string>
#include <string_view>

// What the first bytes of a text say about its encoding.
enum class ByteOrderMark {
  kNone,     // no mark: the encoding is not known from the bytes
  kUtf8,     // EF BB BF
  kUtf16Le,  // FF FE (Notepad's "UTF-16 LE")
  kUtf16Be,  // FE FF (Notepad's "UTF-16 BE")
};

ByteOrderMark DetectByteOrderMark(std::string_view bytes);

// The UTF-8 text of `bytes` without their byte-order mark, when they carry
// one: UTF-8 as it is, UTF-16 converted; an odd last byte is dropped and an
// unpaired surrogate becomes U+FFFD. Returns false, leaving `*utf8` alone,
// when there is no mark.
bool DecodeMarkedText(std::string_view bytes, std::string* utf8);

// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF). Pure ASCII is.
bool IsValidUtf8(std::string_view bytes);

// Appends `code_point` (at most U+10FFFF, not a surrogate) as UTF-8.
void AppendUtf8(std::string* out, char32_t code_point);

#endif  // GEOANCHOR_COMMON_UNICODE_TEXT_H_
