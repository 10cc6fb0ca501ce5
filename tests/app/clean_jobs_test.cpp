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
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/cli_runner.h"

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

}  // namespace
