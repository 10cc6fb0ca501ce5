#include "input/input_checks.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "common/fixed_text.h"
#include "geodesy/geodetic_converter.h"

namespace geoanchor {

namespace {

// The widest text a message quotes, in characters.
constexpr size_t kQuotedCharacters = 32;

bool IsUtf8Continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The character at byte `offset`, counting from 1. Characters are UTF-8
// code points (the process's code page); other bytes count one each.
size_t CharacterNumber(std::string_view text, size_t offset) {
  size_t number = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    if (!IsUtf8Continuation(text[i])) ++number;
  }
  return number;
}

// The bytes of the one character that starts at `offset`.
std::string_view CharacterAt(std::string_view text, size_t offset) {
  size_t end = offset + 1;
  while (end < text.size() && IsUtf8Continuation(text[end])) ++end;
  return text.substr(offset, end - offset);
}

// An ASCII or a full-width digit (U+FF10 to U+FF19, EF BC 90 to 99).
bool HoldsDigit(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] >= '0' && text[i] <= '9') return true;
    if (text.compare(i, 2, "\xEF\xBC") == 0 && i + 2 < text.size() &&
        static_cast<unsigned char>(text[i + 2]) >= 0x90 &&
        static_cast<unsigned char>(text[i + 2]) <= 0x99) {
      return true;
    }
  }
  return false;
}

std::string Count(size_t n, const char* singular, const char* plural) {
  return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

Message Points(size_t n) {
  return Message{Count(n, "point", "points"), std::to_string(n) + " 个点"};
}
Message Numbers(size_t n) {
  return Message{Count(n, "number", "numbers"), std::to_string(n) + " 个数"};
}

std::string Figure(double v) { return FormatDouble("%.15g", v); }

// A power of ten as "1e12".
std::string PowerOfTen(double v) {
  std::string text = FormatDouble("%.0e", v);
  text.erase(std::remove(text.begin(), text.end(), '+'), text.end());
  return text;
}

// The full-width characters Chinese input methods type where a separator
// was meant; empty for any other.
Message FullWidthName(std::string_view character) {
  if (character == "\xEF\xBC\x8C") return {"a full-width comma", "全角逗号"};
  if (character == "\xEF\xBC\x9B") {
    return {"a full-width semicolon", "全角分号"};
  }
  if (character == "\xE3\x80\x81") return {"an ideographic comma", "顿号"};
  if (character == "\xE3\x80\x80") return {"a full-width blank", "全角空格"};
  return {};
}

// What each point of a control-point list holds, for the remedies.
Message PointShape(int per_point) {
  return per_point == 2 ? Message{"x,y and lon,lat", "x,y 和 lon,lat"}
                        : Message{"x,y,z and lon,lat,h", "x,y,z 和 lon,lat,h"};
}

bool NearBase(const GeodeticConverter& scene, const Point3& p) {
  if (!(std::fabs(p.y) <= kMaxLatitudeDeg) ||
      !(std::fabs(p.x) <= kMaxLongitudeDeg)) {
    return false;
  }
  Point3 enu;
  scene.GeodeticToEnu(Point3{p.x, p.y, 0.0}, &enu);
  return std::hypot(enu.x, enu.y) <= kFarFromBaseM;
}

// At least one point, and every one near the base point.
bool AllNearBase(const GeodeticConverter& scene,
                 const std::vector<Point3>& points) {
  if (points.empty()) return false;
  for (const Point3& p : points) {
    if (!NearBase(scene, p)) return false;
  }
  return true;
}

}  // namespace

std::string Quote(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsListSpace(text[begin])) ++begin;
  while (end > begin && IsListSpace(text[end - 1])) --end;
  std::string quoted = "'";
  size_t characters = 0;
  for (size_t i = begin; i < end; ++i) {
    if (!IsUtf8Continuation(text[i]) && ++characters > kQuotedCharacters) {
      quoted += "...";
      break;
    }
    const unsigned char c = static_cast<unsigned char>(text[i]);
    quoted += c < 0x20 || c == 0x7F ? ' ' : text[i];
  }
  return quoted + "'";
}

std::optional<InputError> ReadLanguage(const std::string& value,
                                       Language* language) {
  if (value.empty()) return std::nullopt;
  if (value == "zh" || value == "en") {
    *language = value == "zh" ? Language::kChinese : Language::kEnglish;
    return std::nullopt;
  }
  return InputError{
      InputErrorCode::kUnknownLanguage,
      InputPlace{"--lang"},
      {"is \"" + value + "\", not a language the tool speaks",
       "为 \"" + value + "\"，不是本工具支持的语言"},
      {"give --lang=zh or --lang=en, or leave it out to follow the system's "
       "language",
       "请给出 --lang=zh 或 --lang=en，或不给出此参数，以跟随系统语言"}};
}

