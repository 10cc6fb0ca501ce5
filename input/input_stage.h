// The input stage as the driver calls it: from the flags' values to the
// control points, on top of the checks (input/input_checks.h) and the
// control-point table reader (input/point_table.h).
#ifndef GEOANCHOR_INPUT_INPUT_STAGE_H_
#define GEOANCHOR_INPUT_INPUT_STAGE_H_

#include <optional>
#include <string_view>

#include "common/types.h"
#include "input/input_error.h"
#include "input/scene_file.h"

namespace geoanchor {

// The command-line values the input stage reads and checks.
struct InputFlags {
  std::string_view basepoint;     // lon_deg, lat_deg
  std::string_view modelpoint;    // any text, even blanks: model-base-point
  std::string_view DWGsrcpoints;  // drawing x, y[, z]
  std::string_view DWGdespoints;  // lon_deg, lat_deg[, h_m]
  double zoffset_m = 0.0;
  double scale = 0.0;
  double projectheight_m = -1.0;  // >= 0: pairs; NaN or negative: triples
  double accuracy_m = 0.0;
  // A control-point table (input/point_table.h) in place of the two lists:
  // its path as given ("" = none), which its messages name, and its bytes,
  // which the driver reads; `points_read_error` is the system's reason when
  // it could not read them.
  std::string_view points_path;
  std::string_view points_table;
  std::string_view points_read_error;
  // The scene's metadata file (input/scene_file.h) in place of the base
  // point, the same way: its path ("" = none), its bytes, and the
  // system's reason when they could not be read.
  std::string_view scene_path;
  std::string_view scene_bytes;
  std::string_view scene_read_error;
};

// The whole input stage: reads the base point, chooses the mode, reads the
// control-point lists and the model base point, and checks them, in this
// order:
//  1. no base point, no lists and no table at all; a table given with
//     either list; a scene file given with a base point;
//  2. --zoffset, --scale, --accuracy, --projectheight;
//  3. the base point, or the scene file that gives it (ReadSceneFile, which
//     fills `scene` when it is not null);
//  4. a non-finite number where a list's reading stopped, the targets in
//     the other mode's shape, the drawing list in the other shape;
//  5. empty lists, different lengths, each target's latitude and
//     longitude, each drawing point's coordinates, the model base point.
// When a check of step 5 fails and a list's reading passed over text with a
// digit, the mistake is that text instead (DescribeIgnoredText): it is the
// likelier cause. Text passed over in a run that goes on is a warning:
// `ignored_input` holds each such mistake's InputErrorText.
// With a table, steps 4 and 5 are instead: a file that could not be read,
// the table itself (ReadPointTable, whose value checks are the ones above),
// the h column the modes with heights need, a point with use 1, the model
// base point. Its used points become the lists, in the table's order and
// exactly as the lists would give them (pairs in the pair mode), with their
// names and positions; the others become `points->check`, and
// `points->table` says which column was the easting and which were not
// read.
// Returns nothing and fills `points` (mode, lists, base and model points,
// project height, ignored_input, names, positions, check points; the
// converted targets are left to the geodesy), or the first mistake.
std::optional<InputError> ReadAndCheckInput(const InputFlags& flags,
                                            ControlPoints* points,
                                            SceneFile* scene = nullptr);

}  // namespace geoanchor

#endif  // GEOANCHOR_INPUT_INPUT_STAGE_H_
