// --scene through the real executable: every kind of scene file the tool
// reads, its base point and matrix_scene measured against PROJ (Debian's
// pyproj, in check_scene.py), and the files it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/app/cli_runner.h"

namespace geoanchor {

namespace {

using nlohmann::json;

// A Guangdong site some 800 m across: the six control points in a scene's
// stored coordinates (metres, its SRS less SRSOrigin; z the target's height
// above SRSOrigin's, which the drawing takes as its own z).
const double kStored[][3] = {
    {-412.35, -318.72, 8.4}, {395.18, -287.46, 12.1}, {428.91, 341.07, 25.6},
    {-376.54, 389.83, 18.3}, {18.27, -22.64, 10.9},   {-45.62, 402.15, 31.7},
};
const double kZOffsetM = 1.5;

// EPSG:4547 (CGCS2000 3-degree Gauss-Kruger CM 114E) as pyproj 3.4.1 on
// PROJ 9.1.1 writes it: to_wkt("WKT1_GDAL"), "WKT1_ESRI" (ArcGIS's .prj)
// and "WKT2_2019" with pretty=True (projinfo's).
const char kWkt1[] =
    R"(PROJCS["CGCS2000 / 3-degree Gauss-Kruger CM 114E",GEOGCS["China Geodetic Coordinate System 2000",DATUM["China_2000",SPHEROID["CGCS2000",6378137,298.257222101,AUTHORITY["EPSG","1024"]],AUTHORITY["EPSG","1043"]],PRIMEM["Greenwich",0,AUTHORITY["EPSG","8901"]],UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],AUTHORITY["EPSG","4490"]],PROJECTION["Transverse_Mercator"],PARAMETER["latitude_of_origin",0],PARAMETER["central_meridian",114],PARAMETER["scale_factor",1],PARAMETER["false_easting",500000],PARAMETER["false_northing",0],UNIT["metre",1,AUTHORITY["EPSG","9001"]],AUTHORITY["EPSG","4547"]])";
const char kEsri[] =
    R"(PROJCS["CGCS2000_3_Degree_GK_CM_114E",GEOGCS["GCS_China_Geodetic_Coordinate_System_2000",DATUM["D_China_2000",SPHEROID["CGCS2000",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Gauss_Kruger"],PARAMETER["False_Easting",500000.0],PARAMETER["False_Northing",0.0],PARAMETER["Central_Meridian",114.0],PARAMETER["Scale_Factor",1.0],PARAMETER["Latitude_Of_Origin",0.0],UNIT["Meter",1.0]])";
const char kWkt2[] = R"wkt(PROJCRS["CGCS2000 / 3-degree Gauss-Kruger CM 114E",
    BASEGEOGCRS["China Geodetic Coordinate System 2000",
        DATUM["China 2000",
            ELLIPSOID["CGCS2000",6378137,298.257222101,
                LENGTHUNIT["metre",1]]],
        PRIMEM["Greenwich",0,
            ANGLEUNIT["degree",0.0174532925199433]],
        ID["EPSG",4490]],
    CONVERSION["3-degree Gauss-Kruger CM 114E",
        METHOD["Transverse Mercator",
            ID["EPSG",9807]],
        PARAMETER["Latitude of natural origin",0,
            ANGLEUNIT["degree",0.0174532925199433],
            ID["EPSG",8801]],
        PARAMETER["Longitude of natural origin",114,
            ANGLEUNIT["degree",0.0174532925199433],
            ID["EPSG",8802]],
        PARAMETER["Scale factor at natural origin",1,
            SCALEUNIT["unity",1],
            ID["EPSG",8805]],
        PARAMETER["False easting",500000,
            LENGTHUNIT["metre",1],
            ID["EPSG",8806]],
        PARAMETER["False northing",0,
            LENGTHUNIT["metre",1],
            ID["EPSG",8807]]],
    CS[Cartesian,2],
        AXIS["northing (X)",north,
            ORDER[1],
            LENGTHUNIT["metre",1]],
        AXIS["easting (Y)",east,
            ORDER[2],
            LENGTHUNIT["metre",1]],
    USAGE[
        SCOPE["Cadastre, engineering survey, topographic mapping (large scale)."],
        AREA["China - onshore between 112°30'E and 115°30'E."],
        BBOX[21.52,112.5,45.45,115.5]],
    ID["EPSG",4547]])wkt";

