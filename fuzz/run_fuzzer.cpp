// The whole run from the flag values on, in-process: control-point
// preparation, the fit, the output, the fit report and the residual plot,
// writing into a temporary directory.
//
// Input: fields separated by '|':
//   basepoint|modelpoint|DWGsrcpoints|DWGdespoints|zoffset|scale|
//   projectheight|report|accuracy
// The numbers are read with strtod (so "nan", "inf" and hex work); an
// empty or missing number keeps the flag's default; a non-empty eighth
// field asks for a fit report and a residual plot. The seeds hold jobs
// with blunders and coarse points, so that the consensus the fit starts
// from and the loss scale the points' accuracy calls for are explored.
//
// Invariants: no crash and no sanitizer report; the status is 0 or -1;
// with 0 the result file is a JSON array of sixteen finite numbers whose
// text is exactly the printed matrix line, a requested report exists
// and is one JSON object and a requested plot one SVG document, neither
// with a non-finite number, and standard error holds only warnings; with
// -1 an earlier result file, report and plot are unchanged and standard
// error holds a line, exactly one when nothing was printed (an input
// mistake).
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/run.h"
#include "fuzz/fuzz_checks.h"

namespace geoanchor {
namespace {

// Where the sanitizers write their reports: while the run's standard error
// goes to a file, they keep writing to the real one. Absent (null) in
// builds without a sanitizer.
extern "C" void __sanitizer_set_report_fd(void* fd) __attribute__((weak));

// Every line of `text` ends in "\n" and starts with `prefix`; the count of
// lines, or -1 when one does not.
int CountLinesStartingWith(const std::string& text, const std::string& prefix) {
  int lines = 0;
  for (size_t start = 0; start < text.size(); ++lines) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos ||
        text.compare(start, prefix.size(), prefix) != 0) {
      return -1;
    }
    start = end + 1;
  }
  return lines;
}

char g_directory[] = "/tmp/geoanchor-run-fuzzer-XXXXXX";

void RemoveDirectory() {
  const std::string dir = g_directory;
  for (const char* name :
       {"DUZEradozediva.json", "report.json", "plot.svg", "stdout", "stderr"}) {
    unlink((dir + "/" + name).c_str());
  }
  rmdir(g_directory);
}

// The run's "executable directory", made once per process and removed at
// its end.
const std::string& Directory() {
  static const std::string dir = [] {
    Check(mkdtemp(g_directory) != nullptr);
    std::atexit(RemoveDirectory);
    return std::string(g_directory) + "/";
  }();
  return dir;
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

double Number(const std::string& text, double fallback) {
  if (text.empty()) return fallback;
  return std::strtod(text.c_str(), nullptr);
}

// `text` without what the user wrote into it: JSON strings (a finding
// quotes the text a reader passed over, "39nan1" say) or, for SVG, the
// text between tags. What is left holds the rendered numbers only.
std::string WithoutQuotedText(const std::string& text, bool svg) {
  std::string out;
  bool inside = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (svg) {
      if (c == '>') inside = true;
      if (c == '<') inside = false;
    } else if (c == '"') {
      inside = !inside;
      continue;
    } else if (inside && c == '\\') {
      ++i;  // an escaped character stays inside the string
      continue;
    }
    if (!inside || c == '>') out += c;
  }
  return out;
}

bool HoldsNonFinite(const std::string& text) {
  return text.find("nan") != std::string::npos ||
         text.find("inf") != std::string::npos;
}

// A JSON array of sixteen finite numbers, as the result file must be.
bool IsSixteenFiniteNumbers(const std::string& text) {
  if (text.size() < 2 || text.front() != '[' || text.back() != ']') {
    return false;
  }
  int count = 0;
  size_t i = 1;
  while (i < text.size() - 1) {
    const size_t comma = text.find(',', i);
    const size_t end = comma == std::string::npos ? text.size() - 1 : comma;
    const std::string number = text.substr(i, end - i);
    // JSON numbers: optional minus, digits, a point and digits; no "nan",
    // "inf", "+" or exponent ever appears in the matrix renderings.
    if (number.empty()) return false;
    size_t k = number[0] == '-' ? 1 : 0;
    size_t digits = 0, dots = 0;
    for (; k < number.size(); ++k) {
      if (number[k] >= '0' && number[k] <= '9') {
        ++digits;
      } else if (number[k] == '.') {
        ++dots;
      } else {
        return false;
      }
    }
    if (digits == 0 || dots != 1) return false;
    if (!std::isfinite(std::strtod(number.c_str(), nullptr))) return false;
    ++count;
    i = end + 1;
  }
  return count == 16;
}

