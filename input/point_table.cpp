#include "input/point_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <system_error>
#include <utility>

#include "common/unicode_text.h"
#include "input/input_checks.h"

namespace geoanchor {

namespace {

enum Column { kName, kX, kY, kZ, kLon, kLat, kH, kUse, kColumns };

// The use column's inverse: 是 marks a check point.
constexpr std::string_view kCheckPointName = "检查点";

struct ColumnNames {
  const char* canonical;
  // Lower case, as the header's names are compared after lowering ASCII.
  std::vector<std::string_view> names;
  // For a message: the names as a user writes them.
  std::vector<std::string_view> listed;
  // Names compared with blanks and underscores left out as well
  // ("Ellipsoidal Height", "ellipsoidal_height").
  std::vector<std::string_view> loose_names;
};

// X坐标 and Y坐标 are the Chinese surveyors' X, the northing, and Y, the
// easting; where the values tell otherwise they are exchanged, as x and y
// are (DrawingAxesExchanged).
const ColumnNames& NamesOf(int column) {
  static const ColumnNames kNames[kColumns] = {
      {"name", {"name", "点号", "点名"}, {"name", "点号", "点名"}, {}},
      {"x",
       {"x", "east", "东坐标", "sourcex", "y坐标"},
       {"x", "east", "easting", "东坐标", "Y坐标", "sourceX"},
       {"easting"}},
      {"y",
       {"y", "north", "北坐标", "sourcey", "x坐标"},
       {"y", "north", "northing", "北坐标", "X坐标", "sourceY"},
       {"northing"}},
      {"z", {"z", "高程", "正常高"}, {"z", "高程", "正常高"}, {}},
      {"lon",
       {"lon", "longitude", "lng", "l", "经度", "mapx"},
       {"lon", "longitude", "lng", "L", "经度", "mapX"},
       {}},
      {"lat",
       {"lat", "latitude", "b", "纬度", "mapy"},
       {"lat", "latitude", "B", "纬度", "mapY"},
       {}},
      {"h",
       {"h", "大地高", "椭球高"},
       {"h", "大地高", "椭球高", "Ellipsoidal Height"},
       {"ellipsoidalheight"}},
      {"use",
       {"use", "enable", "参与计算", "是否参与", kCheckPointName},
       {"use", "enable"},
       {}},
  };
  return kNames[column];
}

// `names` as a list in a sentence: "x, east or sourceX", "x、east 或 sourceX".
Message ListedNames(const std::vector<std::string_view>& names) {
  Message text;
  for (size_t k = 0; k < names.size(); ++k) {
    if (k > 0) {
      text +=
          k + 1 == names.size() ? Message{" or ", " 或 "} : Message{", ", "、"};
    }
    text += Same(std::string(names[k]));
  }
  return text;
}

// Columns known to hold nothing the fit takes: QGIS's residuals of its own
// fit, and a surveyor's notes and row numbers. They are not reported as
// ignored.
bool SilentColumn(const std::string& key) {
  for (std::string_view name :
       {"dx", "dy", "residual", "备注", "说明", "序号"}) {
    if (key == name) return true;
  }
  return false;
}

// Drawing x and y headers that do not say which is the easting: x and y
// mean it in a CAD user's table, the other way round in a surveyor's.
bool AmbiguousAxisName(const std::string& key) {
  return key == "x" || key == "y" || key == "x坐标" || key == "y坐标";
}

// The values of a national grid: a Gauss-Krueger or UTM northing of China's
// latitudes, and an easting (false easting 500 km, so 100 to 900 km), with
// or without its zone number in front (6-degree zones 13 to 23, 3-degree
// zones 25 to 45).
bool NorthingLike(double north_m) { return north_m >= 1e6 && north_m <= 6e6; }
bool EastingLike(double east_m) {
  const double zone = std::floor(east_m / 1e6);
  const bool numbered =
      (zone >= 13 && zone <= 23) || (zone >= 25 && zone <= 45);
  const double in_zone_m = numbered ? east_m - zone * 1e6 : east_m;
  return in_zone_m >= 1e5 && in_zone_m <= 9e5;
}

// Whether most points' x is northing-like and their y easting-like: the
// columns are then the surveyors' X (north) and Y (east). Most, not all:
// one mistyped point must not turn the whole drawing over.
bool DrawingAxesExchanged(const std::vector<TablePoint>& points) {
  size_t exchanged = 0;
  for (const TablePoint& p : points) {
    exchanged += NorthingLike(p.source.x) && EastingLike(p.source.y);
  }
  return 2 * exchanged > points.size();
}

// Whether a header name holds a Chinese character (U+4000 to U+9FFF, whose
// UTF-8 starts with 0xE4 to 0xE9).
bool HasChinese(std::string_view name) {
  for (char c : name) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b >= 0xE4 && b <= 0xE9) return true;
  }
  return false;
}

