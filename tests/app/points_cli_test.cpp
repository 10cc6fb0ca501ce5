// Control-point tables (--points) through the real executable: one table of
// files, each run against the same points given as flags.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/app/cli_runner.h"

namespace geoanchor {

namespace {

using nlohmann::json;

// The bundled example's points (examples/tianjin.flags), as text, so that
// the table and the flags carry the same digits.
struct PointText {
  std::string name, x, y, z, lon, lat, h;
};
const std::vector<PointText> kTianjin = {
    {"K1", "39517250.310", "4328460.775", "0", "117.1963623000",
     "39.0929411793", "3.21"},
    {"K2", "39518140.520", "4328395.440", "0", "117.2066646068",
     "39.0925251848", "4.05"},
    {"K3", "39518605.125", "4329310.960", "0", "117.2118069595",
     "39.1008583666", "2.87"},
    {"K4", "39517710.480", "4329905.215", "0", "117.2013207095",
     "39.1060365750", "5.62"},
    {"K5", "39516820.760", "4329420.330", "0", "117.1911594243",
     "39.1014978852", "3.94"},
    {"K6", "39517905.935", "4328960.605", "0", "117.2038138992",
     "39.0975688009", "12.48"},
};
const char kBase[] = "--basepoint=117.2,39.1";

// The two point flags for `points` (pairs without heights).
std::vector<std::string> PointFlags(const std::vector<PointText>& points,
                                    bool heights) {
  std::string src = "--DWGsrcpoints=", des = "--DWGdespoints=";
  for (const PointText& p : points) {
    src += p.x + "," + p.y + (heights ? "," + p.z : "") + " ";
    des += p.lon + "," + p.lat + (heights ? "," + p.h : "") + " ";
  }
  return {src, des};
}

// A table of `points`: the header, then one line each, joined by `sep`.
std::string Table(const std::vector<std::string>& header,
                  const std::vector<std::vector<std::string>>& rows,
                  const std::string& sep, const std::string& eol = "\n") {
  std::string text;
  for (size_t i = 0; i < header.size(); ++i) {
    text += (i ? sep : "") + header[i];
  }
  text += eol;
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) text += (i ? sep : "") + row[i];
    text += eol;
  }
  return text;
}

std::vector<std::vector<std::string>> Rows(const std::vector<PointText>& points,
                                           bool names, bool heights) {
  std::vector<std::vector<std::string>> rows;
  for (const PointText& p : points) {
    std::vector<std::string> row;
    if (names) row.push_back(p.name);
    for (const std::string* v : {&p.x, &p.y, &p.z, &p.lon, &p.lat}) {
      row.push_back(*v);
    }
    if (heights) row.push_back(p.h);
    rows.push_back(row);
  }
  return rows;
}

// The example with each point's `use` (0: a check point) after its fields,
// and K5 0.5 m off in the drawing, K3 1 m off.
std::vector<std::vector<std::string>> RowsWithUse() {
  std::vector<std::vector<std::string>> rows = Rows(kTianjin, true, true);
  rows[2][1] = "39518606.125";  // K3: 1 m east of the others' fit
  rows[4][1] = "39516821.260";  // K5: 0.5 m east
  for (size_t i = 0; i < rows.size(); ++i)
    rows[i].push_back(i == 4 ? "0" : "1");
  return rows;
}

struct Good {
  const char* what;
  std::string file;                   // its name in the test's folder
  std::string bytes;                  // its contents
  std::vector<std::string> flags;     // besides --points and the base
  std::vector<PointText> equivalent;  // the used points, as flags
  bool heights;                       // the equivalent flags as triples
  std::vector<std::string> names;     // the report's names, in order
  std::vector<bool> used;             // the report's used, in order
  std::string err = "";               // the table's run's standard error
  // The report's easting_column and ignored_columns ("": not compared).
  std::string easting = "";
  std::vector<std::string> ignored = {};
};

// The warnings of RowsWithUse's run: K3 the outlier, K5 the check point.
const char kOutlierAndCheckPointWarnings[] =
    "GeoAnchorSolve: warning: point K3 deviates by 0.990 m and is an "
    "outlier: check its drawing coordinates and its WGS84 position "
    "(outlier)\n"
    "GeoAnchorSolve: warning: check point K5 deviates by 0.498 m under the "
    "matrix fitted without it, more than 0.100 m: check its drawing "
    "coordinates and its WGS84 position; if both are right, the control "
    "points do not hold the drawing there, so add control points near it "
    "(check_point_off)\n";

