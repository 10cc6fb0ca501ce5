#include "input/point_list.h"

#include <sstream>
#include <utility>

namespace {

// One loop for both readers. `group_size` is 2 or 3. The counter starts at
// group_size - 1, the value that means "the previous group is complete".
std::vector<Point3> ParseGroups(std::string text, int group_size) {
  std::vector<Point3> points;
  // Default open mode (in | out), positioned at the first character; white
  // space skipped before each number, classic locale, no exceptions.
  std::stringstream stream(std::move(text));
  int counter = group_size - 1;
  double held_x = 0.0;
  double held_y = 0.0;
  for (;;) {
    double value = 0.0;
    stream >> value;
    // Reaching the end of the text while extracting sets only eofbit, which
    // is no failure: a number that ends the text still counts.
    if (stream.fail()) break;
    if (stream.peek() == ',') stream.ignore(1);
    counter = (counter + 1) % group_size;
    if (counter == 0) {
      held_x = value;
    } else if (counter == 1 && group_size == 3) {
      held_y = value;
    } else {
      const double z = group_size == 3 ? value : 0.0;
      const double y = group_size == 3 ? held_y : value;
      points.push_back(Point3{held_x, y, z});
    }
  }
  return points;
}

}  // namespace

std::vector<Point3> ParsePointPairs(std::string text) {
  return ParseGroups(std::move(text), 2);
}

std::vector<Point3> ParsePointTriples(std::string text) {
  return ParseGroups(std::move(text), 3);
}