// Blanks around a field: space, tab, and the no-break and ideographic
// spaces that spreadsheets and Chinese input methods leave.
size_t BlankAt(std::string_view s, size_t i) {
  if (i >= s.size()) return 0;
  if (s[i] == ' ' || s[i] == '\t') return 1;
  if (s.compare(i, 2, "\xC2\xA0") == 0) return 2;
  if (s.compare(i, 3, "\xE3\x80\x80") == 0) return 3;
  return 0;
}

bool EndsWithBlank(std::string_view s, size_t* size) {
  for (std::string_view blank : {" ", "\t", "\xC2\xA0", "\xE3\x80\x80"}) {
    if (s.size() >= blank.size() &&
        s.compare(s.size() - blank.size(), blank.size(), blank) == 0) {
      *size = blank.size();
      return true;
    }
  }
  return false;
}

std::string_view Trimmed(std::string_view s) {
  while (size_t n = BlankAt(s, 0)) s.remove_prefix(n);
  size_t n = 0;
  while (EndsWithBlank(s, &n)) s.remove_suffix(n);
  return s;
}

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

struct Line {
  int number = 0;  // counting from 1
  std::string_view text;
};

// The text's lines, ended by LF, CR LF or CR.
std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  int number = 1;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != '\n' && text[i] != '\r') continue;
    lines.push_back(Line{number++, text.substr(start, i - start)});
    if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  return lines;
}

struct Fields {
  std::vector<std::string> values;  // trimmed, quotes removed
  bool unclosed_quote = false;
  size_t unclosed_field = 0;  // counting from 1
};

// Splits a line at `separator` (0: runs of blanks). A field whose first
// character other than a blank is '"' is quoted up to the next '"' that is
// not doubled; text after the closing quote, up to the separator, is kept.
Fields SplitFields(std::string_view line, char separator) {
  Fields f;
  // Blanks around fields; a tab that separates them is none.
  const auto blank_at = [&](size_t k) {
    return separator == '\t' && k < line.size() && line[k] == '\t'
               ? 0
               : BlankAt(line, k);
  };
  const auto is_separator = [&](size_t k) {
    return separator != 0 ? line[k] == separator : BlankAt(line, k) > 0;
  };
  size_t i = 0;
  while (size_t n = blank_at(i)) i += n;
  if (separator == 0 && i == line.size()) return f;
  while (true) {
    std::string value;
    if (i < line.size() && line[i] == '"') {
      bool closed = false;
      for (++i; i < line.size() && !closed; ++i) {
        if (line[i] != '"') {
          value += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
          value += '"';
          ++i;
        } else {
          closed = true;
        }
      }
      if (!closed) {
        f.unclosed_quote = true;
        f.unclosed_field = f.values.size() + 1;
        return f;
      }
    }
    const size_t rest = i;
    while (i < line.size() && !is_separator(i)) ++i;
    value += line.substr(rest, i - rest);
    f.values.push_back(std::string(Trimmed(value)));
    if (i >= line.size()) break;
    if (separator != 0) ++i;  // the separator
    while (size_t n = blank_at(i)) i += n;
    // Blanks at the end of a blank-separated line start no field; a last
    // separator starts an empty one.
    if (separator == 0 && i == line.size()) break;
  }
  return f;
}

// The separator the header shows: the most frequent of tab, semicolon and
// comma outside quotes (in that order on a tie), or 0 for runs of blanks.
char DetectSeparator(std::string_view header) {
  int counts[3] = {0, 0, 0};
  const char candidates[3] = {'\t', ';', ','};
  bool quoted = false;
  for (char c : header) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    for (int k = 0; k < 3; ++k) counts[k] += c == candidates[k];
  }
  int best = -1;
  for (int k = 0; k < 3; ++k) {
    if (counts[k] > 0 && (best < 0 || counts[k] > counts[best])) best = k;
  }
  return best < 0 ? 0 : candidates[best];
}

