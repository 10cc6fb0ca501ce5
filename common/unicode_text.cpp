#include "common/unicode_text.h"

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
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned lead = Byte(bytes, i);
    size_t length;
    char32_t min;
    char32_t cp;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, min = 0x80, cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, min = 0x800, cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, min = 0x10000, cp = lead & 0x07;
    } else {
      return false;
    }
    if (bytes.size() - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      const unsigned next = Byte(bytes, i + k);
      if ((next & 0xC0) != 0x80) return false;
      cp = cp << 6 | (next & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
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
    char32_t cp = kGbkSingleByte[lead - 0x80];
    if (lead >= 0x81 && lead <= 0xFE && i + 1 < bytes.size()) {
      const unsigned trail = Byte(bytes, i + 1);
      if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) {
        cp = kGbkDoubleByte[(lead - 0x81) * 190 + trail - 0x40 -
                            (trail > 0x7F ? 1 : 0)];
        ++i;
      }
    }
    AppendUtf8(&utf8, cp != 0 ? cp : kReplacement);
  }
  return utf8;
}

std::string DecodeUnicodeOrGbk(std::string_view bytes) {
  std::string utf8;
  if (DecodeMarkedText(bytes, &utf8)) return utf8;
  if (IsValidUtf8(bytes)) return std::string(bytes);
  return DecodeGbk(bytes);
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
