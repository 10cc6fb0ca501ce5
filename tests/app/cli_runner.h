// Runs the real GeoAnchorSolve executable, copied into a fresh temporary
// directory so that its result file lands there.
#ifndef GEOANCHOR_TESTS_APP_CLI_RUNNER_H_
#define GEOANCHOR_TESTS_APP_CLI_RUNNER_H_

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "output/transform_output.h"

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/geoanchor-cli-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
    exe_ = dir_ + "/GeoAnchorSolve";
    ASSERT_EQ(0,
              std::system(("cp '" GEOANCHOR_EXE "' '" + exe_ + "'").c_str()));
    result_path_ = dir_ + "/" + kResultFileName;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  // Runs the copied executable with `args`; argv[0] is `argv0` (default:
  // its absolute path) and the working directory `cwd` (default: /).
  Result Run(const std::vector<std::string>& args, std::string argv0 = "",
             std::string cwd = "/") {
    if (argv0.empty()) argv0 = exe_;
    const std::string out_path = dir_ + "/.stdout";
    const std::string err_path = dir_ + "/.stderr";
    const pid_t pid = fork();
    if (pid == 0) {
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(argv0.c_str()));
      for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      const int out =
          open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err =
          open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || err < 0 || chdir(cwd.c_str()) != 0) _exit(99);
      dup2(out, 1);
      dup2(err, 2);
      execv(exe_.c_str(), argv.data());
      _exit(98);
    }
    Result r;
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    r.out = ReadFile(out_path);
    r.err = ReadFile(err_path);
    unlink(out_path.c_str());
    unlink(err_path.c_str());
    return r;
  }

  std::string dir_;
  std::string exe_;
  std::string result_path_;
};

#endif  // GEOANCHOR_TESTS_APP_CLI_RUNNER_H_
