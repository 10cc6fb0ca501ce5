// The two point-list readers on arbitrary text. Invariants:
//  - no crash, no sanitizer report;
//  - points * group size never exceeds the count of numbers in the text,
//    bounded above by its count of digit runs (every number holds at least
//    one digit and no digit run is shared by two numbers);
//  - every coordinate is finite;
//  - the numbers that the pair and the triple reader keep, in order, agree
//    over their common length;
//  - both readings read the same count of numbers and stop at the same
//    place, after any white space and after the last whole point.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_checks.h"
#include "input/point_list.h"

namespace geoanchor {
namespace {

size_t DigitRuns(const std::string& text) {
  size_t runs = 0;
  bool in_run = false;
  for (char c : text) {
    const bool digit = c >= '0' && c <= '9';
    if (digit && !in_run) ++runs;
    in_run = digit;
  }
  return runs;
}

// One input of the fuzzer.
int FuzzOne(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<Point3> pairs = ParsePointPairs(text);
  const std::vector<Point3> triples = ParsePointTriples(text);
  const size_t numbers = DigitRuns(text);
  Check(pairs.size() * 2 <= numbers);
  Check(triples.size() * 3 <= numbers);

  std::vector<double> from_pairs;
  for (const Point3& p : pairs) {
    Check(std::isfinite(p.x) && std::isfinite(p.y));
    Check(p.z == 0.0 && !std::signbit(p.z));
    from_pairs.push_back(p.x);
    from_pairs.push_back(p.y);
  }
  std::vector<double> from_triples;
  for (const Point3& p : triples) {
    Check(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
    from_triples.push_back(p.x);
    from_triples.push_back(p.y);
    from_triples.push_back(p.z);
  }
  const PointListReading as_pairs = ReadPointList(text, 2);
  const PointListReading as_triples = ReadPointList(text, 3);
  Check(as_pairs.points.size() == pairs.size());
  Check(as_triples.points.size() == triples.size());
  Check(as_pairs.numbers == as_triples.numbers);
  Check(as_pairs.numbers / 2 == pairs.size());
  Check(as_pairs.numbers / 3 == triples.size());
  Check(as_pairs.stop == as_triples.stop && as_pairs.stop <= size);
  Check(as_pairs.used_end <= as_pairs.stop &&
        as_triples.used_end <= as_triples.stop);
  Check(as_pairs.stop == size || !IsListSpace(text[as_pairs.stop]));
  Check(NonFiniteNumberLength(text, as_pairs.stop) <= size - as_pairs.stop);

  const size_t common = std::min(from_pairs.size(), from_triples.size());
  for (size_t i = 0; i < common; ++i) {
    Check(SameDouble(from_pairs[i], from_triples[i]));
  }
  return 0;
}

}  // namespace
}  // namespace geoanchor

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return geoanchor::FuzzOne(data, size);
}