// A surveyor's table of the example: 点名,X,Y,H,B,L,大地高, X the northing,
// Y the easting (with its zone number), H the drawing's normal height.
std::string SurveyorsTable(const std::vector<PointText>& points) {
  std::vector<std::vector<std::string>> rows;
  for (const PointText& p : points) {
    rows.push_back({p.name, p.y, p.x, p.z, p.lat, p.lon, p.h});
  }
  return Table({"点名", "X", "Y", "H", "B", "L", "大地高"}, rows, ",");
}

// RowsWithUse with its use column as `header` writes it: 是 and 否, turned
// round for 检查点; `used` are its used points.
Good ChineseUseTable(const char* what, const std::string& header, bool inverse,
                     const std::vector<PointText>& used) {
  std::vector<std::vector<std::string>> rows = RowsWithUse();
  for (std::vector<std::string>& row : rows) {
    row.back() = (row.back() == "1") != inverse ? "是" : "否";
  }
  return {what,
          "points.csv",
          Table({"点号", "x", "y", "z", "经度", "纬度", "大地高", header}, rows,
                ","),
          {},
          used,
          true,
          {"K1", "K2", "K3", "K4", "K5", "K6"},
          {true, true, true, true, false, true},
          kOutlierAndCheckPointWarnings,
          "x",
          {}};
}