// A header name without its unit in brackets, lower case.
std::string HeaderKey(std::string_view name) {
  name = Trimmed(name);
  struct Brackets {
    std::string_view open, close;
  };
  for (const Brackets& b : {Brackets{"(", ")"}, Brackets{"[", "]"},
                            Brackets{"\xEF\xBC\x88", "\xEF\xBC\x89"}}) {
    if (name.size() < b.close.size() ||
        name.compare(name.size() - b.close.size(), b.close.size(), b.close) !=
            0) {
      continue;
    }
    const size_t open = name.rfind(b.open);
    if (open != std::string_view::npos && open > 0) {
      name = Trimmed(name.substr(0, open));
      break;
    }
  }
  return AsciiLower(name);
}

// Whether the WKT of a "#CRS:" line is a projected system: a projected
// keyword before any geographic one (a bound or compound CRS names its
// base inside).
bool ProjectedCrs(std::string_view wkt) {
  const std::string upper = [&] {
    std::string u(wkt);
    for (char& c : u) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return u;
  }();
  size_t first_projected = std::string::npos;
  size_t first_geographic = std::string::npos;
  for (const char* k : {"PROJCRS[", "PROJCS[", "PROJECTEDCRS["}) {
    first_projected = std::min(first_projected, upper.find(k));
  }
  for (const char* k :
       {"GEOGCRS[", "GEOGCS[", "GEOGRAPHICCRS[", "GEODCRS[", "GEODETICCRS["}) {
    size_t at = upper.find(k);
    // BASEGEOGCRS is a projected system's base, not a system of its own.
    while (at != std::string::npos && at >= 4 &&
           upper.compare(at - 4, 4, "BASE") == 0) {
      at = upper.find(k, at + 1);
    }
    first_geographic = std::min(first_geographic, at);
  }
  return first_projected < first_geographic;
}

// A number as the whole field: [sign] digits [. digits] [e|E [sign] digits]
// (digits on at least one side of the point), read correctly rounded.
enum class NumberRead { kOk, kNotANumber, kOutOfRange };
NumberRead ReadNumber(std::string_view s, double* value) {
  size_t i = 0;
  const bool minus = i < s.size() && s[i] == '-';
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  const size_t digits_start = i;
  size_t mantissa_digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++mantissa_digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++mantissa_digits;
  }
  if (mantissa_digits == 0) return NumberRead::kNotANumber;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t exponent_digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++exponent_digits;
    if (exponent_digits == 0) return NumberRead::kNotANumber;
  }
  if (i != s.size()) return NumberRead::kNotANumber;
  double v = 0.0;
  const char* begin = s.data() + digits_start;
  const std::from_chars_result r = std::from_chars(begin, s.data() + i, v);
  if (r.ec == std::errc::result_out_of_range) {
    // Overflow is out of range; underflow is a tiny number, as strtod has it.
    const std::string copy(begin, s.data() + i);
    v = std::strtod(copy.c_str(), nullptr);
    if (std::isinf(v)) {
      *value = minus ? -v : v;
      return NumberRead::kOutOfRange;
    }
  } else if (r.ec != std::errc() || r.ptr != s.data() + i) {
    return NumberRead::kNotANumber;
  }
  *value = minus ? -v : v;
  return NumberRead::kOk;
}

// Whether `s` at `*i` starts with one of `marks`; moves past it.
bool TakeMark(std::string_view s, size_t* i,
              std::initializer_list<std::string_view> marks) {
  for (std::string_view mark : marks) {
    if (s.compare(*i, mark.size(), mark) == 0) {
      *i += mark.size();
      return true;
    }
  }
  return false;
}

// An unsigned number at `*i`, up to the first character that is no part of
// one; moves past it.
bool TakeUnsigned(std::string_view s, size_t* i, double* value) {
  const size_t start = *i;
  while (*i < s.size() && ((s[*i] >= '0' && s[*i] <= '9') || s[*i] == '.' ||
                           s[*i] == 'e' || s[*i] == 'E' ||
                           ((s[*i] == '+' || s[*i] == '-') && *i > start &&
                            (s[*i - 1] == 'e' || s[*i - 1] == 'E')))) {
    ++*i;
  }
  if (*i == start || s[start] == 'e' || s[start] == 'E') return false;
  return ReadNumber(s.substr(start, *i - start), value) == NumberRead::kOk;
}

void SkipBlanks(std::string_view s, size_t* i) {
  while (size_t n = BlankAt(s, *i)) *i += n;
}

