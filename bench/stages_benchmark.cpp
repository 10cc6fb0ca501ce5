// Per-stage cost at 10, 1000 and 100000 control points: reading the point
// lists and the same points as a control-point table, the whole input
// stage (reading and checking), converting the targets, the robust fit,
// the diagnosis of every run, rendering the console lines and the matrix
// text, what the fit report adds (the quality figures and the report's
// text), and the map projection's diagnosis.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common/numbers.h"
#include "diagnosis/diagnosis.h"
#include "diagnosis/matrix_hold.h"
#include "fit/plane_similarity.h"
#include "fit/similarity_fit.h"
#include "geodesy/geodetic_converter.h"
#include "grid/projection.h"
#include "input/input_error.h"
#include "input/input_stage.h"
#include "input/point_list.h"
#include "input/point_table.h"
#include "output/console.h"
#include "output/fit_report.h"
#include "output/residual_plot.h"
#include "output/transform_output.h"

namespace geoanchor {
namespace {

constexpr double kLon0Deg = 117.2;
constexpr double kLat0Deg = 39.1;

// A 2 km site: Gauss-Krueger drawing coordinates and their targets, carried
// by K = 0.99987 and 0.0215 rad, with 1 cm of noise.
struct Site {
  std::vector<Point3> source;
  std::vector<Point2> target;
  std::string source_text;
  std::string target_text;
};

Site MakeSite(int n) {
  Site site;
  std::mt19937_64 rng(n);
  std::uniform_real_distribution<double> offset_m(-1000.0, 1000.0);
  std::normal_distribution<double> noise_m(0.0, 0.01);
  const double k = 0.99987, c = std::cos(0.0215), s = std::sin(0.0215);
  char buffer[96];
  for (int i = 0; i < n; ++i) {
    const double x = offset_m(rng), y = offset_m(rng);
    site.source.push_back(Point3{39517700.0 + x, 4329150.0 + y, 0.0});
    site.target.push_back(Point2{(x * c - y * s) * k + noise_m(rng),
                                 (x * s + y * c) * k + noise_m(rng)});
    std::snprintf(buffer, sizeof buffer, "%.3f,%.3f,0 ", site.source[i].x,
                  site.source[i].y);
    site.source_text += buffer;
    // Targets as text: roughly 1e-5 degrees per metre is enough for parsing.
    std::snprintf(buffer, sizeof buffer, "%.10f,%.10f,%.2f ",
                  kLon0Deg + site.target[i].x * 1.16e-5,
                  kLat0Deg + site.target[i].y * 9.0e-6, 5.0);
    site.target_text += buffer;
  }
  return site;
}

void BM_ParsePointTriples(benchmark::State& state) {
  const Site site = MakeSite(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(ParsePointTriples(site.source_text));
    benchmark::DoNotOptimize(ParsePointTriples(site.target_text));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The same points as a control-point table: UTF-8 CSV with names, as a
// survey spreadsheet saves it; and as GBK with a Chinese header, which
// goes through the validity check and the GBK table.
void BM_ReadPointTable(benchmark::State& state) {
  const Site site = MakeSite(static_cast<int>(state.range(0)));
  const bool gbk = state.range(1) != 0;
  // 点号,x,y,z,经度,纬度,大地高 in UTF-8 or GBK.
  std::string table =
      gbk ? "\xB5\xE3\xBA\xC5,x,y,z,\xBE\xAD\xB6\xC8,\xCE\xB3\xB6\xC8,"
            "\xB4\xF3\xB5\xD8\xB8\xDF\r\n"
          : "点号,x,y,z,经度,纬度,大地高\r\n";
  const std::vector<Point3> source = ParsePointTriples(site.source_text);
  const std::vector<Point3> target = ParsePointTriples(site.target_text);
  char buffer[160];
  for (size_t i = 0; i < source.size(); ++i) {
    std::snprintf(buffer, sizeof buffer,
                  "K%zu,%.3f,%.3f,0,%.10f,%.10f,%.2f\r\n", i + 1, source[i].x,
                  source[i].y, target[i].x, target[i].y, target[i].z);
    table += buffer;
  }
  PointTable read;
  InputError error;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ReadPointTable(table, "points.csv", true, &read, &error));
  }
  if (read.points.size() != source.size()) {
    state.SkipWithError(RenderInputError(error, Language::kEnglish).c_str());
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(table.size()));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The whole input stage on the same texts: reading both lists and every
// check (the targets' shape, each point's values); without the conversion.
void BM_ReadAndCheckInput(benchmark::State& state) {
  const Site site = MakeSite(static_cast<int>(state.range(0)));
  InputFlags flags;
  flags.basepoint = "117.2,39.1";
  flags.DWGsrcpoints = site.source_text;
  flags.DWGdespoints = site.target_text;
  for (auto _ : state) {
    ControlPoints points;
    benchmark::DoNotOptimize(ReadAndCheckInput(flags, &points));
    benchmark::DoNotOptimize(points.source.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_GeodeticToEnu(benchmark::State& state) {
  const Site site = MakeSite(static_cast<int>(state.range(0)));
  const std::vector<Point3> geodetic = ParsePointTriples(site.target_text);
  const GeodeticConverter converter(kLon0Deg, kLat0Deg);
  std::vector<Point2> target(geodetic.size());
  for (auto _ : state) {
    for (size_t i = 0; i < geodetic.size(); ++i) {
      Point3 enu;
      converter.GeodeticToEnu(geodetic[i], &enu);
      target[i] = Point2{enu.x, enu.y};
    }
    benchmark::DoNotOptimize(target.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_FitSimilarity(benchmark::State& state) {
  const Site site = MakeSite(static_cast<int>(state.range(0)));
  const double scale = state.range(1) == 0 ? 0.0 : 0.99987;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FitSimilarity(site.source, site.target, scale));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The consensus the fit starts from: every pair up to 40 points, 25 drawn
// pairs beyond, each scored on at most 1000 points. The second argument is
// the share of blunders in percent (drawing points moved by 1 m to 1 km).
void BM_FindConsensus(benchmark::State& state) {
  Site site = MakeSite(static_cast<int>(state.range(0)));
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (Point3& p : site.source) {
    if (unit(rng) * 100.0 >= static_cast<double>(state.range(1))) continue;
    const double far_m = std::pow(10.0, 3.0 * unit(rng));
    const double turn = 2.0 * kPi * unit(rng);
    p.x += far_m * std::cos(turn);
    p.y += far_m * std::sin(turn);
  }
  const std::vector<Point2> plane = PlanePoints(site.source);
  for (auto _ : state) {
    benchmark::DoNotOptimize(FindConsensus(plane, site.target, 0.0, 0.15));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// What --report adds to a run: the quality figures of the fit (precision,
// the check residuals, i.e. n warm-started leave-one-out fits up to
// kMaxCheckPoints points, and the spreads), the heights and the report's
// text. Measured as the whole fit with the figures; subtract
// BM_FitSimilarity for the extra cost.
void BM_FitWithReport(benchmark::State& state) {
  const Site site = MakeSite(static_cast<int>(state.range(0)));
  ControlPoints points;
  points.mode = InputMode::kHeight;
  points.base_point = Point3{kLon0Deg, kLat0Deg, 0.0};
  points.source = site.source;
  points.target = site.target;
  points.target_up_m.assign(site.target.size(), 5.0);
  FitOptions options;
  options.quality = true;
  for (auto _ : state) {
    const SimilarityFit fit =
        FitSimilarity(points.source, points.target, 0.0, options);
    const VerticalLift vertical =
        ComputeVerticalLift(points.source, points.target_up_m);
    benchmark::DoNotOptimize(FitReportJson(
        points, fit, vertical, Diagnosis(),
        ResultMatrix(fit, points, 0.0).numbers, Language::kEnglish));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The residual plot's SVG text, from a fit with its quality figures (their
// cost is in BM_FitWithReport).
void BM_ResidualPlot(benchmark::State& state) {
  const Site site = MakeSite(static_cast<int>(state.range(0)));
  ControlPoints points;
  points.mode = InputMode::kHeight;
  points.source = site.source;
  points.target = site.target;
  FitOptions options;
  options.quality = true;
  const SimilarityFit fit =
      FitSimilarity(points.source, points.target, 0.0, options);
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string svg =
        ResidualPlotSvg(points, fit, Diagnosis(), Language::kEnglish);
    bytes = svg.size();
    benchmark::DoNotOptimize(svg.data());
  }
  state.counters["svg_bytes"] = static_cast<double>(bytes);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// What every run adds to judge its fit (every finding but the report-only
// ones), on clean input and on input where 60 % of the targets are
// moved 5 to 50 m: then the fit misses by metres and the exchange tests
// run. The site is put west of 90 E (its targets' longitudes moved by
// -29.6 degrees; only the exchange readings look at them), where a
// latitude-first reading is a place too, so that every reading is tried.
void BM_DiagnoseEveryRun(benchmark::State& state) {
  Site site = MakeSite(static_cast<int>(state.range(0)));
  if (state.range(1) != 0) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (Point2& t : site.target) {
      if (unit(rng) < 0.6) {
        const double angle = 6.283185307179586 * unit(rng);
        const double far_m = 5.0 + 45.0 * unit(rng);
        t.x += far_m * std::cos(angle);
        t.y += far_m * std::sin(angle);
      }
    }
  }
  ControlPoints points;
  points.mode = InputMode::kHeight;
  points.base_point = Point3{kLon0Deg - 29.6, kLat0Deg, 0.0};
  points.source = site.source;
  points.target = site.target;
  points.geodetic = ParsePointTriples(site.target_text);
  for (Point3& g : points.geodetic) g.x -= 29.6;
  const SimilarityFit fit = FitSimilarity(points.source, points.target, 0.0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        Diagnose(points, fit, 0.0, DiagnosisDepth::kVerdict));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Standard output sent to /dev/null while it lives, so that the console's
// own printing can be timed without flooding the benchmark's report (which
// is printed between benchmarks, after it is restored).
class StdoutToNull {
 public:
  StdoutToNull() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    close(null);
  }
  ~StdoutToNull() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }
  StdoutToNull(const StdoutToNull&) = delete;
  StdoutToNull& operator=(const StdoutToNull&) = delete;

 private:
  int saved_ = -1;
};

// The console text of a run, as output/console.cpp prints it (to
// /dev/null here): one "src:" and one "fitcheck---" line per point, and
// the matrix.
void BM_RenderOutput(benchmark::State& state) {
  const Site site = MakeSite(static_cast<int>(state.range(0)));
  ControlPoints points;
  points.source = site.source;
  points.target = site.target;
  for (const Point2& t : site.target) {
    points.geodetic.push_back(
        Point3{kLon0Deg + t.x * 1.16e-5, kLat0Deg + t.y * 9.0e-6, 5.0});
  }
  SimilarityFit fit;
  fit.similarity = PlaneSimilarity::FromModel(-39410253.254389, -5177126.455415,
                                              0.99987, 0.0215);
  for (const Point2& t : site.target) {
    fit.deviations.push_back(Point2{t.x * 1e-5, t.y * 1e-5});
  }
  const StdoutToNull discard;
  for (auto _ : state) {
    PrintControlPointLines(points);
    PrintFitCheck(fit);
    // The matrix's text, and the check that it places every point.
    const MatrixText matrix = ResultMatrix(fit, points, 0.0);
    Message failure;
    benchmark::DoNotOptimize(MatrixCarriesFit(matrix, fit, points, &failure));
    benchmark::DoNotOptimize(matrix.text.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// A 20 km site 1.4 degrees east of its meridian, 3 mm of noise: the
// drawing in CGCS2000 zone 39 (kind 0), in a city's own transverse
// Mercator on meridian 117.4, rotated (kind 1, found by the meridian
// search), or a plain CAD grid in millimetres (kind 2: the search runs and
// finds nothing).
ControlPoints MakeProjectedSite(int n, int kind) {
  ControlPoints points;
  points.mode = InputMode::kHeight;
  const double lon0 = 118.4, lat0 = kLat0Deg;
  points.base_point = Point3{lon0, lat0, 0.0};
  const GeodeticConverter scene(lon0, lat0);
  const TransverseMercatorParameters zone39 = StandardProjectionOf(4527).tm;
  TransverseMercatorParameters city = StandardProjectionOf(4548).tm;
  city.central_meridian_deg = 117.4;
  std::mt19937_64 rng(n);
  // About 20 km in longitude and latitude at 39 N.
  std::uniform_real_distribution<double> dlon(-0.116, 0.116), dlat(-0.09, 0.09);
  std::normal_distribution<double> noise_m(0.0, 0.003);
  const double c = std::cos(0.3), s = std::sin(0.3);
  for (int i = 0; i < n; ++i) {
    const Point3 g{lon0 + dlon(rng), lat0 + dlat(rng), 5.0};
    Point3 enu;
    scene.GeodeticToEnu(g, &enu);
    Point2 d;
    if (kind == 0) {
      d = ProjectGeodetic(zone39, g.x, g.y);
    } else if (kind == 1) {
      const Point2 p = ProjectGeodetic(city, g.x, g.y);
      d = Point2{p.x * c - p.y * s, p.x * s + p.y * c};
    } else {
      d = Point2{(enu.x * c - enu.y * s) * 1000,
                 (enu.x * s + enu.y * c) * 1000};
    }
    const double unit_m = kind == 2 ? 0.001 : 1.0;
    points.source.push_back(
        Point3{d.x + noise_m(rng) / unit_m, d.y + noise_m(rng) / unit_m, 0.0});
    points.geodetic.push_back(g);
    points.target.push_back(Point2{enu.x, enu.y});
    points.target_up_m.push_back(enu.z);
  }
  return points;
}

// Identification and the survey judgement: in every run.
void BM_JudgeSurvey(benchmark::State& state) {
  const ControlPoints points = MakeProjectedSite(
      static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const SimilarityFit fit = FitSimilarity(points.source, points.target, 0.0);
  ProjectionKind kind = ProjectionKind::kNone;
  for (auto _ : state) {
    const SurveyJudgement judgement = JudgeSurvey(points, fit);
    kind = judgement.projection.kind;
    benchmark::DoNotOptimize(judgement.survey_m.data());
  }
  state.SetLabel(ProjectionKindName(kind));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The matrix error and the part size: with --report or --plot only.
void BM_MatrixHold(benchmark::State& state) {
  const ControlPoints points = MakeProjectedSite(
      static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const SimilarityFit fit = FitSimilarity(points.source, points.target, 0.0);
  const SurveyJudgement judgement = JudgeSurvey(points, fit);
  for (auto _ : state) {
    benchmark::DoNotOptimize(ComputeMatrixHold(points, fit, judgement));
  }
  state.SetLabel(ProjectionKindName(judgement.projection.kind));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Most stages at a small job, a big one, and 100000 points, timed in
// microseconds; and the same crossed with a second argument of 0 or 1.
void Sizes(benchmark::internal::Benchmark* b) {
  b->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
}
void SizesByTwo(benchmark::internal::Benchmark* b) {
  b->ArgsProduct({{10, 1000, 100000}, {0, 1}})->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_ParsePointTriples)->Apply(Sizes);
BENCHMARK(BM_ReadPointTable)->Apply(SizesByTwo)->ArgNames({"n", "gbk"});
BENCHMARK(BM_ReadAndCheckInput)->Apply(Sizes);
BENCHMARK(BM_GeodeticToEnu)->Apply(Sizes);
BENCHMARK(BM_FitSimilarity)->Apply(SizesByTwo)->ArgNames({"n", "fixed"});
BENCHMARK(BM_FindConsensus)
    ->ArgsProduct({{10, 1000, 20000, 100000}, {0, 25}})
    ->ArgNames({"n", "blunders"})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FitWithReport)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(5000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResidualPlot)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiagnoseEveryRun)->Apply(SizesByTwo)->ArgNames({"n", "outliers"});
BENCHMARK(BM_JudgeSurvey)
    ->ArgsProduct({{10, 1000, 100000}, {0, 1, 2}})
    ->ArgNames({"n", "kind"})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MatrixHold)->Apply(SizesByTwo)->ArgNames({"n", "kind"});
BENCHMARK(BM_RenderOutput)->Apply(Sizes);

}  // namespace
}  // namespace geoanchor

BENCHMARK_MAIN();
