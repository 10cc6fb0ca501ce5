// Differential: the point-list reader against the plain std::stringstream
// reader, and the fixed-point renderer against printf, byte for byte.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/fixed_text.h"
#include "fuzz/fuzz_checks.h"
#include "input/point_list.h"
#include "tests/input/stream_reference_reader.h"

namespace geoanchor {
namespace {

void CheckReader(const std::string& text) {
  const std::vector<double> expected = StreamReferenceNumbers(text);
  const std::vector<Point3> pairs = ParsePointPairs(text);
  const std::vector<Point3> triples = ParsePointTriples(text);
  Check(pairs.size() == expected.size() / 2);
  Check(triples.size() == expected.size() / 3);
  for (size_t i = 0; i < pairs.size(); ++i) {
    Check(SameDouble(pairs[i].x, expected[2 * i]));
    Check(SameDouble(pairs[i].y, expected[2 * i + 1]));
  }
  for (size_t i = 0; i < triples.size(); ++i) {
    Check(SameDouble(triples[i].x, expected[3 * i]));
    Check(SameDouble(triples[i].y, expected[3 * i + 1]));
    Check(SameDouble(triples[i].z, expected[3 * i + 2]));
  }
}

void CheckPrinter(double v) {
  char expected[512];
  for (int decimals : {6, 10, 14, 20}) {
    std::snprintf(expected, sizeof expected, "%.*f", decimals, v);
    std::string actual;
    AppendFixed(&actual, v, decimals);
    Check(actual == expected);
  }
}

// One input of the fuzzer.
int FuzzOne(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckReader(text);
  // Every number the text holds, and the input's bytes taken as doubles.
  for (double v : StreamReferenceNumbers(text)) CheckPrinter(v);
  for (size_t i = 0; i + sizeof(double) <= size; i += sizeof(double)) {
    double v;
    std::memcpy(&v, data + i, sizeof v);
    CheckPrinter(v);
  }
  return 0;
}

}  // namespace
}  // namespace geoanchor

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return geoanchor::FuzzOne(data, size);
}
