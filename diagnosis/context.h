// Inside the diagnosis: what its rules share. The Context holds the
// measurements that several rules read, worked out once by MakeContext;
// each rule's judge (declared below from the rows of rules.h) reads it and
// writes its findings' points, message and explanations, and the rule's
// row supplies the code, the severity and what each finding hides.
#ifndef GEOANCHOR_DIAGNOSIS_CONTEXT_H_
#define GEOANCHOR_DIAGNOSIS_CONTEXT_H_

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "common/types.h"
#include "diagnosis/diagnosis.h"
#include "diagnosis/matrix_hold.h"
#include "diagnosis/rules.h"
#include "grid/grid_reference.h"
#include "grid/projection.h"

namespace geoanchor {

using Findings = std::vector<Finding>;

// Above this, in metres, a deviation, a check residual or a height off the
// height plane is worth a finding.
inline constexpr double kWarningM = 0.1;

// The other readings of an input.
enum class ReadingKind {
  kAxes,           // the drawing's x and y exchanged
  kTargetsLonLat,  // the targets' longitude and latitude exchanged
  kBaseLonLat,     // the base point's
  kBothLonLat,     // both
  kDmsAsDecimal,   // the targets' 116.234567 meaning 116 deg 23' 45.67"
};

// The reading of the input that fits ten times better than the input as
// given, if any.
struct Exchange {
  bool found = false;  // false: no reading fits better
  ReadingKind kind = ReadingKind::kAxes;
  double rms_m = 0.0;
  double median_m = 0.0;
  std::vector<double> residuals_m;  // per point under that reading
};

// What the rules judge, worked out once: the survey, the points' accuracy
// and the thresholds that follow it, the other reading of the input and
// what it explains, the blunders and the grid.
struct Context {
  const ControlPoints* points = nullptr;
  const SimilarityFit* fit = nullptr;
  double scale = 0.0;
  double accuracy_flag_m = 0.0;  // --accuracy; 0 or NaN: estimated
  size_t n = 0;
  bool projected = false;  // a map projection is identified
  bool web_map = false;    // through a web map's reading of the targets
  AccuracyChoice accuracy;
  double blunder_m = kBlunderM;
  double large_m = kLargeDeviationM;
  std::vector<bool> inlier;  // the consensus's inliers
  bool one_place = false;    // the drawing points all at one place
  std::vector<bool> outlier;
  Exchange exchange;
  std::vector<int> explained;  // input positions the exchange accounts for
  std::vector<std::pair<size_t, size_t>> pairs;  // exchanged targets
  std::vector<ZoneSlip> zone_slips;
  size_t unexplained_outliers = 0;  // neither exchanged nor paired
  // The median survey deviation of those, when half the points or more
  // are among them and it exceeds kDisagreementShare of the spread; NaN
  // otherwise.
  double disagreeing_median_m = std::numeric_limits<double>::quiet_NaN();
  // Too few points in no grid to tell a blunder from coarse picks: fitted
  // as least squares, they agree to this (UnlocatableAccuracyM); NaN.
  double unlocatable_m = std::numeric_limits<double>::quiet_NaN();
  // The drawing's grid judged every point and locates the blunder among a
  // few points itself.
  bool grid_locates = false;
  // The fit against the similarity the grid fixes: its scale's relative
  // difference and its angle's difference, radians, and how far the
  // datum and the points' accuracy let each go.
  double grid_scale_off = 0.0;
  double grid_angle_off_rad = 0.0;
  double grid_scale_limit = std::numeric_limits<double>::infinity();
  double grid_angle_limit_rad = std::numeric_limits<double>::infinity();

  // What the diagnosis returns besides its findings, measured here.
  SurveyJudgement survey;
  GridJudgement grid;
  CheckPointJudgement check_points;
  HeightDiagnosis heights;  // the full depth only
  MatrixHold hold;          // the full depth only
  // The scene and the matrix into its coordinates (null without a scene's
  // file), and the drawing judged against them.
  const SceneMatrix* scene = nullptr;
  SceneJudgement scene_judgement;

