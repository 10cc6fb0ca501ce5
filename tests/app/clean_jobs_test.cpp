// Jobs whose solution callers already rely on keep it: each job of
// tests/data/clean-jobs.txt (written by tests/data/make-clean-jobs with the
// tool before its fit looked for the points' consensus) placed by the
// executable's result file within a micrometre of where the recorded one
// places it, at every drawing point.
#include <gtest/gtest.h>

#include <GeographicLib/LocalCartesian.hpp>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/cli_runner.h"

namespace geoanchor {

namespace {

std::vector<double> Numbers(const std::string& text) {
  std::vector<double> v;
  const char* p = text.c_str();
  while (*p != '\0') {
    char* end = nullptr;
    const double x = std::strtod(p, &end);
    if (end == p) {
      ++p;
      continue;
    }
    v.push_back(x);
    p = end;
  }
  return v;
}

struct Job {
  std::vector<std::string> flags;
  std::string matrix;  // the recorded result file; in band-jobs.txt the
                       // positions of the mistyped points
};

// The numbers after a flag's "=", or none when the job lacks the flag.
std::vector<double> FlagNumbers(const Job& job, const std::string& name) {
  for (const std::string& flag : job.flags) {
    if (flag.rfind(name, 0) == 0) return Numbers(flag.substr(name.size()));
  }
  return {};
}

std::vector<Job> ReadJobs(const std::string& path) {
  std::vector<Job> jobs;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    Job job;
    std::istringstream fields(line);
    std::string field;
    bool matrix = false;
    while (std::getline(fields, field, '\t')) {
      if (field == "=>") {
        matrix = true;
      } else if (matrix) {
        job.matrix = field;
      } else {
        job.flags.push_back(field);
      }
    }
    jobs.push_back(job);
  }
  return jobs;
}

TEST_F(CliTest, CleanJobsKeepTheirSolution) {
  const std::vector<Job> jobs =
      ReadJobs(GEOANCHOR_TEST_DATA_DIR "/clean-jobs.txt");
  ASSERT_EQ(47u, jobs.size());
  for (const Job& job : jobs) {
    std::vector<double> drawing;
    bool pairs = false;
    for (const std::string& flag : job.flags) {
      pairs = pairs || flag.rfind("--projectheight=", 0) == 0;
      if (flag.rfind("--DWGsrcpoints=", 0) == 0)
        drawing = Numbers(flag.substr(15));
    }
    std::remove(result_path_.c_str());
    const Result r = Run(job.flags);
    ASSERT_EQ(0, r.status) << job.flags[1];
    const std::vector<double> now = Numbers(ReadFile(result_path_));
    const std::vector<double> then = Numbers(job.matrix);
    ASSERT_EQ(16u, now.size());
    ASSERT_EQ(16u, then.size());
    // The matrix is column-major: east = m0 x + m4 y + m12.
    const size_t stride = pairs ? 2 : 3;
    double worst_m = 0.0;
    for (size_t i = 0; i + 1 < drawing.size(); i += stride) {
      const double x = drawing[i], y = drawing[i + 1];
      const double de = (now[0] - then[0]) * x + (now[4] - then[4]) * y +
                        (now[12] - then[12]);
      const double dn = (now[1] - then[1]) * x + (now[5] - then[5]) * y +
                        (now[13] - then[13]);
      worst_m = std::max(worst_m, std::sqrt(de * de + dn * dn));
    }
    EXPECT_LE(worst_m, 1e-6) << job.flags[1];
  }
}

// Jobs whose K cos(angle) lies within 1e-6 of one (tests/data/band-jobs.txt,
// written by tests/data/make-band-jobs with PROJ): the result file, read
// back and applied to each good drawing point, lands where GeographicLib
// puts its target in the scene. A "1.0" in its place moves a zone-numbered
// drawing by tens of metres, one without the zone number by metres.
TEST_F(CliTest, ResultFilePlacesTheDrawingWhereTheFitDoes) {
  const std::vector<Job> jobs =
      ReadJobs(GEOANCHOR_TEST_DATA_DIR "/band-jobs.txt");
  ASSERT_EQ(24u, jobs.size());
  for (const Job& job : jobs) {
    const std::vector<double> base = FlagNumbers(job, "--basepoint=");
    const std::vector<double> height = FlagNumbers(job, "--projectheight=");
    const std::vector<double> src = FlagNumbers(job, "--DWGsrcpoints=");
    const std::vector<double> des = FlagNumbers(job, "--DWGdespoints=");
    const std::vector<double> bad = Numbers(job.matrix);
    const size_t stride = height.empty() ? 3 : 2;
    ASSERT_EQ(2u, base.size());
    const GeographicLib::LocalCartesian scene(base[1], base[0], 0.0);
    std::remove(result_path_.c_str());
    const Result r = Run(job.flags);
    ASSERT_EQ(0, r.status) << job.flags[1] << r.err;
    const std::vector<double> m = Numbers(ReadFile(result_path_));
    ASSERT_EQ(16u, m.size());
    double worst_m = 0.0;
    for (size_t i = 0; i + 1 < src.size(); i += stride) {
      const double position = static_cast<double>(i / stride + 1);
      if (std::find(bad.begin(), bad.end(), position) != bad.end()) continue;
      const double h_m = height.empty() ? des[i + 2] : height[0];
      double east_m, north_m, up_m;
      scene.Forward(des[i + 1], des[i], h_m, east_m, north_m, up_m);
      const double x = src[i], y = src[i + 1];
      worst_m =
          std::max(worst_m, std::hypot(m[0] * x + m[4] * y + m[12] - east_m,
                                       m[1] * x + m[5] * y + m[13] - north_m));
    }
    // 3 mm of noise a coordinate.
    EXPECT_LE(worst_m, 0.02) << job.flags[0] << " " << job.flags[1];
  }
}

// Each finding but those the report alone judges is one line on standard
// error, in the diagnosis's order (those that make the verdict bad first,
// then by their first point), the same with and without --report, which
// changes nothing else; a clean job leaves standard error empty.
TEST_F(CliTest, EachFindingIsOneLineOnStandardError) {
  const std::vector<Job> recorded =
      ReadJobs(GEOANCHOR_TEST_DATA_DIR "/clean-jobs.txt");
  ASSERT_EQ(47u, recorded.size());
  // The recorded job on line k, each `first` written as `second` in turn.
  using Edits = std::vector<std::pair<std::string, std::string>>;
  auto line = [&](size_t k, const Edits& edits = {}) {
    std::vector<std::string> flags = recorded[k - 1].flags;
    for (const auto& e : edits) {
      for (std::string& f : flags) {
        const size_t at = f.find(e.first);
        if (at != std::string::npos) f.replace(at, e.first.size(), e.second);
      }
    }
    return flags;
  };
  auto warning = [](const std::string& message, const char* code) {
    return "GeoAnchorSolve: warning: " + message + " (" + code + ")\n";
  };
  // Line 46 is the example, line 47 the example with point 3's target 1 m
  // east.
  const std::string p5 = "117.1911594243,39.1014978852,3.94";
  const std::string p6 = "117.2038138992,39.0975688009,12.48";
  struct Row {
    const char* what;
    std::vector<std::string> args;
    std::string err;
    size_t report_only;  // findings in the report but not on standard error
  };
  const Row rows[] = {
      {"the example", line(46), "", 0},
      {"3 points, pair mode", line(1), "", 0},
      {"10 points, fixed scale", line(10), "", 0},
      {"a model base point", line(28), "", 0},
      {"a drawing turned by 180 degrees", line(40), "", 0},
      {"millimetres with z in millimetres", line(37), "", 5},
      // 0.5 m added to one easting: the drawing's grid names the slip.
      {"an outlier in a Gauss-Krueger drawing", line(42),
       warning("point 4's easting 40640385.900 should be 40640385.39 by "
               "CGCS2000 3-degree Gauss-Kruger zone 40 (EPSG:4528), and its "
               "northing agrees: check the easting",
               "coordinate_slip"),
       0},
      {"an easting without its zone number",
       line(3, {{"40639498.9495", "639498.9495"}}),
       warning("point 2's easting 639498.949 lacks the zone number 40: write "
               "40639498.950",
               "zone_number"),
       0},
      {"2 points",
       line(1, {{" 39517239.3019,4329562.8873", ""},
                {" 117.1992866123,39.0994446414", ""}}),
       warning("2 points fix the transform exactly and nothing checks them: "
               "add control points",
               "no_redundancy"),
       0},
      {"the base point 61 km away", line(46, {{"117.2,39.1", "117.9,39.1"}}),
       warning("6 points lie up to 61.316 km from the base point, beyond 50 "
               "km: check the base point, and that these targets belong to "
               "this scene",
               "far_from_base"),
       0},
      {"text not read, an outlier and two targets exchanged",
       line(47,
            {{p5, "@"}, {p6, p5}, {"@", p6}, {"960.605,0", "960.605,0；9,9"}}),
       warning("DWGsrcpoints: reading stopped at '；' (character 162, a "
               "full-width semicolon) after 6 points, so '；9,9' was not "
               "read: separate numbers with blanks or one ASCII comma ','",
               "ignored_input") +
           warning("point 3 deviates by 1.044 m and is an outlier: check its "
                   "drawing coordinates and its WGS84 position",
                   "outlier") +
           warning("the targets of points 5 and 6 fit each other's drawing "
                   "points (both deviate by 1178.383 m and 1178.381 m as "
                   "given): exchange the targets of points 5 and 6",
                   "exchanged_pairs"),
       0},
  };
  const std::string report = dir_ + "/report.json";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const Result bare = Run(row.args);
    const std::string matrix = ReadFile(result_path_);
    std::vector<std::string> args = row.args;
    args.push_back("--report=" + report);
    const Result with = Run(args);
    ASSERT_EQ(0, bare.status) << bare.err;
    ASSERT_EQ(0, with.status) << with.err;
    EXPECT_EQ(row.err, bare.err);
    EXPECT_EQ(bare.err, with.err);
    EXPECT_EQ(bare.out, with.out);
    EXPECT_EQ(matrix, ReadFile(result_path_));
    const size_t lines = std::count(row.err.begin(), row.err.end(), '\n');
    EXPECT_EQ(lines + row.report_only,
              nlohmann::json::parse(ReadFile(report))["findings"].size());
  }
}

}  // namespace

}  // namespace geoanchor
