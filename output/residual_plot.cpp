#include "output/residual_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/fixed_text.h"
#include "common/numbers.h"
#include "platform/platform.h"

namespace {

// The page, in SVG user units (the viewBox): the plot frame on the left,
// the legend to its right. 1000 units wide, so text of 15 units reads at
// 12 px when the picture is shown 800 px wide.
constexpr double kPageWidth = 1000.0;
constexpr double kFrameLeft = 20.0;
constexpr double kFrameTop = 20.0;
constexpr double kFrameSize = 640.0;
constexpr double kLegendLeft = 680.0;
constexpr double kFontSize = 15.0;
constexpr double kLineHeight = 20.0;
constexpr size_t kMaxWarningsShown = 12;

constexpr char kPointColour[] = "#1f4e79";
constexpr char kArrowColour[] = "#2ca02c";
constexpr char kCheckColour[] = "#8c4fc0";
// Check points (a table's rows with use 0): hollow diamonds, their
// deviations under the fitted matrix, in teal.
constexpr char kCheckPointColour[] = "#00838f";
constexpr char kInkColour[] = "#222222";
// The verdict's colours: green, orange, and a dark red apart from the
// outliers' red.
constexpr char kGoodColour[] = "#2e7d32";
constexpr char kCheckVerdictColour[] = "#e07000";
constexpr char kBadColour[] = "#8b0000";
// Lines joining two points whose targets look exchanged.
constexpr char kExchangedColour[] = "#e07000";

// A value for the legend; a figure that overflowed a double reads "none"
// rather than "inf" or "nan", which are not numbers to a reader or a parser.
std::string Value(const char* format, double v) {
  return std::isfinite(v) ? FormatDouble(format, v) : std::string("none");
}

// A screen coordinate: one decimal is a tenth of a user unit.
std::string C(double v) { return FormatDouble("%.1f", v); }

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        // Control characters are not allowed in XML 1.0 text.
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
  }
  return out;
}

// The drawing's map projection in a few words.
std::string ProjectionLabel(const Projection& p) {
  const std::string epsg =
      p.epsg != 0 ? ", EPSG " + std::to_string(p.epsg) : std::string();
  switch (p.kind) {
    case ProjectionKind::kNone:
      return "none (plain grid, or too small to tell)";
    case ProjectionKind::kGaussKruger3:
      return "Gauss-Kr\xC3\xBCger 3\xC2\xB0 zone " + std::to_string(p.zone) +
             epsg;
    case ProjectionKind::kGaussKruger6:
      return "Gauss-Kr\xC3\xBCger 6\xC2\xB0 zone " + std::to_string(p.zone) +
             epsg;
    case ProjectionKind::kUtm:
      return "UTM " + std::to_string(p.zone) + (p.south ? "S" : "N") + epsg;
    case ProjectionKind::kTransverseMercator:
      return std::isfinite(p.central_meridian_deg)
                 ? "transverse Mercator, meridian " +
                       FormatDouble("%.3f", p.central_meridian_deg) + "\xC2\xB0"
                 : std::string("transverse Mercator, meridian unsure");
  }
  return std::string();
}

// Drawing coordinates to the page: equal scale on both axes, y up.
struct View {
  double center_x = 0.0;  // drawing units
  double center_y = 0.0;
  double scale = 1.0;  // page units per drawing unit
  double X(double x) const {
    return kFrameLeft + kFrameSize / 2 + (x - center_x) * scale;
  }
  double Y(double y) const {
    return kFrameTop + kFrameSize / 2 - (y - center_y) * scale;
  }
};

// A length of 1, 2 or 5 times a power of ten, at most `limit`.
double NiceBelow(double limit) {
  if (!(limit > 0.0) || !std::isfinite(limit)) return 1.0;
  const double power = std::pow(10.0, std::floor(std::log10(limit)));
  for (double step : {5.0, 2.0, 1.0}) {
    if (step * power <= limit) return step * power;
  }
  return power;
}

// A length in metres as a short label: "5 mm", "2 cm", "1 m", "20 km".
std::string MetresLabel(double m) {
  if (m >= 1000.0) return FormatDouble("%g km", m / 1000.0);
  if (m >= 1.0) return FormatDouble("%g m", m);
  if (m >= 0.01) return FormatDouble("%g cm", m * 100.0);
  if (m >= 0.001) return FormatDouble("%g mm", m * 1000.0);
  return FormatDouble("%g m", m);
}

