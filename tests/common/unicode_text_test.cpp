#include "common/unicode_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using std::string_literals::operator""s;

std::string Decoded(const std::string& bytes) {
  std::string text = "(unchanged)";
  DecodeMarkedText(bytes, &text);
  return text;
}

TEST(UnicodeTextTest, ByteOrderMarksAreDroppedAndUtf16Converted) {
  EXPECT_EQ("--a=报告", Decoded("\xEF\xBB\xBF--a=报告"));
  // 报 U+62A5, 告 U+544A, 𠀀 U+20000 (a surrogate pair), CR LF.
  EXPECT_EQ(
      "-a=报告𠀀\r\n",
      Decoded("\xFF\xFE-\0a\0=\0\xA5\x62\x4A\x54\x40\xD8\x00\xDC\r\0\n\0"s));
  EXPECT_EQ("-a=报告𠀀",
            Decoded("\xFE\xFF\0-\0a\0=\x62\xA5\x54\x4A\xD8\x40\xDC\x00"s));
  // An unpaired surrogate, and an odd last byte.
  EXPECT_EQ(
      "a\xEF\xBF\xBD"
      "b",
      Decoded("\xFF\xFE"
              "a\0\x00\xDC"
              "b\0\x7F"s));
  EXPECT_EQ("(unchanged)", Decoded("--a=1"));
  EXPECT_EQ("(unchanged)", Decoded("\xEF\xBB"));
  EXPECT_EQ(ByteOrderMark::kNone, DetectByteOrderMark(""));
}

TEST(UnicodeTextTest, Utf8Validity) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("--report=D:\\报告.json 도구 ß 𠀀"));
  EXPECT_FALSE(IsValidUtf8("\xB1\xA8\xB8\xE6"));  // 报告 in GBK
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong "/"
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // a surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xE6\x8A"));          // cut short
}

}  // namespace
