// Runs the real GeoAnchorSolve executable, copied into a fresh temporary
// directory so that its result file lands there.
#ifndef GEOANCHOR_TESTS_APP_CLI_RUNNER_H_
#define GEOANCHOR_TESTS_APP_CLI_RUNNER_H_

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "output/transform_output.h"
#include "tests/common/converted_text.h"

namespace geoanchor {

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

// The names in the directory `dir`, without "." and "..".
inline std::set<std::string> Entries(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* e = readdir(d)) names.insert(e->d_name);
    closedir(d);
  }
  names.erase(".");
  names.erase("..");
  return names;
}

// How the executable under test is run. GEOANCHOR_UNDER_WINE: it is the
// Windows GeoAnchorSolve.exe, started through Wine; then the program sees
// its path as a Windows path (Z:\...), writes CR LF line ends to standard
// output and error, and prints its help texts in GBK.
// GEOANCHOR_UNDER_QEMU (the emulator's path): it is a Linux executable for
// another processor, started through qemu's user-mode emulator; the program
// sees what a native one sees.
#ifdef GEOANCHOR_UNDER_WINE
inline constexpr bool kUnderWine = true;
inline constexpr char kExeName[] = "GeoAnchorSolve.exe";
#else
inline constexpr bool kUnderWine = false;
inline constexpr char kExeName[] = "GeoAnchorSolve";
#endif

// The path Windows programs under Wine see for a POSIX path: drive Z: is
// the POSIX root.
inline std::string WindowsPath(const std::string& posix_path) {
  std::string path = "Z:" + posix_path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// A POSIX file path as the program under test names it in its messages.
inline std::string PathAsSeen(const std::string& posix_path) {
  return kUnderWine ? WindowsPath(posix_path) : posix_path;
}

// UTF-8 text converted to the encoding `to` (an iconv name), or a note
// saying that it cannot be.
inline std::string Iconv(const std::string& utf8, const char* to) {
  return ConvertedText(utf8, "UTF-8", to);
}

// UTF-8 text as the program's help prints it: GBK under Wine, else as is.
inline std::string HelpEncoding(const std::string& utf8) {
  return kUnderWine ? Iconv(utf8, "GBK") : utf8;
}

// A Windows console program's text-mode stream ends every line in CR LF.
// Checks that `text` has no other CR and no bare LF, and turns its line
// ends into LF, so the rest of a test compares it with the POSIX text.
inline std::string FromCrLf(const std::string& text, const char* stream) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    EXPECT_NE('\r', text[i]) << stream << ": a CR not before an LF at " << i;
    if (text[i] == '\n') {
      EXPECT_TRUE(i > 0 && text[i - 1] == '\r')
          << stream << ": an LF without a CR at " << i;
    }
    out += text[i];
  }
  return out;
}

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

// Starts `program` with the argument vector `argv` (argv[0] included) in
// the working directory `cwd`, standard output and error going to files in
// `scratch_dir`, and returns at once with its process id (-1 when it cannot
// be started); FinishCommand waits for it.
inline pid_t StartCommand(const std::string& program,
                          const std::vector<std::string>& argv,
                          const std::string& cwd,
                          const std::string& scratch_dir) {
  const std::string out_path = scratch_dir + "/.stdout";
  const std::string err_path = scratch_dir + "/.stderr";
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> args;
    for (const std::string& a : argv)
      args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || chdir(cwd.c_str()) != 0) _exit(99);
    dup2(out, 1);
    dup2(err, 2);
    // The program speaks the system's language: the tests expect English
    // unless they ask for another, through "env" before the program or
    // --lang, whatever locale runs the tests. UTF-8 still, in which Wine
    // hands the arguments to a Windows program.
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"}) {
      unsetenv(variable);
    }
    setenv("LANG", "C.UTF-8", 1);
#ifdef GEOANCHOR_WINE_PREFIX
    // The tests' own Wine prefix, prepared before them; no Wine chatter.
    setenv("WINEPREFIX", GEOANCHOR_WINE_PREFIX, 1);
    setenv("WINEDEBUG", "-all", 1);
#endif
    execvp(program.c_str(), args.data());
    _exit(98);
  }
  return pid;
}

// Waits for the command StartCommand started as `pid` with `scratch_dir`.
// Returns the exit status (-1 for a signal or a command never started) and
// both streams exactly as written.
inline Result FinishCommand(pid_t pid, const std::string& scratch_dir) {
  const std::string out_path = scratch_dir + "/.stdout";
  const std::string err_path = scratch_dir + "/.stderr";
  Result r;
  int wstatus = 0;
  if (pid < 0 || waitpid(pid, &wstatus, 0) != pid) return r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  r.out = ReadFile(out_path);
  r.err = ReadFile(err_path);
  unlink(out_path.c_str());
  unlink(err_path.c_str());
  return r;
}

// Runs a command as StartCommand starts it and waits for it.
inline Result RunCommand(const std::string& program,
                         const std::vector<std::string>& argv,
                         const std::string& cwd,
                         const std::string& scratch_dir) {
  return FinishCommand(StartCommand(program, argv, cwd, scratch_dir),
                       scratch_dir);
}

