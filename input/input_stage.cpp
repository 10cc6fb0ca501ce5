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
    return ReadBasePoint(
        "modelpoint", flags.modelpoint,
        {"give the model's base point as --modelpoint=lon,lat in degrees, or "
         "leave out --modelpoint",
         "请以 --modelpoint=lon,lat（度）给出模型的基点，或不给 --modelpoint"},
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
    const std::string reason(flags.points_read_error);
    return InputError{InputErrorCode::kUnreadableFile,
                      InputPlace{},
                      {"cannot read the --points file " + path + ": " + reason,
                       "无法读取 --points 文件 " + path + "：" + reason},
                      {"check its path", "请检查它的路径"}};
  }
  PointTable table;
  InputError error;
  if (!ReadPointTable(flags.points_table, path, !pairs, &table, &error)) {
    return error;
  }
  if (!pairs && !table.has_heights) {
    return InputError{
        InputErrorCode::kNoHeightColumn,
        InputPlace{path, 0, table.header_line},
        {"the header names no h column (大地高) for the targets' ellipsoidal "
         "heights",
         "表头中没有 h 列（大地高），无从得到目标点的大地高"},
        {"give --projectheight=<metres> to take every target at that height, "
         "or add an h column",
         "请给出 --projectheight=<米>，让所有目标点取这一高度，或加上 h 列"}};
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
    return InputError{
        InputErrorCode::kNoPointUsed,
        InputPlace{path},
        {"every point has use 0, so none is left to fit",
         "所有点的 use 都为 0，没有点可用于解算"},
        {"give use 1 to the points to fit", "请将参与解算的点的 use 设为 1"}};
  }
  return ChooseMode(flags, pairs, points);
}

}  // namespace

std::optional<InputError> ReadAndCheckInput(const InputFlags& flags,
                                            ControlPoints* points,
                                            SceneFile* scene) {
  const bool table = !flags.points_path.empty();
  const bool from_scene = !flags.scene_path.empty();
  if (flags.basepoint.empty() && flags.DWGsrcpoints.empty() &&
      flags.DWGdespoints.empty() && !table && !from_scene) {
    return InputError{
        InputErrorCode::kNothingToDo,
        InputPlace{},
        {"nothing to do", "没有可解算的内容"},
        {"--basepoint and the two point lists --DWGsrcpoints and "
         "--DWGdespoints are needed (see --help)",
         "需要 --basepoint 和两个点列表 --DWGsrcpoints、--DWGdespoints"
         "（见 --help）"}};
  }
  if (table && (!flags.DWGsrcpoints.empty() || !flags.DWGdespoints.empty())) {
    return InputError{
        InputErrorCode::kTableWithLists,
        InputPlace{},
        {"--points cannot be given with --DWGsrcpoints or --DWGdespoints",
         "--points 不能与 --DWGsrcpoints 或 --DWGdespoints 同时给出"},
        {"give the control points either in the table or in the two lists",
         "控制点请只在表格中给出，或只在两个点列表中给出"}};
  }
  if (from_scene && !flags.basepoint.empty()) {
    return InputError{
        InputErrorCode::kSceneWithBasePoint,
        InputPlace{},
        {"--scene cannot be given with --basepoint",
         "--scene 不能与 --basepoint 同时给出"},
        {"take the base point either from the scene's file or from "
         "--basepoint",
         "基点请只从场景文件或只从 --basepoint 取得"}};
  }
  std::optional<InputError> error =
      CheckFinite(InputPlace{"--zoffset"}, flags.zoffset_m,
                  {"give the matrix's z offset in metres, or leave it out",
                   "请给出矩阵的 z 偏移（米），或不给出此参数"});
  if (!error) {
    error = CheckFinite(InputPlace{"--scale"}, flags.scale,
                        {"give the drawing's scale, or 0 to fit it",
                         "请给出图纸的比例，或给 0 由解算求出"});
  }
  if (!error) error = CheckAccuracy(InputPlace{"--accuracy"}, flags.accuracy_m);
  if (!error) {
    error = CheckProjectHeight(InputPlace{"--projectheight"},
                               flags.projectheight_m);
  }
  if (!error && from_scene) {
    SceneFile read;
    if (scene == nullptr) scene = &read;
    error = ReadSceneFile(flags.scene_path, flags.scene_bytes,
                          flags.scene_read_error, scene);
    if (!error) points->base_point = scene->base_point;
  } else if (!error) {
    error = ReadBasePoint(
        "basepoint", flags.basepoint,
        {"give the scene's base point as --basepoint=lon,lat in degrees",
         "请以 --basepoint=lon,lat（度）给出场景的基点"},
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

  const std::string drawing_shape = pairs ? "x,y" : "x,y,z";
  const std::string target_shape = pairs ? "lon,lat" : "lon,lat,h";
  error = CheckListNotEmpty("DWGsrcpoints", flags.DWGsrcpoints, source,
                            {"give the control points' drawing coordinates, " +
                                 drawing_shape + " for each",
                             "请给出控制点的图纸坐标，每点 " + drawing_shape});
  if (!error) {
    error =
        CheckListNotEmpty("DWGdespoints", flags.DWGdespoints, target,
                          {"give the control points' WGS84 positions, " +
                               target_shape + " for each",
                           "请给出控制点的 WGS84 位置，每点 " + target_shape});
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
