// The checks between reading the input and converting it.
//
// Every input mistake that would end a run, or give it numbers the user did
// not mean, is named as an InputError (input/input_error.h), whose line for
// standard error reads
//   "GeoAnchorSolve: <where> <what was found>: <what to do>"
// <where> names the flag (or the file) and the point, counting from 1:
// "basepoint", "point 2 of DWGdespoints", "--zoffset". Each check below
// takes the values and such a place, and returns nothing when they pass,
// else the mistake. Checks compare; they print nothing.
#ifndef GEOANCHOR_INPUT_INPUT_CHECKS_H_
#define GEOANCHOR_INPUT_INPUT_CHECKS_H_

#include <optional>
#include <string>
#include <string_view>

#include "common/types.h"
#include "input/input_error.h"
#include "input/point_list.h"

namespace geoanchor {

// The --lang flag's value: "zh" or "en" sets `*language`; "" (not given)
// leaves it, the system's; anything else is the mistake.
std::optional<InputError> ReadLanguage(const std::string& value,
                                       Language* language);

// A value that must be a finite number (--zoffset, --scale).
std::optional<InputError> CheckFinite(const InputPlace& where, double value,
                                      const Message& remedy);

// The points' accuracy, metres: finite and 0 (estimate it) or more.
std::optional<InputError> CheckAccuracy(const InputPlace& where,
                                        double accuracy_m);

// The height of the pair mode, metres. NaN and negative values (-inf too)
// select the modes with heights and pass; +inf is no height.
std::optional<InputError> CheckProjectHeight(const InputPlace& where,
                                             double height_m);

// No latitude lies beyond this, degrees; no longitude is written beyond
// the other (between 180 and 360 degrees some are).
inline constexpr double kMaxLatitudeDeg = 90.0;
inline constexpr double kMaxLongitudeDeg = 360.0;

// A latitude beyond +-90 degrees is no place; most often the latitude was
// written first. NaN is left to the later stages.
std::optional<InputError> CheckLatitude(const InputPlace& where,
                                        double lat_deg);

// A longitude beyond +-360 degrees is written nowhere; between 180 and 360
// it is another name of a place and passes.
std::optional<InputError> CheckLongitude(const InputPlace& where,
                                         double lon_deg);

// A geodetic point (lon_deg, lat_deg): its latitude, then its longitude.
std::optional<InputError> CheckGeodeticPoint(const InputPlace& where,
                                             const Point3& p);

// A drawing coordinate beyond this, in drawing units, is no drawing: a
// double resolves it only to about 0.1 mm, and the fit's sums of squares
// (1e24 and more) lose the differences between the points.
inline constexpr double kMaxDrawingCoordinate = 1e12;

// The user's `text` as a message quotes it: without white space at either
// end, in single quotes, control characters as blanks (the message stays
// one line), cut after 32 characters (never inside one) with "...".
std::string Quote(std::string_view text);

// Drawing x, y and z within +-kMaxDrawingCoordinate.
std::optional<InputError> CheckDrawingPoint(const InputPlace& where,
                                            const Point3& p);

// Checks on one reading of a point-list text (`list` names it,
// `per_point` is the numbers to a point it was read with):

// The reading stopped at a non-finite number ("nan", "inf", "1e999"):
// names the point it begins (with `name_point`, else only the list).
std::optional<InputError> CheckNonFiniteStop(const std::string& list,
                                             std::string_view text,
                                             const PointListReading& reading,
                                             int per_point, bool name_point);

// Text the reading passed over that holds a digit: points the user wrote
// and the run does not use. Returns nothing when there is none, else the
// mistake (kStoppedReading or kIncompletePoint) naming the list, where
// reading stopped or the incomplete last point, how many points were read,
// the text left and what to do. The full-width "，", "；", "、" and blank that
// Chinese input methods type are named as such.
std::optional<InputError> DescribeIgnoredText(const std::string& list,
                                              std::string_view text,
                                              const PointListReading& reading,
                                              int per_point);

// A list that yields no point.
std::optional<InputError> CheckListNotEmpty(const std::string& list,
                                            std::string_view text,
                                            const PointListReading& reading,
                                            const Message& remedy);

// Two lists that must hold the same number of points.
std::optional<InputError> CheckSameLength(const std::string& source_list,
                                          const PointListReading& source,
                                          const std::string& target_list,
                                          const PointListReading& target,
                                          int per_point);

// The targets read in the mode's shape (`per_point` numbers) against the
// other shape: read in whole points of the other shape they all lie within
// kFarFromBaseM of `base` (lon_deg, lat_deg), read this way not all do.
// The list then holds the other shape, and the mode is the mistake.
std::optional<InputError> CheckTargetShape(const std::string& list,
                                           std::string_view text,
                                           const PointListReading& reading,
                                           int per_point, const Point3& base);

// The drawing list holds as many numbers as the other shape needs for
// `target_count` targets, so it is in the other shape, and the lengths as
// read differ.
std::optional<InputError> CheckDrawingShape(const std::string& list,
                                            const PointListReading& reading,
                                            int per_point, size_t target_count);

// A base point (the scene's or the model's): its text's first pair. Fails
// when the text yields no point (empty, non-finite, unreadable) or the
// point's latitude or longitude is impossible; `remedy` says how to give
// it. Numbers after the first pair are harmless (a height, say).
std::optional<InputError> ReadBasePoint(const std::string& label,
                                        std::string_view text,
                                        const Message& remedy, Point3* point);

}  // namespace geoanchor

#endif  // GEOANCHOR_INPUT_INPUT_CHECKS_H_