bool WholeNumber(double v) { return v == std::floor(v); }

// A hemisphere letter before or after a field's text ("N30°35′54.3″",
// "120°12′3.5″E"): 'N', 'S', 'E' or 'W' (either case), or 0 for none;
// the text without it.
char TakeHemisphere(std::string_view* s) {
  const auto letter = [](char c) {
    const char upper = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    return upper == 'N' || upper == 'S' || upper == 'E' || upper == 'W' ? upper
                                                                        : '\0';
  };
  char h = 0;
  if (!s->empty() && (h = letter(s->front())) != 0) {
    s->remove_prefix(1);
  } else if (!s->empty() && (h = letter(s->back())) != 0) {
    s->remove_suffix(1);
  }
  *s = Trimmed(*s);
  return h;
}

// An angle: decimal degrees, or degrees, minutes and seconds (see the
// header), a longitude when `longitude` (the hemisphere letters it takes
// are E and W), else a latitude (N and S). kNotANumber for text that is no
// angle at all; `*why` says what is wrong with one whose minutes or
// seconds are out of range or whose letter is the other coordinate's.
NumberRead ReadAngle(std::string_view s, bool longitude, double* deg,
                     Message* why) {
  const NumberRead plain = ReadNumber(s, deg);
  if (plain != NumberRead::kNotANumber) return plain;
  const char hemisphere = TakeHemisphere(&s);
  size_t i = 0;
  const bool signed_text = i < s.size() && (s[i] == '+' || s[i] == '-');
  bool minus = signed_text && s[i] == '-';
  if (signed_text) ++i;
  if (hemisphere != 0 && signed_text) return NumberRead::kNotANumber;
  double parts[3] = {0.0, 0.0, 0.0};
  int count = 0;
  if (!TakeUnsigned(s, &i, &parts[0])) return NumberRead::kNotANumber;
  count = 1;
  SkipBlanks(s, &i);
  if (TakeMark(s, &i, {"\xC2\xB0", "\xC2\xBA", "度"})) {
    // Symbols: 116°23′45.67″, each later part optional.
    static const std::initializer_list<std::string_view> kMarks[2] = {
        {"\xE2\x80\xB2", "'", "\xE2\x80\x99", "分"},
        {"\xE2\x80\xB3", "''", "\"", "\xE2\x80\x9D", "秒"}};
    for (int part = 1; part < 3; ++part) {
      SkipBlanks(s, &i);
      if (i == s.size()) break;
      if (!TakeUnsigned(s, &i, &parts[part])) return NumberRead::kNotANumber;
      SkipBlanks(s, &i);
      // A last part may leave out its mark: 116°23′45.67.
      if (!TakeMark(s, &i, kMarks[part - 1]) && i != s.size()) {
        return NumberRead::kNotANumber;
      }
      count = part + 1;
    }
    SkipBlanks(s, &i);
    if (i != s.size()) return NumberRead::kNotANumber;
  } else if (i < s.size() && s[i] == ':') {
    // Colons: 30:35:54.30970 or 30:35.9.
    while (i < s.size() && s[i] == ':' && count < 3) {
      ++i;
      if (!TakeUnsigned(s, &i, &parts[count])) return NumberRead::kNotANumber;
      ++count;
    }
    if (i != s.size()) return NumberRead::kNotANumber;
  } else {
    // Blanks: 116 23 45.67 in a field of its own.
    while (i < s.size() && count < 3) {
      if (!TakeUnsigned(s, &i, &parts[count])) return NumberRead::kNotANumber;
      ++count;
      SkipBlanks(s, &i);
    }
    if (i != s.size() || count < 2) return NumberRead::kNotANumber;
  }
  if (hemisphere != 0) {
    const bool east_west = hemisphere == 'E' || hemisphere == 'W';
    if (east_west != longitude) {
      *why = longitude ? Message{"N and S are a latitude's hemispheres",
                                 "N 和 S 是纬度的半球"}
                       : Message{"E and W are a longitude's hemispheres",
                                 "E 和 W 是经度的半球"};
      return NumberRead::kNotANumber;
    }
    minus = hemisphere == 'S' || hemisphere == 'W';
  }
  for (int part = 0; part + 1 < count; ++part) {
    if (!WholeNumber(parts[part])) {
      *why = part == 0
                 ? Message{"the degrees before minutes must be a whole number",
                           "有分时，度须为整数"}
                 : Message{"the minutes before seconds must be a whole number",
                           "有秒时，分须为整数"};
      return NumberRead::kNotANumber;
    }
  }
  for (int part = 1; part < count; ++part) {
    if (!(parts[part] < 60.0)) {
      *why = {"minutes and seconds must be below 60", "分和秒须小于 60"};
      return NumberRead::kNotANumber;
    }
  }
  const double v = parts[0] + parts[1] / 60.0 + parts[2] / 3600.0;
  *deg = minus ? -v : v;
  return std::isfinite(v) ? NumberRead::kOk : NumberRead::kOutOfRange;
}

