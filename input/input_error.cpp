#include "input/input_error.h"

#include "common/tool_name.h"

namespace geoanchor {

namespace {

// Whether the finding reads as a sentence about its place ("DWGsrcpoints is
// empty"), or as what was found in it, after ": " ("points.csv line 2: 3
// fields, ...").
bool PlaceIsSubject(InputErrorCode code) {
  switch (code) {
    case InputErrorCode::kUnknownLanguage:
    case InputErrorCode::kNotFinite:
    case InputErrorCode::kAccuracyRange:
    case InputErrorCode::kProjectHeightInfinite:
    case InputErrorCode::kLatitudeRange:
    case InputErrorCode::kLongitudeRange:
    case InputErrorCode::kDrawingRange:
    case InputErrorCode::kNonFiniteNumber:
    case InputErrorCode::kEmptyList:
    case InputErrorCode::kDifferentLengths:
    case InputErrorCode::kPairsReadAsTriples:
    case InputErrorCode::kTriplesReadAsPairs:
    case InputErrorCode::kDrawingOtherShape:
      return true;
    case InputErrorCode::kNothingToDo:
    case InputErrorCode::kTableWithLists:
    case InputErrorCode::kFlagFilesTooDeep:
    case InputErrorCode::kStoppedReading:
    case InputErrorCode::kIncompletePoint:
    case InputErrorCode::kUnreadableFile:
    case InputErrorCode::kProjectedCrs:
    case InputErrorCode::kNoHeader:
    case InputErrorCode::kUnclosedQuote:
    case InputErrorCode::kDuplicateColumn:
    case InputErrorCode::kMissingColumn:
    case InputErrorCode::kNoHeightColumn:
    case InputErrorCode::kTooFewFields:
    case InputErrorCode::kTooManyFields:
    case InputErrorCode::kEmptyField:
    case InputErrorCode::kNotANumber:
    case InputErrorCode::kNotAnAngle:
    case InputErrorCode::kBadUseValue:
    case InputErrorCode::kNoRows:
    case InputErrorCode::kNoPointUsed:
      break;
  }
  return false;
}

}  // namespace

std::string InputPlaceText(const InputPlace& place) {
  std::string text = place.point > 0 ? "point " + std::to_string(place.point) +
                                           " of " + place.name
                                     : place.name;
  if (place.line > 0) text += " line " + std::to_string(place.line);
  if (!place.column.empty()) text += ", column " + place.column;
  return text;
}

std::string InputErrorText(const InputError& error,
                           [[maybe_unused]] Language language) {
  std::string text = InputPlaceText(error.where);
  if (!text.empty()) text += PlaceIsSubject(error.code) ? " " : ": ";
  text += error.found;
  if (!error.remedy.empty()) text += ": " + error.remedy;
  return text;
}

std::string RenderInputError(const InputError& error, Language language) {
  return kMessagePrefix + InputErrorText(error, language);
}

}  // namespace geoanchor
