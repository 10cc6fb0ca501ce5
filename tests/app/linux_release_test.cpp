// What only the Linux release executables have to show: each is fully
// static (no program interpreter, no shared library) and built for the
// processor its tarball names, and the x86-64 one runs in a root that holds
// nothing but itself and its flag file, with standard output, standard
// error, exit status and files byte for byte those of the normal build.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "tests/app/cli_runner.h"

namespace geoanchor {

namespace {

// Standard output of a shell command, and its status.
struct Captured {
  int status = -1;
  std::string out;
};

Captured Capture(const std::string& command) {
  Captured c;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return c;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    c.out.append(buffer, n);
  }
  c.status = pclose(pipe);
  return c;
}

TEST(LinuxRelease, ExecutablesAreStaticAndForTheirProcessor) {
  // The normal build is the control: a dynamic executable, which the same
  // reading must tell apart.
  // ARM64 kernels run with 4, 16 or 64 KiB pages (64 KiB is common on
  // Kunpeng servers), and a segment must start on a page boundary: the
  // ARM64 executable's segments are aligned to 64 KiB.
  struct Case {
    const char* path;
    const char* machine;  // readelf's name for the ELF machine
    bool fully_static;
    unsigned long load_alignment;  // bytes, the least every LOAD must have
  };
  const Case cases[] = {
      {GEOANCHOR_EXE, "Advanced Micro Devices X86-64", true, 0x1000},
      {GEOANCHOR_AARCH64_EXE, "AArch64", true, 0x10000},
      {GEOANCHOR_LINUX_EXE, "Advanced Micro Devices X86-64", false, 0x1000},
  };
  for (const Case& c : cases) {
    const Captured dump =
        Capture(std::string("readelf -W -h -l -d '") + c.path + "' 2>&1");
    ASSERT_EQ(0, dump.status) << c.path << "\n" << dump.out;
    ASSERT_NE(std::string::npos, dump.out.find("Program Headers:"))
        << c.path << "\n"
        << dump.out;
    EXPECT_TRUE(std::regex_search(
        dump.out, std::regex(std::string("Machine: +") + c.machine + "\n")))
        << c.path;
    const bool interpreter =
        std::regex_search(dump.out, std::regex("\n +INTERP "));
    const bool needed = dump.out.find("(NEEDED)") != std::string::npos;
    EXPECT_EQ(!c.fully_static, interpreter) << c.path;
    EXPECT_EQ(!c.fully_static, needed) << c.path;
    // "LOAD offset vaddr paddr filesz memsz flags align", one line each.
    const std::regex load("\n +LOAD .* (0x[0-9a-f]+)\n");
    int loads = 0;
    for (std::sregex_iterator it(dump.out.begin(), dump.out.end(), load), end;
         it != end; ++it, ++loads) {
      EXPECT_GE(std::stoul((*it)[1], nullptr, 16), c.load_alignment)
          << c.path << ": " << it->str();
    }
    EXPECT_GT(loads, 0) << c.path;
  }
}

// A run of the release executable in an empty root (chroot: needs root)
// and of the normal build in an ordinary folder, each with its own copy of
// the bundled example's flag file beside it.
class EmptyRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "chroot needs root";
    root_ = MakeTempDir();
    reference_ = MakeTempDir();
    scratch_ = MakeTempDir();
    ASSERT_FALSE(root_.empty() || reference_.empty() || scratch_.empty());
    ASSERT_EQ(0, Copy(GEOANCHOR_EXE, root_ + "/GeoAnchorSolve"));
    ASSERT_EQ(0, Copy(kFlags, root_ + "/site.flags"));
    ASSERT_EQ(0, Copy(GEOANCHOR_LINUX_EXE, reference_ + "/GeoAnchorSolve"));
    ASSERT_EQ(0, Copy(kFlags, reference_ + "/site.flags"));
  }
  void TearDown() override {
    for (const std::string& d : {root_, reference_, scratch_}) {
      if (!d.empty()) std::system(("rm -rf '" + d + "'").c_str());
    }
  }

  static int Copy(const std::string& from, const std::string& to) {
    return std::system(("cp '" + from + "' '" + to + "'").c_str());
  }

  // Everything a run leaves in its folder besides the two copied files.
  struct Files {
    std::string matrix, report, plot;
  };
  static Files Collect(const std::string& dir) {
    Files f;
    for (auto [name, text] :
         {std::pair<const char*, std::string*>(kResultFileName, &f.matrix),
          {"report.json", &f.report},
          {"plot.svg", &f.plot}}) {
      const std::string path = dir + "/" + name;
      *text = Exists(path) ? ReadFile(path) : "(none)";
      std::remove(path.c_str());
    }
    return f;
  }

  static constexpr char kFlags[] = GEOANCHOR_EXAMPLES_DIR "/tianjin.flags";
  std::string root_, reference_, scratch_;
};