// Clips the segment from (x0, y0) to (x1, y1), page units, to the plot
// frame (Liang-Barsky). Returns false when nothing of it is inside.
bool ClipToFrame(double x0, double y0, double* x1, double* y1) {
  const double lo_x = kFrameLeft, hi_x = kFrameLeft + kFrameSize;
  const double lo_y = kFrameTop, hi_y = kFrameTop + kFrameSize;
  const double dx = *x1 - x0, dy = *y1 - y0;
  double t0 = 0.0, t1 = 1.0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 - lo_x, hi_x - x0, y0 - lo_y, hi_y - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0.0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
  }
  if (t0 > t1) return false;
  *x1 = x0 + t1 * dx;
  *y1 = y0 + t1 * dy;
  return true;
}

// Splits `text` into lines of at most `width` characters at blanks.
std::vector<std::string> Wrapped(const std::string& text, size_t width) {
  std::vector<std::string> lines;
  std::string line;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      lines.push_back(line);
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    start = end + 1;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// The texts are UTF-8 whatever the compiler's execution character set:
// non-ASCII characters are written as their UTF-8 bytes.
std::string Text(double x, double y, const std::string& text,
                 const char* colour, const char* extra = "") {
  return "<text x=\"" + C(x) + "\" y=\"" + C(y) + "\" fill=\"" + colour + "\"" +
         extra + ">" + Escaped(text) + "</text>\n";
}

std::string Arrow(double x0, double y0, double x1, double y1,
                  const char* colour, const char* head, bool dashed,
                  const char* css_class) {
  return std::string("<line class=\"") + css_class + "\" x1=\"" + C(x0) +
         "\" y1=\"" + C(y0) + "\" x2=\"" + C(x1) + "\" y2=\"" + C(y1) +
         "\" stroke=\"" + colour + "\" stroke-width=\"1.6\"" +
         (dashed ? " stroke-dasharray=\"5 3\"" : "") + " marker-end=\"url(#" +
         head + ")\"/>\n";
}

// A check point's marker: a hollow diamond around (x, y).
std::string Diamond(double x, double y, const char* css_class) {
  return std::string("<path class=\"") + css_class + "\" d=\"M" + C(x) + " " +
         C(y - 6) + "L" + C(x + 6) + " " + C(y) + "L" + C(x) + " " + C(y + 6) +
         "L" + C(x - 6) + " " + C(y) + "z\" fill=\"#ffffff\" stroke=\"" +
         kCheckPointColour + "\" stroke-width=\"2\"/>\n";
}

// The fitted point at input position `position` (counting from 1, check
// points too); past the end when there is none.
size_t FittedIndexAt(const ControlPoints& points, int position) {
  if (points.positions.empty()) return static_cast<size_t>(position - 1);
  const auto at = std::lower_bound(points.positions.begin(),
                                   points.positions.end(), position);
  return at != points.positions.end() && *at == position
             ? static_cast<size_t>(at - points.positions.begin())
             : points.positions.size();
}

}  // namespace

double ArrowMagnification(double largest_deviation, double target_length) {
  if (!(largest_deviation > 0.0) || !std::isfinite(largest_deviation) ||
      !(target_length > 0.0) || !std::isfinite(target_length)) {
    return 1.0;
  }
  // The 1-2-5 step nearest to the exact factor on a logarithmic scale, so
  // the largest arrow lands within a factor of about 1.6 of the target.
  const double exact = target_length / largest_deviation;
  // A factor beyond the doubles (arrows of 1e-300 m): they stay invisible.
  if (!std::isfinite(exact) || !(exact > 0.0)) return 1.0;
  const double power = std::pow(10.0, std::floor(std::log10(exact)));
  double best = power;
  for (double step : {1.0, 2.0, 5.0, 10.0}) {
    if (std::fabs(std::log(step * power / exact)) <
        std::fabs(std::log(best / exact))) {
      best = step * power;
    }
  }
  return best;
}

