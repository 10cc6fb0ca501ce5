#include "output/residual_plot.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "common/fixed_text.h"
#include "common/numbers.h"
#include "common/tool_name.h"
#include "output/write_file.h"

namespace geoanchor {

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
constexpr double kIndent = 12.0;  // a legend line's continuation
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
Message Value(const char* format, double v) {
  return std::isfinite(v) ? Same(FormatDouble(format, v))
                          : Message{"none", "无"};
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
Message ProjectionLabel(const Projection& p) {
  const Message epsg =
      p.epsg != 0 ? Message{", EPSG ", "，EPSG "} + std::to_string(p.epsg)
                  : Message();
  const std::string zone = std::to_string(p.zone);
  switch (p.kind) {
    case ProjectionKind::kNone:
      return Message{"none (plain grid, or too small to tell)",
                     "无（独立平面坐标，或范围太小）"};
    case ProjectionKind::kGaussKruger3:
      return Message{"Gauss-Kr\xC3\xBCger 3\xC2\xB0 zone " + zone,
                     "高斯-克吕格投影 3\xC2\xB0 带，带号 " + zone} +
             epsg;
    case ProjectionKind::kGaussKruger6:
      return Message{"Gauss-Kr\xC3\xBCger 6\xC2\xB0 zone " + zone,
                     "高斯-克吕格投影 6\xC2\xB0 带，带号 " + zone} +
             epsg;
    case ProjectionKind::kUtm:
      return Same("UTM " + zone + (p.south ? "S" : "N")) + epsg;
    case ProjectionKind::kTransverseMercator:
      return std::isfinite(p.central_meridian_deg)
                 ? Message{"transverse Mercator, meridian ",
                           "横轴墨卡托投影，中央子午线 "} +
                       (FormatDouble("%.3f", p.central_meridian_deg) +
                        "\xC2\xB0")
                 : Message{"transverse Mercator, meridian unsure",
                           "横轴墨卡托投影，中央子午线不确定"};
  }
  return Message();
}

// Drawing coordinates to the page: equal scale on both axes, y up.
struct View {
  double center_x = 0.0;  // drawing units
  double center_y = 0.0;
  double scale = 1.0;        // page units per drawing unit
  double half_extent = 0.5;  // of the points, drawing units, margin aside
  double X(double x) const {
    return kFrameLeft + kFrameSize / 2 + (x - center_x) * scale;
  }
  double Y(double y) const {
    return kFrameTop + kFrameSize / 2 - (y - center_y) * scale;
  }
  // Lengths on the drawing that fit the frame, drawing units.
  double TenthOfFrameUnits() const { return 0.1 * 1.16 * 2.0 * half_extent; }
  double QuarterOfFrameUnits() const { return 0.25 * 1.16 * 2.0 * half_extent; }
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

// A rectangle on the page, page units, y down.
struct Box {
  double left = 0.0, top = 0.0, right = 0.0, bottom = 0.0;
  bool Meets(const Box& o) const {
    return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
  }
};

constexpr Box kFrameBox{kFrameLeft, kFrameTop, kFrameLeft + kFrameSize,
                        kFrameTop + kFrameSize};

// Clips the segment from (x0, y0) to (x1, y1), page units, where it leaves
// `box` (Liang-Barsky). Returns false when nothing of it is inside.
bool ClipToBox(const Box& box, double x0, double y0, double* x1, double* y1) {
  const double lo_x = box.left, hi_x = box.right;
  const double lo_y = box.top, hi_y = box.bottom;
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

// The code point of the UTF-8 sequence at `*at`, moving `*at` past it. A
// byte that starts no sequence counts as a character of its own (U+FFFD).
char32_t NextCodePoint(const std::string& text, size_t* at) {
  const unsigned char lead = static_cast<unsigned char>(text[*at]);
  const size_t length = lead < 0x80    ? 1
                        : lead >= 0xF0 ? 4
                        : lead >= 0xE0 ? 3
                        : lead >= 0xC0 ? 2
                                       : 0;
  if (length == 0 || *at + length > text.size()) {
    ++*at;
    return lead < 0x80 ? lead : 0xFFFD;
  }
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    c = c << 6 | (static_cast<unsigned char>(text[*at + k]) & 0x3F);
  }
  *at += length;
  return c;
}

// CJK and full-width characters (East Asian Wide and Fullwidth): a square
// em each, and a line may break before or after any of them.
bool IsWide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

// The advances of the printable ASCII characters, space to "~", in
// thousandths of an em, rounded up: DejaVu Sans Book's, read from its hmtx
// table. It is Linux's sans-serif (and Chromium's there), and the widest
// of the usual ones: Arial, Liberation Sans and Helvetica are narrower.
constexpr unsigned short kAsciiAdvance[95] = {
    318, 401, 460, 838, 637,  951, 780, 275, 391, 391, 500, 838, 318, 361,
    318, 337, 637, 637, 637,  637, 637, 637, 637, 637, 637, 637, 337, 337,
    838, 838, 838, 531, 1000, 685, 687, 699, 771, 632, 576, 775, 752, 295,
    295, 656, 558, 863, 749,  788, 604, 788, 695, 635, 611, 732, 685, 989,
    686, 611, 686, 391, 337,  391, 838, 500, 500, 613, 635, 550, 635, 616,
    353, 635, 634, 278, 278,  580, 278, 975, 634, 612, 635, 635, 412, 521,
    393, 634, 592, 818, 592,  592, 525, 637, 337, 637, 838};

// Bold is at most 1.24 times as wide (DejaVu Sans Bold's "i", "j" and "l":
// 0.343 em against 0.278).
constexpr double kBoldWidening = 1.24;

// 5 % more for the browser's hinting and placing of glyphs on pixels
// (plot_cli_test renders a plot in Chromium and finds no legend ink past
// the right edge).
constexpr double kRenderingAllowance = 1.05;

// An upper bound of character `c`'s advance in ems in the plot's
// sans-serif: the table above for ASCII; a whole em for any other
// character (a CJK or full-width one is an em square; accented letters,
// the degree sign and the bullet are narrower). Control characters are
// not written (Escaped).
double CharEm(char32_t c) {
  if (c < 0x20 || c == 0x7F) return 0.0;
  return c < 0x7F ? kAsciiAdvance[c - 0x20] / 1000.0 : 1.0;
}

// `word` cut before and after each wide character, where a line may break
// without a blank; a word without one stays whole (an empty one too).
std::vector<std::string> WordPieces(const std::string& word) {
  std::vector<std::string> pieces(1);
  for (size_t at = 0; at < word.size();) {
    const size_t start = at;
    const bool wide = IsWide(NextCodePoint(word, &at));
    if (wide && !pieces.back().empty()) pieces.emplace_back();
    pieces.back() += word.substr(start, at - start);
    if (wide && at < word.size()) pieces.emplace_back();
  }
  return pieces;
}

// The width of `text` in columns: 2 for a wide character (an em, about
// two Latin letters), else its bytes of UTF-8 (1 for ASCII).
size_t Columns(const std::string& text) {
  size_t columns = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t start = at;
    columns += IsWide(NextCodePoint(text, &at)) ? 2 : at - start;
  }
  return columns;
}

// Splits `text` into lines of at most `width` columns at blanks, and
// between wide characters, which need none.
std::vector<std::string> Wrapped(const std::string& text, size_t width) {
  std::vector<std::string> lines;
  std::string line;
  size_t line_columns = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    bool after_blank = true;
    for (const std::string& piece :
         WordPieces(text.substr(start, end - start))) {
      const char* blank = after_blank && !line.empty() ? " " : "";
      const size_t piece_columns = Columns(piece);
      if (!line.empty() &&
          line_columns + std::strlen(blank) + piece_columns > width) {
        lines.push_back(line);
        line.clear();
        line_columns = 0;
        blank = "";
      }
      line += blank + piece;
      line_columns += std::strlen(blank) + piece_columns;
      after_blank = false;
    }
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

// K as the arrows divide by it: 1 where the fit's K is 0 or not finite.
double ArrowK(const SimilarityFit& fit) {
  return fit.similarity.K() != 0.0 && std::isfinite(fit.similarity.K())
             ? fit.similarity.K()
             : 1.0;
}

// The scene's north (0, 1) in drawing directions, a unit vector: turned
// back by the angle, reversed by a negative K, whatever K's size.
Point2 SceneNorth(const PlaneSimilarity& s, double k) {
  return k < 0.0 ? Point2{-s.sin(), -s.cos()} : Point2{s.sin(), s.cos()};
}

// Which points the plot draws, and how.
struct Marks {
  // Per fitted point: red for the survey's blunders (without a projection
  // the fit's own outliers); the fit's weights when there is no judgement
  // to go by.
  std::vector<bool> red;
  size_t outliers = 0;    // the red ones
  size_t check_n = 0;     // check points drawn: those the diagnosis judged
  bool labelled = false;  // every point drawn on its own, with its label
  bool named = false;     // some point has a name from a table
};

Marks ChooseMarks(const ControlPoints& points, const SimilarityFit& fit,
                  const Diagnosis& diagnosis) {
  const size_t n = points.source.size();
  const SurveyJudgement& survey = diagnosis.survey;
  Marks marks;
  marks.red.resize(n);
  for (size_t i = 0; i < n; ++i) {
    marks.red[i] = survey.blunder.size() == n
                       ? static_cast<bool>(survey.blunder[i])
                       : fit.weights[i] < kOutlierWeight;
    if (marks.red[i]) ++marks.outliers;
  }
  const size_t checks = points.check.source.size();
  marks.check_n =
      diagnosis.check_points.deviations.size() == checks ? checks : 0;
  marks.labelled = n + marks.check_n <= kMaxLabelledPoints;
  for (const std::string& name : points.names) {
    marks.named = marks.named || !name.empty();
  }
  return marks;
}

// The view of the drawing points' extent (check points too), with 8 %
// margin on each side; a single place (one point, all coincident, or a
// spread so small that the page scale overflows, such as 1e-320) gets an
// extent of one drawing unit, or a millionth of its coordinates when
// larger. No point at all (a run never gets here without one): an empty
// frame around the origin.
View FrameView(const ControlPoints& points) {
  const Point3 first = !points.source.empty() ? points.source[0] : Point3();
  double min_x = first.x, max_x = min_x;
  double min_y = first.y, max_y = min_y;
  for (const std::vector<Point3>* list :
       {&points.source, &points.check.source}) {
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
  view.half_extent = half_extent;
  return view;
}

// How a deviation, scene metres, becomes an arrow on the page: in drawing
// directions and units (the scene's vector turned back by the fitted angle
// and divided by K; a negative K is a half turn), magnified.
struct ArrowScale {
  PlaneSimilarity similarity;  // the fit's
  double k = 1.0;              // ArrowK
  double magnification = 1.0;
  double view_scale = 1.0;  // page units per drawing unit
  // Page units per metre of deviation; 0 or infinite with a K near the
  // ends of the doubles.
  double PagePerMetre() const {
    return magnification / std::fabs(k) * view_scale;
  }
};

ArrowScale ChooseArrowScale(const SimilarityFit& fit, const Marks& marks,
                            const View& view) {
  ArrowScale scale;
  scale.similarity = fit.similarity;
  scale.k = ArrowK(fit);
  double largest = 0.0;  // drawing units
  for (size_t i = 0; i < marks.red.size(); ++i) {
    if (!marks.red[i]) {
      largest = std::max(largest, fit.residuals_m[i] / std::fabs(scale.k));
    }
  }
  scale.magnification = ArrowMagnification(largest, view.TenthOfFrameUnits());
  scale.view_scale = view.scale;
  return scale;
}

// The page end (*x1, *y1) of the arrow from (x0, y0) for a deviation of
// `d_m` scene metres, magnified and clipped to the frame; false when
// nothing of it shows. An arrow too long for a double keeps its direction
// and runs out of the frame.
bool ArrowEnd(const ArrowScale& scale, double x0, double y0, const Point2& d_m,
              double* x1, double* y1) {
  const Point2 along_m = scale.similarity.TurnBack(d_m);  // drawing axes
  const double page_per_m =
      scale.magnification * scale.view_scale / scale.k;  // signed
  double px = along_m.x * page_per_m, py = -along_m.y * page_per_m;
  if (!std::isfinite(px) || !std::isfinite(py)) {
    const double length_m = std::hypot(along_m.x, along_m.y);
    if (!(length_m > 0.0) || !std::isfinite(length_m)) return false;
    const double reach = (scale.k < 0.0 ? -4.0 : 4.0) * kFrameSize;
    px = along_m.x / length_m * reach;
    py = -along_m.y / length_m * reach;
  }
  *x1 = x0 + px;
  *y1 = y0 + py;
  return ClipToBox(kFrameBox, x0, y0, x1, y1) && (*x1 != x0 || *y1 != y0);
}

// The page's height: the frame's, or the legend's with the findings shown
// and the check points' key, whichever is taller.
double PageHeight(const std::vector<Finding>& findings, size_t check_n,
                  Language language) {
  const double page_height = kFrameTop + kFrameSize + 20.0;
  const size_t shown = std::min(findings.size(), kMaxWarningsShown);
  size_t warning_lines = 0;
  for (size_t i = 0; i < shown; ++i) {
    warning_lines += Wrapped(findings[i].message.In(language), 36).size();
  }
  return std::max(page_height, 590.0 + kLineHeight * warning_lines +
                                   (check_n > 0 ? kLineHeight : 0.0));
}

// The page's width: kPageWidth, or wider to hold what reaches further
// (scale bars with a long label beside the legend), whose estimated end is
// at `right` (page units), with a margin as wide as the frame's on the
// left. The legend's own texts are broken to fit kPageWidth.
double PageWidth(double right) {
  return right <= kPageWidth ? kPageWidth : std::ceil(right + kFrameLeft);
}

// The plot's name: the document's title and the legend's first line.
Message PlotTitle() {
  return std::string(kToolName) + Message{" residual plot", " 残差图"};
}

// The fonts asked for, by name: for Chinese text the system's own CJK
// sans-serif (Windows, macOS, Linux's Noto and WenQuanYi), then the generic
// one. Named in both languages, since a point's name may be Chinese too.
// Their Latin letters are no wider than DejaVu Sans's (PlotTextWidth).
constexpr char kFontFamily[] =
    "'Microsoft YaHei', 'PingFang SC', 'Noto Sans CJK SC', "
    "'WenQuanYi Micro Hei', sans-serif";

// The document's opening: the page, the arrow heads, the white background
// and the plot frame.
void AppendPageStart(double page_width, double page_height,
                     const std::string& title, std::string* svg) {
  *svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  *svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + C(page_width) +
          "\" height=\"" + C(page_height) + "\" viewBox=\"0 0 " +
          C(page_width) + " " + C(page_height) + "\" font-family=\"" +
          kFontFamily + "\" font-size=\"" + C(kFontSize) + "\">\n";
  *svg += "<title>" + Escaped(title) + "</title>\n";
  *svg += "<defs>\n";
  for (const auto& head : {std::make_pair("head", kArrowColour),
                           std::make_pair("check-head", kCheckColour),
                           std::make_pair("outlier-head", kOutlierColour),
                           std::make_pair("checkpoint-head", kCheckPointColour),
                           std::make_pair("ink-head", kInkColour)}) {
    *svg += std::string("<marker id=\"") + head.first +
            "\" viewBox=\"0 0 10 10\" refX=\"9\" refY=\"5\" markerWidth=\"7\" "
            "markerHeight=\"7\" orient=\"auto\"><path d=\"M0 0L10 5L0 10z\" "
            "fill=\"" +
            head.second + "\"" +
            (std::string(head.second) == kOutlierColour ? " class=\"outlier\""
                                                        : "") +
            "/></marker>\n";
  }
  *svg += "</defs>\n";
  *svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  *svg += "<rect x=\"" + C(kFrameLeft) + "\" y=\"" + C(kFrameTop) +
          "\" width=\"" + C(kFrameSize) + "\" height=\"" + C(kFrameSize) +
          "\" fill=\"#fbfbf8\" stroke=\"#999999\"/>\n";
}

// The points' shapes by layer, drawn in this order so that check
// residuals lie under deviations and markers on top. Points drawn
// compactly (beyond kMaxLabelledPoints, but the outliers) go into the
// compact paths' data.
struct PointLayers {
  std::string checks, arrows, markers, labels;
  std::string compact_checks, compact_arrows, compact_markers;
  size_t outlier_texts = 0;  // outliers whose deviation is written
  // What the scale bars must leave free: the boxes of the markers and
  // their texts, and the arrows, each from (x0, y0) to (x1, y1).
  std::vector<Box> taken;
  std::vector<std::array<double, 4>> strokes;
};

// A point's marker with its stroke, and a little room: the largest, a
// check point's diamond, reaches 7 page units from its centre.
Box MarkerBox(double x, double y) { return Box{x - 8, y - 8, x + 8, y + 8}; }

// The box of a text from (x, baseline): DejaVu Sans rises 0.93 em above
// the baseline and falls 0.24 em below it (its hhea ascender and
// descender).
Box TextBox(double x, double baseline, const std::string& text,
            double font_size) {
  return Box{x, baseline - font_size, x + PlotTextWidth(text, font_size, false),
             baseline + 0.25 * font_size};
}

// A compact path's segment from (x0, y0) to (x1, y1).
std::string Segment(double x0, double y0, double x1, double y1) {
  return "M" + C(x0) + " " + C(y0) + "L" + C(x1) + " " + C(y1);
}

// A fitted point drawn on its own at (x0, y0): its marker, its label when
// the points are labelled, and an outlier's deviation in figures.
void DrawMarker(const ControlPoints& points, const SimilarityFit& fit,
                const Marks& marks, size_t i, double x0, double y0,
                Language language, PointLayers* layers) {
  const bool outlier = marks.red[i];
  const char* colour = outlier ? kOutlierColour : kPointColour;
  layers->markers += std::string("<circle class=\"") +
                     (outlier ? "marker outlier" : "marker") + "\" cx=\"" +
                     C(x0) + "\" cy=\"" + C(y0) + "\" r=\"4\" fill=\"" +
                     colour + "\"/>\n";
  layers->taken.push_back(MarkerBox(x0, y0));
  if (marks.labelled) {
    const std::string label = NameOrPosition(points.names, points.positions, i);
    layers->labels +=
        std::string("<text class=\"") + (outlier ? "label outlier" : "label") +
        "\" x=\"" + C(x0 + 6) + "\" y=\"" + C(y0 - 6) + "\" fill=\"" + colour +
        "\" font-size=\"13\">" + Escaped(label) + "</text>\n";
    layers->taken.push_back(TextBox(x0 + 6, y0 - 6, label, 13.0));
  }
  if (outlier && layers->outlier_texts < kMaxLabelledPoints) {
    ++layers->outlier_texts;
    const std::string deviation =
        Value("%.3f m", fit.residuals_m[i]).In(language);
    layers->labels += Text(x0 + 6, y0 + 16, deviation, kOutlierColour,
                           " class=\"outlier\" font-size=\"13\"");
    layers->taken.push_back(TextBox(x0 + 6, y0 + 16, deviation, 13.0));
  }
}

// Fitted point `i`: its check residual, its deviation and its marker.
void DrawFittedPoint(const ControlPoints& points, const SimilarityFit& fit,
                     const Marks& marks, const View& view,
                     const ArrowScale& scale, size_t i, Language language,
                     PointLayers* layers) {
  const double x0 = view.X(points.source[i].x);
  const double y0 = view.Y(points.source[i].y);
  const bool outlier = marks.red[i];
  const bool alone = marks.labelled || outlier;
  const std::vector<CheckResidual>& checks = fit.quality.checks;
  double x1, y1;
  if (i < checks.size() && checks[i].available &&
      ArrowEnd(scale, x0, y0, Point2{checks[i].dx_m, checks[i].dy_m}, &x1,
               &y1)) {
    layers->strokes.push_back({x0, y0, x1, y1});
    if (alone) {
      layers->checks +=
          Arrow(x0, y0, x1, y1, outlier ? kOutlierColour : kCheckColour,
                outlier ? "outlier-head" : "check-head", true,
                outlier ? "check outlier" : "check");
    } else {
      layers->compact_checks += Segment(x0, y0, x1, y1);
    }
  }
  const bool visible = ArrowEnd(scale, x0, y0, fit.deviations[i], &x1, &y1);
  if (visible) layers->strokes.push_back({x0, y0, x1, y1});
  if (!alone) {
    if (visible) layers->compact_arrows += Segment(x0, y0, x1, y1);
    layers->compact_markers += "M" + C(x0) + " " + C(y0) + "h0";
    layers->taken.push_back(MarkerBox(x0, y0));
    return;
  }
  if (visible) {
    layers->arrows +=
        Arrow(x0, y0, x1, y1, outlier ? kOutlierColour : kArrowColour,
              outlier ? "outlier-head" : "head", false,
              outlier ? "deviation outlier" : "deviation");
  }
  DrawMarker(points, fit, marks, i, x0, y0, language, layers);
}

// The check points: never compact, they are few.
void DrawCheckPoints(const CheckPoints& check,
                     const CheckPointJudgement& judged, const Marks& marks,
                     const View& view, const ArrowScale& scale,
                     Language language, PointLayers* layers) {
  for (size_t k = 0; k < marks.check_n; ++k) {
    const double x0 = view.X(check.source[k].x);
    const double y0 = view.Y(check.source[k].y);
    double x1, y1;
    if (ArrowEnd(scale, x0, y0, judged.deviations[k], &x1, &y1)) {
      layers->strokes.push_back({x0, y0, x1, y1});
      layers->arrows += Arrow(x0, y0, x1, y1, kCheckPointColour,
                              "checkpoint-head", false, "deviation checkpoint");
    }
    layers->markers += Diamond(x0, y0, "marker checkpoint");
    layers->taken.push_back(MarkerBox(x0, y0));
    if (marks.labelled) {
      const std::string label = NameOrPosition(check.names, check.positions, k);
      layers->labels += Text(x0 + 6, y0 - 6, label, kCheckPointColour,
                             " class=\"label checkpoint\" font-size=\"13\"");
      // Its deviation in figures, since it helped nothing to fit.
      const std::string deviation =
          Value("%.3f m", judged.residuals_m[k]).In(language);
      layers->labels += Text(x0 + 6, y0 + 16, deviation, kCheckPointColour,
                             " class=\"checkpoint\" font-size=\"13\"");
      layers->taken.push_back(TextBox(x0 + 6, y0 - 6, label, 13.0));
      layers->taken.push_back(TextBox(x0 + 6, y0 + 16, deviation, 13.0));
    }
  }
}

// The layers as groups: check residuals, deviations, markers, labels.
void AppendPointLayers(const PointLayers& layers, std::string* svg) {
  *svg += "<g id=\"checks\">\n" + layers.checks;
  if (!layers.compact_checks.empty()) {
    *svg += std::string("<path d=\"") + layers.compact_checks + "\" stroke=\"" +
            kCheckColour +
            "\" stroke-width=\"1\" stroke-dasharray=\"4 2\" fill=\"none\"/>\n";
  }
  *svg += "</g>\n<g id=\"deviations\">\n" + layers.arrows;
  if (!layers.compact_arrows.empty()) {
    *svg += std::string("<path d=\"") + layers.compact_arrows + "\" stroke=\"" +
            kArrowColour + "\" stroke-width=\"1\" fill=\"none\"/>\n";
  }
  *svg += "</g>\n<g id=\"markers\">\n";
  if (!layers.compact_markers.empty()) {
    *svg += std::string("<path class=\"markers\" d=\"") +
            layers.compact_markers + "\" stroke=\"" + kPointColour +
            "\" stroke-width=\"5\" stroke-linecap=\"round\" fill=\"none\"/>\n";
  }
  *svg +=
      layers.markers + "</g>\n<g id=\"labels\">\n" + layers.labels + "</g>\n";
}

// Two points whose targets look exchanged, joined by a dashed line.
// Returns how many pairs are drawn.
size_t AppendExchangedPairs(const ControlPoints& points,
                            const std::vector<Finding>& findings,
                            const View& view, std::string* svg) {
  const size_t n = points.source.size();
  size_t pairs = 0;
  *svg += "<g id=\"exchanged\">\n";
  for (const Finding& f : findings) {
    if (f.code != FindingCode::kExchangedPairs || f.points.size() != 2)
      continue;
    const size_t i = FittedIndexAt(points, f.points[0]);
    const size_t j = FittedIndexAt(points, f.points[1]);
    if (i >= n || j >= n) continue;
    ++pairs;
    *svg += "<line class=\"exchanged\" x1=\"" + C(view.X(points.source[i].x)) +
            "\" y1=\"" + C(view.Y(points.source[i].y)) + "\" x2=\"" +
            C(view.X(points.source[j].x)) + "\" y2=\"" +
            C(view.Y(points.source[j].y)) + "\" stroke=\"" + kExchangedColour +
            "\" stroke-width=\"2.5\" stroke-dasharray=\"8 4\"/>\n";
  }
  *svg += "</g>\n";
  return pairs;
}

// The north arrow near the frame's top right corner: `north` is the
// scene's north in drawing directions, a unit vector.
void AppendNorthArrow(const Point2& north, std::string* svg) {
  const double nx = north.x, ny = north.y;
  const double cx = kFrameLeft + kFrameSize - 40.0, cy = kFrameTop + 50.0;
  *svg += "<g id=\"north\">\n" +
          Arrow(cx - nx * 22, cy + ny * 22, cx + nx * 22, cy - ny * 22,
                kInkColour, "ink-head", false, "north") +
          Text(cx + nx * 32 - 5, cy - ny * 32 + 5, "N", kInkColour,
               " font-weight=\"bold\"") +
          "</g>\n";
}

// A scale bar `length` page units long from (x, y), its ends ticked up,
// and its label to its right.
std::string ScaleBar(double x, double y, double length, const char* colour,
                     const std::string& label) {
  return "<path d=\"M" + C(x) + " " + C(y - 5) + "V" + C(y) + "H" +
         C(x + length) + "V" + C(y - 5) + "\" stroke=\"" + colour +
         "\" stroke-width=\"1.5\" fill=\"none\"/>\n" +
         Text(x + length + 8, y, label, kInkColour);
}

// A scale bar to draw: its length in page units, colour and label.
struct Bar {
  double length = 0.0;
  const char* colour = kInkColour;
  std::string label;
};

// Scale bars: drawing units and arrow metres, the latter none when a metre
// of deviation is no length or an endless one on the page (a K near the
// ends of the doubles).
std::vector<Bar> ChooseScaleBars(const View& view, const ArrowScale& scale,
                                 Language language) {
  const double bar_units = NiceBelow(view.QuarterOfFrameUnits());
  const Message units_label{FormatDouble("%g drawing units", bar_units),
                            FormatDouble("%g 图纸单位", bar_units)};
  std::vector<Bar> bars = {
      Bar{bar_units * view.scale, kInkColour, units_label.In(language)}};
  const double arrow_scale = scale.PagePerMetre();
  const double quarter_of_frame_m = 0.25 * kFrameSize / arrow_scale;
  if (quarter_of_frame_m > 0.0 && std::isfinite(quarter_of_frame_m)) {
    const double bar_m = NiceBelow(quarter_of_frame_m);
    const Message metres_label{MetresLabel(bar_m) + " of deviation",
                               "偏差 " + MetresLabel(bar_m)};
    bars.push_back(
        Bar{bar_m * arrow_scale, kArrowColour, metres_label.In(language)});
  }
  return bars;
}

// The bars are drawn 22 page units under each other.
constexpr double kBarSpacing = 22.0;

// Where the bars and their labels lie with the first bar's left end at
// (x, y).
Box ScaleBarsBox(const std::vector<Bar>& bars, double x, double y) {
  Box box{x, y, x, y};
  for (size_t k = 0; k < bars.size(); ++k) {
    const double baseline = y + kBarSpacing * k;
    const Box label =
        TextBox(x + bars[k].length + 8, baseline, bars[k].label, kFontSize);
    box.top = std::min(box.top, label.top);
    box.right = std::max(box.right, label.right);
    box.bottom = std::max(box.bottom, label.bottom);
  }
  return box;
}

// Whether `box` leaves every marker, text and arrow of the points free,
// and the north arrow at the frame's top right corner (AppendNorthArrow's
// arrow and "N" reach 37 page units from its centre).
bool IsFree(const Box& box, const PointLayers& layers) {
  const Box north{kFrameLeft + kFrameSize - 85.0, kFrameTop + 5.0,
                  kFrameLeft + kFrameSize, kFrameTop + 95.0};
  if (box.Meets(north)) return false;
  for (const Box& taken : layers.taken) {
    if (box.Meets(taken)) return false;
  }
  for (const std::array<double, 4>& s : layers.strokes) {
    double x1 = s[2], y1 = s[3];
    if (ClipToBox(box, s[0], s[1], &x1, &y1)) return false;
  }
  return true;
}

// Where the first scale bar starts: the frame's bottom left corner, else
// its bottom right or top left one, whichever leaves the points free;
// else outside the frame, under the legend, whose next line would have
// its baseline at `legend_y`.
Point2 PlaceScaleBars(const std::vector<Bar>& bars, const PointLayers& layers,
                      double legend_y) {
  const double width = ScaleBarsBox(bars, 0.0, 0.0).right;
  const double bottom = kFrameTop + kFrameSize - 40.0;
  const double right = kFrameLeft + kFrameSize - 15.0 - width;
  for (const Point2& at :
       {Point2{kFrameLeft + 15.0, bottom}, Point2{right, bottom},
        Point2{kFrameLeft + 15.0, kFrameTop + 30.0}}) {
    if (IsFree(ScaleBarsBox(bars, at.x, at.y), layers)) return at;
  }
  return Point2{kLegendLeft, legend_y + kLineHeight};
}

void AppendScaleBars(const std::vector<Bar>& bars, const Point2& at,
                     std::string* svg) {
  *svg += "<g id=\"scale-bars\">\n";
  for (size_t k = 0; k < bars.size(); ++k) {
    *svg += ScaleBar(at.x, at.y + kBarSpacing * k, bars[k].length,
                     bars[k].colour, bars[k].label);
  }
  *svg += "</g>\n";
}

// The legend as it is written: its text so far, and the baseline of its
// next line, page units.
struct Legend {
  Language language = Language::kEnglish;  // of its words
  std::string svg;
  double y = kFrameTop + 16.0;
  double right = kLegendLeft;  // the widest text's estimated end
};

// The legend's fonts: its own size, bold, and the verdict's.
struct Font {
  double size = kFontSize;
  bool bold = false;
};
constexpr Font kBold{kFontSize, true};
constexpr Font kVerdictFont{18.0, true};

// The length in bytes of the longest head of `text` that is at most
// `width` page units wide, cut before a blank when one allows; at least
// its first character.
size_t FittingHead(const std::string& text, double width, Font font) {
  double used = 0.0;
  size_t last_blank = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t start = at;
    const char32_t c = NextCodePoint(text, &at);
    used += PlotTextWidth(text.substr(start, at - start), font.size, font.bold);
    if (used > width && start > 0) return last_blank > 0 ? last_blank : start;
    if (c == ' ') last_blank = start;
  }
  return text.size();
}

// A text of the legend from (x, legend->y), keeping its estimated end. A
// text too wide for the page goes on over further lines, indented, each
// holding what fits.
void LegendText(double x, const std::string& text, const char* colour,
                const char* extra, Font font, Legend* legend) {
  std::string rest = text;
  for (double at_x = x;; at_x = x + kIndent) {
    const size_t head = FittingHead(rest, kPageWidth - at_x, font);
    const std::string line = rest.substr(0, head);
    legend->svg += Text(at_x, legend->y, line, colour, extra);
    legend->right = std::max(legend->right,
                             at_x + PlotTextWidth(line, font.size, font.bold));
    if (head == rest.size()) return;
    rest.erase(0, rest[head] == ' ' ? head + 1 : head);
    if (rest.empty()) return;
    legend->y += kLineHeight;
  }
}

// A line of ink at the legend's left edge, bold or not, in the legend's
// language.
void LegendLine(const Message& text, Font font, Legend* legend) {
  LegendText(kLegendLeft, text.In(legend->language), kInkColour,
             font.bold ? " font-weight=\"bold\"" : "", font, legend);
  legend->y += kLineHeight;
}

// `text`, in the legend's language, wrapped into lines of 36 columns (as
// PageHeight counts them), the first after `bullet`, the others indented.
void LegendWrapped(const Message& text, const char* bullet, Legend* legend) {
  const std::vector<std::string> lines = Wrapped(text.In(legend->language), 36);
  for (size_t l = 0; l < lines.size(); ++l) {
    LegendText(l == 0 ? kLegendLeft : kLegendLeft + kIndent,
               (l == 0 ? bullet : "") + lines[l], kInkColour, "", Font(),
               legend);
    legend->y += kLineHeight;
  }
}

// The verdict as the report names it, and in Chinese as the README's quick
// start explains it: nothing found, something to check, not to be trusted.
Message VerdictWord(Verdict verdict) {
  static constexpr const char* kChinese[] = {"合格", "需核对", "不可信"};
  static_assert(std::size(kChinese) == static_cast<size_t>(Verdict::kBad) + 1);
  const size_t i = static_cast<size_t>(verdict);
  return Message{
      VerdictName(verdict),
      kChinese[i < std::size(kChinese) ? i : std::size(kChinese) - 1]};
}

// The input mode as the report names it, and in Chinese.
Message ModeWord(InputMode mode) {
  static constexpr const char* kChinese[] = {
      "二维（经纬度）", "三维（经纬度和大地高）", "模型基点"};
  static_assert(std::size(kChinese) ==
                static_cast<size_t>(InputMode::kModelBasePoint) + 1);
  const size_t i = static_cast<size_t>(mode);
  return Message{InputModeName(mode),
                 kChinese[i < std::size(kChinese) ? i : 0]};
}

// The diagnosis's verdict, first of all, in its colour.
void AppendVerdict(Verdict verdict, Legend* legend) {
  const char* colour = verdict == Verdict::kGood    ? kGoodColour
                       : verdict == Verdict::kCheck ? kCheckVerdictColour
                                                    : kBadColour;
  LegendText(kLegendLeft,
             (Message{"verdict: ", "判定："} + VerdictWord(verdict))
                 .In(legend->language),
             colour, " id=\"verdict\" font-weight=\"bold\" font-size=\"18\"",
             kVerdictFont, legend);
  legend->y += kLineHeight + 4.0;
}

// The fit's figures: mode, scale, angle, RMS, the counts of points, the
// projection and the matrix's error.
void AppendFitFigures(const ControlPoints& points, const SimilarityFit& fit,
                      const Diagnosis& diagnosis, const Marks& marks,
                      Legend* legend) {
  const size_t n = points.source.size();
  const size_t outliers = marks.outliers, check_n = marks.check_n;
  LegendLine(PlotTitle(), kBold, legend);
  LegendLine(Message{"mode: ", "模式："} + ModeWord(points.mode) +
                 (fit.free_scale ? Message{", free scale", "，自由比例"}
                                 : Message{", fixed scale", "，固定比例"}),
             Font(), legend);
  LegendLine(std::string("K = ") +
                 Value(std::fabs(fit.similarity.K()) < 1e6 ? "%.10f" : "%.10g",
                       fit.similarity.K()) +
                 " (" + Value("%+.2f", (fit.similarity.K() - 1.0) * 1e6) +
                 " ppm)",
             Font(), legend);
  LegendLine(Message{"angle = ", "旋转角 = "} +
                 Value("%.7f", RadToDeg(fit.similarity.angle_rad())) +
                 "\xC2\xB0",
             Font(), legend);
  // sigma0 (σ0): the one-sigma accuracy of an observation of unit weight.
  LegendLine(Message{"RMS = ", "均方根误差 = "} + Value("%.4f m", fit.rms_m) +
                 Message{", sigma0 = ", "，σ0 = "} +
                 Value("%.4f", fit.sigma0_m) +
                 (std::isfinite(fit.sigma0_m) ? " m" : ""),
             Font(), legend);
  const std::string n_text = std::to_string(n);
  const std::string outliers_text = std::to_string(outliers);
  const std::string check_text = std::to_string(check_n);
  LegendLine(
      Message{n_text + (n == 1 ? " point, " : " points, ") + outliers_text +
                  (outliers == 1 ? " outlier" : " outliers"),
              n_text + " 个控制点，" + outliers_text + " 个粗差点"} +
          (check_n == 0
               ? Message()
               : Message{", " + check_text +
                             (check_n == 1 ? " check point" : " check points"),
                         "，" + check_text + " 个检查点"}),
      Font(), legend);
  LegendWrapped(Message{"projection: ", "投影："} +
                    ProjectionLabel(diagnosis.survey.projection),
                "", legend);
  if (std::isfinite(diagnosis.hold.matrix_error_m)) {
    LegendLine(Message{"matrix error: ", "矩阵误差："} +
                   FormatDouble("%.3f m", diagnosis.hold.matrix_error_m),
               Font(), legend);
  }
}

// A text of the key, right of its mark.
void KeyText(const Message& text, Legend* legend) {
  LegendText(kLegendLeft + 24, text.In(legend->language), kInkColour, "",
             Font(), legend);
}

// The key: what each kind of mark means.
void AppendKey(const Marks& marks, double magnification, size_t exchanged_pairs,
               Legend* legend) {
  const double x = kLegendLeft;
  std::string& svg = legend->svg;
  double& y = legend->y;
  y += 8.0;
  svg += "<circle cx=\"" + C(x + 8) + "\" cy=\"" + C(y - 5) +
         "\" r=\"4\" fill=\"" + kPointColour + "\"/>\n";
  KeyText(!marks.labelled ? Message{"control point", "控制点"}
          : marks.named ? Message{"control point, its name", "控制点，标注点名"}
                        : Message{"control point, input position",
                                  "控制点，标注输入序号"},
          legend);
  y += kLineHeight;
  svg += Arrow(x, y - 5, x + 18, y - 5, kArrowColour, "head", false, "key");
  const std::string factor = FormatDouble("%g", magnification);
  KeyText(Message{"deviation, arrows \xC3\x97 " + factor,
                  "偏差，箭头放大 " + factor + " 倍"},
          legend);
  y += kLineHeight;
  svg +=
      Arrow(x, y - 5, x + 18, y - 5, kCheckColour, "check-head", true, "key");
  KeyText(
      Message{"check residual (point left out)", "检核残差（该点不参与拟合）"},
      legend);
  y += kLineHeight;
  svg += "<circle cx=\"" + C(x + 8) + "\" cy=\"" + C(y - 5) +
         "\" r=\"4\" fill=\"" + kOutlierColour + "\" class=\"key outlier\"/>\n";
  KeyText(Message{"outlier (over 0.15 m off), clipped",
                  "粗差点（偏差超过 0.15 m），箭头截断"},
          legend);
  y += kLineHeight;
  if (marks.check_n > 0) {
    svg += Diamond(x + 8, y - 5, "key checkpoint");
    KeyText(Message{"check point (use 0), not fitted",
                    "检查点（use 0），不参与拟合"},
            legend);
    y += kLineHeight;
  }
  y += 8.0;
  KeyText(Message{"north arrow: the scene's north", "指北箭头：场景的北方向"},
          legend);
  y += kLineHeight + 8.0;
  if (exchanged_pairs > 0) {
    svg += "<line x1=\"" + C(x) + "\" y1=\"" + C(y - 5) + "\" x2=\"" +
           C(x + 18) + "\" y2=\"" + C(y - 5) + "\" stroke=\"" +
           kExchangedColour +
           "\" stroke-width=\"2.5\" stroke-dasharray=\"8 4\"/>\n";
    KeyText(Message{"targets look exchanged", "目标点疑似互换"}, legend);
    y += kLineHeight + 8.0;
  }
}

// The findings' messages, up to kMaxWarningsShown, and how many more the
// report has.
void AppendFindings(const std::vector<Finding>& findings, Legend* legend) {
  if (findings.empty()) {
    LegendLine(Message{"no findings", "无诊断发现"}, Font(), legend);
    return;
  }
  LegendLine(Message{"findings:", "诊断发现："}, kBold, legend);
  const size_t shown = std::min(findings.size(), kMaxWarningsShown);
  for (size_t i = 0; i < shown; ++i) {
    LegendWrapped(findings[i].message, "\xE2\x80\xA2 ", legend);
  }
  if (findings.size() > shown) {
    const std::string more = std::to_string(findings.size() - shown);
    LegendLine(Message{"and " + more + " more (see the report)",
                       "另有 " + more + " 条（见报告）"},
               Font(), legend);
  }
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

double PlotTextWidth(const std::string& text, double font_size, bool bold) {
  double ems = 0.0;
  for (size_t at = 0; at < text.size();) {
    ems += CharEm(NextCodePoint(text, &at));
  }
  return ems * font_size * kRenderingAllowance * (bold ? kBoldWidening : 1.0);
}

std::string ResidualPlotSvg(const ControlPoints& points,
                            const SimilarityFit& fit,
                            const Diagnosis& diagnosis, Language language) {
  const Marks marks = ChooseMarks(points, fit, diagnosis);
  const View view = FrameView(points);
  const ArrowScale scale = ChooseArrowScale(fit, marks, view);

  // The drawing first: the page's size waits for the legend's width and
  // for where the scale bars find room.
  std::string body;
  body.reserve(4096 + points.source.size() * (marks.labelled ? 400 : 80));
  PointLayers layers;
  for (size_t i = 0; i < points.source.size(); ++i) {
    DrawFittedPoint(points, fit, marks, view, scale, i, language, &layers);
  }
  DrawCheckPoints(points.check, diagnosis.check_points, marks, view, scale,
                  language, &layers);
  AppendPointLayers(layers, &body);
  const size_t exchanged_pairs =
      AppendExchangedPairs(points, diagnosis.findings, view, &body);
  AppendNorthArrow(SceneNorth(scale.similarity, scale.k), &body);

  Legend legend;
  legend.language = language;
  AppendVerdict(diagnosis.verdict, &legend);
  AppendFitFigures(points, fit, diagnosis, marks, &legend);
  AppendKey(marks, scale.magnification, exchanged_pairs, &legend);
  AppendFindings(diagnosis.findings, &legend);

  const std::vector<Bar> bars = ChooseScaleBars(view, scale, language);
  const Point2 bars_at = PlaceScaleBars(bars, layers, legend.y);
  AppendScaleBars(bars, bars_at, &body);
  const Box bars_box = ScaleBarsBox(bars, bars_at.x, bars_at.y);

  std::string svg;
  svg.reserve(body.size() + legend.svg.size() + 2048);
  AppendPageStart(
      PageWidth(std::max(legend.right, bars_box.right)),
      std::max({PageHeight(diagnosis.findings, marks.check_n, language),
                legend.y, std::ceil(bars_box.bottom + kFrameTop)}),
      PlotTitle().In(language), &svg);
  svg += body;
  svg += "<g id=\"legend\">\n" + legend.svg + "</g>\n</svg>\n";
  return svg;
}

int WriteResidualPlot(const std::string& path, const ControlPoints& points,
                      const SimilarityFit& fit, const Diagnosis& diagnosis,
                      Language language) {
  return WriteFileOrSay(path, ResidualPlotSvg(points, fit, diagnosis, language),
                        Message{"plot", "残差图"}, language)
             ? 0
             : -1;
}

}  // namespace geoanchor
