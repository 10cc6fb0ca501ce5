#include "output/console.h"

#include <cstdio>
#include <iostream>
#include <string>

#include "common/fixed_text.h"
#include "common/tool_name.h"
#include "platform/platform.h"

namespace geoanchor {

namespace {

// `label`, then x and y with `decimals` decimals, a comma between them.
void AppendPair(std::string* lines, const char* label, double x, double y,
                int decimals) {
  *lines += label;
  AppendFixed(lines, x, decimals);
  *lines += ',';
  AppendFixed(lines, y, decimals);
}

}  // namespace

void PrintControlPointLines(const ControlPoints& points) {
  std::string lines;
  for (size_t i = 0; i < points.source.size(); ++i) {
    AppendPair(&lines, "src:", points.source[i].x, points.source[i].y, 6);
    AppendPair(&lines, " des_enu:", points.target[i].x, points.target[i].y, 6);
    AppendPair(&lines, " des_lon:", points.geodetic[i].x, points.geodetic[i].y,
               14);
    lines += '\n';
    if (lines.size() >= kStdoutChunkBytes) FlushToStdout(&lines);
  }
  FlushToStdout(&lines);
}

void PrintFitCheck(const SimilarityFit& fit) {
  std::cout << fit.solver.brief_report << "\n";
  std::string lines;
  for (const Point2& d : fit.deviations) {
    lines += "fitcheck---deltax:";
    AppendFixed(&lines, d.x, 6);
    lines += ",deltay:";
    AppendFixed(&lines, d.y, 6);
    lines += '\n';
    if (lines.size() >= kStdoutChunkBytes) FlushToStdout(&lines);
  }
  FlushToStdout(&lines);
}

void PrintFindings(const Diagnosis& diagnosis, Language language) {
  const Message warning{"warning: ", "警告："};
  // One write for all the lines: a job with thousands of blunders names
  // each of them.
  std::string lines;
  for (const Finding& f : diagnosis.findings) {
    if (f.report_only) continue;
    lines += kMessagePrefix;
    lines += warning.In(language);
    lines += f.message.In(language);
    lines += " (";
    lines += FindingCodeName(f.code);
    lines += ")\n";
  }
  if (lines.empty()) return;
  std::fflush(stdout);  // keep the order on a shared terminal
  // The messages are UTF-8 (a point's name from a table may be Chinese).
  WriteMessage(ProcessTextFromUtf8(lines));
}

}  // namespace geoanchor