std::string ResidualPlotSvg(const ControlPoints& points,
                            const SimilarityFit& fit,
                            const Diagnosis& diagnosis) {
  const size_t n = points.source.size();
  std::vector<std::string> warnings;
  for (const Finding& f : diagnosis.findings) warnings.push_back(f.message);
  // Red for the survey's blunders (without a projection the fit's own
  // outliers); the fit's weights when there is no judgement to go by.
  const SurveyJudgement& survey = diagnosis.survey;
  std::vector<bool> red(n);
  for (size_t i = 0; i < n; ++i) {
    red[i] = survey.blunder.size() == n ? static_cast<bool>(survey.blunder[i])
                                        : fit.weights[i] < kOutlierWeight;
  }
  // Check points, where the diagnosis judged them.
  const CheckPoints& check = points.check;
  const CheckPointJudgement& judged = diagnosis.check_points;
  const size_t check_n =
      judged.deviations.size() == check.source.size() ? check.source.size() : 0;
  const bool labelled = n + check_n <= kMaxLabelledPoints;
  bool named = false;
  for (const std::string& name : points.names) named = named || !name.empty();

  // The extent of the drawing points, with 8 % margin on each side; a
  // single place (one point, all coincident, or a spread so small that the
  // page scale overflows, such as 1e-320) gets an extent of one drawing
  // unit, or a millionth of its coordinates when larger.
  // No point at all (a run never gets here without one): an empty frame
  // around the origin.
  const Point3 first = n > 0 ? points.source[0] : Point3();
  double min_x = first.x, max_x = min_x;
  double min_y = first.y, max_y = min_y;
  for (const std::vector<Point3>* list : {&points.source, &check.source}) {
    for (const Point3& p : *list) {
      min_x = std::min(min_x, p.x);
      max_x = std::max(max_x, p.x);
      min_y = std::min(min_y, p.y);
      max_y = std::max(max_y, p.y);
    }
  }
  // Halves throughout: max - min of coordinates near 1e308 would overflow.
  double half_extent = std::max(0.5 * max_x - 0.5 * min_x,  // drawing units
                                0.5 * max_y - 0.5 * min_y);
  if (!(half_extent > 0.0) || !std::isfinite(kFrameSize / half_extent)) {
    half_extent = 0.5 * std::max(1.0, 1e-6 * std::max(std::fabs(min_x),
                                                      std::fabs(min_y)));
  }
  View view;
  view.center_x = 0.5 * min_x + 0.5 * max_x;
  view.center_y = 0.5 * min_y + 0.5 * max_y;
  view.scale = 0.5 * kFrameSize / (1.16 * half_extent);
  // Lengths on the drawing that fit the frame, drawing units.
  const double tenth_of_frame_units = 0.1 * 1.16 * 2.0 * half_extent;
  const double quarter_of_frame_units = 0.25 * 1.16 * 2.0 * half_extent;

  // Deviations in drawing directions and units: the scene's vector turned
  // back by the fitted angle and divided by K (a negative K is a half turn).
  const double cos_a = std::cos(fit.angle_rad), sin_a = std::sin(fit.angle_rad);
  const double k = fit.K != 0.0 && std::isfinite(fit.K) ? fit.K : 1.0;
  double largest = 0.0;  // drawing units
  size_t outliers = 0;
  for (size_t i = 0; i < n; ++i) {
    if (red[i]) {
      ++outliers;
      continue;
    }
    largest = std::max(largest, fit.residuals_m[i] / std::fabs(k));
  }
  const double magnification =
      ArrowMagnification(largest, tenth_of_frame_units);
  // Page units per metre of deviation; 0 or infinite with a K near the ends
  // of the doubles.
  const double arrow_scale = magnification / std::fabs(k) * view.scale;

  // The page end (*x1, *y1) of the arrow from (x0, y0) for a deviation of
  // (dx_m, dy_m) scene metres, magnified and clipped to the frame; false
  // when nothing of it shows. An arrow too long for a double keeps its
  // direction and runs out of the frame.
  auto arrow_end = [&](double x0, double y0, double dx_m, double dy_m,
                       double* x1, double* y1) {
    const double along_x_m = dx_m * cos_a + dy_m * sin_a;  // drawing axes
    const double along_y_m = -dx_m * sin_a + dy_m * cos_a;
    const double page_per_m = magnification * view.scale / k;  // signed
    double px = along_x_m * page_per_m, py = -along_y_m * page_per_m;
    if (!std::isfinite(px) || !std::isfinite(py)) {
      const double length_m = std::hypot(along_x_m, along_y_m);
      if (!(length_m > 0.0) || !std::isfinite(length_m)) return false;
      const double reach = (k < 0.0 ? -4.0 : 4.0) * kFrameSize;
      px = along_x_m / length_m * reach;
      py = -along_y_m / length_m * reach;
    }
    *x1 = x0 + px;
    *y1 = y0 + py;
    return ClipToFrame(x0, y0, x1, y1) && (*x1 != x0 || *y1 != y0);
  };

  double page_height = kFrameTop + kFrameSize + 20.0;
  const size_t shown_warnings = std::min(warnings.size(), kMaxWarningsShown);
  size_t warning_lines = 0;
  for (size_t i = 0; i < shown_warnings; ++i) {
    warning_lines += Wrapped(warnings[i], 36).size();
  }
  page_height = std::max(page_height, 590.0 + kLineHeight * warning_lines +
                                          (check_n > 0 ? kLineHeight : 0.0));

  std::string svg;
  svg.reserve(4096 + n * (labelled ? 400 : 80));
  svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + C(kPageWidth) +
         "\" height=\"" + C(page_height) + "\" viewBox=\"0 0 " + C(kPageWidth) +
         " " + C(page_height) + "\" font-family=\"sans-serif\" font-size=\"" +
         C(kFontSize) + "\">\n";
  svg += "<title>GeoAnchorSolve residual plot</title>\n";
  svg += "<defs>\n";
  for (const auto& head : {std::make_pair("head", kArrowColour),
                           std::make_pair("check-head", kCheckColour),
                           std::make_pair("outlier-head", kOutlierColour),
                           std::make_pair("checkpoint-head", kCheckPointColour),
                           std::make_pair("ink-head", kInkColour)}) {
    svg += std::string("<marker id=\"") + head.first +
           "\" viewBox=\"0 0 10 10\" refX=\"9\" refY=\"5\" markerWidth=\"7\" "
           "markerHeight=\"7\" orient=\"auto\"><path d=\"M0 0L10 5L0 10z\" "
           "fill=\"" +
           head.second + "\"" +
           (std::string(head.second) == kOutlierColour ? " class=\"outlier\""
                                                       : "") +
           "/></marker>\n";
  }
  svg += "</defs>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  svg += "<rect x=\"" + C(kFrameLeft) + "\" y=\"" + C(kFrameTop) +
         "\" width=\"" + C(kFrameSize) + "\" height=\"" + C(kFrameSize) +
         "\" fill=\"#fbfbf8\" stroke=\"#999999\"/>\n";

  // Check residuals first, then deviations, then markers on top.
  std::string checks, arrows, markers, labels, compact_checks, compact_arrows,
      compact_markers;
  const std::vector<CheckResidual>& check_list = fit.quality.checks;
  size_t outlier_texts = 0;
  for (size_t i = 0; i < n; ++i) {
    const double x0 = view.X(points.source[i].x);
    const double y0 = view.Y(points.source[i].y);
    const bool outlier = red[i];
    const char* colour = outlier ? kOutlierColour : kPointColour;
    double x1, y1;
    if (i < check_list.size() && check_list[i].available &&
        arrow_end(x0, y0, check_list[i].dx_m, check_list[i].dy_m, &x1, &y1)) {
      if (labelled || outlier) {
        checks += Arrow(x0, y0, x1, y1, outlier ? kOutlierColour : kCheckColour,
                        outlier ? "outlier-head" : "check-head", true,
                        outlier ? "check outlier" : "check");
      } else {
        compact_checks += "M" + C(x0) + " " + C(y0) + "L" + C(x1) + " " + C(y1);
      }
    }
    const bool visible =
        arrow_end(x0, y0, fit.deviations[i].x, fit.deviations[i].y, &x1, &y1);
    if (labelled || outlier) {
      if (visible) {
        arrows += Arrow(x0, y0, x1, y1, outlier ? kOutlierColour : kArrowColour,
                        outlier ? "outlier-head" : "head", false,
                        outlier ? "deviation outlier" : "deviation");
      }
      markers += std::string("<circle class=\"") +
                 (outlier ? "marker outlier" : "marker") + "\" cx=\"" + C(x0) +
                 "\" cy=\"" + C(y0) + "\" r=\"4\" fill=\"" + colour + "\"/>\n";
      if (labelled) {
        labels += std::string("<text class=\"") +
                  (outlier ? "label outlier" : "label") + "\" x=\"" +
                  C(x0 + 6) + "\" y=\"" + C(y0 - 6) + "\" fill=\"" + colour +
                  "\" font-size=\"13\">" +
                  Escaped(NameOrPosition(points.names, points.positions, i)) +
                  "</text>\n";
      }
      if (outlier && outlier_texts < kMaxLabelledPoints) {
        ++outlier_texts;
        labels += Text(x0 + 6, y0 + 16, Value("%.3f m", fit.residuals_m[i]),
                       kOutlierColour, " class=\"outlier\" font-size=\"13\"");
      }
    } else {
      if (visible) {
        compact_arrows += "M" + C(x0) + " " + C(y0) + "L" + C(x1) + " " + C(y1);
      }
      compact_markers += "M" + C(x0) + " " + C(y0) + "h0";
    }
  }
  // Check points: never compact, they are few.
  for (size_t k = 0; k < check_n; ++k) {
    const double x0 = view.X(check.source[k].x);
    const double y0 = view.Y(check.source[k].y);
    double x1, y1;
    if (arrow_end(x0, y0, judged.deviations[k].x, judged.deviations[k].y, &x1,
                  &y1)) {
      arrows += Arrow(x0, y0, x1, y1, kCheckPointColour, "checkpoint-head",
                      false, "deviation checkpoint");
    }
    markers += Diamond(x0, y0, "marker checkpoint");
    if (labelled) {
      labels += Text(
          x0 + 6, y0 - 6, NameOrPosition(check.names, check.positions, k),
          kCheckPointColour, " class=\"label checkpoint\" font-size=\"13\"");
      // Its deviation in figures, since it helped nothing to fit.
      labels +=
          Text(x0 + 6, y0 + 16, Value("%.3f m", judged.residuals_m[k]),
               kCheckPointColour, " class=\"checkpoint\" font-size=\"13\"");
    }
  }
  svg += "<g id=\"checks\">\n" + checks;
  if (!compact_checks.empty()) {
    svg += std::string("<path d=\"") + compact_checks + "\" stroke=\"" +
           kCheckColour +
           "\" stroke-width=\"1\" stroke-dasharray=\"4 2\" fill=\"none\"/>\n";
  }
  svg += "</g>\n<g id=\"deviations\">\n" + arrows;
  if (!compact_arrows.empty()) {
    svg += std::string("<path d=\"") + compact_arrows + "\" stroke=\"" +
           kArrowColour + "\" stroke-width=\"1\" fill=\"none\"/>\n";
  }
  svg += "</g>\n<g id=\"markers\">\n";
  if (!compact_markers.empty()) {
    svg += std::string("<path class=\"markers\" d=\"") + compact_markers +
           "\" stroke=\"" + kPointColour +
           "\" stroke-width=\"5\" stroke-linecap=\"round\" fill=\"none\"/>\n";
  }
  svg += markers + "</g>\n<g id=\"labels\">\n" + labels + "</g>\n";

  // Two points whose targets look exchanged: joined by a dashed line.
  svg += "<g id=\"exchanged\">\n";
  size_t exchanged_pairs = 0;
  for (const Finding& f : diagnosis.findings) {
    if (f.code != FindingCode::kExchangedPairs || f.points.size() != 2)
      continue;
    const size_t i = FittedIndexAt(points, f.points[0]);
    const size_t j = FittedIndexAt(points, f.points[1]);
    if (i >= n || j >= n) continue;
    ++exchanged_pairs;
    svg += "<line class=\"exchanged\" x1=\"" + C(view.X(points.source[i].x)) +
           "\" y1=\"" + C(view.Y(points.source[i].y)) + "\" x2=\"" +
           C(view.X(points.source[j].x)) + "\" y2=\"" +
           C(view.Y(points.source[j].y)) + "\" stroke=\"" + kExchangedColour +
           "\" stroke-width=\"2.5\" stroke-dasharray=\"8 4\"/>\n";
  }
  svg += "</g>\n";

  // North arrow: the scene's north (0, 1) in drawing directions, a unit
  // vector: turned back by the angle, reversed by a negative K, whatever
  // K's size.
  {
    const double nx = k < 0.0 ? -sin_a : sin_a;
    const double ny = k < 0.0 ? -cos_a : cos_a;
    const double cx = kFrameLeft + kFrameSize - 40.0, cy = kFrameTop + 50.0;
    svg += "<g id=\"north\">\n" +
           Arrow(cx - nx * 22, cy + ny * 22, cx + nx * 22, cy - ny * 22,
                 kInkColour, "ink-head", false, "north") +
           Text(cx + nx * 32 - 5, cy - ny * 32 + 5, "N", kInkColour,
                " font-weight=\"bold\"") +
           "</g>\n";
  }

  // Scale bars: drawing units and arrow metres, under each other at the
  // bottom left of the frame.
  {
    const double bar_units = NiceBelow(quarter_of_frame_units);
    const double bar_page = bar_units * view.scale;
    const double bx = kFrameLeft + 15.0, by = kFrameTop + kFrameSize - 40.0;
    svg += "<g id=\"scale-bars\">\n";
    svg += "<path d=\"M" + C(bx) + " " + C(by - 5) + "V" + C(by) + "H" +
           C(bx + bar_page) + "V" + C(by - 5) + "\" stroke=\"" + kInkColour +
           "\" stroke-width=\"1.5\" fill=\"none\"/>\n";
    svg += Text(bx + bar_page + 8, by,
                FormatDouble("%g drawing units", bar_units), kInkColour);
    // No bar for the arrows when a metre of deviation is no length or an
    // endless one on the page (a K near the ends of the doubles).
    const double quarter_of_frame_m = 0.25 * kFrameSize / arrow_scale;
    if (quarter_of_frame_m > 0.0 && std::isfinite(quarter_of_frame_m)) {
      const double bar_m = NiceBelow(quarter_of_frame_m);
      const double arrow_page = bar_m * arrow_scale;
      const double ay = by + 22.0;
      svg += "<path d=\"M" + C(bx) + " " + C(ay - 5) + "V" + C(ay) + "H" +
             C(bx + arrow_page) + "V" + C(ay - 5) + "\" stroke=\"" +
             kArrowColour + "\" stroke-width=\"1.5\" fill=\"none\"/>\n";
      svg += Text(bx + arrow_page + 8, ay, MetresLabel(bar_m) + " of deviation",
                  kInkColour);
    }
    svg += "</g>\n";
  }

  // Legend.
  svg += "<g id=\"legend\">\n";
  double y = kFrameTop + 16.0;
  const double x = kLegendLeft;
  auto line = [&](const std::string& text, const char* extra = "") {
    svg += Text(x, y, text, kInkColour, extra);
    y += kLineHeight;
  };
  const char* verdict_colour = diagnosis.verdict == Verdict::kGood ? kGoodColour
                               : diagnosis.verdict == Verdict::kCheck
                                   ? kCheckVerdictColour
                                   : kBadColour;
  svg += Text(x, y, std::string("verdict: ") + VerdictName(diagnosis.verdict),
              verdict_colour,
              " id=\"verdict\" font-weight=\"bold\" font-size=\"18\"");
  y += kLineHeight + 4.0;
  line("GeoAnchorSolve residual plot", " font-weight=\"bold\"");
  line(std::string("mode: ") + InputModeName(points.mode) + ", " +
       (fit.free_scale ? "free" : "fixed") + " scale");
  line("K = " + Value(std::fabs(fit.K) < 1e6 ? "%.10f" : "%.10g", fit.K) +
       " (" + Value("%+.2f", (fit.K - 1.0) * 1e6) + " ppm)");
  line("angle = " + Value("%.7f", fit.angle_rad / kPi * 180.0) + "\xC2\xB0");
  line("RMS = " + Value("%.4f m", fit.rms_m) + ", sigma0 = " +
       (std::isfinite(fit.sigma0_m) ? FormatDouble("%.4f", fit.sigma0_m) + " m"
                                    : std::string("none")));
  line(std::to_string(n) + (n == 1 ? " point, " : " points, ") +
       std::to_string(outliers) + (outliers == 1 ? " outlier" : " outliers") +
       (check_n == 0 ? std::string()
                     : ", " + std::to_string(check_n) +
                           (check_n == 1 ? " check point" : " check points")));
  {
    const std::vector<std::string> lines =
        Wrapped("projection: " + ProjectionLabel(survey.projection), 36);
    for (size_t l = 0; l < lines.size(); ++l) {
      svg += Text(l == 0 ? x : x + 12, y, lines[l], kInkColour);
      y += kLineHeight;
    }
  }
  if (std::isfinite(diagnosis.hold.matrix_error_m)) {
    line("matrix error: " +
         FormatDouble("%.3f m", diagnosis.hold.matrix_error_m));
  }
  y += 8.0;
  const double key_y = y;
  svg += "<circle cx=\"" + C(x + 8) + "\" cy=\"" + C(key_y - 5) +
         "\" r=\"4\" fill=\"" + kPointColour + "\"/>\n";
  svg += Text(x + 24, key_y,
              !labelled ? "control point"
              : named   ? "control point, its name"
                        : "control point, input position",
              kInkColour);
  y += kLineHeight;
  svg += Arrow(x, y - 5, x + 18, y - 5, kArrowColour, "head", false, "key");
  svg += Text(x + 24, y,
              "deviation, arrows \xC3\x97 " + FormatDouble("%g", magnification),
              kInkColour);
  y += kLineHeight;
  svg +=
      Arrow(x, y - 5, x + 18, y - 5, kCheckColour, "check-head", true, "key");
  svg += Text(x + 24, y, "check residual (point left out)", kInkColour);
  y += kLineHeight;
  svg += "<circle cx=\"" + C(x + 8) + "\" cy=\"" + C(y - 5) +
         "\" r=\"4\" fill=\"" + kOutlierColour + "\" class=\"key outlier\"/>\n";
  svg += Text(x + 24, y, "outlier (over 0.15 m off), clipped", kInkColour);
  y += kLineHeight;
  if (check_n > 0) {
    svg += Diamond(x + 8, y - 5, "key checkpoint");
    svg += Text(x + 24, y, "check point (use 0), not fitted", kInkColour);
    y += kLineHeight;
  }
  y += 8.0;
  svg += Text(x + 24, y, "north arrow: the scene's north", kInkColour);
  y += kLineHeight + 8.0;
  if (exchanged_pairs > 0) {
    svg += "<line x1=\"" + C(x) + "\" y1=\"" + C(y - 5) + "\" x2=\"" +
           C(x + 18) + "\" y2=\"" + C(y - 5) + "\" stroke=\"" +
           kExchangedColour +
           "\" stroke-width=\"2.5\" stroke-dasharray=\"8 4\"/>\n";
    svg += Text(x + 24, y, "targets look exchanged", kInkColour);
    y += kLineHeight + 8.0;
  }
  if (warnings.empty()) {
    line("no findings");
  } else {
    line("findings:", " font-weight=\"bold\"");
    for (size_t i = 0; i < shown_warnings; ++i) {
      const std::vector<std::string> lines = Wrapped(warnings[i], 36);
      for (size_t l = 0; l < lines.size(); ++l) {
        // A bullet, and the continuation lines indented past it.
        svg += Text(l == 0 ? x : x + 12, y,
                    (l == 0 ? "\xE2\x80\xA2 " : "") + lines[l], kInkColour);
        y += kLineHeight;
      }
    }
    if (warnings.size() > shown_warnings) {
      line("and " + std::to_string(warnings.size() - shown_warnings) +
           " more (see the report)");
    }
  }
  svg += "</g>\n</svg>\n";
  return svg;
}

int WriteResidualPlot(const std::string& path, const ControlPoints& points,
                      const SimilarityFit& fit, const Diagnosis& diagnosis) {
  std::string error;
  if (!ReplaceFileContents(path, ResidualPlotSvg(points, fit, diagnosis),
                           &error)) {
    std::fflush(stdout);
    WriteMessage("GeoAnchorSolve: cannot write plot " + path + ": " + error +
                 "\n");
    return -1;
  }
  return 0;
}
