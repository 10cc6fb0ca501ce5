#include "common/unicode_text.h"

namespace geoanchor {

// The generated GBK table (scripts/make-gbk-table): code points, 0 for a
// byte or pair that names no character.
extern const char16_t kGbkSingleByte[128];        // bytes 0x80..0xFF
extern const char16_t kGbkDoubleByte[126 * 190];  // lead 0x81.., trail 0x40..

namespace {

constexpr char32_t kReplacement = 0xFFFD;

unsigned Byte(std::string_view bytes, size_t i) {
  return static_cast<unsigned char>(bytes[i]);
}

void AppendUtf16(std::string_view bytes, bool big_endian, std::string* out) {
  const size_t units = bytes.size() / 2;
  auto unit = [&](size_t i) -> char32_t {
    const unsigned a = Byte(bytes, 2 * i);
    const unsigned b = Byte(bytes, 2 * i + 1);
    return big_endian ? (a << 8 | b) : (b << 8 | a);
  };
  for (size_t i = 0; i < units; ++i) {
    const char32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      const char32_t low = unit(i + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
  }
}

// The length of the well-formed UTF-8 sequence at `i` (no overlong form,
// surrogate or code point above U+10FFFF), or 0 when there is none.
size_t Utf8SequenceAt(std::string_view bytes, size_t i) {
  const unsigned lead = Byte(bytes, i);
  size_t length;
  char32_t min;
  char32_t cp;
  if (lead < 0x80) {
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min = 0x80, cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min = 0x800, cp = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min = 0x10000, cp = lead & 0x07;
  } else {
    return 0;
  }
  if (bytes.size() - i < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    const unsigned next = Byte(bytes, i + k);
    if ((next & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (next & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

ByteOrderMark DetectByteOrderMark(std::string_view bytes) {
  if (bytes.size() >= 3 && Byte(bytes, 0) == 0xEF && Byte(bytes, 1) == 0xBB &&
      Byte(bytes, 2) == 0xBF) {
    return ByteOrderMark::kUtf8;
  }
  if (bytes.size() >= 2 && Byte(bytes, 0) == 0xFF && Byte(bytes, 1) == 0xFE) {
    return ByteOrderMark::kUtf16Le;
  }
  if (bytes.size() >= 2 && Byte(bytes, 0) == 0xFE && Byte(bytes, 1) == 0xFF) {
    return ByteOrderMark::kUtf16Be;
  }
  return ByteOrderMark::kNone;
}

bool DecodeMarkedText(std::string_view bytes, std::string* utf8) {
  switch (DetectByteOrderMark(bytes)) {
    case ByteOrderMark::kNone:
      return false;
    case ByteOrderMark::kUtf8:
      utf8->assign(bytes.substr(3));
      return true;
    case ByteOrderMark::kUtf16Le:
    case ByteOrderMark::kUtf16Be:
      utf8->clear();
      AppendUtf16(bytes.substr(2),
                  DetectByteOrderMark(bytes) == ByteOrderMark::kUtf16Be, utf8);
      return true;
  }
  return false;
}

bool IsValidUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const size_t length = Utf8SequenceAt(bytes, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string DecodeGbk(std::string_view bytes) {
  std::string utf8;
  utf8.reserve(bytes.size() + bytes.size() / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned lead = Byte(bytes, i);
    if (lead < 0x80) {
      utf8 += static_cast<char>(lead);
      continue;
    }
    char32_t cp = GbkByteCodePoint(lead);
    if (lead >= 0x81 && lead <= 0xFE && i + 1 < bytes.size()) {
      const unsigned trail = Byte(bytes, i + 1);
      if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) {
        cp = GbkCodePoint(lead, trail);
        ++i;
      }
    }
    AppendUtf8(&utf8, cp != 0 ? cp : kReplacement);
  }
  return utf8;
}

char32_t GbkByteCodePoint(unsigned byte) {
  return byte >= 0x80 && byte <= 0xFF ? kGbkSingleByte[byte - 0x80] : 0;
}

char32_t GbkCodePoint(unsigned lead, unsigned trail) {
  if (lead < 0x81 || lead > 0xFE || trail < 0x40 || trail > 0xFE ||
      trail == 0x7F) {
    return 0;
  }
  return kGbkDoubleByte[(lead - 0x81) * 190 + trail - 0x40 -
                        (trail > 0x7F ? 1 : 0)];
}

std::string DecodeUnicodeOrGbk(std::string_view bytes) {
  std::string marked;
  if (!DecodeMarkedText(bytes, &marked)) {
    return IsValidUtf8(bytes) ? std::string(bytes) : DecodeGbk(bytes);
  }
  if (IsValidUtf8(marked)) return marked;
  // UTF-8 after its mark, but not all of it: each byte that starts no
  // well-formed sequence becomes U+FFFD.
  std::string utf8;
  for (size_t i = 0; i < marked.size();) {
    const size_t length = Utf8SequenceAt(marked, i);
    if (length == 0) {
      AppendUtf8(&utf8, kReplacement);
      ++i;
    } else {
      utf8.append(marked, i, length);
      i += length;
    }
  }
  return utf8;
}

void AppendUtf8(std::string* out, char32_t cp) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | cp >> 6);
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | cp >> 12);
    *out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | cp >> 18);
    *out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    *out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace geoanchor
