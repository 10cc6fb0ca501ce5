// Jobs whose solution callers already rely on keep it: each job of
// tests/data/clean-jobs.txt (written by tests/data/make-clean-jobs with the
// tool before its fit looked for the points' consensus) placed by the
// executable's result file within a micrometre of where the recorded one
// places it, at every drawing point.
#include <gtest/gtest.h>

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
  std::string matrix;  // the recorded result file
};

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

}  // namespace
