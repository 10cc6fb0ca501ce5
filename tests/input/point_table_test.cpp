#include "input/point_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/bilingual_checks.h"
#include "tests/common/converted_text.h"

namespace geoanchor {

namespace {

// UTF-8 text in the encoding `to`, by glibc's converter.
std::string Encoded(const std::string& utf8, const char* to) {
  return ConvertedText(utf8, "UTF-8", to);
}

struct Row {
  int line;
  std::string name;
  double x, y, z, lon, lat, h;
  bool used;
};

// 116°23′45.67″ and 39°54′27″, as degrees + minutes / 60 + seconds / 3600.
const double kLonDms = 116.0 + 23.0 / 60.0 + 45.67 / 3600.0;
const double kLatDms = 39.0 + 54.0 / 60.0 + 27.0 / 3600.0;

struct Case {
  const char* what;
  std::string bytes;
  std::vector<Row> rows;  // expected, when `error` is empty
  std::string error;      // the whole expected message
  bool read_heights;
  bool has_heights;
  std::vector<std::string> quoted;  // the user's text the message quotes
};

Case Good(const char* what, std::string bytes, std::vector<Row> rows,
          bool read_heights = true, bool has_heights = true) {
  return {what, std::move(bytes), std::move(rows),
          "",   read_heights,     has_heights,
          {}};
}
Case Bad(const char* what, std::string bytes, std::string error,
         std::vector<std::string> quoted = {}) {
  return {what, std::move(bytes), {}, std::move(error), true,
          true, std::move(quoted)};
}

std::vector<Case> Cases() {
  const std::string chinese_header =
      "点号,东坐标(m),北坐标(m),经度(°),纬度(°),大地高\r\n";
  const std::string chinese_rows =
      "K7,500000.5,4417000.25,116.3,39.9,50.5\r\n"
      "GPS03,500085.5,4417111,116.301,39.901,52\r\n";
  const std::vector<Row> chinese = {
      {2, "K7", 500000.5, 4417000.25, 0, 116.3, 39.9, 50.5, true},
      {3, "GPS03", 500085.5, 4417111, 0, 116.301, 39.901, 52, true}};
  const std::string tabs =
      "name\tx\ty\tz\tlon\tlat\th\n"
      "\"K 1\"\t1.5\t2.5\t3\t116.3\t39.9\t50\n";
  const std::vector<Row> tab_rows = {
      {2, "K 1", 1.5, 2.5, 3, 116.3, 39.9, 50, true}};
  std::vector<Case> cases = {
      Good("UTF-8 without a mark, commas, no name column",
           "x,y,z,lon,lat,h\n1,2,3,116.3,39.9,50\n-1e3,+2.5,0,-0.5,-.5,-7\n",
           {{2, "", 1, 2, 3, 116.3, 39.9, 50, true},
            {3, "", -1e3, 2.5, 0, -0.5, -0.5, -7, true}}),
      Good("UTF-8 with a mark, CR LF, the Chinese header with units",
           "\xEF\xBB\xBF" + chinese_header + chinese_rows, chinese),
      Good("GBK, as a Chinese Excel saves CSV",
           Encoded(chinese_header + chinese_rows, "GBK"), chinese),
      Good("UTF-16 LE with its mark and tabs, Excel's Unicode text",
           "\xFF\xFE" + Encoded(tabs, "UTF-16LE"), tab_rows),
      Good("UTF-16 BE with its mark", "\xFE\xFF" + Encoded(tabs, "UTF-16BE"),
           tab_rows),
      Good("semicolons, quotes around a separator and a doubled quote",
           "Name; X; Y; Lon; Lat; H; Use\n"
           "\"K;1\";1;2;116.3;39.9;50;0\n"
           "\"say \"\"hi\"\"\";3;4;116.4;39.8;51;\n",
           {{2, "K;1", 1, 2, 0, 116.3, 39.9, 50, false},
            {3, "say \"hi\"", 3, 4, 0, 116.4, 39.8, 51, true}}),
      Good("runs of blanks, units apart, a quoted name and a quoted angle",
           "  name   x (m)  y [m]  longitude  latitude  h （m）  \n"
           "\"K 7\"  1   2   \"116 23 45.67\"  39.9  50  \n",
           {{2, "K 7", 1, 2, 0, kLonDms, 39.9, 50, true}}),
      Good("degrees, minutes and seconds in every writing",
           "lon,lat,x,y,h\n"
           "116°23′45.67″,39°54′27″,1,1,0\n"
           "116°23'45.67\",39 54 27,2,2,0\n"
           "116度23分45.67秒,-39°54′27″,3,3,0\n"
           "116 23.5,39°,4,4,0\n",
           {{2, "", 1, 1, 0, kLonDms, kLatDms, 0, true},
            {3, "", 2, 2, 0, kLonDms, kLatDms, 0, true},
            {4, "", 3, 3, 0, kLonDms, -kLatDms, 0, true},
            {5, "", 4, 4, 0, 116.0 + 23.5 / 60.0, 39, 0, true}}),
      Good("QGIS's .points, geographic, with a disabled row",
           "#CRS: GEOGCRS[\"WGS 84\",DATUM[\"World Geodetic System 1984\"]]\r\n"
           "mapX,mapY,sourceX,sourceY,enable,dX,dY,residual\r\n"
           "116.3,39.9,500000,4417000,1,0.1,0.2,0.3\r\n"
           "116.301,39.901,500085.5,4417111,0,0,0,0\r\n",
           {{3, "", 500000, 4417000, 0, 116.3, 39.9, 0, true},
            {4, "", 500085.5, 4417111, 0, 116.301, 39.901, 0, false}},
           true, false),
      Good("comments, blank and empty rows, CR line ends, use words",
           "# survey 2024\r\rname,x,y,lon,lat,h,use,note\r,,,,,,,\r"
           "  # a "
           "comment\rA,1,2,116.3,39.9,5,Yes,\rB,3,4,116.4,39.8,6,FALSE,ok,,\r",
           {{6, "A", 1, 2, 0, 116.3, 39.9, 5, true},
            {7, "B", 3, 4, 0, 116.4, 39.8, 6, false}}),
      Good("tabs keep their empty fields, first and last",
           "name\tx\ty\tlon\tlat\th\tuse\n\t1\t2\t116.3\t39.9\t5\t\n"
           "K2\t3\t4\t116.4\t39.8\t6\t0\n",
           {{2, "", 1, 2, 0, 116.3, 39.9, 5, true},
            {3, "K2", 3, 4, 0, 116.4, 39.8, 6, false}}),
      Good("the pair mode reads neither z nor h, which may then be empty",
           "name,x,y,z,lon,lat,h\nK1,1,2,,116.3,39.9,\n",
           {{2, "K1", 1, 2, 0, 116.3, 39.9, 0, true}}, false),
      Bad("a letter O among the digits",
          "name,x,y,lon,lat,h\n#\nK1,1,2,116.3,39.9,5\n\nK2,39448324.0O9,2,"
          "116.3,39.9,5\n",
          "GeoAnchorSolve: points.csv line 5, column x: '39448324.0O9' is not "
          "a number",
          {"'39448324.0O9'"}),
      Bad("a column missing", "name,x,y,lon,h\n",
          "GeoAnchorSolve: points.csv line 1: the header names no lat column: "
          "name it lat, latitude, B, 纬度 or mapY (the header is the first "
          "line "
          "that is neither blank nor a # comment)",
          {"latitude", "mapY"}),
      Bad("a column twice", "x,y,east,lon,lat\n",
          "GeoAnchorSolve: points.csv line 1: columns 1 ('x') and 3 ('east') "
          "both give x: keep one of them",
          {"'east'"}),
      Bad("a projected CRS in a .points file",
          "#CRS: PROJCRS[\"CGCS2000 / 3-degree Gauss-Kruger zone "
          "39\",BASEGEOGCRS"
          "[\"China Geodetic Coordinate System 2000\"]]\n"
          "mapX,mapY,sourceX,sourceY,enable\n",
          "GeoAnchorSolve: points.csv line 1: the #CRS line names a projected "
          "system (PROJCRS[\"CGCS2000 / 3-degree Gauss-Kruger zone "
          "39\",BASEGEOGC...), but mapX and mapY must be longitude and "
          "latitude: save the "
          "points from QGIS with a geographic CRS such as WGS 84 (EPSG:4326)",
          {"#CRS", "mapX", "mapY",
           "PROJCRS[\"CGCS2000 / 3-degree Gauss-Kruger zone 39\",BASEGEOGC"}),
      Bad("an unclosed quote", "x,y,lon,lat,h\n1,\"2,116.3,39.9,5\n",
          "GeoAnchorSolve: points.csv line 2: the quote that opens field 2 is "
          "not closed: close it with '\"', or remove it"),
      Bad("too few fields", "x y lon lat h\n1 2 116.3 39.9\n",
          "GeoAnchorSolve: points.csv line 2: 4 fields, but the header has "
          "column 'h' as field 5: give every row a field for each column "
          "(blanks "
          "separate the fields here)",
          {"'h'"}),
      Bad("a name with a blank in a blank-separated table",
          "name x y lon lat h\nK7 1 2 116.3 39.9 5 extra\n",
          "GeoAnchorSolve: points.csv line 2: 7 fields, but the header names "
          "6: field 7 'extra' has no column; quote a field that holds blanks",
          {"'extra'"}),
      // The input checks' own lines (input/input_checks.h), with the
      // table's line and column for the point.
      Bad("latitude beyond 90, the first mistake from the left",
          "x,y,lon,lat,h\n1,2,39.9,116.3,1e999\n",
          "GeoAnchorSolve: points.csv line 2, column lat has latitude 116.3 "
          "degrees, beyond +-90: write longitude first, then latitude "
          "(lon,lat)"),
      Bad("longitude beyond 360", "x,y,lon,lat,h\n1,2,400,39.9,5\n",
          "GeoAnchorSolve: points.csv line 2, column lon has longitude 400 "
          "degrees, beyond +-360: give the longitude in degrees (-180 to "
          "180), then the latitude"),
      Bad("a drawing coordinate beyond 1e12",
          "X(m),y,lon,lat,h\n2e12,2,1,2,5\n",
          "GeoAnchorSolve: points.csv line 2, column X(m) has x 2000000000000, "
          "beyond +-1e12: check that number (no drawing is that large, and "
          "the fit cannot carry it)",
          {"X(m)"}),
      Bad("a number beyond a double", "x,y,lon,lat,h\n1,2,116,39,1e999\n",
          "GeoAnchorSolve: points.csv line 2, column h is inf, not a finite "
          "number: check '1e999', which is beyond the range of a double",
          {"'1e999'"}),
      Bad("sixty minutes", "x,y,lon,lat,h\n1,2,116°60′,39,5\n",
          "GeoAnchorSolve: points.csv line 2, column lon: '116°60′' is not an "
          "angle (minutes and seconds must be below 60): write decimal "
          "degrees, "
          "or degrees, minutes and seconds such as 116°23′45.67″",
          {"'116°60′'"}),
      Bad("fractional degrees before minutes",
          "x,y,lon,lat,h\n1,2,116.5 30,39,5\n",
          "GeoAnchorSolve: points.csv line 2, column lon: '116.5 30' is not an "
          "angle (the degrees before minutes must be a whole number): write "
          "decimal degrees, or degrees, minutes and seconds such as "
          "116°23′45.67″",
          {"'116.5 30'"}),
      Bad("a hemisphere letter", "x,y,lon,lat,h\n1,2,116.3E,39,5\n",
          "GeoAnchorSolve: points.csv line 2, column lon: '116.3E' is not an "
          "angle: write decimal degrees, or degrees, minutes and seconds such "
          "as 116°23′45.67″",
          {"'116.3E'"}),
      Bad("a latitude's letter on a longitude",
          "x,y,lon,lat,h\n1,2,N30°35′54.3″,39,5\n",
          "GeoAnchorSolve: points.csv line 2, column lon: 'N30°35′54.3″' is "
          "not an angle (N and S are a latitude's hemispheres): write decimal "
          "degrees, or degrees, minutes and seconds such as 116°23′45.67″",
          {"'N30°35′54.3″'"}),
      Bad("a sign and a letter", "x,y,lon,lat,h\n1,2,116,-N30:35,5\n",
          "GeoAnchorSolve: points.csv line 2, column lat: '-N30:35' is not an "
          "angle: write decimal degrees, or degrees, minutes and seconds such "
          "as 116°23′45.67″",
          {"'-N30:35'"}),
      Bad("four parts with colons", "x,y,lon,lat,h\n1,2,116:1:2:3,39,5\n",
          "GeoAnchorSolve: points.csv line 2, column lon: '116:1:2:3' is not "
          "an angle: write decimal degrees, or degrees, minutes and seconds "
          "such as 116°23′45.67″",
          {"'116:1:2:3'"}),
      Bad("H beside 大地高 and 高程", "点名,x,y,高程,H,经度,纬度,大地高\n",
          "GeoAnchorSolve: points.csv line 1: columns 4 ('高程') and 5 ('H') "
          "both give z: keep one of them",
          {"'高程'", "'H'"}),
      Bad("an unknown 检查点 value",
          "点名,x,y,经度,纬度,大地高,检查点\nA,1,2,117,39,7,可能\n",
          "GeoAnchorSolve: points.csv line 2, column 检查点: '可能' is not 是 "
          "or 否 (nor 1 or 0, yes or no, true or false): give 是 for a check "
          "point, 否 for a point to fit",
          {"检查点", "'可能'", "yes", "no", "true", "false"}),
      Bad("an unknown use", "x,y,lon,lat,h,use\n1,2,116,39,5,maybe\n",
          "GeoAnchorSolve: points.csv line 2, column use: 'maybe' is not 1 or "
          "0 "
          "(nor yes or no, true or false): give 1 for a point to fit, 0 for a "
          "check point",
          {"'maybe'", "yes", "no", "true", "false"}),
      Bad("an empty field", "x,y,lon,lat,h\n,2,116,39,5\n",
          "GeoAnchorSolve: points.csv line 2, column x: the field is empty: "
          "give every point its x"),
      Bad("no header", "# only a comment\n\n",
          "GeoAnchorSolve: points.csv: no header line (nothing but blank lines "
          "and # comments): start the table with a line that names its "
          "columns, such as name,x,y,lon,lat,h"),
      Bad("no points", "x,y,lon,lat,h\n,,,,\n",
          "GeoAnchorSolve: points.csv: no control points below the header on "
          "line 1: give one point a line below it"),
  };
  return cases;
}

void ExpectRows(const std::vector<Row>& rows, const PointTable& table) {
  ASSERT_EQ(rows.size(), table.points.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& want = rows[i];
    const TablePoint& got = table.points[i];
    SCOPED_TRACE("row " + std::to_string(i));
    EXPECT_EQ(want.line, got.line);
    EXPECT_EQ(want.name, got.name);
    EXPECT_EQ(want.x, got.source.x);
    EXPECT_EQ(want.y, got.source.y);
    EXPECT_EQ(want.z, got.source.z);
    EXPECT_EQ(want.lon, got.geodetic.x);
    EXPECT_EQ(want.lat, got.geodetic.y);
    EXPECT_EQ(want.h, got.geodetic.z);
    EXPECT_EQ(want.used, got.used);
  }
}

TEST(PointTableTest, ReadsEveryLayoutAndNamesEveryMistake) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.what);
    PointTable table;
    InputError error;
    const bool ok =
        ReadPointTable(c.bytes, "points.csv", c.read_heights, &table, &error);
    if (!c.error.empty()) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(c.error, RenderInputError(error, Language::kEnglish));
      EXPECT_EQ("", bilingual::Faults(
                        Message{InputErrorText(error, Language::kEnglish),
                                InputErrorText(error, Language::kChinese)},
                        c.quoted));
      EXPECT_TRUE(table.points.empty());
      continue;
    }
    ASSERT_TRUE(ok) << RenderInputError(error, Language::kEnglish);
    EXPECT_EQ(c.has_heights, table.has_heights);
    ExpectRows(c.rows, table);
  }
}

