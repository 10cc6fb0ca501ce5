// The run of GeoAnchorSolve from the flag values on: control-point
// preparation, the similarity fit and the output, in this order.
#ifndef GEOANCHOR_APP_RUN_H_
#define GEOANCHOR_APP_RUN_H_

#include <string>
#include <vector>

#include "common/language.h"
#include "common/types.h"
#include "input/scene_file.h"

namespace geoanchor {

// The directory of the executable: the prefix of `program_path` up to and
// including its last directory separator (backslash; on POSIX also "/"),
// or "" when there is none.
std::string ExecutableDirectory(const std::string& program_path);

// The values a run takes from its command line.
struct RunInputs {
  // The result file goes here, unless `result_path` names another place;
  // "" = the working directory.
  std::string executable_dir;
  std::string DWGsrcpoints;  // drawing plane coordinates
  std::string DWGdespoints;  // lon_deg, lat_deg[, h_m]
  std::string basepoint;     // scene base point: lon_deg, lat_deg
  // The scene's metadata file (input/scene_file.h) that gives the base
  // point instead of `basepoint`; "" = none.
  std::string scene_path;
  std::string modelpoint;         // model base point: lon_deg, lat_deg
  double zoffset_m = 0.0;         // z translation of the matrix
  double scale = 0.0;             // |scale| < 1e-6: fitted; else held at it
  double projectheight_m = -1.0;  // >= 0: pairs, all targets at this height
  // The control points' accuracy, metres, one coordinate, one sigma;
  // 0 = estimate it from the points.
  double accuracy_m = 0.0;
  // The result file's own path, for runs side by side from one
  // executable; "" = kResultFileName in `executable_dir`.
  std::string result_path;
  std::string report_path;   // "" = no fit report
  std::string plot_path;     // "" = no residual plot
  std::string geojson_path;  // "" = no map check (output/geojson.h)
  // A control-point table (input/point_table.h) instead of DWGsrcpoints
  // and DWGdespoints; "" = none.
  std::string points_path;
  Language language = Language::kEnglish;  // of every message
};

// The input stage (input/input_stage.h: reads and checks the base point,
// the mode, the control points and the numeric flags) and the conversion
// of the targets into the scene's east/north(/up) frame. Prints nothing.
// Returns false, with `error` set to the one line that names the first
// input mistake (in the inputs' language), when the run cannot go on. With
// `points_path` the control points come from that table (read here, judged by
// the input stage), its check points converted as the fitted ones. With
// `scene_path` the base point comes from that file, read here too, and what
// it says goes to `scene` (when not null).
bool PrepareControlPoints(const RunInputs& inputs, ControlPoints* points,
                          std::string* error, SceneFile* scene = nullptr);

// The whole run; returns the exit status, 0 or -1. With a scene's file, the
// diagnosis also judges the drawing against the scene's coordinates, and a
// report gives the matrix into them. With a report, a plot or a GeoJSON
// path, a run that succeeds also writes the fit report, the
// residual plot or the map check there, in this order (and only then are
// the quality figures computed); one that cannot write them fails.
int RunGeoAnchorSolve(const RunInputs& inputs);

}  // namespace geoanchor

#endif  // GEOANCHOR_APP_RUN_H_
