#include "input/point_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
};

Case Good(const char* what, std::string bytes, std::vector<Row> rows,
          bool read_heights = true, bool has_heights = true) {
  return {what, std::move(bytes), std::move(rows),
          "",   read_heights,     has_heights};
}
Case Bad(const char* what, std::string bytes, std::string error) {
  return {what, std::move(bytes), {}, std::move(error), true, true};
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
      Bad("the issue's example: a letter O among the digits",
          "name,x,y,lon,lat,h\n#\nK1,1,2,116.3,39.9,5\n\nK2,39448324.0O9,2,"
          "116.3,39.9,5\n",
          "GeoAnchorSolve: points.csv line 5, column x: '39448324.0O9' is not "
          "a number"),
      Bad("a column missing", "name,x,y,lon,h\n",
          "GeoAnchorSolve: points.csv line 1: the header names no lat column: "
          "name it lat, latitude, B, 纬度 or mapY (the header is the first "
          "line "
          "that is neither blank nor a # comment)"),
      Bad("a column twice", "x,y,east,lon,lat\n",
          "GeoAnchorSolve: points.csv line 1: columns 1 ('x') and 3 ('east') "
          "both give x: keep one of them"),
      Bad("a projected CRS in a .points file",
          "#CRS: PROJCRS[\"CGCS2000 / 3-degree Gauss-Kruger zone "
          "39\",BASEGEOGCRS"
          "[\"China Geodetic Coordinate System 2000\"]]\n"
          "mapX,mapY,sourceX,sourceY,enable\n",
          "GeoAnchorSolve: points.csv line 1: the #CRS line names a projected "
          "system (PROJCRS[\"CGCS2000 / 3-degree Gauss-Kruger zone "
          "39\",BASEGEOGC...), but mapX and mapY must be longitude and "
          "latitude: save the "
          "points from QGIS with a geographic CRS such as WGS 84 (EPSG:4326)"),
      Bad("an unclosed quote", "x,y,lon,lat,h\n1,\"2,116.3,39.9,5\n",
          "GeoAnchorSolve: points.csv line 2: the quote that opens field 2 is "
          "not closed: close it with '\"', or remove it"),
      Bad("too few fields", "x y lon lat h\n1 2 116.3 39.9\n",
          "GeoAnchorSolve: points.csv line 2: 4 fields, but the header has "
          "column 'h' as field 5: give every row a field for each column "
          "(blanks "
          "separate the fields here)"),
      Bad("a name with a blank in a blank-separated table",
          "name x y lon lat h\nK7 1 2 116.3 39.9 5 extra\n",
          "GeoAnchorSolve: points.csv line 2: 7 fields, but the header names "
          "6: field 7 'extra' has no column; quote a field that holds blanks"),
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
          "the fit cannot carry it)"),
      Bad("a number beyond a double", "x,y,lon,lat,h\n1,2,116,39,1e999\n",
          "GeoAnchorSolve: points.csv line 2, column h is inf, not a finite "
          "number: check '1e999', which is beyond the range of a double"),
      Bad("sixty minutes", "x,y,lon,lat,h\n1,2,116°60′,39,5\n",
          "GeoAnchorSolve: points.csv line 2, column lon: '116°60′' is not an "
          "angle (minutes and seconds must be below 60): write decimal "
          "degrees, "
          "or degrees, minutes and seconds such as 116°23′45.67″"),
      Bad("fractional degrees before minutes",
          "x,y,lon,lat,h\n1,2,116.5 30,39,5\n",
          "GeoAnchorSolve: points.csv line 2, column lon: '116.5 30' is not an "
          "angle (the degrees before minutes must be a whole number): write "
          "decimal degrees, or degrees, minutes and seconds such as "
          "116°23′45.67″"),
      Bad("a hemisphere letter", "x,y,lon,lat,h\n1,2,116.3E,39,5\n",
          "GeoAnchorSolve: points.csv line 2, column lon: '116.3E' is not an "
          "angle: write decimal degrees, or degrees, minutes and seconds such "
          "as 116°23′45.67″"),
      Bad("an unknown use", "x,y,lon,lat,h,use\n1,2,116,39,5,maybe\n",
          "GeoAnchorSolve: points.csv line 2, column use: 'maybe' is not 1 or "
          "0 "
          "(nor yes or no, true or false): give 1 for a point to fit, 0 for a "
          "check point"),
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

TEST(PointTableTest, ReadsEveryLayoutAndNamesEveryMistake) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.what);
    PointTable table;
    InputError error;
    const bool ok =
        ReadPointTable(c.bytes, "points.csv", c.read_heights, &table, &error);
    if (!c.error.empty()) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(c.error, RenderInputError(error));
      EXPECT_TRUE(table.points.empty());
      continue;
    }
    ASSERT_TRUE(ok) << RenderInputError(error);
    EXPECT_EQ(c.has_heights, table.has_heights);
    ASSERT_EQ(c.rows.size(), table.points.size());
    for (size_t i = 0; i < c.rows.size(); ++i) {
      const Row& want = c.rows[i];
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
}

}  // namespace

}  // namespace geoanchor