// 1 or 0, yes or no, true or false, 是 or 否; empty: 1.
bool ReadUse(std::string_view s, bool* used) {
  const std::string v = AsciiLower(s);
  if (v.empty() || v == "1" || v == "yes" || v == "true" || v == "是") {
    *used = true;
    return true;
  }
  if (v == "0" || v == "no" || v == "false" || v == "否") {
    *used = false;
    return true;
  }
  return false;
}

class Reader {
 public:
  Reader(const std::string& label, bool read_heights)
      : label_(label), read_heights_(read_heights) {}

  bool Read(std::string_view bytes, PointTable* table) {
    const std::string text = DecodeUnicodeOrGbk(bytes);
    bool header_seen = false;
    bool projected = false;
    std::string crs;
    int crs_line = 0;
    for (const Line& line : SplitLines(text)) {
      const std::string_view content = Trimmed(line.text);
      if (content.empty()) continue;
      if (content[0] == '#') {
        if (!header_seen && content.compare(0, 5, "#CRS:") == 0) {
          crs = std::string(Trimmed(content.substr(5)));
          crs_line = line.number;
          projected = ProjectedCrs(crs);
        }
        continue;
      }
      if (!header_seen) {
        if (projected) {
          return Fail(
              InputErrorCode::kProjectedCrs, crs_line, "",
              {"the #CRS line names a projected system (" + Excerpt(crs) +
                   "), but mapX and mapY must be longitude and "
                   "latitude",
               "#CRS 行给出的是投影坐标系（" + Excerpt(crs) +
                   "），而 mapX 和 mapY 须为经度和纬度"},
              {"save the points from QGIS with a geographic CRS such "
               "as WGS 84 (EPSG:4326)",
               "请在 QGIS 中以地理坐标系（如 WGS 84，EPSG:4326）"
               "保存这些点"});
        }
        header_seen = true;
        table->header_line = line.number;
        separator_ = DetectSeparator(content);
        if (!ReadHeader(line)) return false;
        table->has_heights = index_[kH] >= 0;
        if (!read_heights_) index_[kZ] = index_[kH] = -1;
        continue;
      }
      // The line as it is: with tabs between fields, a leading or trailing
      // one is an empty field.
      const Fields fields = SplitFields(line.text, separator_);
      if (fields.unclosed_quote) return FailUnclosedQuote(line, fields);
      bool empty = true;
      for (const std::string& v : fields.values) empty = empty && v.empty();
      if (empty) continue;  // a spreadsheet's empty row: ",,,,"
      TablePoint point;
      if (!ReadRow(line.number, fields.values, &point)) return false;
      table->points.push_back(std::move(point));
    }
    if (!header_seen) {
      return Fail(InputErrorCode::kNoHeader, 0, "",
                  {"no header line (nothing but blank lines and # comments)",
                   "没有表头行（只有空行和 # 注释）"},
                  {"start the table with a line that names its columns, such "
                   "as name,x,y,lon,lat,h",
                   "请以一行列名开始表格，如 name,x,y,lon,lat,h"});
    }
    if (table->points.empty()) {
      const std::string header = std::to_string(table->header_line);
      return Fail(
          InputErrorCode::kNoRows, 0, "",
          {"no control points below the header on line " + header,
           "第 " + header + " 行的表头下面没有控制点"},
          {"give one point a line below it", "请在表头下面每行给出一个点"});
    }
    if (ambiguous_axes_ && DrawingAxesExchanged(table->points)) {
      for (TablePoint& p : table->points) std::swap(p.source.x, p.source.y);
      std::swap(header_names_[kX], header_names_[kY]);
    }
    table->easting_column = header_names_[kX];
    table->northing_column = header_names_[kY];
    table->ignored_columns = std::move(ignored_columns_);
    return true;
  }

  const InputError& error() const { return error_; }