std::vector<Good> GoodTables() {
  const std::vector<std::string> en = {"name", "x",   "y", "z",
                                       "lon",  "lat", "h"};
  const std::vector<std::string> zh = {"点号",     "东坐标(m)", "北坐标(m)",
                                       "高程",     "经度(°)",   "纬度(°)",
                                       "大地高(m)"};
  const std::vector<std::string> names = {"K1", "K2", "K3", "K4", "K5", "K6"};
  const std::vector<bool> all(6, true);
  std::vector<PointText> chinese_named = kTianjin;
  std::vector<std::string> chinese_names;
  for (size_t i = 0; i < chinese_named.size(); ++i) {
    chinese_named[i].name = "控制点" + std::to_string(i + 1);
    chinese_names.push_back(chinese_named[i].name);
  }
  const std::string tabs =
      Table(zh, Rows(chinese_named, true, true), "\t", "\r\n");
  // Degrees, minutes and seconds: K1's longitude 117°11′46.90428″ is
  // 117 + 11/60 + 46.90428/3600 degrees, given to the flags to 17 digits.
  std::vector<std::vector<std::string>> dms_rows = Rows(kTianjin, true, true);
  dms_rows[0][4] = "117°11′46.90428″";
  std::vector<PointText> dms = kTianjin;
  char degrees[32];
  std::snprintf(degrees, sizeof degrees, "%.17g",
                117.0 + 11.0 / 60.0 + 46.90428 / 3600.0);
  dms[0].lon = degrees;
  // QGIS: mapX, mapY, sourceX, sourceY, enable; K1 disabled, so a check point
  // comes first.
  std::string qgis =
      "#CRS: GEOGCRS[\"WGS 84\",DATUM[\"World Geodetic System 1984\"]]\n"
      "mapX,mapY,sourceX,sourceY,enable,dX,dY,residual\n";
  for (size_t i = 0; i < kTianjin.size(); ++i) {
    const PointText& p = kTianjin[i];
    qgis += p.lon + "," + p.lat + "," + p.x + "," + p.y + "," +
            (i == 0 ? "0" : "1") + ",0,0,0\n";
  }
  std::vector<PointText> enabled = kTianjin;
  enabled.erase(enabled.begin());
  std::vector<PointText> used = kTianjin;
  used[2].x = "39518606.125";
  used.erase(used.begin() + 4);
  std::vector<std::string> with_use = en;
  with_use.push_back("use");
  // The example with drawing heights, which H must carry to the drawing.
  std::vector<PointText> surveyed = kTianjin;
  for (size_t i = 0; i < surveyed.size(); ++i) {
    surveyed[i].z = std::to_string(i + 1) + ".5";
  }
  // K1's longitude 117°11′46.90428″ with E in front, K2's latitude
  // 39°05′33.09066528″ in colons and K3's 39°06′03.09011976″ with N behind
  // (117.1963623000, 39.0925251848 and 39.1008583666 as d + m/60 +
  // s/3600), given to the flags to 17 digits; a notes column at the end.
  std::vector<std::vector<std::string>> english_rows =
      Rows(kTianjin, true, true);
  english_rows[0][4] = "E117°11′46.90428″";
  english_rows[1][5] = "39:05:33.09066528";
  english_rows[2][5] = "39°06′03.09011976″N";
  for (std::vector<std::string>& row : english_rows) row.push_back("ok");
  std::vector<PointText> dms_letters = dms;
  std::snprintf(degrees, sizeof degrees, "%.17g",
                39.0 + 5.0 / 60.0 + 33.09066528 / 3600.0);
  dms_letters[1].lat = degrees;
  std::snprintf(degrees, sizeof degrees, "%.17g",
                39.0 + 6.0 / 60.0 + 3.09011976 / 3600.0);
  dms_letters[2].lat = degrees;
  return {
      {"UTF-8 CSV",
       "points.csv",
       Table(en, Rows(kTianjin, true, true), ","),
       {},
       kTianjin,
       true,
       names,
       all},
      {"UTF-8 with its mark, semicolons, CR LF, the Chinese header",
       "points-bom.csv",
       "\xEF\xBB\xBF" + Table(zh, Rows(kTianjin, true, true), ";", "\r\n"),
       {},
       kTianjin,
       true,
       names,
       all},
      {"UTF-16 LE, Excel's Unicode text",
       "points.txt",
       "\xFF\xFE" + Iconv(tabs, "UTF-16LE"),
       {},
       kTianjin,
       true,
       chinese_names,
       all},
      {"UTF-16 BE",
       "points.txt",
       "\xFE\xFF" + Iconv(tabs, "UTF-16BE"),
       {},
       kTianjin,
       true,
       chinese_names,
       all},
      {"GBK, a Chinese Excel's CSV",
       "points.csv",
       Iconv(Table(zh, Rows(chinese_named, true, true), ","), "GBK"),
       {},
       kTianjin,
       true,
       chinese_names,
       all},
      {"blanks, no names, no z: the pair mode",
       "points.txt",
       Table(
           {"lon", "lat", "x", "y"},
           [] {
             std::vector<std::vector<std::string>> rows;
             for (const PointText& p : kTianjin) {
               rows.push_back({p.lon, p.lat, p.x, p.y});
             }
             return rows;
           }(),
           "   "),
       {"--projectheight=3.5"},
       kTianjin,
       false,
       {"", "", "", "", "", ""},
       all},
      {"degrees, minutes and seconds",
       "points.csv",
       Table(en, dms_rows, ","),
       {},
       dms,
       true,
       names,
       all},
      {"the model-base-point mode",
       "points.csv",
       Table(en, Rows(kTianjin, true, true), ","),
       {"--modelpoint=117.201,39.099"},
       kTianjin,
       true,
       names,
       all},
      {"QGIS's .points with a disabled row",
       "georef.points",
       qgis,
       {"--projectheight=0"},
       enabled,
       false,
       {"", "", "", "", "", ""},
       {false, true, true, true, true, true}},
      {"check points, and an outlier",
       "points.csv",
       Table(with_use, RowsWithUse(), ","),
       {},
       used,
       true,
       names,
       {true, true, true, true, false, true},
       kOutlierAndCheckPointWarnings},
      {"a surveyor's X, Y, H, B, L and 大地高",
       "points.csv",
       SurveyorsTable(surveyed),
       {},
       surveyed,
       true,
       names,
       all,
       "",
       "Y",
       {}},
      ChineseUseTable("a 参与计算 column of 是 and 否", "参与计算", false,
                      used),
      ChineseUseTable("a 检查点 column, 是 for the check point", "检查点", true,
                      used),
      {"Easting, Northing, Ellipsoidal Height, colons and hemisphere letters",
       "points.csv",
       Table({"Name", "Easting", "Northing", "Z", "Longitude", "Latitude",
              "Ellipsoidal_Height", "Remarks"},
             english_rows, ","),
       {},
       dms_letters,
       true,
       names,
       all,
       "",
       "Easting",
       {"Remarks"}},
  };
}

