// The checks between reading the input and converting it.
//
// Every input mistake that would end a run, or give it numbers the user did
// not mean, is named in one line for standard error:
//   "GeoAnchorSolve: <where> <what was found>: <what to do>"
// <where> names the flag (or the file) and the point, counting from 1:
// "basepoint", "point 2 of DWGdespoints", "--zoffset". Each check below
// takes the values and such a label, and returns "" when they pass, else
// that line (without a line break). Checks compare; they print nothing.
#ifndef GEOANCHOR_INPUT_INPUT_CHECKS_H_
#define GEOANCHOR_INPUT_INPUT_CHECKS_H_

#include <string>
#include <string_view>

#include "common/types.h"
#include "input/point_list.h"

// A drawing coordinate beyond this, in drawing units, is no drawing: a
// double resolves it only to about 0.1 mm, and the fit's sums of squares
// (1e24 and more) lose the differences between the points.
inline constexpr double kMaxDrawingCoordinate = 1e12;
// No latitude lies beyond this, degrees; no longitude is written beyond
// the other (between 180 and 360 degrees some are).
inline constexpr double kMaxLatitudeDeg = 90.0;
inline constexpr double kMaxLongitudeDeg = 360.0;

// "GeoAnchorSolve: " + where + " " + found + ": " + remedy.
std::string InputError(const std::string& where, const std::string& found,
                       const std::string& remedy);

// "point <index + 1> of <list>".
std::string PointLabel(const std::string& list, size_t index);

// A value that must be a finite number (--zoffset, --scale).
std::string CheckFinite(const std::string& label, double value,
                        const std::string& remedy);

// The points' accuracy, metres: finite and 0 (estimate it) or more.
std::string CheckAccuracy(const std::string& label, double accuracy_m);

// The height of the pair mode, metres. NaN and negative values (-inf too)
// select the modes with heights and pass; +inf is no height.
std::string CheckProjectHeight(const std::string& label, double height_m);

// A latitude beyond +-90 degrees is no place; most often the latitude was
// written first. NaN is left to the later stages.
std::string CheckLatitude(const std::string& label, double lat_deg);

// A longitude beyond +-360 degrees is written nowhere; between 180 and 360
// it is another name of a place and passes.
std::string CheckLongitude(const std::string& label, double lon_deg);

// A geodetic point (lon_deg, lat_deg): its latitude, then its longitude.
std::string CheckGeodeticPoint(const std::string& label, const Point3& p);

// Drawing x, y and z within +-kMaxDrawingCoordinate.
std::string CheckDrawingPoint(const std::string& label, const Point3& p);

// Checks on one reading of a point-list text (`list` names it,
// `per_point` is the numbers to a point it was read with):

// The reading stopped at a non-finite number ("nan", "inf", "1e999"):
// names the point it begins (with `name_point`, else only the list).
std::string CheckNonFiniteStop(const std::string& list, std::string_view text,
                               const PointListReading& reading, int per_point,
                               bool name_point);

// Text the reading passed over that holds a digit: points the user wrote
// and the run does not use. Returns "" when there is none, else one
// sentence (no "GeoAnchorSolve: ") naming the list, where reading stopped
// or the incomplete last point, how many points were read, the text left
// and what to do. The full-width "，", "；", "、" and blank that Chinese input
// methods type are named as such.
std::string DescribeIgnoredText(const std::string& list, std::string_view text,
                                const PointListReading& reading, int per_point);

// A list that yields no point.
std::string CheckListNotEmpty(const std::string& list, std::string_view text,
                              const PointListReading& reading,
                              const std::string& remedy);

// Two lists that must hold the same number of points.
std::string CheckSameLength(const std::string& source_list,
                            const PointListReading& source,
                            const std::string& target_list,
                            const PointListReading& target, int per_point);

// The targets read in the mode's shape (`per_point` numbers) against the
// other shape: read in whole points of the other shape they all lie within
// kFarFromBaseM of `base` (lon_deg, lat_deg), read this way not all do.
// The list then holds the other shape, and the mode is the mistake.
std::string CheckTargetShape(const std::string& list, std::string_view text,
                             const PointListReading& reading, int per_point,
                             const Point3& base);

// The drawing list holds as many numbers as the other shape needs for
// `target_count` targets, so it is in the other shape, and the lengths as
// read differ.
std::string CheckDrawingShape(const std::string& list,
                              const PointListReading& reading, int per_point,
                              size_t target_count);

// A base point (the scene's or the model's): its text's first pair. Fails
// when the text yields no point (empty, non-finite, unreadable) or the
// point's latitude or longitude is impossible; `remedy` says how to give
// it. Numbers after the first pair are harmless (a height, say).
std::string ReadBasePoint(const std::string& label, std::string_view text,
                          const std::string& remedy, Point3* point);

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
};

// The whole input stage: reads the base point, chooses the mode, reads the
// control-point lists and the model base point, and checks them, in this
// order:
//  1. no base point, no lists and no table at all; a table given with
//     either list;
//  2. --zoffset, --scale, --accuracy, --projectheight;
//  3. the base point;
//  4. a non-finite number where a list's reading stopped, the targets in
//     the other mode's shape, the drawing list in the other shape;
//  5. empty lists, different lengths, each target's latitude and
//     longitude, each drawing point's coordinates, the model base point.
// When a check of step 5 fails and a list's reading passed over text with a
// digit, the line names that text instead: it is the likelier cause.
// With a table, steps 4 and 5 are instead: a file that could not be read,
// the table itself (ReadPointTable, whose value checks are the ones above),
// the h column the modes with heights need, a point with use 1, the model
// base point. Its used points become the lists, in the table's order and
// exactly as the lists would give them (pairs in the pair mode), with their
// names and positions; the others become `points->check`.
// Returns "" and fills `points` (mode, lists, base and model points,
// project height, ignored_input, names, positions, check points; the
// converted targets are left to the geodesy), or the one line of the first
// mistake.
std::string ReadAndCheckInput(const InputFlags& flags, ControlPoints* points);

#endif  // GEOANCHOR_INPUT_INPUT_CHECKS_H_