// Tables as Chinese surveyors write them, each read to the points the
// CAD user's header would give, and the column taken as the easting.
TEST(PointTableTest, ReadsSurveyorsTables) {
  // Tianjin's K1 (examples/tianjin.flags): a zone-39 easting and a northing.
  const std::string k1_xy = "4328460.775,39517250.31";  // X north, Y east
  const double e = 39517250.31, n = 4328460.775;
  const double lon = 117.1963623, lat = 39.0929411793;
  const std::string k1_geo = "39.0929411793,117.1963623";  // B, L
  // 120°12′3.5″ and 30°35′54.3″.
  const double kLon = 120 + 12 / 60.0 + 3.5 / 3600;
  const double kLat = 30 + 35 / 60.0 + 54.3 / 3600;
  struct Surveyed {
    const char* what;
    std::string bytes;
    std::vector<Row> rows;
    std::string easting;               // the easting column's header text
    std::vector<std::string> ignored;  // the columns not read
  };
  const std::vector<Surveyed> cases = {
      {"X north and Y east by their values, H the drawing's normal height",
       "点名,X,Y,H,B,L,大地高\nK1," + k1_xy + ",1.5," + k1_geo + ",3.21\n",
       {{2, "K1", e, n, 1.5, lon, lat, 3.21, true}},
       "Y",
       {}},
      {"X坐标 north, Y坐标 east, in a local grid the values cannot tell",
       "点号,X坐标(m),Y坐标(m),经度,纬度,椭球高\nP1,1200.5,3400.25,117,39,"
       "7\n",
       {{2, "P1", 3400.25, 1200.5, 0, 117, 39, 7, true}},
       "Y坐标(m)",
       {}},
      {"X坐标 holding a CAD user's easting is the easting",
       "点号,X坐标,Y坐标,经度,纬度,大地高\nP1,500000.5,4417000.25,117,39,7\n",
       {{2, "P1", 500000.5, 4417000.25, 0, 117, 39, 7, true}},
       "X坐标",
       {}},
      {"x and y keep CAD's meaning in a local grid",
       "name,x,y,lon,lat,h\nP1,4328460.775,2000,117,39,7\n",
       {{2, "P1", 4328460.775, 2000, 0, 117, 39, 7, true}},
       "x",
       {}},
      {"x and y exchanged only when most rows say so",
       "name,x,y,lon,lat,h\nK1," + k1_xy +
           ",117,39,7\nP2,1000,2000,117,39,"
           "7\n",
       {{2, "K1", n, e, 0, 117, 39, 7, true},
        {3, "P2", 1000, 2000, 0, 117, 39, 7, true}},
       "x",
       {}},
      {"x northing-like, y in no zone: as it stands",
       "x,y,lon,lat,h\n4328460.775,24517250.31,117,39,7\n",
       {{2, "", 4328460.775, 24517250.31, 0, 117, 39, 7, true}},
       "x",
       {}},
      {"Easting, Northing, Ellipsoidal Height in any case and spacing",
       "Name;EASTING (m);northing;Ellipsoidal_Height;Longitude;Latitude\n"
       "P1;500000.5;4417000.25;7;117;39\n",
       {{2, "P1", 500000.5, 4417000.25, 0, 117, 39, 7, true}},
       "EASTING (m)",
       {}},
      {"x and y exchanged by most rows, one mistyped",
       "name,x,y,lon,lat,h\nK1," + k1_xy + ",117,39,7\nK2," + k1_xy +
           ",117,39,7\nK3,34567890,500000,117,39,7\n",
       {{2, "K1", e, n, 0, 117, 39, 7, true},
        {3, "K2", e, n, 0, 117, 39, 7, true},
        {4, "K3", 500000, 34567890, 0, 117, 39, 7, true}},
       "y",
       {}},
      {"H beside an ellipsoidal height in an English table",
       "name,x,y,H,lon,lat,ellipsoidal height\nP1,1,2,1.5,117,39,7\n",
       {{2, "P1", 1, 2, 1.5, 117, 39, 7, true}},
       "x",
       {}},
      {"正常高 the drawing's z",
       "点号,x,y,正常高,经度,纬度,大地高\nP1,1,2,1.5,117,39,7\n",
       {{2, "P1", 1, 2, 1.5, 117, 39, 7, true}},
       "x",
       {}},
      {"ellipsoidal height with a blank",
       "x,y,lon,lat,ellipsoidal height\n1,2,117,39,7\n",
       {{2, "", 1, 2, 0, 117, 39, 7, true}},
       "x",
       {}},
      // d + m/60 + s/3600, S and W negative.
      {"colons and hemisphere letters before or after",
       "lon,lat,x,y,h\n"
       "120:12:3.5,30:35:54.30970,1,1,0\n"
       "E120°12′3.5″,N30°35′54.3″,2,2,0\n"
       "120°12′3.5″W,30°35′54.3″S,3,3,0\n"
       "w120°12′3.5″,-30:35.5,4,4,0\n",
       {{2, "", 1, 1, 0, kLon, 30 + 35 / 60.0 + 54.3097 / 3600, 0, true},
        {3, "", 2, 2, 0, kLon, kLat, 0, true},
        {4, "", 3, 3, 0, -kLon, -kLat, 0, true},
        {5, "", 4, 4, 0, -kLon, -(30 + 35.5 / 60.0), 0, true}},
       "x",
       {}},
      {"参与计算 and 是否参与 take 是 and 否 besides 1 and 0",
       "点名,x,y,经度,纬度,大地高,参与计算\n"
       "A,1,2,117,39,7,是\nB,3,4,117,39,7,否\nC,5,6,117,39,7,0\n",
       {{2, "A", 1, 2, 0, 117, 39, 7, true},
        {3, "B", 3, 4, 0, 117, 39, 7, false},
        {4, "C", 5, 6, 0, 117, 39, 7, false}},
       "x",
       {}},
      {"是否参与",
       "x,y,lon,lat,h,是否参与\n1,2,117,39,7,no\n",
       {{2, "", 1, 2, 0, 117, 39, 7, false}},
       "x",
       {}},
      {"检查点 is the use column's inverse; empty marks no check point",
       "点名,x,y,经度,纬度,大地高,检查点\n"
       "A,1,2,117,39,7,是\nB,3,4,117,39,7,否\nC,5,6,117,39,7,\n"
       "D,7,8,117,39,7,1\n",
       {{2, "A", 1, 2, 0, 117, 39, 7, false},
        {3, "B", 3, 4, 0, 117, 39, 7, true},
        {4, "C", 5, 6, 0, 117, 39, 7, true},
        {5, "D", 7, 8, 0, 117, 39, 7, false}},
       "x",
       {}},
      {"unknown columns listed in order; notes, numbers, QGIS's silent",
       "序号,点名,x,y,经度,纬度,大地高,等级,备注,说明,dX,dY,residual,note,\n"
       "1,A,1,2,117,39,7,二等,ok,,0,0,0,n,\n",
       {{2, "A", 1, 2, 0, 117, 39, 7, true}},
       "x",
       {"等级", "note"}},
      {"H without another ellipsoidal height stays h",
       "点名,x,y,H,经度,纬度\nA,1,2,7,117,39\n",
       {{2, "A", 1, 2, 0, 117, 39, 7, true}},
       "x",
       {}},
  };
  for (const Surveyed& c : cases) {
    SCOPED_TRACE(c.what);
    PointTable table;
    InputError error;
    ASSERT_TRUE(ReadPointTable(c.bytes, "points.csv", true, &table, &error))
        << RenderInputError(error, Language::kEnglish);
    ExpectRows(c.rows, table);
    EXPECT_EQ(c.easting, table.easting_column);
    EXPECT_EQ(c.ignored, table.ignored_columns);
  }
}

}  // namespace

}  // namespace geoanchor
