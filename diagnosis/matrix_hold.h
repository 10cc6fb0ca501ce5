// How well one matrix holds a drawing in a map projection: the largest
// distance between where the fit's matrix puts a drawing point and where
// the projection puts it in the scene, over the control points' box, and
// the largest part of the drawing one matrix would hold within tolerance.
//
// Nothing here prints, throws or changes the fit.
#ifndef GEOANCHOR_DIAGNOSIS_MATRIX_HOLD_H_
#define GEOANCHOR_DIAGNOSIS_MATRIX_HOLD_H_

#include <limits>
#include <string>

#include "common/types.h"
#include "grid/projection.h"

namespace geoanchor {

// What one matrix may miss by across the drawing, metres.
inline constexpr double kMatrixToleranceM = 0.05;

struct MatrixHold {
  // The largest distance, metres, between where the fit's matrix puts a
  // drawing point and where the projection puts it in the scene's
  // east/north frame (converted as the targets were), over the bounding
  // box of the control points in the drawing, at height_m. NaN without a
  // projection.
  double matrix_error_m = std::numeric_limits<double>::quiet_NaN();
  Point2 worst_drawing;  // the drawing point where it is largest
  // The side, metres, of the largest part of the drawing (a square, or the
  // drawing's whole width or height where it is narrower) that a
  // similarity fitted to that part alone holds within kMatrixToleranceM,
  // wherever in the box the part lies; the larger box side when the whole
  // box is held. NaN without a projection.
  double part_size_m = std::numeric_limits<double>::quiet_NaN();
  // The bounding box's sides, metres (drawing units times |K|).
  double site_width_m = std::numeric_limits<double>::quiet_NaN();
  double site_height_m = std::numeric_limits<double>::quiet_NaN();
  // The height the scene positions are taken at: the project height in the
  // pair mode, else the median of the targets' heights.
  double height_m = std::numeric_limits<double>::quiet_NaN();
};

// The matrix's error over the drawing and the part one matrix holds. For
// the report and the plot only: a few thousand inverse projections.
MatrixHold ComputeMatrixHold(const ControlPoints& points,
                             const SimilarityFit& fit,
                             const SurveyJudgement& judgement);

// The message of the finding that one matrix does not hold the drawing
// within kMatrixToleranceM: one English sentence with the figures, saying
// what to do. Meaningful when hold.matrix_error_m > kMatrixToleranceM.
Message ProjectionDistortionMessage(const MatrixHold& hold);

}  // namespace geoanchor

#endif  // GEOANCHOR_DIAGNOSIS_MATRIX_HOLD_H_