std::optional<InputError> CheckFinite(const InputPlace& where, double value,
                                      const Message& remedy) {
  if (std::isfinite(value)) return std::nullopt;
  return InputError{InputErrorCode::kNotFinite,
                    where,
                    {"is " + Figure(value) + ", not a finite number",
                     "为 " + Figure(value) + "，不是有限数"},
                    remedy};
}

std::optional<InputError> CheckAccuracy(const InputPlace& where,
                                        double accuracy_m) {
  if (std::isfinite(accuracy_m) && accuracy_m >= 0.0) return std::nullopt;
  return InputError{
      InputErrorCode::kAccuracyRange,
      where,
      {"is " + Figure(accuracy_m) + ", not a finite number of 0 or more",
       "为 " + Figure(accuracy_m) + "，不是 0 或更大的有限数"},
      {"give the control points' accuracy in metres, or 0 to estimate it",
       "请给出控制点的中误差（米），或给 0 由解算估计"}};
}

std::optional<InputError> CheckProjectHeight(const InputPlace& where,
                                             double height_m) {
  if (!(height_m == INFINITY)) return std::nullopt;
  return InputError{InputErrorCode::kProjectHeightInfinite,
                    where,
                    {"is inf, not a finite number", "为 inf，不是有限数"},
                    Message{"give the targets' height in metres, or leave out ",
                            "请给出目标点的高度（米），或在每个目标点自带高度时"
                            "不给 "} +
                        InputPlaceText(where) +
                        Message{" when each target carries its height", ""}};
}

namespace {

// An angle `what` ({"latitude", "纬度"}) of `value_deg` beyond
// +-`limit_deg`: the mistake `code`, and what to do.
std::optional<InputError> BeyondDegrees(const InputPlace& where,
                                        InputErrorCode code,
                                        const Message& what, double value_deg,
                                        double limit_deg,
                                        const Message& remedy) {
  if (!(std::fabs(value_deg) > limit_deg)) return std::nullopt;
  return InputError{code,
                    where,
                    {"has " + what.en + " " + Figure(value_deg) +
                         " degrees, beyond +-" + Figure(limit_deg),
                     "的" + what.zh + "为 " + Figure(value_deg) +
                         " 度，超出 ±" + Figure(limit_deg)},
                    remedy};
}

}  // namespace

std::optional<InputError> CheckLatitude(const InputPlace& where,
                                        double lat_deg) {
  return BeyondDegrees(where, InputErrorCode::kLatitudeRange,
                       {"latitude", "纬度"}, lat_deg, kMaxLatitudeDeg,
                       {"write longitude first, then latitude (lon,lat)",
                        "请先写经度，再写纬度（lon,lat）"});
}

std::optional<InputError> CheckLongitude(const InputPlace& where,
                                         double lon_deg) {
  return BeyondDegrees(where, InputErrorCode::kLongitudeRange,
                       {"longitude", "经度"}, lon_deg, kMaxLongitudeDeg,
                       {"give the longitude in degrees (-180 to 180), then the "
                        "latitude",
                        "请先给出以度为单位的经度（-180 到 180），再给纬度"});
}

std::optional<InputError> CheckGeodeticPoint(const InputPlace& where,
                                             const Point3& p) {
  std::optional<InputError> error = CheckLatitude(where, p.y);
  return error ? error : CheckLongitude(where, p.x);
}

std::optional<InputError> CheckDrawingPoint(const InputPlace& where,
                                            const Point3& p) {
  const std::pair<const char*, double> coordinates[] = {
      {"x", p.x}, {"y", p.y}, {"z", p.z}};
  for (const auto& c : coordinates) {
    if (std::fabs(c.second) > kMaxDrawingCoordinate) {
      const std::string value = Figure(c.second);
      const std::string limit = PowerOfTen(kMaxDrawingCoordinate);
      return InputError{
          InputErrorCode::kDrawingRange,
          where,
          {std::string("has ") + c.first + " " + value + ", beyond +-" + limit,
           std::string("的 ") + c.first + " 坐标为 " + value + "，超出 ±" +
               limit},
          {"check that number (no drawing is that large, and the fit cannot "
           "carry it)",
           "请检查这个数（没有这么大的图纸，解算也无法处理）"}};
    }
  }
  return std::nullopt;
}

