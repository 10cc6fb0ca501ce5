// What every message must hold in both its languages, as one check the
// tests of each stage apply to every message they make:
//  - both texts are there, each one line;
//  - the Chinese is Chinese: it holds Chinese characters, and no English
//    word but the allowed ones (units, systems' names, the tool's own
//    column names, codes, flags, paths and the user's own text);
//  - both carry the same figures, flags and user's text (point names,
//    paths, fields);
//  - the Chinese uses the glossary's word wherever the English uses its
//    term.
#ifndef GEOANCHOR_TESTS_COMMON_BILINGUAL_CHECKS_H_
#define GEOANCHOR_TESTS_COMMON_BILINGUAL_CHECKS_H_

#include <algorithm>
#include <cctype>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "common/glossary.h"
#include "common/language.h"

namespace geoanchor {
namespace bilingual {

// Latin words a Chinese message may hold: units, the names of systems and
// formats, and the tool's own column names and words of its outputs.
inline const std::set<std::string>& AllowedLatinWords() {
  static const std::set<std::string> words = {
      // units
      "m", "mm", "cm", "dm", "km", "ft", "in", "ppm", "rad", "ppb",
      // systems, formats, products
      "EPSG", "UTM", "WGS", "CGCS", "GCJ", "BD", "ENU", "ECEF", "QGIS", "CSV",
      "SVG", "JSON", "GeoJSON", "UTF", "GBK", "BOM", "CAD", "GeoAnchorSolve",
      "Ceres", "DUZEradozediva", "json", "csv", "svg", "txt", "points", "NaN",
      "nan", "inf", "Krüger", "sigma", "σ", "GNSS",
      // a scene's metadata: the coordinate system's text form, the files,
      // their elements and keys, and their producers' names
      "WKT", "SRS", "SRSOrigin", "ModelMetadata", "DOCTYPE", "XML", "xml",
      "metadata", "tileset", "D", "Tiles", "transform", "root", "ContextCapture",
      "matrix_scene",
      // the tool's flags as its messages name them, without their dashes
      "DWGsrcpoints", "DWGdespoints", "basepoint", "modelpoint",
      // the tool's table columns and its axes
      "lon", "lat", "use", "name", "x", "y", "z", "h", "X", "Y", "Z", "H", "E",
      "N", "S", "W", "A", "B", "K", "dX", "dY", "d", "mmss", "e"};
  return words;
}

inline std::string Lower(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return text;
}

// `text` without each occurrence of `verbatim`'s strings (the user's own
// text, which reads the same in both), of flags ("--scale") and of codes
// and paths: what is left is the message's own words and figures.
inline std::string WithoutVerbatim(std::string text,
                                   const std::vector<std::string>& verbatim) {
  std::vector<std::string> sorted = verbatim;
  std::sort(sorted.begin(), sorted.end(),
            [](const std::string& a, const std::string& b) {
              return a.size() > b.size();
            });
  for (const std::string& v : sorted) {
    if (v.empty()) continue;
    for (size_t at = text.find(v); at != std::string::npos;
         at = text.find(v, at)) {
      text.replace(at, v.size(), " ");
    }
  }
  static const std::regex kFlagsCodesPaths(
      R"(--?[A-Za-z][A-Za-z0-9_]*|[A-Za-z0-9]+_[A-Za-z0-9_]+|)"
      R"([A-Za-z0-9_:\\/.-]*[\\/][A-Za-z0-9_:\\/.-]*|[A-Za-z0-9_-]+\.[A-Za-z]{2,4}\b)");
  return std::regex_replace(text, kFlagsCodesPaths, " ");
}

inline std::set<std::string> Matches(const std::string& text,
                                     const std::regex& pattern) {
  std::set<std::string> found;
  for (std::sregex_iterator it(text.begin(), text.end(), pattern), end;
       it != end; ++it) {
    found.insert(it->str());
  }
  return found;
}

inline std::string Joined(const std::set<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
  return text;
}

// The faults of `message`, one per line; "" for a sound one. `verbatim`
// lists the user's own text the message may quote (point names, paths,
// fields, column headers), which both languages must carry alike.
inline std::string Faults(const Message& message,
                          const std::vector<std::string>& verbatim = {}) {
  std::string faults;
  auto fault = [&faults](const std::string& what) { faults += what + "\n"; };
  if (message.en.empty()) fault("no English text");
  if (message.zh.empty()) fault("no Chinese text");
  for (const std::string* text : {&message.en, &message.zh}) {
    if (text->find_first_of("\r\n") != std::string::npos) {
      fault("more than one line: " + *text);
    }
  }
  if (!faults.empty()) return faults;

  // Any character of the CJK block, as UTF-8: E4..E9 lead bytes.
  if (std::none_of(message.zh.begin(), message.zh.end(), [](char c) {
        const unsigned char b = static_cast<unsigned char>(c);
        return b >= 0xE4 && b <= 0xE9;
      })) {
    fault("the Chinese holds no Chinese character: " + message.zh);
  }

  // The same figures, flags and user's text in both.
  static const std::regex kFlag(R"(--?[A-Za-z][A-Za-z0-9_]*)");
  static const std::regex kFigure(R"(\d+(?:\.\d+)?)");
  const std::set<std::string> flags_en = Matches(message.en, kFlag),
                              flags_zh = Matches(message.zh, kFlag);
  std::set<std::string> flag_names_en, flag_names_zh;
  for (const std::string& f : flags_en) {
    if (f.rfind("--", 0) == 0) flag_names_en.insert(f);
  }
  for (const std::string& f : flags_zh) {
    if (f.rfind("--", 0) == 0) flag_names_zh.insert(f);
  }
  if (flag_names_en != flag_names_zh) {
    fault("flags differ: en {" + Joined(flag_names_en) + "} zh {" +
          Joined(flag_names_zh) + "}");
  }
  for (const std::string& v : verbatim) {
    if (v.empty()) continue;
    const bool en = message.en.find(v) != std::string::npos;
    const bool zh = message.zh.find(v) != std::string::npos;
    if (en != zh) fault("\"" + v + "\" is in only one language");
  }
  const std::string own_en = WithoutVerbatim(message.en, verbatim);
  const std::string own_zh = WithoutVerbatim(message.zh, verbatim);
  const std::set<std::string> figures_en = Matches(own_en, kFigure),
                              figures_zh = Matches(own_zh, kFigure);
  if (figures_en != figures_zh) {
    fault("figures differ: en {" + Joined(figures_en) + "} zh {" +
          Joined(figures_zh) + "}");
  }

  // No English word left in the Chinese.
  static const std::regex kWord(R"([A-Za-z\xC3-\xCF][A-Za-z\x80-\xBF]*)");
  std::set<std::string> english;
  for (const std::string& word : Matches(own_zh, kWord)) {
    if (AllowedLatinWords().count(word) == 0) english.insert(word);
  }
  if (!english.empty()) {
    fault("English words in the Chinese: " + Joined(english) + " in " +
          message.zh);
  }

  // The glossary's word for each of its terms the English uses.
  const std::string lower_en = Lower(own_en);
  for (const GlossaryTerm& term : kGlossary) {
    if (lower_en.find(term.en) != std::string::npos &&
        message.zh.find(term.zh) == std::string::npos) {
      fault(std::string("\"") + term.en + "\" is not \"" + term.zh +
            "\" in the Chinese: " + message.zh);
    }
  }
  return faults;
}

}  // namespace bilingual
}  // namespace geoanchor

#endif  // GEOANCHOR_TESTS_COMMON_BILINGUAL_CHECKS_H_