TEST_F(CliTest, TablesRunAsTheirPointsGivenAsFlags) {
  for (const Good& c : GoodTables()) {
    SCOPED_TRACE(c.what);
    const std::string path = dir_ + "/" + c.file;
    std::ofstream(path, std::ios::binary) << c.bytes;
    const std::string report = dir_ + "/report.json";
    std::vector<std::string> args = {kBase, "--points=" + path,
                                     "--report=" + report};
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    const Result table = Run(args);
    ASSERT_EQ(0, table.status) << table.err;
    EXPECT_EQ(c.err, table.err);
    const std::string table_file = ReadFile(result_path_);

    std::vector<std::string> flag_args = {kBase};
    for (const std::string& f : PointFlags(c.equivalent, c.heights)) {
      flag_args.push_back(f);
    }
    flag_args.insert(flag_args.end(), c.flags.begin(), c.flags.end());
    const std::string flag_report = dir_ + "/flag-report.json";
    flag_args.push_back("--report=" + flag_report);
    const Result flags = Run(flag_args);
    ASSERT_EQ(0, flags.status) << flags.err;
    EXPECT_EQ(flags.out, table.out);
    EXPECT_EQ(ReadFile(result_path_), table_file);
    // Only a table's report says how its header was read.
    const json f = json::parse(ReadFile(flag_report));
    EXPECT_FALSE(f.contains("easting_column"));
    EXPECT_FALSE(f.contains("ignored_columns"));

    const json r = json::parse(ReadFile(report));
    ASSERT_EQ(c.names.size(), r["points"].size());
    size_t checks = 0;
    for (size_t i = 0; i < c.names.size(); ++i) {
      const json& p = r["points"][i];
      if (c.names[i].empty()) {
        EXPECT_TRUE(p["name"].is_null()) << i;
      } else {
        EXPECT_EQ(c.names[i], p["name"]) << i;
      }
      EXPECT_EQ(c.used[i], p["used"].get<bool>()) << i;
      checks += !c.used[i];
    }
    EXPECT_EQ(checks, r["check_points"]["count"].get<size_t>());
    if (!c.easting.empty()) {
      EXPECT_EQ(c.easting, r["easting_column"]);
      EXPECT_EQ(json(c.ignored), r["ignored_columns"]);
    }
  }
}

TEST_F(CliTest, CheckPointsAreJudgedAndFindingsNameThePoints) {
  const std::string path = dir_ + "/points.csv";
  std::ofstream(path, std::ios::binary) << Table(
      {"name", "x", "y", "z", "lon", "lat", "h", "use"}, RowsWithUse(), ",");
  const std::string report = dir_ + "/report.json";
  const std::string plot = dir_ + "/plot.svg";
  const Result r =
      Run({kBase, "--points=" + path, "--report=" + report, "--plot=" + plot});
  ASSERT_EQ(0, r.status) << r.err;
  const json j = json::parse(ReadFile(report));

  // K5, 0.5 m east in the drawing, lies 0.5 m west of its target under
  // the matrix of the others (the deviation is target minus transformed).
  const json& k5 = j["points"][4];
  EXPECT_EQ("K5", k5["name"]);
  EXPECT_FALSE(k5["used"].get<bool>());
  EXPECT_NEAR(-0.5, k5["dx_m"].get<double>(), 0.02);
  EXPECT_NEAR(0.5, k5["residual_m"].get<double>(), 0.02);
  EXPECT_EQ(k5["residual_m"], j["check_points"]["rms_m"]);
  EXPECT_EQ(k5["residual_m"], j["check_points"]["max_m"]);
  EXPECT_FALSE(k5.contains("weight"));

  // Findings by name; their points by position in the table.
  std::map<std::string, json> by_code;
  for (const json& f : j["findings"]) by_code[f["code"]] = f;
  ASSERT_TRUE(by_code.count("outlier")) << j["findings"].dump();
  EXPECT_EQ(json::array({3}), by_code["outlier"]["points"]);
  EXPECT_EQ(0u, by_code["outlier"]["message"].get<std::string>().find(
                    "point K3 deviates by "));
  ASSERT_TRUE(by_code.count("check_point_off")) << j["findings"].dump();
  EXPECT_EQ(json::array({5}), by_code["check_point_off"]["points"]);
  EXPECT_EQ(0u, by_code["check_point_off"]["message"].get<std::string>().find(
                    "check point K5 deviates by "));
  EXPECT_EQ("check", j["verdict"]);

  const std::string svg = ReadFile(plot);
  EXPECT_NE(std::string::npos, svg.find(">K3</text>"));
  EXPECT_NE(std::string::npos, svg.find("class=\"marker checkpoint\""));
  EXPECT_NE(std::string::npos, svg.find(">K5</text>"));
  EXPECT_NE(std::string::npos, svg.find("check point (use 0), not fitted"));
}

