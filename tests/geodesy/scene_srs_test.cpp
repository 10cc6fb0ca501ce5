// The scene's SRS against PROJ's database (Debian's python3-pyproj) and
// GeographicLib: the texts read and refused, and why, the three WKT
// dialects, the base point through the grid, and a tileset's east/north/up
// frame.
#include "geodesy/scene_srs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/common/bilingual_checks.h"
#include "tests/geodesy/enu_frame.h"

namespace geoanchor {

namespace {

// ---------------------------------------------------------------------------
// ENU and EPSG texts: what each is read as, or why it is refused. The
// refused codes sit at the edges of the ranges (their names as PROJ's
// database has them).

struct TextCase {
  const char* text;
  SceneSrsKind kind;
  double lon_deg, lat_deg;  // kEnu
  int epsg;                 // kProjected
  const char* reason;       // kRefused: words of the English refusal
  const char* verbatim;     // the user's text the refusal quotes
};

constexpr SceneSrsKind kEnu = SceneSrsKind::kEnu;
constexpr SceneSrsKind kProjected = SceneSrsKind::kProjected;
constexpr SceneSrsKind kRefused = SceneSrsKind::kRefused;
constexpr double kNo = 0;

const char kNotGrid[] = "is not a CGCS2000 Gauss-Krüger or WGS84 UTM grid";
const char kDatumLacking[] =
    "cannot be placed on WGS84 without a datum transformation";

const TextCase kTexts[] = {
    {"ENU:22.445969,113.523514", kEnu, 113.523514, 22.445969, 0, "", ""},
    {"  enu: -33.9 , +151.25 ", kEnu, 151.25, -33.9, 0, "", ""},
    {"ENU:90,-180", kEnu, -180, 90, 0, "", ""},
    {"ENU:113.5,22.4", kRefused, kNo, kNo, 0, "latitude beyond ±90°",
     "ENU:113.5,22.4"},
    {"ENU:22.4,180.5", kRefused, kNo, kNo, 0, "longitude beyond ±180°",
     "ENU:22.4,180.5"},
    {"ENU:22.4", kRefused, kNo, kNo, 0, "is not ENU:lat,lon", "ENU:22.4"},
    {"ENU:22,4;113,5", kRefused, kNo, kNo, 0, "is not ENU:lat,lon",
     "ENU:22,4;113,5"},
    {"ENU:nan,113", kRefused, kNo, kNo, 0, "is not ENU:lat,lon", "ENU:nan,113"},
    {"EPSG:4547+5773", kProjected, kNo, kNo, 4547, "", ""},
    {"EPSG:4547+", kRefused, kNo, kNo, 0, "is not EPSG:code", "EPSG:4547+"},
    {"EPSG:", kRefused, kNo, kNo, 0, "is not EPSG:code", "EPSG:"},
    {"EPSG:4326", kRefused, kNo, kNo, 0, "is a geographic system", ""},
    {"EPSG:4490", kRefused, kNo, kNo, 0, "is a geographic system", ""},
    {"EPSG:4555", kRefused, kNo, kNo, 0, kNotGrid, ""},  // New Beijing
    {"EPSG:32600", kRefused, kNo, kNo, 0, kNotGrid, ""},
    {"EPSG:32661", kRefused, kNo, kNo, 0, kNotGrid, ""},  // UPS North
    {"EPSG:32761", kRefused, kNo, kNo, 0, kNotGrid, ""},  // UPS South
    {"EPSG:3857", kRefused, kNo, kNo, 0, kNotGrid, ""},
    {"EPSG:2326", kRefused, kNo, kNo, 0, kNotGrid, ""},  // Hong Kong 1980
    {"EPSG:2327", kRefused, kNo, kNo, 0, "on the Xi'an 1980 datum", ""},
    {"EPSG:2391", kRefused, kNo, kNo, 0, kNotGrid, ""},  // KKJ
    {"EPSG:2401", kRefused, kNo, kNo, 0, "on the Beijing 1954 datum", ""},
    {"EPSG:2443", kRefused, kNo, kNo, 0, kNotGrid, ""},  // JGD2000
    {"EPSG:21413", kRefused, kNo, kNo, 0, "on the Beijing 1954 datum", ""},
    {"EPSG:21453", kRefused, kNo, kNo, 0, "on the Beijing 1954 datum", ""},
    {"", kRefused, kNo, kNo, 0, "names no spatial reference system", ""},
    {"Local", kRefused, kNo, kNo, 0, "is a local system", "Local"},
    {"WGS84", kRefused, kNo, kNo, 0, "not a spatial reference system the tool",
     "WGS84"},
    // Quoted to 40 bytes, cut before the character (高) that crosses them.
    {"1坐标系：国家2000大地坐标系高斯投影3度带", kRefused, kNo, kNo, 0,
     "\"1坐标系：国家2000大地坐标系...\" is not",
     "1坐标系：国家2000大地坐标系"},
};

TEST(SceneSrsTest, EnuAndEpsgTexts) {
  for (const TextCase& c : kTexts) {
    SCOPED_TRACE(c.text);
    const SceneSrs srs = ReadSceneSrs(c.text);
    ASSERT_EQ(srs.kind, c.kind) << srs.refusal.en;
    if (c.kind == kEnu) {
      EXPECT_EQ(srs.enu_base_point.x, c.lon_deg);
      EXPECT_EQ(srs.enu_base_point.y, c.lat_deg);
    } else if (c.kind == kProjected) {
      EXPECT_EQ(srs.projection.epsg, c.epsg);
    } else {
      EXPECT_NE(srs.refusal.en.find(c.reason), std::string::npos)
          << srs.refusal.en;
      EXPECT_NE(srs.refusal.en.find("the tool takes ENU:lat,lon"),
                std::string::npos);
      if (std::string(c.reason).find("datum") != std::string::npos) {
        EXPECT_NE(srs.refusal.en.find(kDatumLacking), std::string::npos);
      }
      EXPECT_EQ("", bilingual::Faults(srs.refusal, {c.verbatim}));
    }
  }
}

// ---------------------------------------------------------------------------
// WKT: PROJ's own forms of EPSG:4547 (pyproj's to_wkt in WKT1_GDAL,
// WKT1_ESRI and WKT2_2019) and variants of them a scene's maker writes.

const std::string kWkt1_4547 =
    R"WKT(PROJCS["CGCS2000 / 3-degree Gauss-Kruger CM 114E",GEOGCS["China Geodetic Coordinate System 2000",DATUM["China_2000",SPHEROID["CGCS2000",6378137,298.257222101,AUTHORITY["EPSG","1024"]],AUTHORITY["EPSG","1043"]],PRIMEM["Greenwich",0,AUTHORITY["EPSG","8901"]],UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],AUTHORITY["EPSG","4490"]],PROJECTION["Transverse_Mercator"],PARAMETER["latitude_of_origin",0],PARAMETER["central_meridian",114],PARAMETER["scale_factor",1],PARAMETER["false_easting",500000],PARAMETER["false_northing",0],UNIT["metre",1,AUTHORITY["EPSG","9001"]],AUTHORITY["EPSG","4547"]])WKT";
const std::string kEsri4547 =
    R"WKT(PROJCS["CGCS2000_3_Degree_GK_CM_114E",GEOGCS["GCS_China_Geodetic_Coordinate_System_2000",DATUM["D_China_2000",SPHEROID["CGCS2000",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]],PROJECTION["Gauss_Kruger"],PARAMETER["False_Easting",500000.0],PARAMETER["False_Northing",0.0],PARAMETER["Central_Meridian",114.0],PARAMETER["Scale_Factor",1.0],PARAMETER["Latitude_Of_Origin",0.0],UNIT["Meter",1.0]])WKT";
const std::string kWkt2_4547 =
    R"WKT(PROJCRS["CGCS2000 / 3-degree Gauss-Kruger CM 114E",BASEGEOGCRS["China Geodetic Coordinate System 2000",DATUM["China 2000",ELLIPSOID["CGCS2000",6378137,298.257222101,LENGTHUNIT["metre",1]]],PRIMEM["Greenwich",0,ANGLEUNIT["degree",0.0174532925199433]],ID["EPSG",4490]],CONVERSION["3-degree Gauss-Kruger CM 114E",METHOD["Transverse Mercator",ID["EPSG",9807]],PARAMETER["Latitude of natural origin",0,ANGLEUNIT["degree",0.0174532925199433],ID["EPSG",8801]],PARAMETER["Longitude of natural origin",114,ANGLEUNIT["degree",0.0174532925199433],ID["EPSG",8802]],PARAMETER["Scale factor at natural origin",1,SCALEUNIT["unity",1],ID["EPSG",8805]],PARAMETER["False easting",500000,LENGTHUNIT["metre",1],ID["EPSG",8806]],PARAMETER["False northing",0,LENGTHUNIT["metre",1],ID["EPSG",8807]]],CS[Cartesian,2],AXIS["northing (X)",north,ORDER[1],LENGTHUNIT["metre",1]],AXIS["easting (Y)",east,ORDER[2],LENGTHUNIT["metre",1]],USAGE[SCOPE["Cadastre, engineering survey, topographic mapping (large scale)."],AREA["China - onshore between 112°30'E and 115°30'E."],BBOX[21.52,112.5,45.45,115.5]],ID["EPSG",4547]])WKT";
// pyproj's WKT1_GDAL of EPSG:32650 and EPSG:2383.
const std::string kWkt1_32650 =
    R"WKT(PROJCS["WGS 84 / UTM zone 50N",GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563,AUTHORITY["EPSG","7030"]],AUTHORITY["EPSG","6326"]],PRIMEM["Greenwich",0,AUTHORITY["EPSG","8901"]],UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],AUTHORITY["EPSG","4326"]],PROJECTION["Transverse_Mercator"],PARAMETER["latitude_of_origin",0],PARAMETER["central_meridian",117],PARAMETER["scale_factor",0.9996],PARAMETER["false_easting",500000],PARAMETER["false_northing",0],UNIT["metre",1,AUTHORITY["EPSG","9001"]],AXIS["Easting",EAST],AXIS["Northing",NORTH],AUTHORITY["EPSG","32650"]])WKT";
const std::string kWkt1_2383 =
    R"WKT(PROJCS["Xian 1980 / 3-degree Gauss-Kruger CM 114E",GEOGCS["Xian 1980",DATUM["Xian_1980",SPHEROID["IAG 1975",6378140,298.257,AUTHORITY["EPSG","7049"]],AUTHORITY["EPSG","6610"]],PRIMEM["Greenwich",0,AUTHORITY["EPSG","8901"]],UNIT["degree",0.0174532925199433,AUTHORITY["EPSG","9122"]],AUTHORITY["EPSG","4610"]],PROJECTION["Transverse_Mercator"],PARAMETER["latitude_of_origin",0],PARAMETER["central_meridian",114],PARAMETER["scale_factor",1],PARAMETER["false_easting",500000],PARAMETER["false_northing",0],UNIT["metre",1,AUTHORITY["EPSG","9001"]],AUTHORITY["EPSG","2383"]])WKT";
const std::string kWkt2_4490 =
    R"WKT(GEOGCRS["China Geodetic Coordinate System 2000",DATUM["China 2000",ELLIPSOID["CGCS2000",6378137,298.257222101,LENGTHUNIT["metre",1]]],PRIMEM["Greenwich",0,ANGLEUNIT["degree",0.0174532925199433]],CS[ellipsoidal,2],AXIS["geodetic latitude (Lat)",north,ORDER[1],ANGLEUNIT["degree",0.0174532925199433]],AXIS["geodetic longitude (Lon)",east,ORDER[2],ANGLEUNIT["degree",0.0174532925199433]],ID["EPSG",4490]])WKT";

// `text` with every `from` replaced by `to`.
std::string Replaced(std::string text, const std::string& from,
                     const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// `depth` nodes, each inside the one before.
std::string Nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "PROJCS[";
  text += "1";
  for (int i = 0; i < depth; ++i) text += "]";
  return text;
}

struct WktCase {
  const char* name;
  std::string wkt;
  SceneSrsKind kind;
  int epsg;              // the catalogue's code taken; 0 for none
  int named_epsg;        // the authority tag
  double cm_deg;         // the grid's central meridian
  double tag_cm_deg;     // NaN unless the tag names another meridian
  const char* reason;    // kRefused: words of the English refusal
  const char* verbatim;  // the user's text the refusal quotes
};

const double kNoTag = std::numeric_limits<double>::quiet_NaN();

const std::vector<WktCase>& WktCases() {
  static const std::vector<WktCase> cases = {
      {"wkt1", kWkt1_4547, kProjected, 4547, 4547, 114, kNoTag, "", ""},
      {"esri", kEsri4547, kProjected, 4547, 0, 114, kNoTag, "", ""},
      {"wkt2", kWkt2_4547, kProjected, 4547, 4547, 114, kNoTag, "", ""},
      {"wkt1 utm", kWkt1_32650, kProjected, 32650, 32650, 117, kNoTag, "", ""},
      {"wkt1 city meridian, tag 4547",
       Replaced(Replaced(kWkt1_4547, "\"central_meridian\",114",
                         "\"central_meridian\",113.36"),
                "CM 114E", "CM 113.36E"),
       kProjected, 0, 4547, 113.36, 114, "", ""},
      {"esri city meridian, upper-case names",
       Replaced(Replaced(kEsri4547, "Central_Meridian\",114.0",
                         "CENTRAL_MERIDIAN\",113.36"),
                "False_Easting", "false_easting"),
       kProjected, 0, 0, 113.36, kNoTag, "", ""},
      {"wkt2 meridian in radians",
       Replaced(kWkt2_4547,
                "\"Longitude of natural origin\",114,ANGLEUNIT[\"degree\","
                "0.0174532925199433]",
                "\"Longitude of natural origin\",1.9896753472735358,"
                "ANGLEUNIT[\"radian\",1]"),
       kProjected, 4547, 4547, 114, kNoTag, "", ""},
      {"wkt1 parameters on another zone than the tag",
       Replaced(kWkt1_4547, "\"central_meridian\",114",
                "\"central_meridian\",117"),
       kProjected, 4548, 4547, 117, 114, "", ""},
      {"compound",
       "COMPD_CS[\"x\"," + kWkt1_4547 +
           ",VERT_CS[\"Yellow Sea 1985 height\",VERT_DATUM["
           "\"Yellow Sea 1985\",2005],UNIT[\"metre\",1]]]",
       kProjected, 4547, 4547, 114, kNoTag, "", ""},
      {"xian 1980", kWkt1_2383, kRefused, 0, 0, 0, kNoTag,
       "the WKT is on the Xi'an 1980 datum", ""},
      {"beijing 1954", Replaced(kWkt1_2383, "Xian_1980", "Beijing_1954"),
       kRefused, 0, 0, 0, kNoTag, "the WKT is on the Beijing 1954 datum", ""},
      {"other datum", Replaced(kWkt1_4547, "China_2000", "Tokyo"), kRefused, 0,
       0, 0, kNoTag, "datum \"Tokyo\" is neither CGCS2000 nor WGS84", "Tokyo"},
      {"lambert",
       Replaced(kWkt1_4547, "Transverse_Mercator",
                "Lambert_Conformal_Conic_2SP"),
       kRefused, 0, 0, 0, kNoTag,
       "projection \"Lambert_Conformal_Conic_2SP\" is not a transverse "
       "Mercator",
       "Lambert_Conformal_Conic_2SP"},
      {"feet",
       Replaced(kWkt1_4547, "UNIT[\"metre\",1,", "UNIT[\"foot\",0.3048,"),
       kRefused, 0, 0, 0, kNoTag, "unit \"foot\" is not the metre", "foot"},
      {"no meridian",
       Replaced(kWkt1_4547, "PARAMETER[\"central_meridian\",114],", ""),
       kRefused, 0, 0, 0, kNoTag, "lacks a central meridian", ""},
      {"wkt2 meridian's unit without its factor",
       Replaced(kWkt2_4547,
                "\"Longitude of natural origin\",114,ANGLEUNIT[\"degree\","
                "0.0174532925199433]",
                "\"Longitude of natural origin\",114,ANGLEUNIT[\"degree\"]"),
       kRefused, 0, 0, 0, kNoTag, "lacks a central meridian", ""},
      {"geographic wkt2", kWkt2_4490, kRefused, 0, 0, 0, kNoTag,
       "the WKT is a geographic system", ""},
      {"local wkt2", "ENGCRS[\"site\",EDATUM[\"site\"],CS[Cartesian,2]]",
       kRefused, 0, 0, 0, kNoTag, "the WKT is a local engineering system", ""},
      {"truncated", kWkt1_4547.substr(0, 200), kRefused, 0, 0, 0, kNoTag,
       "the WKT is not well formed (at character 201)", ""},
      {"nested beyond any system", Nested(40), kRefused, 0, 0, 0, kNoTag,
       "the WKT is not well formed", ""},
  };
  return cases;
}

TEST(SceneSrsTest, WktDialects) {
  for (const WktCase& c : WktCases()) {
    SCOPED_TRACE(c.name);
    const SceneSrs srs = ReadSceneSrs(c.wkt);
    ASSERT_EQ(srs.kind, c.kind) << srs.refusal.en;
    if (c.kind == kProjected) {
      EXPECT_EQ(srs.projection.epsg, c.epsg);
      EXPECT_EQ(srs.named_epsg, c.named_epsg);
      EXPECT_EQ(srs.projection.kind,
                c.epsg == 0      ? ProjectionKind::kTransverseMercator
                : c.epsg > 30000 ? ProjectionKind::kUtm
                                 : ProjectionKind::kGaussKruger3);
      EXPECT_NEAR(srs.projection.tm.central_meridian_deg, c.cm_deg, 1e-12);
      if (std::isnan(c.tag_cm_deg)) {
        EXPECT_TRUE(std::isnan(srs.tag_central_meridian_deg));
      } else {
        EXPECT_EQ(srs.tag_central_meridian_deg, c.tag_cm_deg);
      }
    } else {
      EXPECT_NE(srs.refusal.en.find(c.reason), std::string::npos)
          << srs.refusal.en;
      EXPECT_EQ("", bilingual::Faults(srs.refusal, {c.verbatim}));
    }
  }
}

// ---------------------------------------------------------------------------
// The base point: SRSOrigin carried back through the grid, against PROJ
// (pyproj's Transformer from the grid to its geographic CRS; a city's own
// grid as +proj=tmerc on GRS80, CGCS2000's ellipsoid within 0.1 mm). The
// end-to-end scene tests check the common grids; here the zone number in
// front, the south and a latitude of origin.

struct BasePointCase {
  const char* name;
  std::string srs;
  Point3 origin;
  double lon_deg, lat_deg;
};

TEST(SceneSrsTest, BasePointAsProjHasIt) {
  const BasePointCase cases[] = {
      {"6-degree zone 19 with its number",
       "EPSG:4497",
       {19450952, 2483262, 0},
       110.523514441565169,
       22.445969300179968},
      {"UTM 50S",
       "EPSG:32750",
       {334000, 6250000, 0},
       115.205137284302850,
       -33.877291055144205},
      // +proj=tmerc +lat_0=22.5 +lon_0=113.36 +x_0=50000 +y_0=20000
      {"latitude of origin 22.5",
       Replaced(
           Replaced(Replaced(Replaced(kWkt2_4547,
                                      "\"Longitude of natural origin\",114",
                                      "\"Longitude of natural origin\","
                                      "113.36"),
                             "\"Latitude of natural origin\",0",
                             "\"Latitude of natural origin\",22.5"),
                    "\"False easting\",500000", "\"False easting\",50000"),
           "\"False northing\",0", "\"False northing\",20000"),
       {45000, 12000, 0},
       113.311432552791757,
       22.427749185132885},
  };
  for (const BasePointCase& c : cases) {
    SCOPED_TRACE(c.name);
    const SceneSrs srs = ReadSceneSrs(c.srs);
    ASSERT_NE(srs.kind, SceneSrsKind::kRefused) << srs.refusal.en;
    const Point2 p = SceneBasePoint(srs, c.origin);
    EXPECT_NEAR(p.x, c.lon_deg, 1e-9);
    EXPECT_NEAR(p.y, c.lat_deg, 1e-9);
  }
  const Point2 none = SceneBasePoint(ReadSceneSrs("EPSG:2383"), {0, 0, 0});
  EXPECT_TRUE(std::isnan(none.x) && std::isnan(none.y));
}

// ---------------------------------------------------------------------------
// A tileset's root transform: GeographicLib's east/north/up frame at a
// site (Geocentric::Forward's rotation, whose columns are east, north and
// up in ECEF), taken as is and with the mistakes a transform carries.

struct Site {
  double lat, lon, h;
};

// A change of a good frame, and whether the result is still one.
struct FrameChange {
  const char* name;
  void (*change)(std::array<double, 16>*);
};

TEST(SceneSrsTest, EastNorthUpFrames) {
  const Site sites[] = {{22.445969, 113.523514, 35}, {-33.877, 151.2, 20},
                        {69.65, 18.96, 0},           {40.7, -74.0, -30},
                        {-17.7, 179.9, 0},           {0, 0, 0}};
  const FrameChange wrong[] = {
      {"turned 1e-7 rad about up",
       [](std::array<double, 16>* m) {
         const double c = std::cos(1e-7), s = std::sin(1e-7);
         for (int row = 0; row < 3; ++row) {
           const double e = (*m)[row], n = (*m)[4 + row];
           (*m)[row] = c * e + s * n, (*m)[4 + row] = -s * e + c * n;
         }
       }},
      {"east and north exchanged",
       [](std::array<double, 16>* m) {
         for (int row = 0; row < 3; ++row) std::swap((*m)[row], (*m)[4 + row]);
       }},
      {"up reversed",
       [](std::array<double, 16>* m) {
         for (int row = 0; row < 3; ++row) (*m)[8 + row] = -(*m)[8 + row];
       }},
      {"scaled by 1 + 1e-6",
       [](std::array<double, 16>* m) {
         for (int i = 0; i < 11; ++i) (*m)[i] *= 1 + 1e-6;
       }},
      {"moved 100 m east, frame kept",
       [](std::array<double, 16>* m) {
         for (int row = 0; row < 3; ++row) (*m)[12 + row] += 100 * (*m)[row];
       }},
      {"row-major",
       [](std::array<double, 16>* m) {
         for (int i = 0; i < 4; ++i) {
           for (int j = i + 1; j < 4; ++j)
             std::swap((*m)[4 * i + j], (*m)[4 * j + i]);
         }
       }},
      {"projective last row",
       [](std::array<double, 16>* m) { (*m)[3] = 1e-6; }},
      {"at the earth's centre",
       [](std::array<double, 16>* m) { (*m)[12] = (*m)[13] = (*m)[14] = 0; }},
  };
  for (const Site& s : sites) {
    SCOPED_TRACE(testing::Message() << s.lat << ", " << s.lon);
    const std::array<double, 16> good = EnuFrame(s.lat, s.lon, s.h);
    Point3 at{-1, -1, -1};
    ASSERT_TRUE(IsEastNorthUpFrame(good, 1e-9, &at));
    EXPECT_NEAR(at.x, s.lon, 1e-11);
    EXPECT_NEAR(at.y, s.lat, 1e-11);
    EXPECT_NEAR(at.z, s.h, 1e-6);
    for (const FrameChange& w : wrong) {
      SCOPED_TRACE(w.name);
      std::array<double, 16> m = good;
      w.change(&m);
      Point3 untouched{-1, -1, -1};
      EXPECT_FALSE(IsEastNorthUpFrame(m, 1e-9, &untouched));
      EXPECT_EQ(untouched.x, -1);
    }
  }
  // A 3D Tiles writer's float32 rotation is a frame at a looser tolerance
  // only.
  std::array<double, 16> rounded = EnuFrame(22.445969, 113.523514, 35);
  for (int i = 0; i < 11; ++i) rounded[i] = static_cast<float>(rounded[i]);
  EXPECT_FALSE(IsEastNorthUpFrame(rounded));
  EXPECT_TRUE(IsEastNorthUpFrame(rounded, 1e-7));
}

}  // namespace

}  // namespace geoanchor
