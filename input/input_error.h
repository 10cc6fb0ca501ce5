// An input mistake as a value: what kind of mistake it is, where it stands,
// what was found there and what to do; and the one renderer that turns it
// into the line standard error shows:
//   "GeoAnchorSolve: <where> <what was found>: <what to do>"
//   "GeoAnchorSolve: <where><what was found>：<what to do>"
// Every mistake of the input stage (the flags, the point lists, the
// control-point tables, the flag files) ends a run this way. What was found
// and what to do are made in both languages by the check that knows the
// figures; the place is kept apart, and named in the chosen one.
#ifndef GEOANCHOR_INPUT_INPUT_ERROR_H_
#define GEOANCHOR_INPUT_INPUT_ERROR_H_

#include <string>

#include "common/language.h"

namespace geoanchor {

// The mistakes, by what the user got wrong.
enum class InputErrorCode {
  // The command line as a whole.
  kNothingToDo,       // no base point, no lists and no table
  kTableWithLists,    // --points together with a point list
  kFlagFilesTooDeep,  // flag files that name each other without end
  // One value (a flag, a point's coordinate, a table's field).
  kUnknownLanguage,        // --lang other than zh or en
  kNotFinite,              // nan or inf where a number is needed
  kAccuracyRange,          // --accuracy negative or not finite
  kProjectHeightInfinite,  // --projectheight=inf
  kLatitudeRange,          // beyond +-90 degrees
  kLongitudeRange,         // beyond +-360 degrees
  kDrawingRange,           // a drawing coordinate beyond +-1e12
  // A point-list text (--basepoint, --modelpoint, the two lists).
  kNonFiniteNumber,     // the reading stopped at "nan", "inf" or "1e999"
  kStoppedReading,      // the reading stopped before text with digits
  kIncompletePoint,     // numbers after the last point make no whole one
  kEmptyList,           // no point at all
  kDifferentLengths,    // the two lists hold different numbers of points
  kPairsReadAsTriples,  // targets given as pairs, read with heights
  kTriplesReadAsPairs,  // targets given with heights, read as pairs
  kDrawingOtherShape,   // the drawing list in the other mode's shape
  // A control-point table (--points).
  kUnreadableFile,   // the file cannot be read
  kProjectedCrs,     // QGIS's "#CRS:" names a projected system
  kNoHeader,         // nothing but blank lines and comments
  kUnclosedQuote,    // a field's quote is not closed
  kDuplicateColumn,  // two header names for one column
  kMissingColumn,    // no x, y, lon or lat column
  kNoHeightColumn,   // no h column where the mode needs heights
  kTooFewFields,     // a row without a field for a column
  kTooManyFields,    // a row with text beyond the header's columns
  kEmptyField,       // an empty x, y, z, lon, lat or h
  kNotANumber,       // x, y, z or h that is no number
  kNotAnAngle,       // lon or lat that is no angle
  kBadUseValue,      // use other than 1/0, yes/no, true/false
  kNoRows,           // no point below the header
  kNoPointUsed,      // every point has use 0
  // The scene's file (--scene).
  kSceneWithBasePoint,  // --scene together with --basepoint
  kSceneFile,           // not a metadata.xml or tileset.json it reads
  kSceneSrs,            // an SRS the tool places no scene in
  kSceneOrigin,         // SRSOrigin unreadable, or none in a grid
  kSceneTransform,      // a tileset's root transform missing or no frame
};

// Where a mistake stands: a flag or a list ("--zoffset", "basepoint",
// "DWGsrcpoints"), one point of a list ("point 2 of DWGdespoints"), or a
// table file as a whole, one of its lines, or a field ("points.csv line 5,
// column lat"). Empty for the command line as a whole. Every member has
// its default, so that InputPlace{name} or InputPlace{name, point} leaves
// out the rest.
struct InputPlace {
  std::string name;      // the flag, the list, or the file as the user gave it
  size_t point = 0;      // the list's point, counting from 1; 0: none
  int line = 0;          // the file's line, counting from 1; 0: none
  std::string column{};  // the column as the table's header names it
};

struct InputError {
  InputErrorCode code = InputErrorCode::kNothingToDo;
  InputPlace where;
  Message found;   // what was found there (a sentence without its place)
  Message remedy;  // what to do; empty when the finding says it all
};

// The place as the messages name it: "point 2 of DWGdespoints",
// "points.csv line 5, column lat", "basepoint"; in Chinese
// "DWGdespoints 的第 2 个点", "points.csv 第 5 行，lat 列", "basepoint".
Message InputPlaceText(const InputPlace& place);

// The mistake in one line without the tool's prefix (a warning quotes it):
// the place, then what was found, then ": " and what to do. The place is
// the subject of the finding ("basepoint is empty") or, for what was found
// in a text or a file, stands before ": " ("points.csv line 2: 3 fields,
// ..."). In Chinese the colons are "：", and a subject stands right before
// its finding ("--accuracy 为 -1，...", "DWGdespoints 的第 2 个点的纬度...").
std::string InputErrorText(const InputError& error, Language language);

// kMessagePrefix + InputErrorText: the line for standard error, without a
// line break (a control character of the user's text, a line break in a
// path, shows as a blank).
std::string RenderInputError(const InputError& error, Language language);

}  // namespace geoanchor

#endif  // GEOANCHOR_INPUT_INPUT_ERROR_H_