 private:
  // The file, its line, its column ("": the line as a whole; `line` 0: the
  // file as a whole).
  InputPlace Place(int line, const std::string& column) const {
    return InputPlace{label_, 0, line, column};
  }

  bool Fail(InputErrorCode code, int line, const std::string& column,
            Message found, Message remedy) {
    error_ = InputError{code, Place(line, column), std::move(found),
                        std::move(remedy)};
    return false;
  }

  bool FailUnclosedQuote(const Line& line, const Fields& fields) {
    const std::string field = std::to_string(fields.unclosed_field);
    return Fail(
        InputErrorCode::kUnclosedQuote, line.number, "",
        {"the quote that opens field " + field + " is not closed",
         "第 " + field + " 个字段开头的引号没有闭合"},
        {"close it with '\"', or remove it", "请用 '\"' 闭合它，或删去它"});
  }

  // A field's text in a message: quoted, and cut at 60 bytes (on a
  // character's boundary).
  static std::string Excerpt(std::string_view text) {
    if (text.size() > 60) {
      size_t cut = 60;
      while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
      return std::string(text.substr(0, cut)) + "...";
    }
    return std::string(text);
  }
  static std::string Quoted(std::string_view text) {
    return "'" + Excerpt(text) + "'";
  }

  // The column each header name gives (-1: none), in the header's order.
  // A bare H is the normal height (正常高), the drawing's z, when another
  // column gives the ellipsoidal height (大地高, Ellipsoidal Height).
  static std::vector<int> HeaderColumns(const std::vector<std::string>& names) {
    std::vector<int> columns(names.size(), -1);
    int h_columns = 0;
    for (size_t f = 0; f < names.size(); ++f) {
      const std::string key = HeaderKey(names[f]);
      std::string loose;
      for (char ch : key) {
        if (ch != ' ' && ch != '_') loose += ch;
      }
      for (int c = 0; c < kColumns && columns[f] < 0; ++c) {
        bool match = false;
        for (std::string_view name : NamesOf(c).names) match |= key == name;
        for (std::string_view name : NamesOf(c).loose_names) {
          match |= loose == name;
        }
        if (match) columns[f] = c;
      }
      h_columns += columns[f] == kH;
    }
    if (h_columns > 1) {
      for (size_t f = 0; f < names.size(); ++f) {
        if (columns[f] == kH && HeaderKey(names[f]) == "h") columns[f] = kZ;
      }
    }
    return columns;
  }

  bool ReadHeader(const Line& line) {
    Fields fields = SplitFields(line.text, separator_);
    if (fields.unclosed_quote) return FailUnclosedQuote(line, fields);
    // Between runs of blanks, a unit written apart ("x (m)") belongs to
    // the name before it.
    if (separator_ == 0) {
      std::vector<std::string> names;
      for (std::string& v : fields.values) {
        const bool unit =
            !names.empty() && (v[0] == '(' || v[0] == '[' ||
                               v.compare(0, 3, "\xEF\xBC\x88") == 0);
        if (unit) {
          names.back() += " " + v;
        } else {
          names.push_back(std::move(v));
        }
      }
      fields.values = std::move(names);
    }
    header_fields_ = fields.values.size();
    const std::vector<int> columns = HeaderColumns(fields.values);
    for (size_t f = 0; f < fields.values.size(); ++f) {
      const int c = columns[f];
      if (c < 0) {
        const std::string key = HeaderKey(fields.values[f]);
        if (!key.empty() && !SilentColumn(key)) {
          ignored_columns_.push_back(fields.values[f]);
        }
        continue;
      }
      if (index_[c] >= 0) {
        const std::string first = std::to_string(index_[c] + 1);
        const std::string second = std::to_string(f + 1);
        return Fail(
            InputErrorCode::kDuplicateColumn, line.number, "",
            {"columns " + first + " (" + Quoted(header_names_[c]) + ") and " +
                 second + " (" + Quoted(fields.values[f]) + ") both give " +
                 NamesOf(c).canonical,
             "第 " + first + " 列（" + Quoted(header_names_[c]) + "）和第 " +
                 second + " 列（" + Quoted(fields.values[f]) + "）都给出 " +
                 NamesOf(c).canonical},
            {"keep one of them", "请只保留其中一列"});
      }
      index_[c] = static_cast<int>(f);
      header_names_[c] = fields.values[f];
    }
    ambiguous_axes_ = index_[kX] >= 0 && index_[kY] >= 0 &&
                      AmbiguousAxisName(HeaderKey(header_names_[kX])) &&
                      AmbiguousAxisName(HeaderKey(header_names_[kY]));
    if (index_[kUse] >= 0) {
      const std::string key = HeaderKey(header_names_[kUse]);
      inverse_use_ = key == kCheckPointName;
      chinese_use_ = HasChinese(key);
    }
    for (int c : {kX, kY, kLon, kLat}) {
      if (index_[c] < 0) {
        const std::string canonical = NamesOf(c).canonical;
        return Fail(InputErrorCode::kMissingColumn, line.number, "",
                    {"the header names no " + canonical + " column",
                     "表头中没有 " + canonical + " 列"},
                    Message{"name it ", "请将该列命名为 "} +
                        ListedNames(NamesOf(c).listed) +
                        Message{" (the header is the first line that is "
                                "neither blank nor a # comment)",
                                "（表头是第一个既非空行、也非 # 注释的行）"});
      }
    }
    return true;
  }