TEST_F(EmptyRoot, ReleaseExecutableRunsAndMatchesTheNormalBuild) {
  // FLAGFILE stands for the flag file beside the executable. Relative
  // --report and --plot paths land in the working directory: the root
  // inside the chroot, the folder of the normal build outside.
  const std::vector<std::vector<std::string>> runs = {
      {"--flagfile=FLAGFILE"},
      {"--flagfile=FLAGFILE", "--report=report.json", "--plot=plot.svg"},
      {"--flagfile=FLAGFILE", "--scale=0.99987", "--modelpoint=117.201,39.101",
       "--zoffset=2.5"},
      {"--flagfile=FLAGFILE", "--projectheight=0", "--zoffset=1e300"},
      {"--flagfile=FLAGFILE", "--zoffset=nan"},  // no finite matrix: -1
      {"--basepoint=117.2,39.1", "--DWGsrcpoints=1,2",
       "--DWGdespoints=117.2,39.1,117.3,39.2"},  // lengths differ: -1
      {"--version"},
  };
  for (const std::vector<std::string>& run : runs) {
    std::vector<std::string> in_root = {"chroot", root_, "/GeoAnchorSolve"};
    std::vector<std::string> normal = {reference_ + "/GeoAnchorSolve"};
    std::string what;
    for (const std::string& arg : run) {
      const bool flagfile = arg == "--flagfile=FLAGFILE";
      in_root.push_back(flagfile ? "--flagfile=/site.flags" : arg);
      normal.push_back(flagfile ? "--flagfile=" + reference_ + "/site.flags"
                                : arg);
      what += " " + arg;
    }
    const Result want = RunCommand(normal[0], normal, reference_, scratch_);
    const Files want_files = Collect(reference_);
    const Result got = RunCommand("chroot", in_root, "/", scratch_);
    const Files got_files = Collect(root_);
    EXPECT_EQ(want.status, got.status) << what << "\n" << got.err;
    EXPECT_EQ(want.out, got.out) << what;
    EXPECT_EQ(want.err, got.err) << what;
    EXPECT_EQ(want_files.matrix, got_files.matrix) << what;
    EXPECT_EQ(want_files.report, got_files.report) << what;
    EXPECT_EQ(want_files.plot, got_files.plot) << what;
  }
  // The runs must include the whole road: a matrix, a report and a plot.
  const Result r =
      RunCommand("chroot",
                 {"chroot", root_, "/GeoAnchorSolve", "--flagfile=/site.flags",
                  "--report=report.json", "--plot=plot.svg"},
                 "/", scratch_);
  EXPECT_EQ(0, r.status) << r.err;
  const Files files = Collect(root_);
  EXPECT_EQ('[', files.matrix.front());
  EXPECT_EQ('{', files.report.front());
  EXPECT_NE(std::string::npos, files.plot.find("<svg"));
}

// The help of the release executable lists no glog flags (its Ceres logs
// through the silent glog substitute) and gflags' own under another source
// folder; its first line and the tool's own flags are the normal build's.
TEST_F(EmptyRoot, HelpListsTheToolsFlagsAsTheNormalBuild) {
  const Result want = RunCommand(reference_ + "/GeoAnchorSolve",
                                 {reference_ + "/GeoAnchorSolve", "--help"},
                                 reference_, scratch_);
  const Result got = RunCommand(
      "chroot", {"chroot", root_, "/GeoAnchorSolve", "--help"}, "/", scratch_);
  EXPECT_EQ(1, want.status);
  EXPECT_EQ(want.status, got.status);
  EXPECT_EQ(want.err, got.err);
  const auto first_line = [](const std::string& text) {
    return text.substr(0, text.find('\n'));
  };
  const auto own_flags = [](const std::string& text) {
    const size_t at = text.find("/app/GeoAnchorSolve.cpp:\n");
    return at == std::string::npos ? "(none)" : text.substr(at);
  };
  EXPECT_EQ(first_line(want.out), first_line(got.out));
  EXPECT_EQ(own_flags(want.out), own_flags(got.out));
  EXPECT_NE(std::string::npos, own_flags(got.out).find("-basepoint"));
  EXPECT_EQ(std::string::npos, got.out.find("-logtostderr"));
}

TEST_F(EmptyRoot, RootHoldsNoDynamicLoader) {
  // The control: the normal, dynamically linked build cannot even start
  // there (chroot's status 127: the program or its interpreter not found).
  ASSERT_EQ(0, Copy(GEOANCHOR_LINUX_EXE, root_ + "/GeoAnchorSolve"));
  const Result r =
      RunCommand("chroot", {"chroot", root_, "/GeoAnchorSolve", "--version"},
                 "/", scratch_);
  EXPECT_EQ(127, r.status) << r.out << r.err;
  EXPECT_EQ("", r.out);
}

}  // namespace

}  // namespace geoanchor
