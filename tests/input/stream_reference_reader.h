// The plain reader that ParsePointPairs/ParsePointTriples must match byte
// for byte: doubles extracted from a std::stringstream in the classic
// locale, one comma skipped directly after a number, reading ends at the
// first failed extraction. Kept as the oracle of the tests and fuzzers.
#ifndef GEOANCHOR_TESTS_INPUT_STREAM_REFERENCE_READER_H_
#define GEOANCHOR_TESTS_INPUT_STREAM_REFERENCE_READER_H_

#include <sstream>
#include <string>
#include <vector>

namespace geoanchor {

// All numbers the stream extracts before its first failure, in order.
inline std::vector<double> StreamReferenceNumbers(const std::string& text) {
  std::vector<double> numbers;
  std::stringstream stream(text);
  for (;;) {
    double value = 0.0;
    stream >> value;
    if (stream.fail()) break;
    if (stream.peek() == ',') stream.ignore(1);
    numbers.push_back(value);
  }
  return numbers;
}

}  // namespace geoanchor

#endif  // GEOANCHOR_TESTS_INPUT_STREAM_REFERENCE_READER_H_
