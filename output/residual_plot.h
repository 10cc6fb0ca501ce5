// The residual plot: one self-contained SVG (UTF-8, no script, no external
// reference, no embedded font: it names the usual systems' Chinese
// sans-serifs, then the generic one) of the control points in the
// drawing's plane with their deviations as magnified arrows, for a person
// judging a registration at a glance. Its words are in the run's language,
// English or Chinese; figures and names read the same in both.
//
// The plot frame shows the drawing plane with x to the right and y up, at
// one scale on both axes, over the points' extent plus a margin. Per point:
//  - a marker, labelled with its name from a control-point table, else its
//    input position counting from 1 (up to kMaxLabelledPoints points, check
//    points included; beyond that markers only, drawn compactly);
//  - its deviation (target minus transformed source, scene metres) turned
//    back into drawing directions by the fitted angle (and the sign of K)
//    and into drawing units by |K|, drawn as an arrow from the marker, every
//    arrow magnified by one factor, chosen so that the largest arrow of a
//    point that is not an outlier is about a tenth of the frame's width;
//  - its check residual, the same way, as a dashed arrow in another colour;
//  - outliers (weight below kOutlierWeight) in red (kOutlierColour, used for
//    nothing else), their arrows clipped to the frame and their deviation
//    written beside them.
// Check points (a table's rows with use 0) are hollow teal diamonds with
// their deviation under the fitted matrix as a teal arrow, and a legend
// entry of their own.
// Besides: a scale bar in drawing units, one for the arrows in metres (at
// the frame's bottom left, else at another corner of it or under the
// legend, wherever they cover no marker, point text or arrow), a north
// arrow showing where the scene's north lies on the drawing, and a legend
// with the mode, free or fixed scale, K (and in ppm), the angle in
// degrees, RMS, sigma0, the counts of points and outliers, the arrows'
// magnification ("arrows × 2000"), and first of all the diagnosis's verdict
// (green, orange or dark red) and then its findings' messages. Two points
// whose targets look exchanged are joined by a dashed orange line. Every
// text of the legend ends inside the page (by PlotTextWidth): findings are
// wrapped at blanks and between CJK characters, and a text still too wide
// goes on over further lines.
#ifndef GEOANCHOR_OUTPUT_RESIDUAL_PLOT_H_
#define GEOANCHOR_OUTPUT_RESIDUAL_PLOT_H_

#include <string>
#include <vector>

#include "common/types.h"
#include "diagnosis/diagnosis.h"

namespace geoanchor {

// Red: the outliers' markers, arrows and texts, and nothing else.
inline constexpr const char kOutlierColour[] = "#d62728";

// Beyond this many points, markers carry no labels and points are drawn as
// three compact paths, so the file stays small (about 40 bytes a point).
inline constexpr size_t kMaxLabelledPoints = 300;

// The arrows' magnification: the largest deviation of a point that is not
// an outlier, in drawing units, drawn at about `target_length` drawing
// units, with the factor rounded to the nearest 1, 2 or 5 times a power of
// ten (on a logarithmic scale); 1 when there is no such deviation (one
// point, or a perfect fit).
double ArrowMagnification(double largest_deviation, double target_length);

// An upper bound of the width of `text` (UTF-8) in the plot's sans-serif at
// `font_size` page units, bold or not, in page units: per character the
// advance of DejaVu Sans (the widest usual sans-serif) for ASCII, an em for
// any other character (CJK and full-width ones are an em square), and 5 %
// for a browser's rounding. Every text of the legend ends inside the page
// by this measure.
double PlotTextWidth(const std::string& text, double font_size, bool bold);

// The plot's SVG text, its words in `language`.
std::string ResidualPlotSvg(const ControlPoints& points,
                            const SimilarityFit& fit,
                            const Diagnosis& diagnosis, Language language);

// Writes the plot to `path`, replacing any file there atomically. Returns
// 0, or -1 after one line on standard error naming the path and the
// system's reason.
int WriteResidualPlot(const std::string& path, const ControlPoints& points,
                      const SimilarityFit& fit, const Diagnosis& diagnosis,
                      Language language);

}  // namespace geoanchor

#endif  // GEOANCHOR_OUTPUT_RESIDUAL_PLOT_H_
