// The two languages in which the tool speaks to its user, and a text told
// in both.
//
// Every sentence a user must act on (a finding, an input mistake, a write
// failure, the plot's text) is made once, by the code that knows its
// figures, in English and in Chinese side by side; the output picks one.
// The figures, point names, file names and flags go into both as the same
// text, so that the two tell the same thing. The words are the glossary's
// (common/glossary.h). Standard output, the result file and the report's
// keys and codes are the same in every language: callers parse them.
#ifndef GEOANCHOR_COMMON_LANGUAGE_H_
#define GEOANCHOR_COMMON_LANGUAGE_H_

#include <string>
#include <utility>

namespace geoanchor {

enum class Language { kEnglish, kChinese };

// "en" or "zh": the report's "lang" and the --lang flag's values.
inline const char* LanguageCode(Language language) {
  return language == Language::kChinese ? "zh" : "en";
}

// A text in English and in (simplified) Chinese, UTF-8, one line each.
struct Message {
  std::string en;
  std::string zh;

  const std::string& In(Language language) const {
    return language == Language::kChinese ? zh : en;
  }
  bool empty() const { return en.empty() && zh.empty(); }
  Message& operator+=(const Message& more) {
    en += more.en;
    zh += more.zh;
    return *this;
  }
};

inline Message operator+(Message text, const Message& more) {
  text += more;
  return text;
}

// A text that reads the same in both languages: a number, a name, a path,
// a flag, a code.
inline Message Same(std::string text) {
  Message m;
  m.zh = text;
  m.en = std::move(text);
  return m;
}

inline Message operator+(Message text, const std::string& same) {
  text.en += same;
  text.zh += same;
  return text;
}

inline Message operator+(const std::string& same, const Message& text) {
  return Same(same) + text;
}

}  // namespace geoanchor

#endif  // GEOANCHOR_COMMON_LANGUAGE_H_