// The surveyors' 116.234567 meaning 116°23′45.67″ is read as decimal
// degrees, never guessed, and the diagnosis names it.
TEST_F(CliTest, SurveyorsDegreesMinutesSecondsAreNamedNotGuessed) {
  // The example's first three points, their longitudes and latitudes
  // written as d.mmsssss: 117.1963623000 = 117°11′46.90428″.
  const std::string path = dir_ + "/points.csv";
  std::ofstream(path, std::ios::binary)
      << "name,x,y,lon,lat,h\n"
         "TJ01,39517250.310,4328460.775,117.114690428,39.053458825,3.21\n"
         "TJ02,39518140.520,4328395.440,117.122399258,39.053309067,4.05\n"
         "TJ03,39518605.125,4329310.960,117.124250505,39.060309012,2.87\n"
         "TJ04,39517710.480,4329905.215,117.120475455,39.062173167,5.62\n"
         "TJ05,39516820.760,4329420.330,117.112817393,39.060539239,3.94\n"
         "TJ06,39517905.935,4328960.605,117.121373004,39.055124768,12.48\n";
  const Result r = Run({kBase, "--points=" + path});
  EXPECT_EQ(0, r.status);
  EXPECT_NE(std::string::npos,
            r.out.find("des_lon:117.11469042800000,39.05345882500000\n"));
  EXPECT_EQ(0u, r.err.find("GeoAnchorSolve: warning: the targets fit as "
                           "degrees, minutes and seconds written as one "
                           "number"))
      << r.err;
  EXPECT_NE(std::string::npos, r.err.find("(dms_as_decimal)\n")) << r.err;
}

TEST_F(CliTest, BadTablesEndTheRunWithOneLine) {
  struct Bad {
    const char* what;
    std::string bytes;
    std::vector<std::string> flags;  // besides --points and the base
    std::string message;             // after "GeoAnchorSolve: " and the path
  };
  const std::string header = "name,x,y,z,lon,lat,h\n";
  const std::string row =
      "K1,39517250.310,4328460.775,0,117.1963623000,"
      "39.0929411793,3.21\n";
  const std::vector<Bad> cases = {
      {"a letter O among the digits",
       header + row + row + "\n" +
           "K4,39448324.0O9,4328460.775,0,117.19,39.09,3\n",
       {},
       " line 5, column x: '39448324.0O9' is not a number"},
      {"a latitude beyond 90",
       header + "K1,1,2,0,39.09,117.19,3\n",
       {},
       " line 2, column lat has latitude 117.19 degrees, beyond +-90: write "
       "longitude first, then latitude (lon,lat)"},
      {"no heights without --projectheight",
       "x,y,lon,lat\n1,2,117.19,39.09\n",
       {},
       " line 1: the header names no h column (大地高) for the targets' "
       "ellipsoidal heights: give --projectheight=<metres> to take every "
       "target at that height, or add an h column"},
      {"every point a check point",
       "x,y,lon,lat,h,use\n1,2,117,39,3,0\n",
       {},
       ": every point has use 0, so none is left to fit: give use 1 to the "
       "points to fit"},
      {"a row too short",
       header + "K1,1,2,0,117.19,39.09\n",
       {},
       " line 2: 6 fields, but the header has column 'h' as field 7: give "
       "every row a field for each column"},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir_ + "/points.csv";
    std::ofstream(path, std::ios::binary) << c.bytes;
    std::vector<std::string> args = {kBase, "--points=" + path};
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    const Result r = Run(args);
    EXPECT_EQ(255, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ("GeoAnchorSolve: " + path + c.message + "\n", r.err);
    EXPECT_FALSE(Exists(result_path_));
  }

  const Result both =
      Run({kBase, "--points=" + dir_ + "/points.csv", "--DWGsrcpoints=1,2"});
  EXPECT_EQ(255, both.status);
  EXPECT_EQ(
      "GeoAnchorSolve: --points cannot be given with --DWGsrcpoints or "
      "--DWGdespoints: give the control points either in the table or in "
      "the two lists\n",
      both.err);
  const std::string missing = dir_ + "/none.csv";
  const Result none = Run({kBase, "--points=" + missing});
  EXPECT_EQ(255, none.status);
  EXPECT_EQ("", none.out);
  EXPECT_EQ("GeoAnchorSolve: cannot read the --points file " + missing +
                ": No such file or directory: check its path\n",
            none.err);
  EXPECT_FALSE(Exists(result_path_));
}

}  // namespace

}  // namespace geoanchor
