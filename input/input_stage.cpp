#include "input/input_stage.h"

#include <string>
#include <utility>
#include <vector>

#include "input/input_checks.h"
#include "input/point_list.h"
#include "input/point_table.h"

namespace geoanchor {

namespace {

// The first of `points` that `check` (a check of one point, given its
// place) refuses, named "point <n> of <list>"; nothing when it refuses none.
// One place serves every point: for 100000 passing points a place of each
// would cost more than the checks.
template <typename PointCheck>
std::optional<InputError> FirstRefused(const std::string& list,
                                       const std::vector<Point3>& points,
                                       PointCheck check) {
  InputPlace where{list};
  for (size_t i = 0; i < points.size(); ++i) {
    where.point = i + 1;
    if (std::optional<InputError> error = check(where, points[i])) {
      return error;
    }
  }
  return std::nullopt;
}

// The mode, and the model base point when it asks for one.
std::optional<InputError> ChooseMode(const InputFlags& flags, bool pairs,
                                     ControlPoints* points) {
  if (pairs) {
    points->mode = InputMode::kPair;
    points->project_height_m = flags.projectheight_m;
  } else if (flags.modelpoint.empty()) {
    points->mode = InputMode::kHeight;
  } else {
    points->mode = InputMode::kModelBasePoint;
    return ReadBasePoint("modelpoint", flags.modelpoint,
                         "give the model's base point as "
                         "--modelpoint=lon,lat in degrees, or leave out "
                         "--modelpoint",
                         &points->model_point);
  }
  return std::nullopt;
}

// The control points of a table: the used ones as the two lists would give
// them, in the table's order, the others as check points.
std::optional<InputError> ReadTableInput(const InputFlags& flags, bool pairs,
                                         ControlPoints* points) {
  const std::string path(flags.points_path);
  if (!flags.points_read_error.empty()) {
    return InputError{InputErrorCode::kUnreadableFile, InputPlace{},
                      "cannot read the --points file " + path + ": " +
                          std::string(flags.points_read_error),
                      "check its path"};
  }
  PointTable table;
  InputError error;
  if (!ReadPointTable(flags.points_table, path, !pairs, &table, &error)) {
    return error;
  }
  if (!pairs && !table.has_heights) {
    return InputError{InputErrorCode::kNoHeightColumn,
                      InputPlace{path, 0, table.header_line},
                      "the header names no h column (大地高) for the targets' "
                      "ellipsoidal heights",
                      "give --projectheight=<metres> to take every target at "
                      "that height, or add an h column"};
  }
  points->table = TableColumns{true, std::move(table.easting_column),
                               std::move(table.northing_column),
                               std::move(table.ignored_columns)};
  CheckPoints& check = points->check;
  int position = 0;
  for (const TablePoint& p : table.points) {
    ++position;
    // In the pair mode the reader gave z and h as 0, as pairs carry them.
    if (p.used) {
      points->source.push_back(p.source);
      points->geodetic.push_back(p.geodetic);
      points->names.push_back(p.name);
      points->positions.push_back(position);
    } else {
      check.source.push_back(p.source);
      check.geodetic.push_back(p.geodetic);
      check.names.push_back(p.name);
      check.positions.push_back(position);
    }
  }
  if (points->source.empty()) {
    return InputError{InputErrorCode::kNoPointUsed, InputPlace{path},
                      "every point has use 0, so none is left to fit",
                      "give use 1 to the points to fit"};
  }
  return ChooseMode(flags, pairs, points);
}

}  // namespace

std::optional<InputError> ReadAndCheckInput(const InputFlags& flags,
                                            ControlPoints* points) {
  const bool table = !flags.points_path.empty();
  if (flags.basepoint.empty() && flags.DWGsrcpoints.empty() &&
      flags.DWGdespoints.empty() && !table) {
    return InputError{InputErrorCode::kNothingToDo, InputPlace{},
                      "nothing to do",
                      "--basepoint and the two point lists --DWGsrcpoints and "
                      "--DWGdespoints are needed (see --help)"};
  }
  if (table && (!flags.DWGsrcpoints.empty() || !flags.DWGdespoints.empty())) {
    return InputError{
        InputErrorCode::kTableWithLists, InputPlace{},
        "--points cannot be given with --DWGsrcpoints or --DWGdespoints",
        "give the control points either in the table or in the two lists"};
  }
  std::optional<InputError> error =
      CheckFinite(InputPlace{"--zoffset"}, flags.zoffset_m,
                  "give the matrix's z offset in metres, or leave it out");
  if (!error) {
    error = CheckFinite(InputPlace{"--scale"}, flags.scale,
                        "give the drawing's scale, or 0 to fit it");
  }
  if (!error) error = CheckAccuracy(InputPlace{"--accuracy"}, flags.accuracy_m);
  if (!error) {
    error = CheckProjectHeight(InputPlace{"--projectheight"},
                               flags.projectheight_m);
  }
  if (!error) {
    error = ReadBasePoint("basepoint", flags.basepoint,
                          "give the scene's base point as "
                          "--basepoint=lon,lat in degrees",
                          &points->base_point);
  }
  if (error) return error;

  // An IEEE comparison: 0 and -0 select pairs, NaN does not.
  const bool pairs = flags.projectheight_m >= 0.0;
  if (table) return ReadTableInput(flags, pairs, points);
  const int per_point = pairs ? 2 : 3;
  PointListReading source = ReadPointList(flags.DWGsrcpoints, per_point);
  PointListReading target = ReadPointList(flags.DWGdespoints, per_point);
  error = CheckNonFiniteStop("DWGsrcpoints", flags.DWGsrcpoints, source,
                             per_point, true);
  if (!error) {
    error = CheckNonFiniteStop("DWGdespoints", flags.DWGdespoints, target,
                               per_point, true);
  }
  if (!error) {
    error = CheckTargetShape("DWGdespoints", flags.DWGdespoints, target,
                             per_point, points->base_point);
  }
  if (!error) {
    error = CheckDrawingShape("DWGsrcpoints", source, per_point,
                              target.points.size());
  }
  if (error) return error;

  std::vector<InputError> ignored;
  for (std::optional<InputError> text :
       {DescribeIgnoredText("DWGsrcpoints", flags.DWGsrcpoints, source,
                            per_point),
        DescribeIgnoredText("DWGdespoints", flags.DWGdespoints, target,
                            per_point)}) {
    if (text) ignored.push_back(std::move(*text));
  }

  error = CheckListNotEmpty(
      "DWGsrcpoints", flags.DWGsrcpoints, source,
      std::string("give the control points' drawing coordinates, ") +
          (pairs ? "x,y" : "x,y,z") + " for each");
  if (!error) {
    error = CheckListNotEmpty(
        "DWGdespoints", flags.DWGdespoints, target,
        std::string("give the control points' WGS84 positions, ") +
            (pairs ? "lon,lat" : "lon,lat,h") + " for each");
  }
  if (!error) {
    error = CheckSameLength("DWGsrcpoints", source, "DWGdespoints", target,
                            per_point);
  }
  if (!error) {
    error = FirstRefused("DWGdespoints", target.points, CheckGeodeticPoint);
  }
  if (!error) {
    error = FirstRefused("DWGsrcpoints", source.points, CheckDrawingPoint);
  }

  if (!error) error = ChooseMode(flags, pairs, points);
  if (error) return ignored.empty() ? error : ignored.front();
  points->source = std::move(source.points);
  points->geodetic = std::move(target.points);
  for (const InputError& text : ignored) {
    points->ignored_input.push_back(
        Message{InputErrorText(text, Language::kEnglish),
                InputErrorText(text, Language::kChinese)});
  }
  return std::nullopt;
}

}  // namespace geoanchor
