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
#include <vector>

#include "common/types.h"

// Two numbers to a point: (x, y, 0.0).
std::vector<Point3> ParsePointPairs(std::string text);

// Three numbers to a point: (x, y, z).
std::vector<Point3> ParsePointTriples(std::string text);

#endif  // GEOANCHOR_INPUT_POINT_LIST_H_
