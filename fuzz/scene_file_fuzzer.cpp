// The scene-file reader on arbitrary bytes (a metadata.xml or a
// tileset.json as anyone may hand it over). Invariants:
//  - no crash, no sanitizer report, no unbounded expansion;
//  - a file read gives a scene placed on the earth: an ENU or projected
//    SRS, a finite base point within the latitudes and longitudes, a
//    finite origin, and an SRS text that reads back to the same kind;
//  - a refused one names the file in one line of UTF-8 in each language.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/unicode_text.h"
#include "fuzz/fuzz_checks.h"
#include "input/input_error.h"
#include "input/scene_file.h"

namespace geoanchor {
namespace {

int FuzzOne(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  SceneFile scene;
  const std::optional<InputError> error =
      ReadSceneFile("s.xml", bytes, "", &scene);
  if (!error) {
    Check(scene.srs.kind == SceneSrsKind::kEnu ||
          scene.srs.kind == SceneSrsKind::kProjected);
    Check(std::isfinite(scene.base_point.x) &&
          std::fabs(scene.base_point.x) <= 360.0);
    Check(std::isfinite(scene.base_point.y) &&
          std::fabs(scene.base_point.y) <= 90.0);
    Check(std::isfinite(scene.srs_origin.x) &&
          std::isfinite(scene.srs_origin.y) &&
          std::isfinite(scene.srs_origin.z));
    Check(ReadSceneSrs(scene.srs_text).kind == scene.srs.kind);
    return 0;
  }
  Check(error->where.name == "s.xml");
  for (Language language : {Language::kEnglish, Language::kChinese}) {
    const std::string line = RenderInputError(*error, language);
    Check(line.rfind("GeoAnchorSolve: s.xml", 0) == 0);
    Check(line.find('\n') == std::string::npos);
    Check(line.find('\r') == std::string::npos);
    Check(IsValidUtf8(line));
  }
  return 0;
}

}  // namespace
}  // namespace geoanchor

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return geoanchor::FuzzOne(data, size);
}
