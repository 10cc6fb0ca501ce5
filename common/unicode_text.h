// Bytes of a text file as Unicode text: byte-order marks, UTF-16, UTF-8
// validity and GBK. Plain portable code; the flag-file reader (platform/)
// decides with it how a file's bytes become the program's own strings, and
// the control-point table reader (input/) how a table's bytes become UTF-8.
// The GBK table is generated at build time from glibc's GBK charmap
// (scripts/make-gbk-table), so no system converter is needed at run time.
#ifndef GEOANCHOR_COMMON_UNICODE_TEXT_H_
#define GEOANCHOR_COMMON_UNICODE_TEXT_H_

#include <string>
#include <string_view>

namespace geoanchor {

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

// GBK (code page 936, the ANSI code page of a Chinese Windows, in which its
// Excel saves CSV) as UTF-8: bytes below 0x80 as they are, 0x80 the euro
// sign, a lead byte 0x81..0xFE with a trail byte 0x40..0xFE (not 0x7F) the
// character of code page 936. A pair that names no character becomes one
// U+FFFD; so does a lead byte without a trail byte in range (the next byte
// is then read on its own, so an ASCII separator after it survives), and
// 0xFF.
std::string DecodeGbk(std::string_view bytes);

// The character of GBK's single byte `byte` (0x80..0xFF; 0x80 is the
// euro sign), 0 where it names none.
char32_t GbkByteCodePoint(unsigned byte);

// The character of GBK's lead byte `lead` (0x81..0xFE) with `trail`
// (0x40..0xFE, not 0x7F), as DecodeGbk reads the pair; 0 for a pair that
// names no character or bytes out of those ranges.
char32_t GbkCodePoint(unsigned lead, unsigned trail);

// The UTF-8 text, always well-formed, of a file whose encoding only its
// bytes tell: with a byte-order mark as DecodeMarkedText gives it (after a
// UTF-8 mark each byte that starts no well-formed sequence becomes
// U+FFFD), else the bytes themselves when they are valid UTF-8, else read
// as GBK.
std::string DecodeUnicodeOrGbk(std::string_view bytes);

// Appends `code_point` (at most U+10FFFF, not a surrogate) as UTF-8.
void AppendUtf8(std::string* out, char32_t code_point);

}  // namespace geoanchor

#endif  // GEOANCHOR_COMMON_UNICODE_TEXT_H_
