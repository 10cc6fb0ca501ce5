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

// `text` without white space at either end, in single quotes, control
// characters as blanks (the message stays one line), cut after
// kQuotedCharacters characters with "...".
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

std::string Count(size_t n, const char* singular, const char* plural) {
  return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

std::string Points(size_t n) { return Count(n, "point", "points"); }
std::string Numbers(size_t n) { return Count(n, "number", "numbers"); }

std::string Figure(double v) { return FormatDouble("%.15g", v); }

// A power of ten as "1e12".
std::string PowerOfTen(double v) {
  std::string text = FormatDouble("%.0e", v);
  text.erase(std::remove(text.begin(), text.end(), '+'), text.end());
  return text;
}

// The full-width characters Chinese input methods type where a separator
// was meant.
const char* FullWidthName(std::string_view character) {
  if (character == "\xEF\xBC\x8C") return "a full-width comma";      // ，
  if (character == "\xEF\xBC\x9B") return "a full-width semicolon";  // ；
  if (character == "\xE3\x80\x81") return "an ideographic comma";    // 、
  if (character == "\xE3\x80\x80") return "a full-width blank";      // U+3000
  return nullptr;
}

// What each point of a control-point list holds, for the remedies.
const char* PointShape(int per_point) {
  return per_point == 2 ? "x,y and lon,lat" : "x,y,z and lon,lat,h";
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

std::optional<InputError> ReadLanguage(const std::string& value,
                                       Language* language) {
  if (value.empty()) return std::nullopt;
  if (value == "zh" || value == "en") {
    *language = value == "zh" ? Language::kChinese : Language::kEnglish;
    return std::nullopt;
  }
  return InputError{InputErrorCode::kUnknownLanguage, InputPlace{"--lang"},
                    "is \"" + value + "\", not a language the tool speaks",
                    "give --lang=zh or --lang=en, or leave it out to follow "
                    "the system's language"};
}

std::optional<InputError> CheckFinite(const InputPlace& where, double value,
                                      const std::string& remedy) {
  if (std::isfinite(value)) return std::nullopt;
  return InputError{InputErrorCode::kNotFinite, where,
                    "is " + Figure(value) + ", not a finite number", remedy};
}

std::optional<InputError> CheckAccuracy(const InputPlace& where,
                                        double accuracy_m) {
  if (std::isfinite(accuracy_m) && accuracy_m >= 0.0) return std::nullopt;
  return InputError{
      InputErrorCode::kAccuracyRange, where,
      "is " + Figure(accuracy_m) + ", not a finite number of 0 or more",
      "give the control points' accuracy in metres, or 0 to estimate it"};
}

std::optional<InputError> CheckProjectHeight(const InputPlace& where,
                                             double height_m) {
  if (!(height_m == INFINITY)) return std::nullopt;
  return InputError{InputErrorCode::kProjectHeightInfinite, where,
                    "is inf, not a finite number",
                    "give the targets' height in metres, or leave out " +
                        InputPlaceText(where) +
                        " when each target carries its height"};
}

namespace {

// An angle `what` ("latitude", "longitude") of `value_deg` beyond
// +-`limit_deg`: the mistake `code`, and what to do.
std::optional<InputError> BeyondDegrees(const InputPlace& where,
                                        InputErrorCode code, const char* what,
                                        double value_deg, double limit_deg,
                                        const char* remedy) {
  if (!(std::fabs(value_deg) > limit_deg)) return std::nullopt;
  return InputError{code, where,
                    std::string("has ") + what + " " + Figure(value_deg) +
                        " degrees, beyond +-" + Figure(limit_deg),
                    remedy};
}

}  // namespace

std::optional<InputError> CheckLatitude(const InputPlace& where,
                                        double lat_deg) {
  return BeyondDegrees(where, InputErrorCode::kLatitudeRange, "latitude",
                       lat_deg, kMaxLatitudeDeg,
                       "write longitude first, then latitude (lon,lat)");
}

std::optional<InputError> CheckLongitude(const InputPlace& where,
                                         double lon_deg) {
  return BeyondDegrees(where, InputErrorCode::kLongitudeRange, "longitude",
                       lon_deg, kMaxLongitudeDeg,
                       "give the longitude in degrees (-180 to 180), then the "
                       "latitude");
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
      return InputError{InputErrorCode::kDrawingRange, where,
                        std::string("has ") + c.first + " " + Figure(c.second) +
                            ", beyond +-" + PowerOfTen(kMaxDrawingCoordinate),
                        "check that number (no drawing is that large, and "
                        "the fit cannot carry it)"};
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
  return InputError{InputErrorCode::kNonFiniteNumber, where,
                    "holds " + Quote(text.substr(reading.stop, length)) +
                        " (character " +
                        std::to_string(CharacterNumber(text, reading.stop)) +
                        "), not a finite number",
                    "write every number with digits, such as 39.9 or -12.5"};
}

std::optional<InputError> DescribeIgnoredText(const std::string& list,
                                              std::string_view text,
                                              const PointListReading& reading,
                                              int per_point) {
  const std::string_view left = text.substr(reading.used_end);
  if (!HoldsDigit(left)) return std::nullopt;
  const std::string after = " after " + Points(reading.points.size());
  if (reading.stop < text.size() && HoldsDigit(text.substr(reading.stop))) {
    const std::string_view character = CharacterAt(text, reading.stop);
    const char* full_width = FullWidthName(character);
    return InputError{
        InputErrorCode::kStoppedReading, InputPlace{list},
        "reading stopped at " + Quote(character) + " (character " +
            std::to_string(CharacterNumber(text, reading.stop)) +
            (full_width != nullptr ? std::string(", ") + full_width : "") +
            ")" + after + ", so " + Quote(left) + " was not read",
        full_width != nullptr
            ? "separate numbers with blanks or one ASCII comma ','"
            : "separate numbers with blanks or one comma"};
  }
  // Reading went on to the end (or only text without digits followed):
  // the numbers after the last point make no whole point.
  const size_t extra = reading.numbers % per_point;
  size_t first = reading.used_end;
  while (first < text.size() && IsListSpace(text[first])) ++first;
  return InputError{
      InputErrorCode::kIncompletePoint, InputPlace{list},
      Numbers(extra) + after + " (" +
          Quote(
              text.substr(reading.used_end, reading.stop - reading.used_end)) +
          ", character " + std::to_string(CharacterNumber(text, first)) +
          (extra == 1 ? ") makes" : ") make") + " no whole point of " +
          std::to_string(per_point) + (extra == 1 ? " and was" : " and were") +
          " not used",
      "give " + std::to_string(per_point) + " numbers for each point (" +
          PointShape(per_point) + "), " +
          (per_point == 2 ? "or leave out --projectheight to read 3"
                          : "or give --projectheight=H to read 2")};
}

std::optional<InputError> CheckListNotEmpty(const std::string& list,
                                            std::string_view text,
                                            const PointListReading& reading,
                                            const std::string& remedy) {
  if (!reading.points.empty()) return std::nullopt;
  std::string found = text.empty() ? "is empty" : "holds only blanks";
  for (char c : text) {
    if (!IsListSpace(c)) {
      found = "holds no point (" + Quote(text) + ")";
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
  return InputError{
      InputErrorCode::kDifferentLengths, InputPlace{source_list},
      "has " + Points(source.points.size()) + " (" + Numbers(source.numbers) +
          " read) but " + target_list + " has " + Points(target.points.size()) +
          " (" + Numbers(target.numbers) + " read), at " +
          std::to_string(per_point) + " numbers a point",
      "give one target for each drawing point, in the same order"};
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
  const std::string numbers = " (" + Numbers(other_reading.numbers) + ")";
  if (other == 2) {
    return InputError{
        InputErrorCode::kPairsReadAsTriples, InputPlace{list},
        "holds longitude,latitude pairs" + numbers +
            ", read as lon,lat,h triples without --projectheight",
        "give --projectheight=H to put every target at height H metres, or a "
        "height for each target (lon,lat,h)"};
  }
  return InputError{InputErrorCode::kTriplesReadAsPairs, InputPlace{list},
                    "holds lon,lat,h triples" + numbers +
                        ", read as longitude,latitude pairs with "
                        "--projectheight",
                    "leave out --projectheight to use their heights, or give "
                    "longitude,latitude pairs"};
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
  return InputError{
      InputErrorCode::kDrawingOtherShape, InputPlace{list},
      "holds " + Numbers(reading.numbers) + ", " +
          Count(target_count, other == 2 ? "pair" : "triple",
                other == 2 ? "pairs" : "triples") +
          " for " + Count(target_count, "target", "targets") + " read " +
          (per_point == 2 ? "as pairs (--projectheight)" : "with heights"),
      per_point == 2 ? "give x,y for each drawing point"
                     : "give x,y,z for each drawing point (z may be 0)"};
}

std::optional<InputError> ReadBasePoint(const std::string& label,
                                        std::string_view text,
                                        const std::string& remedy,
                                        Point3* point) {
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