  bool ReadRow(int line, const std::vector<std::string>& values,
               TablePoint* point) {
    point->line = line;
    // Every column the header names must have its field; fields beyond the
    // header's may only be empty (a spreadsheet's trailing separators).
    int needed = 0;
    for (int c = 0; c < kColumns; ++c) needed = std::max(needed, index_[c] + 1);
    const int fields = static_cast<int>(values.size());
    if (fields < needed) {
      int missing = -1;  // the first column without its field
      for (int c = 0; c < kColumns; ++c) {
        if (index_[c] >= fields &&
            (missing < 0 || index_[c] < index_[missing])) {
          missing = c;
        }
      }
      const std::string count = std::to_string(fields);
      const std::string column = Quoted(header_names_[missing]);
      const std::string field = std::to_string(index_[missing] + 1);
      return Fail(
          InputErrorCode::kTooFewFields, line, "",
          {count + (fields == 1 ? " field" : " fields") +
               ", but the header has column " + column + " as field " + field,
           "只有 " + count + " 个字段，但表头的 " + column + " 列是第 " +
               field + " 个字段"},
          separator_ == 0
              ? Message{"give every row a field for each column (blanks "
                        "separate the fields here)",
                        "请让每行都有每一列的字段（此表以空白分隔字段）"}
              : Message{"give every row a field for each column",
                        "请让每行都有每一列的字段"});
    }
    for (size_t f = header_fields_; f < values.size(); ++f) {
      if (!values[f].empty()) {
        const std::string count = std::to_string(values.size());
        const std::string columns = std::to_string(header_fields_);
        const std::string field = std::to_string(f + 1);
        return Fail(
            InputErrorCode::kTooManyFields, line, "",
            {count + " fields, but the header names " + columns,
             "有 " + count + " 个字段，但表头只有 " + columns + " 列"},
            Message{
                "field " + field + " " + Quoted(values[f]) + " has no column",
                "第 " + field + " 个字段 " + Quoted(values[f]) +
                    " 没有对应的列"} +
                (separator_ == 0
                     ? Message{"; quote a field that holds blanks",
                               "；含空白的字段请加引号"}
                     : Message{"; quote a field that holds the separator",
                               "；含分隔符的字段请加引号"}));
      }
    }
    // The fields from left to right, so the first mistake is the one named.
    for (int f = 0; f < needed; ++f) {
      for (int c = 0; c < kColumns; ++c) {
        if (index_[c] != f) continue;
        if (!ReadField(line, c, values[static_cast<size_t>(f)], point)) {
          return false;
        }
      }
    }
    return true;
  }

  // The value `v` of column `c` read from `text`, checked without a place.
  static std::optional<InputError> CheckValue(int c, double v,
                                              const std::string& text) {
    static const InputPlace kUnplaced;
    if (!std::isfinite(v)) {
      return CheckFinite(
          kUnplaced, v,
          {"check " + Quoted(text) + ", which is beyond the range of a double",
           "请检查 " + Quoted(text) + "，它超出了双精度数的范围"});
    }
    Point3 drawing;  // this field's coordinate, the others 0
    if (c == kX) drawing.x = v;
    if (c == kY) drawing.y = v;
    if (c == kZ) drawing.z = v;
    switch (c) {
      case kX:
      case kY:
      case kZ:
        return CheckDrawingPoint(kUnplaced, drawing);
      case kLon:
        return CheckLongitude(kUnplaced, v);
      case kLat:
        return CheckLatitude(kUnplaced, v);
    }
    return std::nullopt;
  }

