// The diagnosis's rules, one row each: the one place that says what a
// finding is. A row holds
//   - the code (FindingCode's enumerator) and its name as the report and
//     standard error write it;
//   - its severity: kBad (the matrix is not to be trusted), kCheck, or
//     kJudged (the rule decides per finding: a point's own mistake is bad
//     where the matrix follows the point);
//   - when it runs: kEveryRun (judged without a report too, the same way,
//     so its findings reach standard error), kReportOnly (with a report
//     or a plot only), or kUnlessBad (every run, but kept only where no
//     bad finding already distrusts the matrix);
//   - its judge: the function that detects the mistake from the shared
//     Context and writes each finding's points and message (in the file
//     of its theme: readings, blunders, grid_rules, site, heights);
//   - what its findings hide: codes hidden wholly, and codes hidden only
//     for the points a finding explains (Finding::explains, or else the
//     points it names), so that one mistake reads as one line.
//
// The rows stand in the order in which findings may hide one another: a
// finding hides only findings of later codes (checked at compile time in
// rules.cpp). That order is FindingCode's, generated from these rows.
//
// To add a rule: add its row where its hiding puts it, write its judge
// next to its theme's others, add its test row and its line in the
// README's table of codes. Nothing else names it.
#ifndef GEOANCHOR_DIAGNOSIS_RULES_H_
#define GEOANCHOR_DIAGNOSIS_RULES_H_

