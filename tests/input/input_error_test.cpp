#include "input/input_error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/flag_files.h"
#include "input/input_checks.h"
#include "input/input_stage.h"
#include "input/point_list.h"
#include "input/point_table.h"
#include "tests/common/bilingual_checks.h"

namespace geoanchor {

namespace {

// One mistake as a check makes it, the code and the place it must carry
// (the figures another language renders from), its line in each language
// and the user's own text the line quotes, which both carry alike. The
// English lines are the ones the tool printed before its mistakes became
// values; character and point numbers are counted by hand, from 1.
struct Case {
  const char* what;
  std::optional<InputError> error;
  InputErrorCode code;
  InputPlace where;
  std::string en;
  std::string zh;
  std::vector<std::string> verbatim;
};

// The flags of a run with a base point and nothing else wrong yet.
InputFlags WithBasePoint() {
  InputFlags flags;
  flags.basepoint = "116.3,39.9";
  return flags;
}

std::optional<InputError> Stage(const InputFlags& flags) {
  ControlPoints points;
  return ReadAndCheckInput(flags, &points);
}

std::optional<InputError> NothingToDo() { return Stage(InputFlags()); }

// The input stage given a scene's file, `bytes` its contents.
std::optional<InputError> Scene(std::string_view bytes,
                                std::string_view basepoint = "") {
  InputFlags flags;
  flags.basepoint = basepoint;
  flags.scene_path = "metadata.xml";
  flags.scene_bytes = bytes;
  return Stage(flags);
}

std::optional<InputError> IgnoredText(const char* list, std::string_view text,
                                      int per_point) {
  return DescribeIgnoredText(list, text, ReadPointList(text, per_point),
                             per_point);
}

std::optional<InputError> BasePoint(std::string_view text) {
  Point3 base;
  return ReadBasePoint("basepoint", text, {"give the base point", "请给出基点"},
                       &base);
}

std::optional<InputError> Lengths(std::string_view source,
                                  std::string_view target) {
  return CheckSameLength("DWGsrcpoints", ReadPointList(source, 3),
                         "DWGdespoints", ReadPointList(target, 3), 3);
}

std::optional<InputError> TargetShape(std::string_view text, int per_point) {
  return CheckTargetShape("DWGdespoints", text, ReadPointList(text, per_point),
                          per_point, Point3{116.3, 39.9, 0.0});
}

std::optional<InputError> Language(const std::string& value) {
  geoanchor::Language language = Language::kEnglish;
  return ReadLanguage(value, &language);
}

// A control-point table read alone, with heights.
std::optional<InputError> Table(const std::string& bytes) {
  PointTable table;
  InputError error;
  if (ReadPointTable(bytes, "points.csv", true, &table, &error)) {
    return std::nullopt;
  }
  return error;
}

// A control-point table through the whole input stage.
std::optional<InputError> TableStage(std::string_view bytes,
                                     std::string_view read_error = "") {
  InputFlags flags = WithBasePoint();
  flags.points_path = "points.csv";
  flags.points_table = bytes;
  flags.points_read_error = read_error;
  return Stage(flags);
}

// A flag file "a" that names itself.
std::optional<InputError> FlagFileNamingItself() {
  const FlagFileHooks hooks = {[](const std::string& name) {
                                 return name == "flagfile" ? FlagKind::kFlagFile
                                                           : FlagKind::kUnknown;
                               },
                               [](const std::string& path, std::string* text) {
                                 *text = "--flagfile=" + path;
                                 return true;
                               },
                               [](const std::string&) { return true; }};
  std::vector<std::string> args = {"GeoAnchorSolve", "--flagfile=a"};
  InputError error;
  if (ExpandFlagFiles(&args, hooks, &error)) return std::nullopt;
  return error;
}

std::vector<Case> Cases() {
  InputFlags zoffset = WithBasePoint();
  zoffset.zoffset_m = NAN;
  InputFlags table_with_list = WithBasePoint();
  table_with_list.points_path = "points.csv";
  table_with_list.DWGsrcpoints = "1,2,3";
  InputFlags non_finite = WithBasePoint();
  non_finite.DWGsrcpoints = "1,2,3,4,5,6";
  non_finite.DWGdespoints = "116.3,39.9,0,116.4,nan,0";
  InputFlags empty = WithBasePoint();
  empty.DWGsrcpoints = "x y z";
  empty.DWGdespoints = "116.3,39.9,0";
  return {
      {"no place, the command line as a whole",
       NothingToDo(),
       InputErrorCode::kNothingToDo,
       InputPlace{},
       "GeoAnchorSolve: nothing to do: --basepoint and the two point lists "
       "--DWGsrcpoints and --DWGdespoints are needed (see --help)",
       "GeoAnchorSolve: 没有可解算的内容：需要 --basepoint 和两个点列表 "
       "--DWGsrcpoints、--DWGdespoints（见 --help）",
       {}},
      {"a table beside a list",
       Stage(table_with_list),
       InputErrorCode::kTableWithLists,
       InputPlace{},
       "GeoAnchorSolve: --points cannot be given with --DWGsrcpoints or "
       "--DWGdespoints: give the control points either in the table or in "
       "the two lists",
       "GeoAnchorSolve: --points 不能与 --DWGsrcpoints 或 --DWGdespoints "
       "同时给出：控制点请只在表格中给出，或只在两个点列表中给出",
       {}},
      {"flag files without end",
       FlagFileNamingItself(),
       InputErrorCode::kFlagFilesTooDeep,
       InputPlace{},
       "GeoAnchorSolve: flag files nest more than 64 deep at a (does a flag "
       "file name itself?)",
       "GeoAnchorSolve: 参数文件在 a 处嵌套超过 64 "
       "层（是否有参数文件引用了自身？）",
       {"a"}},
      {"a language the tool does not speak",
       Language("fr"),
       InputErrorCode::kUnknownLanguage,
       InputPlace{"--lang"},
       "GeoAnchorSolve: --lang is \"fr\", not a language the tool speaks: "
       "give --lang=zh or --lang=en, or leave it out to follow the system's "
       "language",
       "GeoAnchorSolve: --lang 为 \"fr\"，不是本工具支持的语言：请给出 "
       "--lang=zh 或 --lang=en，或不给出此参数，以跟随系统语言",
       {"\"fr\"", "--lang=zh", "--lang=en"}},
      {"a flag that is no number, with the stage's remedy",
       Stage(zoffset),
       InputErrorCode::kNotFinite,
       InputPlace{"--zoffset"},
       "GeoAnchorSolve: --zoffset is nan, not a finite number: give the "
       "matrix's z offset in metres, or leave it out",
       "GeoAnchorSolve: --zoffset 为 nan，不是有限数：请给出矩阵的 z "
       "偏移（米），或不给出此参数",
       {}},
      {"a flag, the subject of the finding",
       CheckAccuracy(InputPlace{"--accuracy"}, -0.01),
       InputErrorCode::kAccuracyRange,
       InputPlace{"--accuracy"},
       "GeoAnchorSolve: --accuracy is -0.01, not a finite number of 0 or "
       "more: give the control points' accuracy in metres, or 0 to estimate "
       "it",
       "GeoAnchorSolve: --accuracy 为 -0.01，不是 0 "
       "或更大的有限数：请给出控制点的中误差（米），或给 0 由解算估计",
       {}},
      {"a remedy that names the flag",
       CheckProjectHeight(InputPlace{"--projectheight"}, INFINITY),
       InputErrorCode::kProjectHeightInfinite,
       InputPlace{"--projectheight"},
       "GeoAnchorSolve: --projectheight is inf, not a finite number: give the "
       "targets' height in metres, or leave out --projectheight when each "
       "target carries its height",
       "GeoAnchorSolve: --projectheight 为 "
       "inf，不是有限数：请给出目标点的高度（米），或在每个目标点自带高度时不给"
       " --projectheight",
       {}},
      {"a table's field",
       CheckLatitude(InputPlace{"points.csv", 0, 7, "纬度(°)"}, 91.0),
       InputErrorCode::kLatitudeRange,
       InputPlace{"points.csv", 0, 7, "纬度(°)"},
       "GeoAnchorSolve: points.csv line 7, column 纬度(°) has latitude 91 "
       "degrees, beyond +-90: write longitude first, then latitude (lon,lat)",
       "GeoAnchorSolve: points.csv 第 7 行，纬度(°) 列的纬度为 91 度，超出 "
       "±90：请先写经度，再写纬度（lon,lat）",
       {"纬度(°)"}},
      {"a base point's longitude",
       BasePoint("400,39.9"),
       InputErrorCode::kLongitudeRange,
       InputPlace{"basepoint"},
       "GeoAnchorSolve: basepoint has longitude 400 degrees, beyond +-360: "
       "give the longitude in degrees (-180 to 180), then the latitude",
       "GeoAnchorSolve: basepoint 的经度为 400 度，超出 "
       "±360：请先给出以度为单位的经度（-180 到 180），再给纬度",
       {"basepoint"}},
      {"a point of a list",
       CheckDrawingPoint(InputPlace{"DWGsrcpoints", 3}, Point3{0, 0, -5e12}),
       InputErrorCode::kDrawingRange,
       InputPlace{"DWGsrcpoints", 3},
       "GeoAnchorSolve: point 3 of DWGsrcpoints has z -5000000000000, beyond "
       "+-1e12: check that number (no drawing is that large, and the fit "
       "cannot carry it)",
       "GeoAnchorSolve: DWGsrcpoints 的第 3 个点的 z 坐标为 "
       "-5000000000000，超出 "
       "±1e12：请检查这个数（没有这么大的图纸，解算也无法处理）",
       {"DWGsrcpoints"}},
      // "nan" is character 20 of "116.3,39.9,0,116.4,nan,0", in point 2.
      {"nan in a list, naming its point",
       Stage(non_finite),
       InputErrorCode::kNonFiniteNumber,
       InputPlace{"DWGdespoints", 2},
       "GeoAnchorSolve: point 2 of DWGdespoints holds 'nan' (character 20), "
       "not a finite number: write every number with digits, such as 39.9 or "
       "-12.5",
       "GeoAnchorSolve: DWGdespoints 的第 2 个点含 'nan'（第 20 "
       "个字符），不是有限数：请用数字写出每个数，如 39.9 或 -12.5",
       {"DWGdespoints", "'nan'"}},
      {"what a list's text holds, after a colon",
       BasePoint("116.3;39.9"),
       InputErrorCode::kStoppedReading,
       InputPlace{"basepoint"},
       "GeoAnchorSolve: basepoint: reading stopped at ';' (character 6) after "
       "0 points, so '116.3;39.9' was not read: separate numbers with blanks "
       "or one comma",
       "GeoAnchorSolve: basepoint：读取在第 6 个字符 ';' 处停止，此前读到 0 "
       "个点，因此 '116.3;39.9' 未读入：数与数之间请用空格或一个逗号分隔",
       {"basepoint", "';'", "'116.3;39.9'"}},
      {"a full-width comma",
       BasePoint("116.3，39.9"),
       InputErrorCode::kStoppedReading,
       InputPlace{"basepoint"},
       "GeoAnchorSolve: basepoint: reading stopped at '，' (character 6, a "
       "full-width comma) after 0 points, so '116.3，39.9' was not read: "
       "separate numbers with blanks or one ASCII comma ','",
       "GeoAnchorSolve: basepoint：读取在第 6 个字符 "
       "'，'（全角逗号）处停止，此前读到 0 个点，因此 '116.3，39.9' "
       "未读入：数与数之间请用空格或一个半角逗号 ',' 分隔",
       {"basepoint", "'，'", "'116.3，39.9'"}},
      // '5' is character 9 of "1,2,3,4,5", after the 2 pairs.
      {"one number short of a point",
       IgnoredText("DWGsrcpoints", "1,2,3,4,5", 2),
       InputErrorCode::kIncompletePoint,
       InputPlace{"DWGsrcpoints"},
       "GeoAnchorSolve: DWGsrcpoints: 1 number after 2 points ('5', character "
       "9) makes no whole point of 2 and was not used: give 2 numbers for "
       "each point (x,y and lon,lat), or leave out --projectheight to read "
       "3",
       "GeoAnchorSolve: DWGsrcpoints：2 个点之后的 1 个数（'5'，第 9 "
       "个字符）凑不成一个点（每点 2 个数），未使用：请每个点给出 2 个数（x,y "
       "和 lon,lat），或不给 --projectheight 以每点读 3 个数",
       {"DWGsrcpoints", "'5'"}},
      // "116.4" begins at character 14 of "116.3 39.9 5 116.4 39.9".
      {"two numbers after the last triple",
       IgnoredText("DWGdespoints", "116.3 39.9 5 116.4 39.9", 3),
       InputErrorCode::kIncompletePoint,
       InputPlace{"DWGdespoints"},
       "GeoAnchorSolve: DWGdespoints: 2 numbers after 1 point ('116.4 39.9', "
       "character 14) make no whole point of 3 and were not used: give 3 "
       "numbers for each point (x,y,z and lon,lat,h), or give "
       "--projectheight=H to read 2",
       "GeoAnchorSolve: DWGdespoints：1 个点之后的 2 个数（'116.4 39.9'，第 14 "
       "个字符）凑不成一个点（每点 3 个数），未使用：请每个点给出 3 "
       "个数（x,y,z 和 lon,lat,h），或给出 --projectheight=H 以每点读 2 个数",
       {"DWGdespoints", "'116.4 39.9'"}},
      {"a list without a number",
       Stage(empty),
       InputErrorCode::kEmptyList,
       InputPlace{"DWGsrcpoints"},
       "GeoAnchorSolve: DWGsrcpoints holds no point ('x y z'): give the "
       "control points' drawing coordinates, x,y,z for each",
       "GeoAnchorSolve: DWGsrcpoints 不含任何点（'x y "
       "z'）：请给出控制点的图纸坐标，每点 x,y,z",
       {"DWGsrcpoints", "'x y z'"}},
      {"two lists",
       Lengths("1,2,3", "116.3,39.9,0,116.4,39.9,0"),
       InputErrorCode::kDifferentLengths,
       InputPlace{"DWGsrcpoints"},
       "GeoAnchorSolve: DWGsrcpoints has 1 point (3 numbers read) but "
       "DWGdespoints has 2 points (6 numbers read), at 3 numbers a point: "
       "give one target for each drawing point, in the same order",
       "GeoAnchorSolve: DWGsrcpoints 有 1 个点（读入 3 个数），而 DWGdespoints "
       "有 2 个点（读入 6 个数），每点 3 "
       "个数：请为每个图纸点给出一个目标点，顺序相同",
       {"DWGsrcpoints", "DWGdespoints"}},
      {"pairs read as triples",
       TargetShape("116.3,39.9,116.4,39.9,116.5,39.9", 3),
       InputErrorCode::kPairsReadAsTriples,
       InputPlace{"DWGdespoints"},
       "GeoAnchorSolve: DWGdespoints holds longitude,latitude pairs (6 "
       "numbers), read as lon,lat,h triples without --projectheight: give "
       "--projectheight=H to put every target at height H metres, or a "
       "height for each target (lon,lat,h)",
       "GeoAnchorSolve: DWGdespoints 为经度,纬度两数一组（6 个数），但因未给 "
       "--projectheight 而按 lon,lat,h 三数一组读取：请给出 "
       "--projectheight=H，将所有目标点置于 H "
       "米高，或为每个目标点给出高度（lon,lat,h）",
       {"DWGdespoints"}},
      {"triples read as pairs",
       TargetShape("116.3,39.9,5,116.4,39.9,5", 2),
       InputErrorCode::kTriplesReadAsPairs,
       InputPlace{"DWGdespoints"},
       "GeoAnchorSolve: DWGdespoints holds lon,lat,h triples (6 numbers), "
       "read as longitude,latitude pairs with --projectheight: leave out "
       "--projectheight to use their heights, or give longitude,latitude "
       "pairs",
       "GeoAnchorSolve: DWGdespoints 为 lon,lat,h 三数一组（6 个数），但因给了 "
       "--projectheight 而按经度,纬度两数一组读取：请不给 --projectheight "
       "以使用各点的高度，或只给出经度,纬度两数一组",
       {"DWGdespoints"}},
      {"the drawing list in the other shape",
       CheckDrawingShape("DWGsrcpoints", ReadPointList("1,2,3,4,5,6", 3), 3, 3),
       InputErrorCode::kDrawingOtherShape,
       InputPlace{"DWGsrcpoints"},
       "GeoAnchorSolve: DWGsrcpoints holds 6 numbers, 3 pairs for 3 targets "
       "read with heights: give x,y,z for each drawing point (z may be 0)",
       "GeoAnchorSolve: DWGsrcpoints 有 6 个数，即 3 "
       "组两数，对应按带高度读取的 3 个目标点：请为每个图纸点给出 x,y,z（z "
       "可为 0）",
       {"DWGsrcpoints"}},
      {"a table that cannot be read",
       TableStage("", "No such file or directory"),
       InputErrorCode::kUnreadableFile,
       InputPlace{},
       "GeoAnchorSolve: cannot read the --points file points.csv: No such "
       "file or directory: check its path",
       "GeoAnchorSolve: 无法读取 --points 文件 points.csv：No such file or "
       "directory：请检查它的路径",
       {"points.csv", "No such file or directory"}},
      {"a projected CRS",
       Table("#CRS: PROJCRS[\"CGCS2000 / 3-degree Gauss-Kruger zone 39\"]\n"
             "mapX,mapY,sourceX,sourceY\n"),
       InputErrorCode::kProjectedCrs,
       InputPlace{"points.csv", 0, 1},
       "GeoAnchorSolve: points.csv line 1: the #CRS line names a projected "
       "system (PROJCRS[\"CGCS2000 / 3-degree Gauss-Kruger zone 39\"]), but "
       "mapX and mapY must be longitude and latitude: save the points from "
       "QGIS with a geographic CRS such as WGS 84 (EPSG:4326)",
       "GeoAnchorSolve: points.csv 第 1 行：#CRS "
       "行给出的是投影坐标系（PROJCRS[\"CGCS2000 / 3-degree Gauss-Kruger zone "
       "39\"]），而 mapX 和 mapY 须为经度和纬度：请在 QGIS 中以地理坐标系（如 "
       "WGS 84，EPSG:4326）保存这些点",
       {"points.csv", "#CRS", "mapX", "mapY",
        "PROJCRS[\"CGCS2000 / 3-degree Gauss-Kruger zone 39\"]"}},
      {"no header",
       Table("# only a comment\n"),
       InputErrorCode::kNoHeader,
       InputPlace{"points.csv"},
       "GeoAnchorSolve: points.csv: no header line (nothing but blank lines "
       "and # comments): start the table with a line that names its "
       "columns, such as name,x,y,lon,lat,h",
       "GeoAnchorSolve: points.csv：没有表头行（只有空行和 # "
       "注释）：请以一行列名开始表格，如 name,x,y,lon,lat,h",
       {"points.csv"}},
      {"an unclosed quote",
       Table("x,y,lon,lat,h\n1,\"2,116.3,39.9,5\n"),
       InputErrorCode::kUnclosedQuote,
       InputPlace{"points.csv", 0, 2},
       "GeoAnchorSolve: points.csv line 2: the quote that opens field 2 is "
       "not closed: close it with '\"', or remove it",
       "GeoAnchorSolve: points.csv 第 2 行：第 2 "
       "个字段开头的引号没有闭合：请用 '\"' 闭合它，或删去它",
       {"points.csv"}},
      {"a column twice, in Chinese",
       Table("点名,x,y,高程,H,经度,纬度,大地高\n"),
       InputErrorCode::kDuplicateColumn,
       InputPlace{"points.csv", 0, 1},
       "GeoAnchorSolve: points.csv line 1: columns 4 ('高程') and 5 ('H') "
       "both give z: keep one of them",
       "GeoAnchorSolve: points.csv 第 1 行：第 4 列（'高程'）和第 5 "
       "列（'H'）都给出 z：请只保留其中一列",
       {"points.csv", "'高程'", "'H'"}},
      {"a column missing, its names listed",
       Table("name,y,lon,lat,h\n"),
       InputErrorCode::kMissingColumn,
       InputPlace{"points.csv", 0, 1},
       "GeoAnchorSolve: points.csv line 1: the header names no x column: "
       "name it x, east, easting, 东坐标, Y坐标 or sourceX (the header is the "
       "first line that is neither blank nor a # comment)",
       "GeoAnchorSolve: points.csv 第 1 行：表头中没有 x 列：请将该列命名为 "
       "x、east、easting、东坐标、Y坐标 或 sourceX（表头是第一个既非空行、也非 "
       "# 注释的行）",
       {"points.csv", "easting", "east", "东坐标", "Y坐标", "sourceX"}},
      {"no ellipsoidal heights for the targets",
       TableStage("name,x,y,lon,lat\nK1,1,2,116.3,39.9\n"),
       InputErrorCode::kNoHeightColumn,
       InputPlace{"points.csv", 0, 1},
       "GeoAnchorSolve: points.csv line 1: the header names no h column "
       "(大地高) for the targets' ellipsoidal heights: give "
       "--projectheight=<metres> to take every target at that height, or "
       "add an h column",
       "GeoAnchorSolve: points.csv 第 1 行：表头中没有 h "
       "列（大地高），无从得到目标点的大地高：请给出 "
       "--projectheight=<米>，让所有目标点取这一高度，或加上 h 列",
       {"points.csv"}},
      {"too few fields",
       Table("x y lon lat h\n1 2 116.3 39.9\n"),
       InputErrorCode::kTooFewFields,
       InputPlace{"points.csv", 0, 2},
       "GeoAnchorSolve: points.csv line 2: 4 fields, but the header has "
       "column 'h' as field 5: give every row a field for each column "
       "(blanks separate the fields here)",
       "GeoAnchorSolve: points.csv 第 2 行：只有 4 个字段，但表头的 'h' 列是第 "
       "5 个字段：请让每行都有每一列的字段（此表以空白分隔字段）",
       {"points.csv", "'h'"}},
      {"too many fields",
       Table("x,y,lon,lat,h\n1,2,116.3,39.9,5,K 7\n"),
       InputErrorCode::kTooManyFields,
       InputPlace{"points.csv", 0, 2},
       "GeoAnchorSolve: points.csv line 2: 6 fields, but the header names 5: "
       "field 6 'K 7' has no column; quote a field that holds the separator",
       "GeoAnchorSolve: points.csv 第 2 行：有 6 个字段，但表头只有 5 列：第 6 "
       "个字段 'K 7' 没有对应的列；含分隔符的字段请加引号",
       {"points.csv", "'K 7'"}},
      {"an empty field",
       Table("点号,X坐标,Y坐标,经度,纬度,大地高\nK1,1,,116,39,5\n"),
       InputErrorCode::kEmptyField,
       InputPlace{"points.csv", 0, 2, "Y坐标"},
       "GeoAnchorSolve: points.csv line 2, column Y坐标: the field is empty: "
       "give every point its x",
       "GeoAnchorSolve: points.csv 第 2 行，Y坐标 列：字段为空：请为每个点给出 "
       "x",
       {"points.csv", "Y坐标"}},
      {"no number",
       Table("x,y,lon,lat,h\n1,2O,116,39,5\n"),
       InputErrorCode::kNotANumber,
       InputPlace{"points.csv", 0, 2, "y"},
       "GeoAnchorSolve: points.csv line 2, column y: '2O' is not a number",
       "GeoAnchorSolve: points.csv 第 2 行，y 列：'2O' 不是数字",
       {"points.csv", "'2O'"}},
      {"no angle, and why",
       Table("x,y,lon,lat,h\n1,2,116,39°60′,5\n"),
       InputErrorCode::kNotAnAngle,
       InputPlace{"points.csv", 0, 2, "lat"},
       "GeoAnchorSolve: points.csv line 2, column lat: '39°60′' is not an "
       "angle (minutes and seconds must be below 60): write decimal degrees, "
       "or degrees, minutes and seconds such as 116°23′45.67″",
       "GeoAnchorSolve: points.csv 第 2 行，lat 列：'39°60′' "
       "不是角度（分和秒须小于 60）：请写十进制度数，或度分秒，如 "
       "116°23′45.67″",
       {"points.csv", "'39°60′'"}},
      {"a use value",
       Table("x,y,lon,lat,h,参与计算\n1,2,116,39,5,可能\n"),
       InputErrorCode::kBadUseValue,
       InputPlace{"points.csv", 0, 2, "参与计算"},
       "GeoAnchorSolve: points.csv line 2, column 参与计算: '可能' is not 是 "
       "or 否 (nor 1 or 0, yes or no, true or false): give 是 for a point to "
       "fit, 否 for a check point",
       "GeoAnchorSolve: points.csv 第 2 行，参与计算 列：'可能' 不是 是 或 "
       "否（也不是 1 或 0、yes 或 no、true 或 false）：参与解算的点填 "
       "是，检查点填 否",
       {"points.csv", "参与计算", "'可能'", "yes", "no", "true", "false"}},
      {"no rows",
       Table("\n\nx,y,lon,lat,h\n"),
       InputErrorCode::kNoRows,
       InputPlace{"points.csv"},
       "GeoAnchorSolve: points.csv: no control points below the header on "
       "line 3: give one point a line below it",
       "GeoAnchorSolve: points.csv：第 3 "
       "行的表头下面没有控制点：请在表头下面每行给出一个点",
       {"points.csv"}},
      {"no point used",
       TableStage("x,y,lon,lat,h,use\n1,2,116.3,39.9,5,0\n"),
       InputErrorCode::kNoPointUsed,
       InputPlace{"points.csv"},
       "GeoAnchorSolve: points.csv: every point has use 0, so none is left "
       "to fit: give use 1 to the points to fit",
       "GeoAnchorSolve: points.csv：所有点的 use 都为 "
       "0，没有点可用于解算：请将参与解算的点的 use 设为 1",
       {"points.csv"}},
      {"a scene's file and a base point",
       Scene("<ModelMetadata/>", "116.3,39.9"),
       InputErrorCode::kSceneWithBasePoint,
       InputPlace{},
       "GeoAnchorSolve: --scene cannot be given with --basepoint: take the "
       "base point either from the scene's file or from --basepoint",
       "GeoAnchorSolve: --scene 不能与 --basepoint 同时给出：基点请只从场景文件"
       "或只从 --basepoint 取得",
       {}},
      {"a scene's file of another kind",
       Scene("<Project/>"),
       InputErrorCode::kSceneFile,
       InputPlace{"metadata.xml"},
       "GeoAnchorSolve: metadata.xml: its root element is 'Project', not "
       "ContextCapture's <ModelMetadata>: give ContextCapture's metadata.xml "
       "(<SRS> and <SRSOrigin>) or a 3D Tiles tileset.json whose root "
       "transform is an east/north/up frame, or --basepoint=lon,lat instead "
       "of --scene",
       "GeoAnchorSolve: metadata.xml：其根元素为 'Project'，不是 "
       "ContextCapture "
       "的 <ModelMetadata>：请给出 ContextCapture 的 metadata.xml（含 <SRS> 和 "
       "<SRSOrigin>），或根节点 transform 为东北天坐标系的 3D Tiles "
       "tileset.json，或改用 --basepoint=lon,lat 代替 --scene",
       {"metadata.xml", "'Project'"}},
      {"a scene in a local system",
       Scene("<ModelMetadata><SRS>Local</SRS></ModelMetadata>"),
       InputErrorCode::kSceneSrs,
       InputPlace{"metadata.xml"},
       "GeoAnchorSolve: metadata.xml: \"Local\" is a local system, not placed "
       "on the earth; the tool takes ENU:lat,lon, the EPSG code of a CGCS2000 "
       "Gauss-Krüger grid (4491 to 4554) or a WGS84 UTM grid (32601 to "
       "32660, 32701 to 32760), or the WKT of a transverse Mercator on "
       "CGCS2000 or WGS84: correct <SRS>, or give --basepoint=lon,lat "
       "instead of --scene",
       "GeoAnchorSolve: metadata.xml：\u201cLocal\u201d 是局部坐标系，未定位到"
       "地球上；本工具接受 ENU:lat,lon、CGCS2000 高斯-克吕格投影（4491 至 "
       "4554）"
       "或 WGS84 UTM 投影（32601 至 32660、32701 至 32760）的 EPSG 代码，或 "
       "CGCS2000、WGS84 上横轴墨卡托投影的 WKT：请改正 <SRS>，或改用 "
       "--basepoint=lon,lat 代替 --scene",
       {"metadata.xml", "Local"}},
      {"a grid scene without its origin",
       Scene("<ModelMetadata><SRS>EPSG:4547</SRS></ModelMetadata>"),
       InputErrorCode::kSceneOrigin,
       InputPlace{"metadata.xml"},
       "GeoAnchorSolve: metadata.xml: a projected scene without <SRSOrigin>, "
       "so its position in the grid is unknown: give "
       "<SRSOrigin>easting,northing,height</SRSOrigin> as the producer wrote "
       "it, or --basepoint=lon,lat instead of --scene",
       "GeoAnchorSolve: metadata.xml：投影坐标系的场景缺少 "
       "<SRSOrigin>，无从确定其在投影中的位置：请按生产软件的输出补上 "
       "<SRSOrigin>东坐标,北坐标,高程</SRSOrigin>，或改用 --basepoint=lon,lat "
       "代替 --scene",
       {"metadata.xml"}},
      {"a tileset placed by no frame",
       Scene("{\"root\": {\"geometricError\": 10}}"),
       InputErrorCode::kSceneTransform,
       InputPlace{"metadata.xml"},
       "GeoAnchorSolve: metadata.xml: the root tile has no transform, so the "
       "tileset says nothing of where it lies: give the scene's metadata.xml "
       "instead, or --basepoint=lon,lat instead of --scene",
       "GeoAnchorSolve: metadata.xml：根节点没有 "
       "transform，无从得知场景的位置：请改给场景的 metadata.xml，或改用 "
       "--basepoint=lon,lat 代替 --scene",
       {"metadata.xml"}},
  };
}

// kSceneTransform is the last of the codes.
constexpr int kCodes = static_cast<int>(InputErrorCode::kSceneTransform) + 1;

TEST(InputErrorTest, EachCodeKeepsItsPlaceAndRendersItsLineInBothLanguages) {
  std::set<InputErrorCode> covered;
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(c.error.has_value());
    const InputError& e = *c.error;
    covered.insert(e.code);
    EXPECT_EQ(c.code, e.code);
    EXPECT_EQ(c.where.name, e.where.name);
    EXPECT_EQ(c.where.point, e.where.point);
    EXPECT_EQ(c.where.line, e.where.line);
    EXPECT_EQ(c.where.column, e.where.column);
    EXPECT_EQ(c.en, RenderInputError(e, Language::kEnglish));
    EXPECT_EQ(c.zh, RenderInputError(e, Language::kChinese));
    EXPECT_EQ("",
              bilingual::Faults(Message{InputErrorText(e, Language::kEnglish),
                                        InputErrorText(e, Language::kChinese)},
                                c.verbatim));
  }
  for (int code = 0; code < kCodes; ++code) {
    EXPECT_EQ(1u, covered.count(static_cast<InputErrorCode>(code)))
        << "no case of code " << code;
  }
}

// A file's name with a line break, as a script may pass one: the line
// stays one line in both languages.
TEST(InputErrorTest, UsersTextWithLineBreaksStaysOneLine) {
  InputFlags flags;
  flags.points_path = "a\nb\r.csv";
  flags.points_read_error = "No such file or directory";
  flags.basepoint = "116.3,39.9";
  const std::optional<InputError> error = Stage(flags);
  ASSERT_TRUE(error);
  for (geoanchor::Language language :
       {geoanchor::Language::kEnglish, geoanchor::Language::kChinese}) {
    const std::string line = RenderInputError(*error, language);
    EXPECT_EQ(std::string::npos, line.find_first_of("\r\n")) << line;
    EXPECT_NE(std::string::npos, line.find("a b .csv")) << line;
  }
}

}  // namespace

}  // namespace geoanchor
