#include "input/point_list.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace geoanchor {

// The readers behave exactly like extracting doubles from a std::stringstream
// over the text in the classic locale, but scan the text directly: on lists
// of 100000 points the stream's sentry, facets and per-character virtual
// calls cost more than the conversion itself.

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The end of the longest run at `start` that fits [sign] digits [. digits]
// [e|E [sign] digits] (the exponent only after a digit, each part at most
// once), as libstdc++'s num_get gathers it; `start` when there is none.
size_t ScanNumberRun(std::string_view text, size_t start) {
  const size_t size = text.size();
  size_t i = start;
  if (i < size && (text[i] == '+' || text[i] == '-')) ++i;
  bool found_mantissa = false;
  bool found_dec = false;
  bool found_sci = false;
  while (i < size) {
    const char c = text[i];
    if (IsDigit(c)) {
      found_mantissa = true;
    } else if (c == '.' && !found_dec && !found_sci) {
      found_dec = true;
    } else if ((c == 'e' || c == 'E') && !found_sci && found_mantissa) {
      found_sci = true;
      ++i;
      if (i < size && (text[i] == '+' || text[i] == '-')) {
        ++i;
      }
      continue;
    } else {
      break;
    }
    ++i;
  }
  return i;
}

// One formatted extraction of a double starting at *pos, as libstdc++'s
// num_get does it: skip white space, then take the longest number run (see
// ScanNumberRun) and convert it with strtod in the C locale. The extraction
// fails when no run is there, when strtod does not consume the whole run
// ("1e", ".", "-") or when the value overflows. On success *pos is just
// after the run; on failure it is where the run would have begun.
bool ExtractDouble(std::string_view text, size_t* pos, double* value,
                   std::string* scratch) {
  const size_t size = text.size();
  size_t i = *pos;
  while (i < size && IsListSpace(text[i])) ++i;
  *pos = i;
  if (i == size) return false;
  const size_t start = i;
  i = ScanNumberRun(text, start);
  if (i == start) return false;
  // from_chars and strtod both round correctly, so where from_chars takes
  // the whole run its value is strtod's. It refuses a leading "+", and it
  // reports underflow, which the stream accepts: those few runs, and every
  // malformed one, go to strtod, which decides.
  const char* run = text.data() + start;
  const char* run_end = text.data() + i;
  const char* digits = *run == '+' ? run + 1 : run;
  double v = 0.0;
  const std::from_chars_result fast = std::from_chars(digits, run_end, v);
  if (fast.ec != std::errc() || fast.ptr != run_end) {
    scratch->assign(run, run_end);
    const char* begin = scratch->c_str();
    char* end = nullptr;
    v = std::strtod(begin, &end);
    if (end != begin + scratch->size()) return false;
    if (std::isinf(v)) return false;  // out of range
  }
  *value = v;
  *pos = i;
  return true;
}

}  // namespace

PointListReading ReadPointList(std::string_view text, int numbers_per_point) {
  // The counter starts at numbers_per_point - 1, the value that means "the
  // previous group is complete".
  const int group_size = numbers_per_point;
  PointListReading reading;
  std::vector<Point3>& points = reading.points;
  std::string scratch;
  size_t pos = 0;
  int counter = group_size - 1;
  double held_x = 0.0;
  double held_y = 0.0;
  double value = 0.0;
  while (ExtractDouble(text, &pos, &value, &scratch)) {
    ++reading.numbers;
    // One comma directly after a number is a separator.
    if (pos < text.size() && text[pos] == ',') ++pos;
    counter = (counter + 1) % group_size;
    if (counter == 0) {
      held_x = value;
    } else if (counter == 1 && group_size == 3) {
      held_y = value;
    } else {
      const double z = group_size == 3 ? value : 0.0;
      const double y = group_size == 3 ? held_y : value;
      points.push_back(Point3{held_x, y, z});
      reading.used_end = pos;
    }
  }
  reading.stop = pos;
  return reading;
}

size_t NonFiniteNumberLength(std::string_view text, size_t pos) {
  if (pos >= text.size()) return 0;
  const size_t sign = text[pos] == '+' || text[pos] == '-' ? 1 : 0;
  auto is_word = [&](const char* word) {
    const size_t n = std::strlen(word);
    if (text.size() - pos - sign < n) return false;
    for (size_t k = 0; k < n; ++k) {
      if (std::tolower(static_cast<unsigned char>(text[pos + sign + k])) !=
          word[k]) {
        return false;
      }
    }
    // "info" is a word, not "inf" and a letter.
    const size_t end = pos + sign + n;
    return end == text.size() ||
           !std::isalpha(static_cast<unsigned char>(text[end]));
  };
  for (const char* word : {"infinity", "inf", "nan"}) {
    if (is_word(word)) return sign + std::strlen(word);
  }
  const size_t end = ScanNumberRun(text, pos);
  if (end == pos) return 0;
  const std::string run(text.substr(pos, end - pos));
  char* parsed = nullptr;
  const double v = std::strtod(run.c_str(), &parsed);
  const bool whole = parsed == run.c_str() + run.size();
  return whole && std::isinf(v) ? run.size() : 0;
}

std::vector<Point3> ParsePointPairs(std::string text) {
  return ReadPointList(text, 2).points;
}

std::vector<Point3> ParsePointTriples(std::string text) {
  return ReadPointList(text, 3).points;
}

}  // namespace geoanchor
