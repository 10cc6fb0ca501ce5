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
    case InputErrorCode::kSceneWithBasePoint:
    case InputErrorCode::kSceneFile:
    case InputErrorCode::kSceneSrs:
    case InputErrorCode::kSceneOrigin:
    case InputErrorCode::kSceneTransform:
      break;
  }
  return false;
}

}  // namespace

Message InputPlaceText(const InputPlace& place) {
  Message text = Same(place.name);
  if (place.point > 0) {
    const std::string point = std::to_string(place.point);
    text = Message{"point " + point + " of " + place.name,
                   place.name + " 的第 " + point + " 个点"};
  }
  if (place.line > 0) {
    const std::string line = std::to_string(place.line);
    text += Message{" line " + line, " 第 " + line + " 行"};
  }
  if (!place.column.empty()) {
    text += Message{", column " + place.column, "，" + place.column + " 列"};
  }
  return text;
}

std::string InputErrorText(const InputError& error, Language language) {
  const bool chinese = language == Language::kChinese;
  std::string text = InputPlaceText(error.where).In(language);
  if (!text.empty()) {
    if (!PlaceIsSubject(error.code)) {
      text += chinese ? "：" : ": ";
    } else if (!chinese || static_cast<unsigned char>(text.back()) < 0x80) {
      // A Chinese sentence takes its subject without a blank, unless the
      // subject ends in a Latin letter, figure or sign ("--accuracy 为").
      text += " ";
    }
  }
  text += error.found.In(language);
  const std::string& remedy = error.remedy.In(language);
  if (!remedy.empty()) text += (chinese ? "：" : ": ") + remedy;
  // One line whatever the user's text holds: a path or a value with a line
  // break or another control character shows a blank there.
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return text;
}

std::string RenderInputError(const InputError& error, Language language) {
  return kMessagePrefix + InputErrorText(error, language);
}

}  // namespace geoanchor
