// The message check itself: it passes a sound pair and names each fault a
// forgotten or careless translation makes.
#include "tests/common/bilingual_checks.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/glossary.h"
#include "platform/platform.h"

namespace geoanchor {
namespace {

TEST(BilingualChecksTest, NamesEachFault) {
  struct Case {
    const char* what;
    Message message;
    const char* fault;  // a fragment of the faults; "" for none
  };
  const Message sound{
      "point K7's easting 448324.112 lacks the zone number 39: write "
      "39448324.112, or give --scale=1",
      "点 K7 的东坐标 448324.112 缺少带号 39：应写为 39448324.112，"
      "或给出 --scale=1"};
  const Case cases[] = {
      {"sound", sound, ""},
      {"no Chinese", Message{sound.en, ""}, "no Chinese text"},
      {"the English copied", Message{sound.en, sound.en},
       "holds no Chinese character"},
      {"two lines", Message{sound.en, "点 K7\n的东坐标"}, "more than one line"},
      {"a figure changed",
       Message{sound.en,
               "点 K7 的东坐标 448324.11 缺少带号 39：应写为 39448324.112，"
               "或给出 --scale=1"},
       "figures differ"},
      {"a flag lost",
       Message{sound.en,
               "点 K7 的东坐标 448324.112 缺少带号 39：应写为 39448324.112"},
       "flags differ"},
      {"the name lost",
       Message{sound.en,
               "该点的东坐标 448324.112 缺少带号 39：应写为 39448324.112，"
               "或给出 --scale=1"},
       "\"K7\" is in only one language"},
      {"an English word left",
       Message{sound.en,
               "点 K7 的东坐标 448324.112 lacks 带号 39：应写为 39448324.112，"
               "或给出 --scale=1"},
       "English words in the Chinese: lacks"},
      {"another word for a term",
       Message{sound.en,
               "点 K7 的东坐标 448324.112 缺少投影带编号 39：应写为 "
               "39448324.112，或给出 --scale=1"},
       "\"zone number\" is not \"带号\""},
  };
  for (const Case& c : cases) {
    const std::string faults = bilingual::Faults(c.message, {"K7"});
    if (c.fault[0] == '\0') {
      EXPECT_EQ("", faults) << c.what;
    } else {
      EXPECT_NE(std::string::npos, faults.find(c.fault))
          << c.what << ": " << faults;
    }
  }
}

// The README's glossary is the code's: each term's row holds its word.
TEST(GlossaryTest, ReadmeListsEveryTermWithItsWord) {
  std::ifstream in(GEOANCHOR_README);
  ASSERT_TRUE(in) << GEOANCHOR_README;
  std::vector<std::string> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("| ", 0) == 0) rows.push_back(bilingual::Lower(line));
  }
  for (const GlossaryTerm& term : kGlossary) {
    const bool listed =
        std::any_of(rows.begin(), rows.end(), [&](const std::string& row) {
          return row.find(term.en) != std::string::npos &&
                 row.find(term.zh) != std::string::npos;
        });
    EXPECT_TRUE(listed) << term.en << " / " << term.zh;
  }
}

// POSIX's order of the locale variables, each read as it is written.
TEST(LanguageTest, LocaleVariablesInPosixOrder) {
  struct Case {
    const char *lc_all, *lc_messages, *lang;
    Language language;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, Language::kEnglish},
      {nullptr, nullptr, "zh_CN.UTF-8", Language::kChinese},
      {nullptr, nullptr, "zh_TW.UTF-8", Language::kChinese},
      {nullptr, nullptr, "zh_CN.GB18030", Language::kChinese},
      {nullptr, nullptr, "zh", Language::kChinese},
      {nullptr, nullptr, "en_US.UTF-8", Language::kEnglish},
      {nullptr, nullptr, "de_DE.UTF-8", Language::kEnglish},
      {nullptr, nullptr, "C", Language::kEnglish},
      {"", "", "zh_CN.UTF-8", Language::kChinese},  // empty is unset
      {"C", nullptr, "zh_CN.UTF-8", Language::kEnglish},
      {"zh_CN.UTF-8", "en_US.UTF-8", "en_US.UTF-8", Language::kChinese},
      {nullptr, "zh_CN.UTF-8", "en_US.UTF-8", Language::kChinese},
      {nullptr, "en_US.UTF-8", "zh_CN.UTF-8", Language::kEnglish},
      {nullptr, nullptr, "chinese", Language::kEnglish},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.language,
              LanguageOfLocaleVariables(c.lc_all, c.lc_messages, c.lang))
        << (c.lc_all ? c.lc_all : "-") << " "
        << (c.lc_messages ? c.lc_messages : "-") << " "
        << (c.lang ? c.lang : "-");
  }
}

}  // namespace
}  // namespace geoanchor