namespace geoanchor {

// What a broken fit makes of everything else: an exchanged reading
// explains the non-convergence, the points' disagreement, what the fit
// makes of scale and leverage and the grid's mismatch, and no web-map
// offset, exchanged pair or zone slip is told under it.
#define GEOANCHOR_BROKEN_FIT_HIDES                                      \
  C::kGridMismatch, C::kNotConverged, C::kMostPointsOutliers,           \
      C::kBlunderUnlocated, C::kWebMapCoordinates, C::kExchangedPairs,  \
      C::kZoneNumber, C::kLeverage, C::kCoarsePoints, C::kUnusualScale, \
      C::kProjectionDistortion

// Targets read otherwise lie elsewhere than as given: the base point is
// then as far from them as they are from it, however it was written.
#define GEOANCHOR_TARGETS_READ_OTHERWISE_HIDES \
  GEOANCHOR_BROKEN_FIT_HIDES, C::kBasePointReading, C::kFarFromBase

// RULE(code, name, severity, runs, judge, Hides(wholly), Hides(by points));
// the codes in Hides(...) are written C::k..., where the file that expands
// the rows makes C stand for FindingCode.
#define GEOANCHOR_DIAGNOSIS_RULES(RULE)                                        \
  RULE(kExchangedAxes, "exchanged_axes", kBad, kEveryRun, ExchangedAxes,       \
       Hides(GEOANCHOR_BROKEN_FIT_HIDES),                                      \
       Hides(C::kOutlier, C::kLargeDeviation))                                 \
  RULE(kExchangedLonLat, "exchanged_lon_lat", kBad, kEveryRun,                 \
       ExchangedLonLat, Hides(GEOANCHOR_TARGETS_READ_OTHERWISE_HIDES),         \
       Hides(C::kOutlier, C::kLargeDeviation))                                 \
  RULE(kDmsAsDecimal, "dms_as_decimal", kBad, kEveryRun, DmsAsDecimal,         \
       Hides(GEOANCHOR_TARGETS_READ_OTHERWISE_HIDES),                          \
       Hides(C::kOutlier, C::kLargeDeviation))                                 \
  /* The scene frame is wrong, and the targets lie far from it. */             \
  RULE(kBasePointReading, "base_point_reading", kBad, kEveryRun,               \
       BasePointReading,                                                       \
       Hides(C::kGridMismatch, C::kFarFromBase, C::kProjectionDistortion),     \
       Hides())                                                                \
  /* Points at one place fix nothing: their fit says nothing about any         \
     point, nor about the drawing's layout. */                                 \
  RULE(                                                                        \
      kRankDeficient, "rank_deficient", kBad, kEveryRun, RankDeficient,        \
      Hides(C::kGridMismatch, C::kNotConverged, C::kMostPointsOutliers,        \
            C::kBlunderUnlocated, C::kExchangedPairs, C::kOutlier,             \
            C::kLargeDeviation, C::kLeverage, C::kNoRedundancy, C::kCollinear, \
            C::kCoarsePoints, C::kUnusualScale, C::kProjectionDistortion),     \
      Hides())                                                                 \
  /* The fit absorbs most of the offset, and what is left bends over the       \
     site; each point's own web-map target is this, said once. */              \
  RULE(                                                                        \
      kWebMapCoordinates, "web_map_coordinates", kBad, kEveryRun,              \
      WebMapCoordinates,                                                       \
      Hides(C::kGridMismatch, C::kMostPointsOutliers, C::kBlunderUnlocated,    \
            C::kZoneNumber, C::kSwappedPoint, C::kWebMapPoint,                 \
            C::kCoordinateSlip, C::kOutlier, C::kLargeDeviation, C::kLeverage, \
            C::kCoarsePoints, C::kUnusualScale, C::kProjectionDistortion),     \
      Hides())                                                                 \
  /* The grid names what the points' own agreement cannot: the blunder         \
     among a few points. The matrix is wrong, so what it makes of each         \
     point and of the scale says nothing. */                                   \
  RULE(kGridMismatch, "grid_mismatch", kBad, kEveryRun, GridMismatch,          \
       Hides(C::kBlunderUnlocated, C::kOutlier, C::kLargeDeviation,            \
             C::kLeverage, C::kCoarsePoints, C::kUnusualScale),                \
       Hides())                                                                \
  RULE(kNotConverged, "not_converged", kBad, kEveryRun, NotConverged, Hides(), \
       Hides())                                                                \
  /* Lists that do not belong together: what their fit makes of each           \
     point, of the scale and of the site says nothing, and some of their       \
     points pair up by chance. */                                              \
  RULE(kMostPointsOutliers, "most_points_outliers", kBad, kEveryRun,           \
       MostPointsOutliers,                                                     \
       Hides(C::kBlunderUnlocated, C::kExchangedPairs, C::kOutlier,            \
             C::kLargeDeviation, C::kLeverage, C::kCoarsePoints,               \
             C::kUnusualScale, C::kProjectionDistortion),                      \
       Hides())                                                                \
  /* A blunder no point can be blamed for. */                                  \
  RULE(kBlunderUnlocated, "blunder_unlocated", kBad, kEveryRun,                \
       BlunderUnlocated, Hides(C::kCoarsePoints),                              \
       Hides(C::kOutlier, C::kLargeDeviation, C::kLeverage))                   \
  RULE(kIgnoredInput, "ignored_input", kBad, kEveryRun, IgnoredInput, Hides(), \
       Hides())                                                                \
  /* Two exchanged targets: their deviations, and their heights, which         \
     travel with the targets. */                                               \
  RULE(kExchangedPairs, "exchanged_pairs", kCheck, kEveryRun, ExchangedPairs,  \
       Hides(), Hides(C::kOutlier, C::kLargeDeviation, C::kHeightOffLift))     \
  /* A point's own mistake, named with its cause, is its blunder. */           \
  RULE(kZoneNumber, "zone_number", kJudged, kEveryRun, ZoneNumber, Hides(),    \
       Hides(C::kOutlier, C::kLargeDeviation))                                 \
  RULE(kSwappedPoint, "swapped_point", kJudged, kEveryRun, SwappedPoint,       \
       Hides(), Hides(C::kOutlier, C::kLargeDeviation))                        \
  RULE(kWebMapPoint, "web_map_point", kJudged, kEveryRun, WebMapPoint,         \
       Hides(), Hides(C::kOutlier, C::kLargeDeviation))                        \
  RULE(kCoordinateSlip, "coordinate_slip", kJudged, kEveryRun, CoordinateSlip, \
       Hides(), Hides(C::kOutlier, C::kLargeDeviation))                        \
  RULE(kOutlier, "outlier", kCheck, kEveryRun, Outlier, Hides(), Hides())      \
  RULE(kLargeDeviation, "large_deviation", kCheck, kEveryRun, LargeDeviation,  \
       Hides(), Hides())                                                       \
  /* Needs the check residuals: n leave-one-out fits. */                       \
  RULE(kLeverage, "leverage", kCheck, kReportOnly, Leverage, Hides(), Hides()) \
  RULE(kNoRedundancy, "no_redundancy", kCheck, kEveryRun, NoRedundancy,        \
       Hides(), Hides())                                                       \
  RULE(kCollinear, "collinear", kCheck, kEveryRun, Collinear, Hides(),         \
       Hides())                                                                \
  RULE(kCoarsePoints, "coarse_points", kCheck, kEveryRun, CoarsePoints,        \
       Hides(), Hides())                                                       \
  RULE(kFarFromBase, "far_from_base", kCheck, kEveryRun, FarFromBase, Hides(), \
       Hides())                                                                \
  RULE(kUnusualScale, "unusual_scale", kCheck, kEveryRun, UnusualScale,        \
       Hides(), Hides())                                                       \
  /* Needs how well one matrix holds the drawing. */                           \
  RULE(kProjectionDistortion, "projection_distortion", kCheck, kReportOnly,    \
       ProjectionDistortion, Hides(), Hides())                                 \
  /* Takes the drawing's z for metres (the matrix does not scale z), so it     \
     flags the points of a drawing whose z are millimetres. */                 \
  RULE(kHeightOffLift, "height_off_lift", kCheck, kReportOnly, HeightOffLift,  \
       Hides(), Hides())                                                       \
  RULE(kCheckPointOff, "check_point_off", kCheck, kUnlessBad, CheckPointOff,   \
       Hides(), Hides())                                                       \
  /* The scene's own files (--scene). */                                       \
  RULE(kSceneSrsTag, "scene_srs_tag", kCheck, kEveryRun, SceneSrsTag, Hides(), \
       Hides())                                                                \
  RULE(kSceneGridMismatch, "scene_grid_mismatch", kCheck, kUnlessBad,         \
       SceneGridMismatch, Hides(), Hides())

}  // namespace geoanchor

#endif  // GEOANCHOR_DIAGNOSIS_RULES_H_
