// The scene's files as producers write them, and as they go wrong: the
// forms the end-to-end tests against PROJ leave out (UTF-16, blanks, an
// origin without its height, a marked tileset), and every refusal. The
// projected base point is PROJ's (pyproj 3.4.1, PROJ 9.1.1:
// Transformer.from_crs("EPSG:4547", "EPSG:4326", always_xy=True) of
// SRSOrigin); a tileset's frame is GeographicLib's Geocentric frame.
#include "input/scene_file.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "tests/common/bilingual_checks.h"
#include "tests/geodesy/enu_frame.h"

namespace geoanchor {

namespace {

std::string Metadata(const std::string& srs, const std::string& origin,
                     const std::string& declaration =
                         "<?xml version=\"1.0\" encoding=\"utf-8\"?>") {
  return declaration +
         "\n<ModelMetadata version=\"1\">\n"
         "\t<!--Spatial Reference System-->\n"
         "\t<SRS>" +
         srs +
         "</SRS>\n"
         "\t<!--Origin in Spatial Reference System-->\n"
         "\t<SRSOrigin>" +
         origin +
         "</SRSOrigin>\n"
         "\t<Texture>\n\t\t<ColorSource>Visible</ColorSource>\n\t</Texture>\n"
         "</ModelMetadata>\n";
}

// The same ASCII text in UTF-16LE with its mark.
std::string Utf16Le(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

// A 3D Tiles root transform: the east/north/up frame at (lat, lon, h).
std::string Tileset(const std::array<double, 16>& m) {
  std::string t =
      "{\"asset\":{\"version\":\"1.0\"},\"geometricError\":500,"
      "\"root\":{\"transform\":[";
  for (int i = 0; i < 16; ++i) {
    char number[40];
    std::snprintf(number, sizeof number, "%.17g", m[i]);
    t += (i ? "," : "") + std::string(number);
  }
  return t + "],\"geometricError\":100,\"refine\":\"REPLACE\"}}";
}

TEST(SceneFileTest, ScenesAsProducersWriteThem) {
  struct Case {
    const char* what;
    std::string bytes;
    SceneFileKind kind;
    SceneSrsKind srs;
    Point3 origin;
    double lon_deg, lat_deg;
  };
  const Case cases[] = {
      // ContextCapture's own example: latitude first.
      {"ENU without an origin", Metadata("ENU:41.57231,2.26157", "0,0,0"),
       SceneFileKind::kMetadata, SceneSrsKind::kEnu, Point3{0, 0, 0}, 2.26157,
       41.57231},
      {"ENU with an origin",
       Metadata(" ENU:22.446,113.5235 ", " 12.5, -3, 40 "),
       SceneFileKind::kMetadata, SceneSrsKind::kEnu, Point3{12.5, -3, 40},
       113.5235, 22.446},
      {"ENU in UTF-16", Utf16Le(Metadata("ENU:22.446,113.5235", "1,2,3", "")),
       SceneFileKind::kMetadata, SceneSrsKind::kEnu, Point3{1, 2, 3}, 113.5235,
       22.446},
      {"EPSG compound code, origin without height",
       Metadata("EPSG:4547+5773", "450952,2483262"), SceneFileKind::kMetadata,
       SceneSrsKind::kProjected, Point3{450952, 2483262, 0}, 113.523514441565,
       22.445969300180},
      {"tileset with a byte-order mark",
       "\xEF\xBB\xBF" + Tileset(EnuFrame(41.57231, 2.26157, 0)),
       SceneFileKind::kTileset, SceneSrsKind::kEnu, Point3{0, 0, 0}, 2.26157,
       41.57231},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SceneFile scene;
    const std::optional<InputError> error =
        ReadSceneFile("metadata.xml", c.bytes, "", &scene);
    ASSERT_FALSE(error) << RenderInputError(*error, Language::kEnglish);
    EXPECT_EQ(c.kind, scene.kind);
    EXPECT_EQ(c.srs, scene.srs.kind);
    EXPECT_NEAR(c.origin.x, scene.srs_origin.x, 1e-9);
    EXPECT_NEAR(c.origin.y, scene.srs_origin.y, 1e-9);
    EXPECT_NEAR(c.origin.z, scene.srs_origin.z, 1e-6);
    EXPECT_NEAR(c.lon_deg, scene.base_point.x, 1e-9);
    EXPECT_NEAR(c.lat_deg, scene.base_point.y, 1e-9);
    // A tileset's frame reads back as the ENU scene it is.
    EXPECT_EQ(c.srs, ReadSceneSrs(scene.srs_text).kind) << scene.srs_text;
  }
}

TEST(SceneFileTest, FilesThatCannotServeSayWhy) {
  struct Case {
    const char* what;
    std::string bytes;
    InputErrorCode code;
    int line;
    const char* en;           // a fragment of the English line
    std::string quoted = "";  // the file's own text the line quotes
  };
  const Case cases[] = {
      {"geographic", Metadata("EPSG:4326", "0,0,0"), InputErrorCode::kSceneSrs,
       0, "geographic"},
      // Zone 48's easting in a grid without the zone number: 3500 km east.
      {"origin off its grid", Metadata("EPSG:4547", "48450952,2483262,0"),
       InputErrorCode::kSceneOrigin, 0, "outside its grid"},
      {"UTF-16 declared UTF-8", Utf16Le(Metadata("ENU:22.4,113.5", "0,0,0")),
       InputErrorCode::kSceneFile, 1, "another encoding"},
      {"grid without an origin", Metadata("EPSG:4547", ""),
       InputErrorCode::kSceneOrigin, 0, "without <SRSOrigin>"},
      {"origin of four numbers", Metadata("EPSG:4547", "1,2,3,4"),
       InputErrorCode::kSceneOrigin, 0, "'1,2,3,4'", "1,2,3,4"},
      {"mismatched tag",
       "<?xml version=\"1.0\"?>\n<ModelMetadata>\n<SRS>EPSG:4547</SRS>\n"
       "<SRSOrigin>1,2,3</SRS>\n</ModelMetadata>\n",
       InputErrorCode::kSceneFile, 4, "mismatched tag"},
      {"Shift_JIS",
       Metadata("EPSG:4547", "1,2,3",
                "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>"),
       InputErrorCode::kSceneFile, 1, "encoding"},
      {"GBK declared, bytes that are not",
       Metadata("EPSG:4547", "1,2,3",
                "<?xml version=\"1.0\" encoding=\"GBK\"?><!-- \x81\x20 -->"),
       InputErrorCode::kSceneFile, 1, "not well-formed"},
      // Entities that expand without bound are never declared.
      {"document type",
       "<!DOCTYPE m [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
       "<ModelMetadata><SRS>&b;</SRS></ModelMetadata>",
       InputErrorCode::kSceneFile, 1, "document type"},
      {"another XML file", "<Project><SRS>EPSG:4547</SRS></Project>",
       InputErrorCode::kSceneFile, 0, "'Project'", "Project"},
      {"empty", "", InputErrorCode::kSceneFile, 0, "empty"},
      {"text", "SRS=EPSG:4547", InputErrorCode::kSceneFile, 0,
       "neither an XML nor a JSON"},
      {"broken JSON", "{\"root\": {\"transform\": [1, 2,}}",
       InputErrorCode::kSceneFile, 0, "not well-formed JSON"},
      {"JSON array", "[1, 2, 3]", InputErrorCode::kSceneFile, 0, "root tile"},
      {"JSON without a root", "{\"asset\": {\"version\": \"1.0\"}}",
       InputErrorCode::kSceneFile, 0, "root tile"},
      {"no transform", "{\"root\": {\"geometricError\": 1}}",
       InputErrorCode::kSceneTransform, 0, "has no transform"},
      {"identity transform",
       "{\"root\": {\"transform\": [1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1]}}",
       InputErrorCode::kSceneTransform, 0, "not an east/north/up frame"},
      {"15 numbers",
       "{\"root\": {\"transform\": [1,0,0,0,0,1,0,0,0,0,1,0,0,0,0]}}",
       InputErrorCode::kSceneTransform, 0, "not 16 numbers"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SceneFile scene;
    const std::optional<InputError> error =
        ReadSceneFile("场景/metadata.xml", c.bytes, "", &scene);
    ASSERT_TRUE(error);
    EXPECT_EQ(c.code, error->code);
    EXPECT_EQ("场景/metadata.xml", error->where.name);
    EXPECT_EQ(c.line, error->where.line);
    const std::string en = RenderInputError(*error, Language::kEnglish);
    EXPECT_NE(std::string::npos, en.find(c.en)) << en;
    // One line that names the file and what to do, in both languages.
    EXPECT_EQ("", bilingual::Faults(
                      Message{InputErrorText(*error, Language::kEnglish),
                              InputErrorText(*error, Language::kChinese)},
                      {"场景/metadata.xml", c.quoted}));
    EXPECT_NE(std::string::npos, en.find("--basepoint")) << en;
  }
}

}  // namespace

}  // namespace geoanchor