std::optional<InputError> CheckNonFiniteStop(const std::string& list,
                                             std::string_view text,
                                             const PointListReading& reading,
                                             int per_point, bool name_point) {
  const size_t length = NonFiniteNumberLength(text, reading.stop);
  if (length == 0) return std::nullopt;
  InputPlace where{list};
  if (name_point) where.point = reading.numbers / per_point + 1;
  const std::string quoted = Quote(text.substr(reading.stop, length));
  const std::string character =
      std::to_string(CharacterNumber(text, reading.stop));
  return InputError{
      InputErrorCode::kNonFiniteNumber,
      where,
      {"holds " + quoted + " (character " + character +
           "), not a finite number",
       "含 " + quoted + "（第 " + character + " 个字符），不是有限数"},
      {"write every number with digits, such as 39.9 or -12.5",
       "请用数字写出每个数，如 39.9 或 -12.5"}};
}

std::optional<InputError> DescribeIgnoredText(const std::string& list,
                                              std::string_view text,
                                              const PointListReading& reading,
                                              int per_point) {
  const std::string_view left = text.substr(reading.used_end);
  if (!HoldsDigit(left)) return std::nullopt;
  const Message points = Points(reading.points.size());
  if (reading.stop < text.size() && HoldsDigit(text.substr(reading.stop))) {
    const std::string stop = Quote(CharacterAt(text, reading.stop));
    const std::string number =
        std::to_string(CharacterNumber(text, reading.stop));
    const Message full_width = FullWidthName(CharacterAt(text, reading.stop));
    const bool named = !full_width.empty();
    return InputError{
        InputErrorCode::kStoppedReading,
        InputPlace{list},
        {"reading stopped at " + stop + " (character " + number +
             (named ? ", " + full_width.en : "") + ") after " + points.en +
             ", so " + Quote(left) + " was not read",
         "读取在第 " + number + " 个字符 " + stop +
             (named ? "（" + full_width.zh + "）" : " ") + "处停止，此前读到 " +
             points.zh + "，因此 " + Quote(left) + " 未读入"},
        named ? Message{"separate numbers with blanks or one ASCII comma ','",
                        "数与数之间请用空格或一个半角逗号 ',' 分隔"}
              : Message{"separate numbers with blanks or one comma",
                        "数与数之间请用空格或一个逗号分隔"}};
  }
  // Reading went on to the end (or only text without digits followed):
  // the numbers after the last point make no whole point.
  const size_t extra = reading.numbers % per_point;
  size_t first = reading.used_end;
  while (first < text.size() && IsListSpace(text[first])) ++first;
  const std::string quoted =
      Quote(text.substr(reading.used_end, reading.stop - reading.used_end));
  const std::string character = std::to_string(CharacterNumber(text, first));
  const std::string shape = std::to_string(per_point);
  const Message numbers = Numbers(extra);
  return InputError{
      InputErrorCode::kIncompletePoint,
      InputPlace{list},
      {numbers.en + " after " + points.en + " (" + quoted + ", character " +
           character + (extra == 1 ? ") makes" : ") make") +
           " no whole point of " + shape +
           (extra == 1 ? " and was" : " and were") + " not used",
       points.zh + "之后的 " + numbers.zh + "（" + quoted + "，第 " +
           character + " 个字符）凑不成一个点（每点 " + shape +
           " 个数），未使用"},
      Message{"give " + shape + " numbers for each point (",
              "请每个点给出 " + shape + " 个数（"} +
          PointShape(per_point) +
          (per_point == 2
               ? Message{"), or leave out --projectheight to read 3",
                         "），或不给 --projectheight 以每点读 3 个数"}
               : Message{"), or give --projectheight=H to read 2",
                         "），或给出 --projectheight=H 以每点读 2 个数"})};
}

std::optional<InputError> CheckListNotEmpty(const std::string& list,
                                            std::string_view text,
                                            const PointListReading& reading,
                                            const Message& remedy) {
  if (!reading.points.empty()) return std::nullopt;
  Message found = text.empty() ? Message{"is empty", "为空"}
                               : Message{"holds only blanks", "只有空白"};
  for (char c : text) {
    if (!IsListSpace(c)) {
      found = {"holds no point (" + Quote(text) + ")",
               "不含任何点（" + Quote(text) + "）"};
      break;
    }
  }
  return InputError{InputErrorCode::kEmptyList, InputPlace{list}, found,
                    remedy};
}

