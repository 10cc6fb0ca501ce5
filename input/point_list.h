// Coordinate lists read from command-line text.
//
// A point-list text is a flat run of numbers, taken two (pairs) or three
// (triples) to a point purely by position. Numbers are separated by white
// space (blank, tab, line break, ...) or by a single "," written directly
// after a number. Reading ends silently at the first place where no number
// can be extracted; an incomplete trailing group is dropped. The readers
// never fail: unreadable text only shortens the list, down to empty.
//
// A number is whatever std::istream's formatted extraction of a double
// accepts in the classic locale. A number too large for a double fails the
// extraction, so every coordinate returned is finite.
#ifndef GEOANCHOR_INPUT_POINT_LIST_H_
#define GEOANCHOR_INPUT_POINT_LIST_H_

#include <string>
#include <string_view>
#include <vector>

#include "common/types.h"

namespace geoanchor {

// The white space the readers skip before a number, as the stream does.
inline bool IsListSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// One reading of a point-list text, and where it ended.
struct PointListReading {
  std::vector<Point3> points;
  // Numbers read, an incomplete last group included.
  size_t numbers = 0;
  // Byte offset just after the last whole point (and its comma); 0 when
  // no point was read. What stands from here on was not used.
  size_t used_end = 0;
  // Byte offset where reading stopped, after any white space: the text's
  // size when it was read to its end, else the first byte of what could
  // not be read as a number.
  size_t stop = 0;
};

// The reading both readers below make: `numbers_per_point` (2 or 3)
// numbers to a point, pairs with z = 0.0.
PointListReading ReadPointList(std::string_view text, int numbers_per_point);

// The byte length of the non-finite number written at `pos`: "nan", "inf"
// or "infinity" in any case, with an optional sign, or a decimal number
// beyond the range of a double ("1e999"). 0 when there is none. The readers
// stop at such text.
size_t NonFiniteNumberLength(std::string_view text, size_t pos);

// Two numbers to a point: (x, y, 0.0).
std::vector<Point3> ParsePointPairs(std::string text);

// Three numbers to a point: (x, y, z).
std::vector<Point3> ParsePointTriples(std::string text);

}  // namespace geoanchor

#endif  // GEOANCHOR_INPUT_POINT_LIST_H_