// Runs `argv` through Wine (argv[0] is "wine", or "env" with variables
// before "wine") as RunCommand does. Now and
// then, seen only on a Wine prefix made moments before, Wine ends a start
// with status 1 and no output at all before the program runs. The tool never
// does that (its status 1 comes only from the flag library's help, version
// and unknown-flag paths, which all print), so such a start is repeated, at
// most twice, with a note on this test's standard error.
inline Result RunUnderWine(const std::vector<std::string>& argv,
                           const std::string& cwd,
                           const std::string& scratch_dir) {
  Result r = RunCommand(argv[0], argv, cwd, scratch_dir);
  for (int retry = 0;
       retry < 2 && r.status == 1 && r.out.empty() && r.err.empty(); ++retry) {
    std::fprintf(stderr,
                 "note: Wine ended a start with status 1 and no "
                 "output; starting it again\n");
    r = RunCommand(argv[0], argv, cwd, scratch_dir);
  }
  return r;
}

// What is started to run the executable under test: the program and its
// argument vector.
struct Launch {
  std::string program;
  std::vector<std::string> command;
};

// How `exe`, the executable under test, is started with `args` as its user
// would: directly, through Wine or through qemu. The program sees `argv0` as
// its path (default: `exe`, under Wine its Windows path).
inline Launch LaunchUnderTest(const std::string& exe, const std::string& argv0,
                              const std::vector<std::string>& args) {
  std::vector<std::string> command;
  std::string program = exe;
#if defined(GEOANCHOR_UNDER_QEMU)
  program = GEOANCHOR_UNDER_QEMU;
  command = {program, "-0", argv0.empty() ? exe : argv0, exe};
#else
  if (!kUnderWine) {
    command.push_back(argv0.empty() ? exe : argv0);
  } else if (argv0.empty()) {
    command = {"wine", exe};  // as a user starts it
  } else {
#ifdef GEOANCHOR_WINDOWS_LAUNCH
    command = {"wine", GEOANCHOR_WINDOWS_LAUNCH, WindowsPath(exe), argv0};
#endif
  }
#endif
  command.insert(command.end(), args.begin(), args.end());
  if (kUnderWine) program = command[0];
  return Launch{program, command};
}

// A finished run of the executable under test as the tests compare it:
// under Wine both streams are checked for CR LF line ends and handed back
// with LF.
inline Result WithLineFeeds(Result r) {
  if (kUnderWine) {
    r.out = FromCrLf(r.out, "standard output");
    r.err = FromCrLf(r.err, "standard error");
  }
  return r;
}

// Runs `exe`, the executable under test, as LaunchUnderTest starts it with
// `argv0` and `args`, and waits for it (WithLineFeeds).
inline Result RunUnderTest(const std::string& exe, const std::string& argv0,
                           const std::vector<std::string>& args,
                           const std::string& cwd,
                           const std::string& scratch_dir) {
  const Launch launch = LaunchUnderTest(exe, argv0, args);
  return WithLineFeeds(
      kUnderWine
          ? RunUnderWine(launch.command, cwd, scratch_dir)
          : RunCommand(launch.program, launch.command, cwd, scratch_dir));
}

// Runs `exe` once for each of `runs` (its arguments), all at the same time:
// every run is started before the first is waited for, run i with its
// streams in `scratch_dirs[i]`. Under Wine a start that Wine ended without
// a word (see RunUnderWine) is repeated on its own.
inline std::vector<Result> RunUnderTestAtOnce(
    const std::string& exe, const std::vector<std::vector<std::string>>& runs,
    const std::string& cwd, const std::vector<std::string>& scratch_dirs) {
  std::vector<pid_t> started;
  for (size_t i = 0; i < runs.size(); ++i) {
    const Launch launch = LaunchUnderTest(exe, "", runs[i]);
    started.push_back(
        StartCommand(launch.program, launch.command, cwd, scratch_dirs[i]));
  }
  std::vector<Result> results;
  for (size_t i = 0; i < runs.size(); ++i) {
    Result r = FinishCommand(started[i], scratch_dirs[i]);
    if (kUnderWine && r.status == 1 && r.out.empty() && r.err.empty()) {
      r = RunUnderWine(LaunchUnderTest(exe, "", runs[i]).command, cwd,
                       scratch_dirs[i]);
    }
    results.push_back(WithLineFeeds(r));
  }
  return results;
}

// A fresh temporary directory; "" on failure.
inline std::string MakeTempDir() {
  char pattern[] = "/tmp/geoanchor-cli-XXXXXX";
  return mkdtemp(pattern) != nullptr ? std::string(pattern) : std::string();
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = MakeTempDir();
    ASSERT_FALSE(dir_.empty());
    exe_ = dir_ + "/" + kExeName;
    ASSERT_EQ(0,
              std::system(("cp '" GEOANCHOR_EXE "' '" + exe_ + "'").c_str()));
    result_path_ = dir_ + "/" + kResultFileName;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  // Runs the copied executable with `args`; argv[0] is `argv0` (default:
  // its absolute path, under Wine the Windows one) and the working
  // directory `cwd` (default: /).
  Result Run(const std::vector<std::string>& args, std::string argv0 = "",
             std::string cwd = "/") {
    return RunUnderTest(exe_, argv0, args, cwd, dir_);
  }

  std::string dir_;
  std::string exe_;
  std::string result_path_;
};

}  // namespace geoanchor

#endif  // GEOANCHOR_TESTS_APP_CLI_RUNNER_H_