// One input of the fuzzer.
int FuzzOne(const uint8_t* data, size_t size) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '|' && fields.size() < 9) {
      fields.emplace_back();
    } else {
      fields.back() += static_cast<char>(data[i]);
    }
  }
  fields.resize(9);

  const std::string& dir = Directory();
  const std::string result_path = dir + "DUZEradozediva.json";
  const std::string report_path = dir + "report.json";
  const std::string plot_path = dir + "plot.svg";
  const std::string stdout_path = dir + "stdout";
  const std::string stderr_path = dir + "stderr";
  Write(result_path, "[previous]");
  Write(report_path, "{previous}");
  Write(plot_path, "<previous/>");

  RunInputs inputs;
  inputs.executable_dir = dir;
  inputs.basepoint = fields[0];
  inputs.modelpoint = fields[1];
  inputs.DWGsrcpoints = fields[2];
  inputs.DWGdespoints = fields[3];
  inputs.zoffset_m = Number(fields[4], 0.0);
  inputs.scale = Number(fields[5], 0.0);
  inputs.projectheight_m = Number(fields[6], -1.0);
  inputs.accuracy_m = Number(fields[8], 0.0);
  if (!fields[7].empty()) {
    inputs.report_path = report_path;
    inputs.plot_path = plot_path;
  }

  // Standard output and error go to files for the run.
  std::fflush(stdout);
  std::fflush(stderr);
  const int saved_stdout = dup(1);
  const int saved_stderr = dup(2);
  const int capture_out =
      open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int capture_err =
      open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  Check(saved_stdout >= 0 && saved_stderr >= 0 && capture_out >= 0 &&
        capture_err >= 0);
  if (__sanitizer_set_report_fd != nullptr) {
    __sanitizer_set_report_fd(
        reinterpret_cast<void*>(static_cast<intptr_t>(saved_stderr)));
  }
  dup2(capture_out, 1);
  dup2(capture_err, 2);
  close(capture_out);
  close(capture_err);
  const int status = RunGeoAnchorSolve(inputs);
  std::cout.flush();
  std::fflush(stdout);
  std::fflush(stderr);
  dup2(saved_stdout, 1);
  dup2(saved_stderr, 2);
  close(saved_stdout);
  close(saved_stderr);
  if (__sanitizer_set_report_fd != nullptr) {
    __sanitizer_set_report_fd(reinterpret_cast<void*>(intptr_t{2}));
  }

  const std::string printed = Read(stdout_path);
  const std::string errors = Read(stderr_path);
  const std::string result = Read(result_path);
  Check(status == 0 || status == -1);
  if (status == 0) {
    Check(CountLinesStartingWith(errors, "GeoAnchorSolve: warning: ") >= 0);
    Check(IsSixteenFiniteNumbers(result));
    Check(printed.find("\n" + result + "\nA B K Angle :") != std::string::npos);
    if (!inputs.report_path.empty()) {
      const std::string report = Read(report_path);
      Check(report.size() > 2 && report.front() == '{' &&
            !HoldsNonFinite(WithoutQuotedText(report, false)));
      const std::string plot = Read(plot_path);
      Check(plot.rfind("<?xml", 0) == 0 && plot.size() > 7 &&
            plot.compare(plot.size() - 7, 7, "</svg>\n") == 0 &&
            !HoldsNonFinite(WithoutQuotedText(plot, true)));
    }
  } else {
    const int lines = CountLinesStartingWith(errors, "GeoAnchorSolve: ");
    Check(lines >= 1);
    Check(!printed.empty() || lines == 1);
    Check(result == "[previous]");
    Check(Read(report_path) == "{previous}");
    Check(Read(plot_path) == "<previous/>");
  }
  return 0;
}

}  // namespace
}  // namespace geoanchor

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return geoanchor::FuzzOne(data, size);
}