  bool ReadField(int line, int c, const std::string& text, TablePoint* p) {
    // The column as the header names it.
    const std::string& column = header_names_[c];
    if (c == kName) {
      p->name = text;
      return true;
    }
    if (c == kUse) {
      if (ReadUse(text, &p->used)) {
        // 检查点 marks a check point; empty, it marks none.
        if (inverse_use_ && !text.empty()) p->used = !p->used;
        return true;
      }
      if (chinese_use_) {
        return Fail(
            InputErrorCode::kBadUseValue, line, column,
            {Quoted(text) +
                 " is not 是 or 否 (nor 1 or 0, yes or no, true or false)",
             Quoted(text) +
                 " 不是 是 或 否（也不是 1 或 0、yes 或 no、true 或 false）"},
            inverse_use_
                ? Message{"give 是 for a check point, 否 for a point to fit",
                          "检查点填 是，参与解算的点填 否"}
                : Message{"give 是 for a point to fit, 否 for a check point",
                          "参与解算的点填 是，检查点填 否"});
      }
      return Fail(
          InputErrorCode::kBadUseValue, line, column,
          {Quoted(text) + " is not 1 or 0 (nor yes or no, true or false)",
           Quoted(text) + " 不是 1 或 0（也不是 yes 或 no、true 或 false）"},
          {"give 1 for a point to fit, 0 for a check point",
           "参与解算的点填 1，检查点填 0"});
    }
    if (text.empty()) {
      const std::string canonical = NamesOf(c).canonical;
      return Fail(
          InputErrorCode::kEmptyField, line, column,
          {"the field is empty", "字段为空"},
          {"give every point its " + canonical, "请为每个点给出 " + canonical});
    }
    double v = 0.0;
    Message why;
    const bool angle = c == kLon || c == kLat;
    const NumberRead read =
        angle ? ReadAngle(text, c == kLon, &v, &why) : ReadNumber(text, &v);
    if (read == NumberRead::kNotANumber) {
      if (!angle) {
        return Fail(
            InputErrorCode::kNotANumber, line, column,
            {Quoted(text) + " is not a number", Quoted(text) + " 不是数字"},
            {});
      }
      return Fail(InputErrorCode::kNotAnAngle, line, column,
                  Message{Quoted(text) + " is not an angle",
                          Quoted(text) + " 不是角度"} +
                      (why.empty() ? Message{}
                                   : Message{" (" + why.en + ")",
                                             "（" + why.zh + "）"}),
                  {"write decimal degrees, or degrees, minutes and seconds "
                   "such as 116°23′45.67″",
                   "请写十进制度数，或度分秒，如 116°23′45.67″"});
    }
    // The checks every input's values pass (input/input_checks.h), naming
    // this line and column. The place is made only for a value refused.
    if (std::optional<InputError> refused = CheckValue(c, v, text)) {
      error_ = std::move(*refused);
      error_.where = Place(line, column);
      return false;
    }
    switch (c) {
      case kX:
      case kY:
      case kZ:
        (c == kX ? p->source.x : c == kY ? p->source.y : p->source.z) = v;
        break;
      case kLon:
        p->geodetic.x = v;
        break;
      case kLat:
        p->geodetic.y = v;
        break;
      case kH:
        p->geodetic.z = v;
        break;
    }
    return true;
  }

  const std::string& label_;
  const bool read_heights_;
  char separator_ = 0;
  int index_[kColumns] = {-1, -1, -1, -1, -1, -1, -1, -1};
  std::string header_names_[kColumns];
  size_t header_fields_ = 0;
  // Both drawing columns are named x/y or X坐标/Y坐标, which leave the
  // easting to the values.
  bool ambiguous_axes_ = false;
  bool inverse_use_ = false;  // the use column is 检查点
  bool chinese_use_ = false;  // the use column's name is Chinese
  std::vector<std::string> ignored_columns_;  // header texts, in file order
  InputError error_;
};

}  // namespace

bool ReadPointTable(std::string_view bytes, const std::string& label,
                    bool read_heights, PointTable* table, InputError* error) {
  *table = PointTable();
  Reader reader(label, read_heights);
  if (reader.Read(bytes, table)) return true;
  *error = reader.error();
  *table = PointTable();
  return false;
}

}  // namespace geoanchor