// The ECEF east/north/up frame at 113.5235E 22.446N, 38.5 m (pyproj:
// EPSG:4979 to 4978 for the point, the unit vectors from its lon/lat).
const char kEnuFrame[] =
    "-0.91689644937617165,-0.39912516974173579,0,0,"
    "0.15239098948329149,-0.35008254995435467,0.92423979277120505,0,"
    "-0.3688873641718739,0.84743218436408663,0.38181252658633386,0,"
    "-2353977.2593215238,5407710.54950199,2420146.0023483774,1";

std::string Replaced(std::string text, const std::string& from,
                     const std::string& to) {
  const size_t at = text.find(from);
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// A metadata.xml as ContextCapture writes it; `origin` "" leaves out
// <SRSOrigin>, `srs` nullptr leaves out <SRS>.
std::string Metadata(const char* srs, const std::string& origin,
                     const std::string& encoding = "utf-8",
                     const std::string& comment = "Spatial Reference System") {
  std::string text = "<?xml version=\"1.0\" encoding=\"" + encoding +
                     "\"?>\n<ModelMetadata version=\"1\">\n\t<!--" + comment +
                     "-->\n";
  if (srs != nullptr) text += "\t<SRS>" + std::string(srs) + "</SRS>\n";
  if (!origin.empty()) text += "\t<SRSOrigin>" + origin + "</SRSOrigin>\n";
  return text +
         "\t<Texture>\n\t\t<ColorSource>Visible</ColorSource>\n\t</Texture>\n"
         "</ModelMetadata>\n";
}

std::string Tileset(const char* transform) {
  return std::string(
             "{\"asset\": {\"version\": \"1.0\", \"gltfUpAxis\": \"Z\"},\n"
             " \"geometricError\": 480.5,\n \"root\": {\"transform\": [") +
         transform +
         "],\n  \"boundingVolume\": {\"box\": [0, 0, 20, 450, 0, 0, 0, 450, "
         "0, 0, 0, 30]},\n  \"geometricError\": 120.1, \"refine\": "
         "\"REPLACE\",\n  \"content\": {\"uri\": \"Data/Tile_+000_+000/"
         "Tile_+000_+000.json\"}}}\n";
}

std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text)
    out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

const std::string kGauss = "450952,2483262,0";  // SRSOrigin in EPSG:4547

enum class Drawing {
  kInGrid,    // the scene's SRS coordinates themselves
  kCadFrame,  // a local frame: turned 35 degrees and shifted
  kRefused,   // the run must refuse the scene
};

struct Case {
  const char* name;
  std::string bytes;  // the scene's file: a tileset when it opens with '{'
  double origin_x, origin_y;  // SRSOrigin, which the grid drawing adds
  Drawing drawing;
  bool tag_finding = false;  // the report holds scene_srs_tag, verdict "check"
  bool against_basepoint = false;
  const char* flag = nullptr;  // one more flag
  // What a refusal's one line names: the scene's path, or this.
  const char* named = nullptr;
};

// Runs the checker with its arguments, each in single quotes; its output,
// then "exit <status>".
std::string Checker(const std::vector<std::string>& args) {
  std::string command = GEOANCHOR_PYTHON " " GEOANCHOR_SCENE_CHECKER;
  for (const std::string& a : args) command += " '" + a + "'";
  std::string out;
  if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    out += "exit " + std::to_string(pclose(pipe));
  }
  return out;
}