std::optional<InputError> CheckSameLength(const std::string& source_list,
                                          const PointListReading& source,
                                          const std::string& target_list,
                                          const PointListReading& target,
                                          int per_point) {
  if (source.points.size() == target.points.size()) return std::nullopt;
  const Message source_points = Points(source.points.size());
  const Message source_numbers = Numbers(source.numbers);
  const Message target_points = Points(target.points.size());
  const Message target_numbers = Numbers(target.numbers);
  const std::string shape = std::to_string(per_point);
  return InputError{
      InputErrorCode::kDifferentLengths,
      InputPlace{source_list},
      {"has " + source_points.en + " (" + source_numbers.en + " read) but " +
           target_list + " has " + target_points.en + " (" + target_numbers.en +
           " read), at " + shape + " numbers a point",
       "有 " + source_points.zh + "（读入 " + source_numbers.zh + "），而 " +
           target_list + " 有 " + target_points.zh + "（读入 " +
           target_numbers.zh + "），每点 " + shape + " 个数"},
      {"give one target for each drawing point, in the same order",
       "请为每个图纸点给出一个目标点，顺序相同"}};
}

std::optional<InputError> CheckTargetShape(const std::string& list,
                                           std::string_view text,
                                           const PointListReading& reading,
                                           int per_point, const Point3& base) {
  const GeodeticConverter scene(base.x, base.y);
  if (AllNearBase(scene, reading.points)) return std::nullopt;
  const int other = per_point == 2 ? 3 : 2;
  const PointListReading other_reading = ReadPointList(text, other);
  if (other_reading.numbers % other != 0 ||
      !AllNearBase(scene, other_reading.points)) {
    return std::nullopt;
  }
  const Message numbers = Numbers(other_reading.numbers);
  if (other == 2) {
    return InputError{
        InputErrorCode::kPairsReadAsTriples,
        InputPlace{list},
        {"holds longitude,latitude pairs (" + numbers.en +
             "), read as lon,lat,h triples without --projectheight",
         "为经度,纬度两数一组（" + numbers.zh +
             "），但因未给 --projectheight 而按 lon,lat,h 三数一组读取"},
        {"give --projectheight=H to put every target at height H metres, or a "
         "height for each target (lon,lat,h)",
         "请给出 --projectheight=H，将所有目标点置于 H 米高，或为每个目标点"
         "给出高度（lon,lat,h）"}};
  }
  return InputError{
      InputErrorCode::kTriplesReadAsPairs,
      InputPlace{list},
      {"holds lon,lat,h triples (" + numbers.en +
           "), read as longitude,latitude pairs with --projectheight",
       "为 lon,lat,h 三数一组（" + numbers.zh +
           "），但因给了 --projectheight 而按经度,纬度两数一组读取"},
      {"leave out --projectheight to use their heights, or give "
       "longitude,latitude pairs",
       "请不给 --projectheight 以使用各点的高度，或只给出经度,纬度两数一组"}};
}

std::optional<InputError> CheckDrawingShape(const std::string& list,
                                            const PointListReading& reading,
                                            int per_point,
                                            size_t target_count) {
  const int other = per_point == 2 ? 3 : 2;
  if (target_count == 0 || reading.points.size() == target_count ||
      reading.numbers != other * target_count) {
    return std::nullopt;
  }
  const Message numbers = Numbers(reading.numbers);
  const std::string count = std::to_string(target_count);
  return InputError{
      InputErrorCode::kDrawingOtherShape,
      InputPlace{list},
      {"holds " + numbers.en + ", " +
           Count(target_count, other == 2 ? "pair" : "triple",
                 other == 2 ? "pairs" : "triples") +
           " for " + Count(target_count, "target", "targets") + " read " +
           (per_point == 2 ? "as pairs (--projectheight)" : "with heights"),
       "有 " + numbers.zh + "，即 " + count +
           (other == 2 ? " 组两数" : " 组三数") + "，对应按" +
           (per_point == 2 ? "两数一组（--projectheight）" : "带高度") +
           "读取的 " + count + " 个目标点"},
      per_point == 2
          ? Message{"give x,y for each drawing point", "请为每个图纸点给出 x,y"}
          : Message{"give x,y,z for each drawing point (z may be 0)",
                    "请为每个图纸点给出 x,y,z（z 可为 0）"}};
}

std::optional<InputError> ReadBasePoint(const std::string& label,
                                        std::string_view text,
                                        const Message& remedy, Point3* point) {
  const PointListReading reading = ReadPointList(text, 2);
  if (reading.points.empty()) {
    std::optional<InputError> error =
        CheckNonFiniteStop(label, text, reading, 2, false);
    // Reading stopped before digits: the point is there, badly separated.
    if (!error && HoldsDigit(text.substr(reading.stop))) {
      error = DescribeIgnoredText(label, text, reading, 2);
    }
    return error ? error : CheckListNotEmpty(label, text, reading, remedy);
  }
  *point = reading.points[0];
  return CheckGeodeticPoint(InputPlace{label}, *point);
}

}  // namespace geoanchor
