// The console lines of a run, before the matrix: one line per control
// point, the solver's brief report and one deviation line per point; and
// on standard error the findings of the diagnosis.
// Rendered without printf (see common/fixed_text.h), byte for byte what these
// formats print.
#ifndef GEOANCHOR_OUTPUT_CONSOLE_H_
#define GEOANCHOR_OUTPUT_CONSOLE_H_

#include "common/language.h"
#include "common/types.h"
#include "diagnosis/diagnosis.h"

namespace geoanchor {

// Per point: "src:%f,%f des_enu:%f,%f des_lon:%.14f,%.14f\n" with the
// drawing x, y, the target east, north and the target's longitude and
// latitude as read.
void PrintControlPointLines(const ControlPoints& points);

// The solver's brief report through std::cout followed by "\n", then per
// point "fitcheck---deltax:%f,deltay:%f\n" with its deviation.
void PrintFitCheck(const SimilarityFit& fit);

// Per finding but the report-only ones, in the diagnosis's order (those
// that make the verdict bad first), on standard error:
// "GeoAnchorSolve: warning: <message> (<code>)\n", or in Chinese
// "GeoAnchorSolve: 警告：<message> (<code>)\n": the code closes the line in
// both. Nothing for a good verdict.
void PrintFindings(const Diagnosis& diagnosis, Language language);

}  // namespace geoanchor

#endif  // GEOANCHOR_OUTPUT_CONSOLE_H_