std::string Format(const char* format, double a, double b = 0.0,
                   double c = 0.0) {
  char text[128];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

using SceneCliTest = CliTest;

TEST_F(SceneCliTest, SceneFilesAgainstProj) {
  const std::string custom =
      Replaced(Replaced(kWkt1, "\"central_meridian\",114",
                        "\"central_meridian\",113.36"),
               "3-degree Gauss-Kruger CM 114E", "Guangzhou local CM 113.36E");
  const std::string chinese =
      Replaced(kWkt1, "3-degree Gauss-Kruger CM 114E", "3度带高斯-克吕格 114E");
  const double nan = std::nan("");
  const Case cases[] = {
      {"ENU with SRSOrigin",
       Metadata("ENU:22.44597,113.52351", "-35.5,120.25,4.5"), -35.5, 120.25,
       Drawing::kInGrid, false, true},
      {"ENU without SRSOrigin", Metadata("ENU: 22.44597, 113.52351", ""), 0, 0,
       Drawing::kInGrid},
      {"WKT1", Metadata(kWkt1, kGauss), 450952, 2483262, Drawing::kInGrid,
       false, true},
      {"ESRI WKT", Metadata(kEsri, kGauss), 450952, 2483262, Drawing::kInGrid},
      {"WKT2", Metadata(kWkt2, kGauss), 450952, 2483262, Drawing::kInGrid},
      {"EPSG code", Metadata("EPSG:4547", kGauss), 450952, 2483262,
       Drawing::kInGrid},
      {"compound code, CAD drawing", Metadata("EPSG:4547+5773", kGauss), 450952,
       2483262, Drawing::kCadFrame},
      // SRSOrigin: the site's EPSG:4547 origin in that meridian's grid (PROJ).
      {"WKT on 113.36E tagged EPSG:4547",
       Metadata(custom.c_str(), "516832,2483193,0"), 516832, 2483193,
       Drawing::kInGrid, true},
      {"UTF-8 with BOM and CR LF",
       "\xEF\xBB\xBF" + Crlf(Metadata("EPSG:4547", kGauss)), 450952, 2483262,
       Drawing::kInGrid},
      {"GBK",
       Iconv(
           Metadata(chinese.c_str(), kGauss, "GBK", "广东某项目 倾斜摄影模型"),
           "GBK"),
       450952, 2483262, Drawing::kInGrid},
      // The site's origin in UTM zone 49N (PROJ), rounded.
      {"UTM", Metadata("EPSG:32649", "759717,2484376,0"), 759717, 2484376,
       Drawing::kInGrid},
      {"tileset", Tileset(kEnuFrame), 0, 0, Drawing::kInGrid, false, true},

      // Refusals through the executable: the reader's own tests hold the
      // rest of them.
      {"geographic", Metadata("EPSG:4326", "113.5,22.4,0"), nan, nan,
       Drawing::kRefused},
      {"with --basepoint", Metadata("EPSG:4547", kGauss), nan, nan,
       Drawing::kRefused, false, false, "--basepoint=113.5,22.45",
       "--scene cannot be given with --basepoint"},
  };
  std::string stored;
  for (const auto& s : kStored) {
    stored += Format("%.17g,%.17g,%.17g ", s[0], s[1], s[2]);
  }
  // The targets of the refused runs: any valid ones (these are PROJ's for
  // the EPSG:4547 scene).
  const std::string refused_targets =
      "113.519518614617,22.443079340153,8.4 113.527362182674,22.44338477828,"
      "12.1 113.527670625615,22.449061457769,25.6";
  const double turn_rad = 35.0 * M_PI / 180.0;
  double worst_base_deg = 0.0, worst_scene_mm = 0.0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string scene =
        dir_ + (c.bytes[0] == '{' ? "/tileset.json" : "/metadata.xml");
    const std::string report = dir_ + "/report.json";
    std::ofstream(scene, std::ios::binary) << c.bytes;
    std::remove(report.c_str());
    std::remove(result_path_.c_str());
    std::string drawing, targets;
    if (c.drawing == Drawing::kRefused) {
      drawing =
          "450539.65,2482943.28,0 451347.18,2482974.54,0 "
          "451380.91,2483603.07,0";
      targets = refused_targets;
    } else {
      const std::string placed = Checker({"place", scene, stored});
      ASSERT_EQ("exit 0", placed.substr(placed.size() - 6)) << placed;
      targets = placed.substr(0, placed.find('\n'));
      for (const auto& s : kStored) {
        drawing += c.drawing == Drawing::kInGrid
                       ? Format("%.17g,%.17g,%.17g ", s[0] + c.origin_x,
                                s[1] + c.origin_y, s[2])
                       : Format("%.9f,%.9f,%.17g ",
                                std::cos(turn_rad) * s[0] -
                                    std::sin(turn_rad) * s[1] + 2150.0,
                                std::sin(turn_rad) * s[0] +
                                    std::cos(turn_rad) * s[1] + 1380.0,
                                s[2]);
      }
    }
    std::vector<std::string> args = {
        "--DWGsrcpoints=" + drawing, "--DWGdespoints=" + targets,
        "--zoffset=" + Format("%.17g", kZOffsetM), "--report=" + report};
    if (c.flag != nullptr) args.push_back(c.flag);
    args.push_back("--scene=" + scene);
    const Result r = Run(args);

    if (c.drawing == Drawing::kRefused) {
      EXPECT_EQ(255, r.status);
      EXPECT_EQ("", r.out);
      EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
      EXPECT_EQ('\n', r.err.back());
      // English (LANG=C.UTF-8): no character from U+0800 up, where Chinese
      // and its full-width punctuation lie (Krüger's ü is below).
      EXPECT_TRUE(std::all_of(r.err.begin(), r.err.end(), [](unsigned char b) {
        return b < 0xE0;
      })) << r.err;
      EXPECT_FALSE(Exists(report));
      EXPECT_FALSE(Exists(result_path_));
      continue;
    }
    ASSERT_EQ(0, r.status) << r.err;
    const std::string checked = Checker(
        {"check", scene, report, Format("%.17g", kZOffsetM), drawing, targets});
    EXPECT_EQ(0u, checked.find("ok ")) << checked;
    EXPECT_EQ("exit 0", checked.substr(checked.size() - 6)) << checked;
    double base_deg = 0.0, scene_mm = 0.0;
    if (std::sscanf(checked.c_str(), "ok base_deg=%lf scene_mm=%lf", &base_deg,
                    &scene_mm) == 2) {
      worst_base_deg = std::max(worst_base_deg, base_deg);
      worst_scene_mm = std::max(worst_scene_mm, scene_mm);
    }
    const json j = json::parse(ReadFile(report));
    EXPECT_EQ(scene, j["scene"]["file"]);
    EXPECT_EQ(c.drawing == Drawing::kInGrid,
              j["scene"]["drawing_in_scene_grid"]);
    bool tagged = false;
    for (const json& f : j["findings"]) tagged |= f["code"] == "scene_srs_tag";
    EXPECT_EQ(c.tag_finding, tagged) << j["findings"];
    if (c.tag_finding) {
      EXPECT_EQ("check", j["verdict"]);
    }

    if (!c.against_basepoint) continue;
    // The same job with the base point written out: the same console and
    // result file, byte for byte.
    const std::string result = ReadFile(result_path_);
    const std::string base = Format("--basepoint=%.17g,%.17g",
                                    j["base_point"]["lon_deg"].get<double>(),
                                    j["base_point"]["lat_deg"].get<double>());
    args.back() = base;
    const Result plain = Run(args);
    ASSERT_EQ(0, plain.status) << plain.err;
    EXPECT_EQ(r.out, plain.out);
    EXPECT_EQ(result, ReadFile(result_path_));
  }
  std::printf(
      "largest differences from PROJ: base point %.3g deg, "
      "matrix_scene %.3g mm\n",
      worst_base_deg, worst_scene_mm);
}

}  // namespace

}  // namespace geoanchor
