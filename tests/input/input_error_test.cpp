#include "input/input_error.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "input/input_checks.h"
#include "input/input_stage.h"
#include "input/point_list.h"

namespace geoanchor {

namespace {

// One mistake as a check makes it, the code and the place it must carry
// (the figures another language renders from), and its line. The lines are
// the ones the tool printed before its mistakes became values; character
// and point numbers are counted by hand, from 1.
struct Case {
  const char* what;
  std::optional<InputError> error;
  InputErrorCode code;
  InputPlace where;
  std::string line;
};

std::optional<InputError> NothingToDo() {
  ControlPoints points;
  return ReadAndCheckInput(InputFlags(), &points);
}

std::optional<InputError> IgnoredText(const char* list, std::string_view text,
                                      int per_point) {
  return DescribeIgnoredText(list, text, ReadPointList(text, per_point),
                             per_point);
}

std::optional<InputError> BasePoint(std::string_view text) {
  Point3 base;
  return ReadBasePoint("basepoint", text, "give the base point", &base);
}

std::optional<InputError> Lengths(std::string_view source,
                                  std::string_view target) {
  return CheckSameLength("DWGsrcpoints", ReadPointList(source, 3),
                         "DWGdespoints", ReadPointList(target, 3), 3);
}

TEST(InputErrorTest, EachCodeKeepsItsPlaceAndRendersItsLine) {
  const Case cases[] = {
      {"no place, the command line as a whole", NothingToDo(),
       InputErrorCode::kNothingToDo, InputPlace{},
       "GeoAnchorSolve: nothing to do: --basepoint and the two point lists "
       "--DWGsrcpoints and --DWGdespoints are needed (see --help)"},
      {"a flag, the subject of the finding",
       CheckAccuracy(InputPlace{"--accuracy"}, -0.01),
       InputErrorCode::kAccuracyRange, InputPlace{"--accuracy"},
       "GeoAnchorSolve: --accuracy is -0.01, not a finite number of 0 or "
       "more: give the control points' accuracy in metres, or 0 to estimate "
       "it"},
      {"a remedy that names the flag",
       CheckProjectHeight(InputPlace{"--projectheight"}, INFINITY),
       InputErrorCode::kProjectHeightInfinite, InputPlace{"--projectheight"},
       "GeoAnchorSolve: --projectheight is inf, not a finite number: give the "
       "targets' height in metres, or leave out --projectheight when each "
       "target carries its height"},
      {"a point of a list",
       CheckDrawingPoint(InputPlace{"DWGsrcpoints", 3}, Point3{0, 0, -5e12}),
       InputErrorCode::kDrawingRange, InputPlace{"DWGsrcpoints", 3},
       "GeoAnchorSolve: point 3 of DWGsrcpoints has z -5000000000000, beyond "
       "+-1e12: check that number (no drawing is that large, and the fit "
       "cannot carry it)"},
      {"a table's field",
       CheckLatitude(InputPlace{"points.csv", 0, 7, "纬度(°)"}, 91.0),
       InputErrorCode::kLatitudeRange,
       InputPlace{"points.csv", 0, 7, "纬度(°)"},
       "GeoAnchorSolve: points.csv line 7, column 纬度(°) has latitude 91 "
       "degrees, beyond +-90: write longitude first, then latitude (lon,lat)"},
      {"what a list's text holds, after a colon", BasePoint("116.3;39.9"),
       InputErrorCode::kStoppedReading, InputPlace{"basepoint"},
       "GeoAnchorSolve: basepoint: reading stopped at ';' (character 6) after "
       "0 points, so '116.3;39.9' was not read: separate numbers with blanks "
       "or one comma"},
      // '5' is character 9 of "1,2,3,4,5", after the 2 pairs.
      {"one number short of a point",
       IgnoredText("DWGsrcpoints", "1,2,3,4,5", 2),
       InputErrorCode::kIncompletePoint, InputPlace{"DWGsrcpoints"},
       "GeoAnchorSolve: DWGsrcpoints: 1 number after 2 points ('5', character "
       "9) makes no whole point of 2 and was not used: give 2 numbers for "
       "each point (x,y and lon,lat), or leave out --projectheight to read "
       "3"},
      // "116.4" begins at character 14 of "116.3 39.9 5 116.4 39.9".
      {"two numbers after the last triple",
       IgnoredText("DWGdespoints", "116.3 39.9 5 116.4 39.9", 3),
       InputErrorCode::kIncompletePoint, InputPlace{"DWGdespoints"},
       "GeoAnchorSolve: DWGdespoints: 2 numbers after 1 point ('116.4 39.9', "
       "character 14) make no whole point of 3 and were not used: give 3 "
       "numbers for each point (x,y,z and lon,lat,h), or give "
       "--projectheight=H to read 2"},
      {"two lists", Lengths("1,2,3", "116.3,39.9,0,116.4,39.9,0"),
       InputErrorCode::kDifferentLengths, InputPlace{"DWGsrcpoints"},
       "GeoAnchorSolve: DWGsrcpoints has 1 point (3 numbers read) but "
       "DWGdespoints has 2 points (6 numbers read), at 3 numbers a point: "
       "give one target for each drawing point, in the same order"},
      {"the drawing list in the other shape",
       CheckDrawingShape("DWGsrcpoints", ReadPointList("1,2,3,4,5,6", 3), 3, 3),
       InputErrorCode::kDrawingOtherShape, InputPlace{"DWGsrcpoints"},
       "GeoAnchorSolve: DWGsrcpoints holds 6 numbers, 3 pairs for 3 targets "
       "read with heights: give x,y,z for each drawing point (z may be 0)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(c.error.has_value());
    const InputError& e = *c.error;
    EXPECT_EQ(c.code, e.code);
    EXPECT_EQ(c.where.name, e.where.name);
    EXPECT_EQ(c.where.point, e.where.point);
    EXPECT_EQ(c.where.line, e.where.line);
    EXPECT_EQ(c.where.column, e.where.column);
    EXPECT_EQ(c.line, RenderInputError(e, Language::kEnglish));
  }
}

}  // namespace

}  // namespace geoanchor
