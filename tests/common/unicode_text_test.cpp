#include "common/unicode_text.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/common/converted_text.h"

namespace geoanchor {

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

// glibc's own GBK converter (its gconv module, compiled from tables of
// its own, not from the charmap our table is generated from): UTF-8, or ""
// when it refuses the bytes.
std::string GlibcGbk(const std::string& bytes) {
  const std::string utf8 = ConvertedText(bytes, "GBK", "UTF-8");
  return utf8 == "(not convertible)" ? "" : utf8;
}

TEST(UnicodeTextTest, GbkPairsDecodeAsGlibcsConverterDecodesThem) {
  int characters = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string pair = {static_cast<char>(lead),
                                static_cast<char>(trail)};
      const std::string want = GlibcGbk(pair);
      ASSERT_EQ(want.empty() ? "\xEF\xBF\xBD" : want, DecodeGbk(pair))
          << std::hex << lead << " " << trail;
      characters += !want.empty();
    }
  }
  // Code page 936's two-byte characters (Microsoft's CP936.TXT).
  EXPECT_EQ(21791, characters);
}

TEST(UnicodeTextTest, GbkAroundItsPairs) {
  struct Case {
    std::string gbk;
    std::string utf8;
  };
  const Case cases[] = {
      // 点号 (GB 2312 B5E3 BAC5), degrees, minutes, seconds (A1E3..A1E5).
      {"\xB5\xE3\xBA\xC5,\xA1\xE3\xA1\xE4\xA1\xE5", "点号,°′″"},
      {"\x80", "€"},  // code page 936's single-byte euro sign
      {"\xFF"
       "a",
       "\xEF\xBF\xBD"
       "a"},
      // A lead byte before a byte that is no trail: the separator survives.
      {"\xB5,1", "\xEF\xBF\xBD,1"},
      {"\xB5\x7F", "\xEF\xBF\xBD\x7F"},
      {"x\xB5", "x\xEF\xBF\xBD"},    // cut short
      {"\xA2\xA0", "\xEF\xBF\xBD"},  // a pair that names nothing
  };
  for (const Case& c : cases) EXPECT_EQ(c.utf8, DecodeGbk(c.gbk)) << c.gbk;
}

TEST(UnicodeTextTest, UnicodeOrGbkByItsBytes) {
  EXPECT_EQ("点号", DecodeUnicodeOrGbk("\xEF\xBB\xBF点号"));
  EXPECT_EQ("点号", DecodeUnicodeOrGbk("\xFF\xFE\xB9\x70\xF7\x53"s));
  EXPECT_EQ("点号", DecodeUnicodeOrGbk("点号"));
  EXPECT_EQ("点号", DecodeUnicodeOrGbk("\xB5\xE3\xBA\xC5"));
  // A UTF-8 mark before bytes that are not all UTF-8.
  EXPECT_EQ("点\xEF\xBF\xBD″", DecodeUnicodeOrGbk("\xEF\xBB\xBF点\xEF″"));
}

}  // namespace

}  // namespace geoanchor