  // The fit means nothing point by point.
  bool Unrelated() const {
    return one_place || accuracy.lists_disagree ||
           std::isfinite(disagreeing_median_m);
  }
  // The fit's scale (a fitted one only: a scale the user held is not
  // judged) or angle lies beyond what the drawing's grid allows.
  bool ScaleOffGrid() const {
    return fit->free_scale && std::fabs(grid_scale_off) > grid_scale_limit;
  }
  bool AngleOffGrid() const {
    return std::fabs(grid_angle_off_rad) > grid_angle_limit_rad;
  }
  bool MatrixOffGrid() const { return ScaleOffGrid() || AngleOffGrid(); }
  // Fitted point i as its findings name it: its position in the input.
  int Position(size_t i) const { return InputPosition(points->positions, i); }
};

// `full`: with the measurements of the report-only rules too.
Context MakeContext(const ControlPoints& points, const SimilarityFit& fit,
                    double scale, double accuracy_flag_m, bool full,
                    const SceneMatrix* scene = nullptr);

// Every rule's judge, named in its row of rules.h with the prefix Judge:
// the row's ExchangedAxes is JudgeExchangedAxes.
#define GEOANCHOR_DECLARE_JUDGE(code, name, severity, runs, judge, ...) \
  void Judge##judge(const Context& c, Findings* out);
GEOANCHOR_DIAGNOSIS_RULES(GEOANCHOR_DECLARE_JUDGE)
#undef GEOANCHOR_DECLARE_JUDGE

// Every rule's findings, in code order; the report-only rules' with `full`
// only.
Findings JudgeAll(const Context& c, bool full);

// The findings no kept one hides, as the rows say, in code order.
Findings WithoutHidden(Findings all);

// A finding of the rule judging it: points (input positions, ascending)
// and message; the rule's row gives the code and, but for a judged
// severity, the verdict.
Finding MakeFinding(std::vector<int> points, Message message, bool bad = false);

// Texts every theme writes, in both languages.
// A distance in a message; an overflowed one is said in words, so no
// "inf" reaches a reader.
Message Metres(double v);
// "point K7" by its name in the table, else "point 7" by its position.
Message PointName(const ControlPoints& points, size_t index);
// "points 1, 2 and K5" for up to five points (`named`: input positions),
// else "7 points".
Message PointList(const ControlPoints& points, const std::vector<int>& named);
// The drawing's easting and northing (x and y) as the user's input names
// them: a control-point table's header texts for those columns, else
// "easting" and "northing".
Message EastingName(const ControlPoints& points);
Message NorthingName(const ControlPoints& points);
// "GCJ-02" or "BD-09", and in Chinese the datum's common name with it:
// 火星坐标（GCJ-02）.
Message WebMapDatumText(WebMapDatum datum);

// Measurements one theme makes and MakeContext asks for.
// The drawing against the scene's coordinates (`c.scene`), once the points'
// accuracy and the outliers are known.
SceneJudgement JudgeAgainstScene(const Context& c);

// The exchange tests judge a subsample of about this many points first,
// spread over the input order, and confirm on all points only when the
// subsample says so.
inline constexpr size_t kExchangeSubsample = 1000;

// The reading whose robust fit misses most points by at most a tenth of
// what the fit misses them by (medians: a blunder or two move neither),
// the best of them; judged on a spread subsample first and confirmed on
// all points. `fit_median_m`: the fit's median deviation.
Exchange FindExchange(const ControlPoints& points, const SimilarityFit& fit,
                      double scale, double fit_median_m);
// Up to this many points a robust fit passes exactly through most of them
// whatever the reading, so readings are judged by their RMS.
inline constexpr size_t kFewReadingPoints = 4;
// At most this many outliers, the largest, are tried in pairs.
inline constexpr size_t kMaxPairedOutliers = 50;

// Pairs of outliers whose targets, exchanged, both land within kWarningM
// of where the fit puts their drawing points. The largest outliers first;
// each point in one pair at most.
std::vector<std::pair<size_t, size_t>> ExchangedPairsOf(
    const ControlPoints& points, const SimilarityFit& fit,
    const SurveyJudgement& survey, const std::vector<bool>& outlier);
HeightDiagnosis DiagnoseHeights(const ControlPoints& points);

}  // namespace geoanchor

#endif  // GEOANCHOR_DIAGNOSIS_CONTEXT_H_
