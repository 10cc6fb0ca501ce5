// The scene's own files as the source of its base point: the metadata an
// oblique-photography producer writes beside its scene.
//  - ContextCapture's (iTwin Capture's) metadata.xml:
//      <ModelMetadata version="1">
//        <SRS>EPSG:4547</SRS>              (or ENU:lat,lon, or a WKT)
//        <SRSOrigin>450952,2483262,0</SRSOrigin>
//      </ModelMetadata>
//    in UTF-8 (with or without a byte-order mark), UTF-16, or GBK where
//    its declaration says GBK, GB2312 or CP936. The scene's vertices are
//    its SRS's coordinates minus SRSOrigin.
//  - A 3D Tiles tileset.json whose root tile's transform is an
//    east/north/up frame at a point: the vertices are east/north/up at
//    that point, its height included.
// Which of the two a file is, its bytes tell (an XML or a JSON document),
// not its name.
//
// Nothing here reads files, prints, throws or keeps state: the driver
// reads the bytes, and a file that cannot serve is an InputError naming
// the file, what it holds and what the tool takes.
#ifndef GEOANCHOR_INPUT_SCENE_FILE_H_
#define GEOANCHOR_INPUT_SCENE_FILE_H_

#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "common/types.h"
#include "geodesy/scene_srs.h"
#include "input/input_error.h"

namespace geoanchor {

enum class SceneFileKind { kMetadata, kTileset };

// Where a scene's stored coordinates lie: in `srs` (an east/north/up frame
// at the ellipsoid's surface under its base point, or a projected grid),
// less `srs_origin`.
struct SceneFile {
  std::string path;  // as the user gave it
  SceneFileKind kind = SceneFileKind::kMetadata;
  // <SRS> as written, without surrounding blanks; for a tileset its frame
  // as "ENU:lat,lon" with 17 significant digits.
  std::string srs_text;
  SceneSrs srs;  // kEnu or kProjected, never kRefused
  // Metres, in the SRS's axes: <SRSOrigin> ((0, 0, 0) where the file has
  // none); for a tileset (0, 0, the frame's ellipsoidal height).
  Point3 srs_origin{0.0, 0.0, 0.0};
  // The scene's base point: x = lon_deg, y = lat_deg, z = 0.
  Point3 base_point{std::numeric_limits<double>::quiet_NaN(),
                    std::numeric_limits<double>::quiet_NaN(), 0.0};
};

// Reads the scene file at `path` from its `bytes`; `read_error` is the
// system's reason when they could not be read ("" when they were). Fills
// `scene` and returns nothing, or returns the mistake:
//  - kUnreadableFile: the file could not be read;
//  - kSceneFile: neither a ContextCapture metadata file nor a tileset, or
//    not well-formed (the parser's reason and line), or an XML encoding
//    other than UTF-8, UTF-16, ISO-8859-1, US-ASCII, GBK, GB2312, CP936;
//  - kSceneSrs: an SRS the tool places no scene in (ReadSceneSrs's
//    reason: geographic, local, missing, unknown, an old datum);
//  - kSceneOrigin: an SRSOrigin that is not two or three numbers, or none
//    in a projected scene;
//  - kSceneTransform: a tileset whose root has no transform, or one that
//    is no east/north/up frame at a point (IsEastNorthUpFrame, 1e-9).
std::optional<InputError> ReadSceneFile(std::string_view path,
                                        std::string_view bytes,
                                        std::string_view read_error,
                                        SceneFile* scene);

}  // namespace geoanchor

#endif  // GEOANCHOR_INPUT_SCENE_FILE_H_
