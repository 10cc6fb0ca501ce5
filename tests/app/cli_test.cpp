// End-to-end tests: the real executable, run from a fresh directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/run.h"
#include "common/version.h"
#include "fit/similarity_fit.h"
#include "geodesy/geodetic_converter.h"
#include "input/point_list.h"
#include "output/console.h"
#include "output/transform_output.h"
#include "tests/app/cli_runner.h"
#include "tests/common/bilingual_checks.h"

namespace geoanchor {

namespace {

// Control points of a small site near Beijing (made up for the tests):
// drawing coordinates in a local Gauss-Krueger-like plane, targets as
// longitude, latitude, height.
const char kBase[] = "--basepoint=116.3,39.9";
const char kSrcPairs[] =
    "--DWGsrcpoints=500000,4417000,500085.5,4417000,500085.5,4417111,"
    "500000,4417111";
const char kDesPairs[] =
    "--DWGdespoints=116.3,39.9,116.301,39.9,116.301,39.901,116.3,39.901";
const char kSrcTriples[] =
    "--DWGsrcpoints=500000,4417000,0,500085.5,4417000,0,500085.5,4417111,0,"
    "500000,4417111,0";
const char kDesTriples[] =
    "--DWGdespoints=116.3,39.9,50,116.301,39.9,52,116.301,39.901,49,"
    "116.3,39.901,51";

// The whole expected standard output for the given inputs, built from the
// libraries the tool is made of; it checks that the executable wires flags,
// stages and formats together as intended.
std::string ExpectedStdout(const RunInputs& inputs) {
  testing::internal::CaptureStdout();
  ControlPoints points;
  std::string error;
  const bool ok = PrepareControlPoints(inputs, &points, &error);
  if (ok) PrintControlPointLines(points);
  std::string expected = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(ok);
  const SimilarityFit fit =
      FitSimilarity(points.source, points.target, inputs.scale);
  expected += fit.solver.brief_report + "\n";
  char line[256];
  for (const Point2& d : ComputeDeviations(fit, points.source, points.target)) {
    std::snprintf(line, sizeof line, "fitcheck---deltax:%f,deltay:%f\n", d.x,
                  d.y);
    expected += line;
  }
  expected += "\n" + ResultMatrix(fit, points, inputs.zoffset_m).text + "\n";
  std::snprintf(line, sizeof line,
                fit.free_scale ? "A B K Angle :%.10f %.10f %.10f %.10f"
                               : "A B K Angle :%f %f %f %f",
                fit.similarity.A_m(), fit.similarity.B_m(), fit.similarity.K(),
                fit.similarity.angle_rad());
  return expected + line;
}

// The "src:" lines' east/north, straight from the converter: the scene
// frame at the base point, and in the model-base-point mode the model frame
// plus the model base point's offset.
void ExpectSrcLinesMatchTheConverter(const RunInputs& in,
                                     const std::string& out) {
  const bool pairs = in.projectheight_m >= 0;
  const std::vector<Point3> des = pairs ? ParsePointPairs(in.DWGdespoints)
                                        : ParsePointTriples(in.DWGdespoints);
  const GeodeticConverter scene(116.3, 39.9);
  GeodeticConverter frame = scene;
  Point3 shift{0, 0, 0};
  if (!pairs && !in.modelpoint.empty()) {
    const Point3 m = ParsePointPairs(in.modelpoint)[0];
    frame = GeodeticConverter(m.x, m.y);
    scene.GeodeticToEnu(Point3{m.x, m.y, 0.0}, &shift);
  }
  const std::regex line("src:[^ ]+ des_enu:(-?[0-9.]+),(-?[0-9.]+) ");
  size_t i = 0;
  for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end;
       ++it, ++i) {
    ASSERT_LT(i, des.size());
    Point3 enu;
    frame.GeodeticToEnu(
        Point3{des[i].x, des[i].y, pairs ? in.projectheight_m : des[i].z},
        &enu);
    EXPECT_NEAR(enu.x + shift.x, std::stod((*it)[1]), 5e-7);  // 6 decimals
    EXPECT_NEAR(enu.y + shift.y, std::stod((*it)[2]), 5e-7);
  }
  EXPECT_EQ(des.size(), i);
}

TEST_F(CliTest, VersionHelpAndNoFlags) {
  const Result version = Run({"--version"});
  EXPECT_EQ(0, version.status);
  EXPECT_NE(std::string::npos, version.out.find(kToolVersion));

  // --helpshort finds the driver's flags by the program's name; on Windows
  // that name ends in ".exe" and the flag library matches nothing, so the
  // Windows program shows its help with --help only.
  std::vector<const char*> help_flags = {"--help"};
  if (!kUnderWine) help_flags.push_back("--helpshort");
  // The flag library wraps a line that would pass 80 columns, counting
  // bytes: in UTF-8 (3 bytes a character) this one does, in GBK (2) not.
  const char* accuracy =
      kUnderWine ? "-accuracy (控制点精度（米，可选，缺省为自动估计）) "
                   "type: double default: 0"
                 : "-accuracy (控制点精度（米，可选，缺省为自动估计）)\n"
                   "      type: double default: 0";
  const char* result = kUnderWine
                           ? "-result (结果文件路径（可选，缺省写在程序旁）) "
                             "type: string default: \"\""
                           : "-result (结果文件路径（可选，缺省写在程序旁）)\n"
                             "      type: string default: \"\"";
  for (const char* help_flag : help_flags) {
    const Result help = Run({help_flag});
    EXPECT_EQ(1, help.status);
    EXPECT_NE(std::string::npos,
              help.out.find("Test CMake configuration of gflags library "
                            "(gflags-config.cmake)"));
    for (const char* flag :
         {"-basepoint (倾斜场景基点位置坐标) type: string default: \"\"",
          "-modelpoint (模型基点坐标) type: string default: \"\"",
          "-DWGsrcpoints (配准点源坐标------高斯) type: string default: \"\"",
          "-DWGdespoints (配准点目标坐标--经纬度) type: string default: \"\"",
          "-zoffset (输出矩阵，z方向调整值) type: double default: 0",
          "-scale (缩放参数) type: double default: 0",
          "-projectheight (投影高度，抵偿面高度) type: double default: -1",
          "-report (拟合报告JSON文件路径（可选）) type: string default: \"\"",
          "-plot (残差图SVG文件路径（可选）) type: string default: \"\"",
          "-points (控制点表文件（CSV等，可选）) type: string default: \"\"",
          accuracy, result}) {
      EXPECT_NE(std::string::npos, help.out.find(HelpEncoding(flag)))
          << help_flag << " " << flag;
    }
  }
}

TEST_F(CliTest, WholeRunInEveryModeAndScaleMode) {
  struct Case {
    std::vector<std::string> args;
    RunInputs inputs;
  };
  auto inputs = [](const char* src, const char* des, double h,
                   const char* model, double scale, double zoffset) {
    RunInputs in;
    in.basepoint = "116.3,39.9";
    in.DWGsrcpoints = src + std::string(src).find('=') + 1;
    in.DWGdespoints = des + std::string(des).find('=') + 1;
    in.projectheight_m = h;
    in.modelpoint = model;
    in.scale = scale;
    in.zoffset_m = zoffset;
    return in;
  };
  const Case cases[] = {
      {{kBase, kSrcPairs, kDesPairs, "--projectheight=0"},
       inputs(kSrcPairs, kDesPairs, 0, "", 0, 0)},
      {{kBase, kSrcPairs, kDesPairs, "--projectheight=35.5", "--scale=1",
        "--zoffset=1"},
       inputs(kSrcPairs, kDesPairs, 35.5, "", 1, 1)},
      {{kBase, kSrcTriples, kDesTriples},
       inputs(kSrcTriples, kDesTriples, -1, "", 0, 0)},
      {{kBase, kSrcTriples, kDesTriples, "--scale=0.9999", "--zoffset=-12.25"},
       inputs(kSrcTriples, kDesTriples, -1, "", 0.9999, -12.25)},
      {{kBase, kSrcTriples, kDesTriples, "--modelpoint=116.3005,39.9005"},
       inputs(kSrcTriples, kDesTriples, -1, "116.3005,39.9005", 0, 0)},
      {{kBase, kSrcTriples, kDesTriples, "--modelpoint=116.3005,39.9005",
        "--scale=-1"},
       inputs(kSrcTriples, kDesTriples, -1, "116.3005,39.9005", -1, 0)},
  };
  for (const Case& c : cases) {
    unlink(result_path_.c_str());
    const Result r = Run(c.args);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", r.err);
    EXPECT_EQ(ExpectedStdout(c.inputs), r.out);
    ExpectSrcLinesMatchTheConverter(c.inputs, r.out);
    // 4 "src:" lines, the report, 4 "fitcheck" lines, an empty line, the
    // matrix and the parameter line without a line break.
    EXPECT_EQ(11, std::count(r.out.begin(), r.out.end(), '\n'));
    EXPECT_NE('\n', r.out.back());
    // The file holds exactly the printed matrix text.
    const std::string file = ReadFile(result_path_);
    EXPECT_NE(std::string::npos, r.out.find("\n\n" + file + "\nA B K Angle :"));
    EXPECT_EQ('[', file.front());
    EXPECT_EQ(']', file.back());
  }
}

TEST_F(CliTest, ResultFileGoesBesideTheExecutableOrIntoTheWorkingDirectory) {
  const std::vector<std::string> args = {kBase, kSrcPairs, kDesPairs,
                                         "--projectheight=0"};
  const std::string work = dir_ + "/work";
  ASSERT_EQ(0, mkdir(work.c_str(), 0755));
  // The program path as the system hands it over, the working directory,
  // and where the result file must land. Only the backslash ends a
  // directory on Windows; POSIX builds take the forward slash too.
  struct Case {
    std::string argv0;
    std::string cwd;
    std::string lands_in;
  };
  const Case cases[] = {
      {"", "/", dir_},                 // the full path (under Wine a Z:\ path)
      {"GeoAnchorSolve", work, work},  // no separator: the working directory
      {kUnderWine ? WindowsPath(exe_) : exe_, work, dir_},
      {kUnderWine ? "Z:" + exe_ : dir_ + "/./" + kExeName, work,
       kUnderWine ? work : dir_},
  };
  for (const Case& c : cases) {
    unlink(result_path_.c_str());
    unlink((work + "/" + kResultFileName).c_str());
    const Result r = Run(args, c.argv0, c.cwd);
    ASSERT_EQ(0, r.status) << c.argv0 << "\n" << r.err;
    EXPECT_TRUE(Exists(c.lands_in + "/" + kResultFileName)) << c.argv0;
    EXPECT_EQ(c.lands_in == dir_, Exists(result_path_)) << c.argv0;
  }

  // An existing, longer file is replaced entirely.
  ASSERT_EQ(0, Run(args, "GeoAnchorSolve", work).status);
  std::ofstream(result_path_) << std::string(4096, ' ');
  ASSERT_EQ(0, Run(args).status);
  EXPECT_EQ(ReadFile(work + "/" + kResultFileName), ReadFile(result_path_));
}

// A finite scale too large for the matrix.
TEST_F(CliTest, NonFiniteTransformIsAFailure) {
  std::ofstream(result_path_) << "[previous]";
  for (const char* bad : {"--scale=1e308", "--scale=-1e308"}) {
    const Result r =
        Run({kBase, kSrcPairs, kDesPairs, "--projectheight=0", bad});
    EXPECT_EQ(255, r.status) << bad;
    EXPECT_NE(std::string::npos, r.err.find("not finite")) << bad;
    EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n'));
    // Everything up to and including the deviation lines, nothing after.
    EXPECT_EQ(
        4, static_cast<int>(std::count(r.out.begin(), r.out.end(), '\n')) - 5)
        << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("A B K Angle"));
    EXPECT_EQ("[previous]", ReadFile(result_path_));
  }
}

TEST_F(CliTest, UnwritableResultFileIsAFailure) {
  ASSERT_EQ(0, mkdir(result_path_.c_str(), 0755));
  const Result r = Run({kBase, kSrcPairs, kDesPairs, "--projectheight=0"});
  EXPECT_EQ(255, r.status);
  EXPECT_NE(std::string::npos, r.out.find("\nA B K Angle :"));
  // One line naming the file and the system's reason.
  EXPECT_EQ(
      "GeoAnchorSolve: cannot write " + PathAsSeen(result_path_) + ": " +
          (kUnderWine ? "cannot replace (Windows error 5)" : "Is a directory") +
          "\n",
      r.err);
  // No temporary file is left behind.
  EXPECT_EQ(0, std::system(("test -z \"$(ls -A '" + dir_ + "' | grep -v -e '^" +
                            kExeName + "$' -e '^" + kResultFileName + "$')\"")
                               .c_str()));
}

// --result names the result file's path: the file lands there and not
// beside the executable, and the run is otherwise the same.
TEST_F(CliTest, ResultFlagWritesTheFileWhereItSays) {
  const std::vector<std::string> args = {kBase, kSrcPairs, kDesPairs,
                                         "--projectheight=0"};
  const Result want = Run(args);
  ASSERT_EQ(0, want.status) << want.err;
  const std::string want_file = ReadFile(result_path_);
  const std::string work = dir_ + "/work";
  ASSERT_EQ(0, mkdir(work.c_str(), 0755));
  std::ofstream(work + "/old.json") << std::string(4096, ' ');
  struct Case {
    std::string flag;  // the value of --result
    std::string cwd;
    std::string lands_at;
  };
  const Case cases[] = {
      {PathAsSeen(work + "/a.json"), "/", work + "/a.json"},
      {"b.json", work, work + "/b.json"},  // from the working directory
      {PathAsSeen(work + "/old.json"), "/", work + "/old.json"},  // replaced
      {"", work, result_path_},  // empty: as without the flag
  };
  for (const Case& c : cases) {
    unlink(result_path_.c_str());
    std::vector<std::string> with = args;
    with.push_back("--result=" + c.flag);
    const Result r = Run(with, "", c.cwd);
    EXPECT_EQ(0, r.status) << c.flag << "\n" << r.err;
    EXPECT_EQ(want.out, r.out) << c.flag;
    EXPECT_EQ(want.err, r.err) << c.flag;
    EXPECT_EQ(want_file, ReadFile(c.lands_at)) << c.flag;
    EXPECT_EQ(c.lands_at == result_path_, Exists(result_path_)) << c.flag;
  }
  // No temporary file is left behind.
  EXPECT_EQ((std::set<std::string>{"a.json", "b.json", "old.json"}),
            Entries(work));
}

// A result file that cannot be written: everything is printed, then the
// one line naming the path, in the run's language; nothing is written.
TEST_F(CliTest, ResultInAMissingFolderIsAFailure) {
  const std::vector<std::string> args = {kBase, kSrcPairs, kDesPairs,
                                         "--projectheight=0"};
  const Result want = Run(args);
  ASSERT_EQ(0, want.status) << want.err;
  unlink(result_path_.c_str());
  const std::string path = PathAsSeen(dir_ + "/missing/result.json");
  const std::string reason = "No such file or directory";
  struct Case {
    const char* lang;
    std::string line;  // after "GeoAnchorSolve: "
  };
  const Case cases[] = {
      {"--lang=en", "cannot write " + path + ": " + reason},
      {"--lang=zh", "无法写入 " + path + "：" + reason},
  };
  for (const Case& c : cases) {
    std::vector<std::string> with = args;
    with.push_back(c.lang);
    with.push_back("--result=" + path);
    const Result r = Run(with);
    EXPECT_EQ(255, r.status) << c.lang;
    EXPECT_EQ(want.out, r.out) << c.lang;  // the matrix lines included
    EXPECT_EQ("GeoAnchorSolve: " + c.line + "\n", r.err);
    EXPECT_FALSE(Exists(result_path_)) << c.lang;
  }
  EXPECT_EQ("", bilingual::Faults(Message{cases[0].line, cases[1].line},
                                  {path, reason}));
  EXPECT_EQ((std::set<std::string>{kExeName}), Entries(dir_));
}

// Eight runs at the same time from one executable, each with its own
// inputs and --result: every file holds its own run's matrix, and nothing
// lands beside the executable.
TEST_F(CliTest, RunsSideBySideEachWriteTheirOwnResultFile) {
  const std::string batch = dir_ + "/batch";
  ASSERT_EQ(0, mkdir(batch.c_str(), 0755));
  std::vector<std::vector<std::string>> runs;
  std::vector<std::string> scratch_dirs, paths;
  std::vector<RunInputs> inputs;
  for (int i = 0; i < 8; ++i) {
    RunInputs in;
    in.basepoint = "116.3,39.9";
    in.DWGsrcpoints = kSrcTriples + std::strlen("--DWGsrcpoints=");
    in.DWGdespoints = kDesTriples + std::strlen("--DWGdespoints=");
    in.zoffset_m = 1.5 * i - 4.0;
    in.scale = i % 2 == 0 ? 0.0 : 0.9999;
    inputs.push_back(in);
    scratch_dirs.push_back(batch + "/" + std::to_string(i));
    ASSERT_EQ(0, mkdir(scratch_dirs.back().c_str(), 0755));
    paths.push_back(batch + "/result-" + std::to_string(i) + ".json");
    runs.push_back({kBase, kSrcTriples, kDesTriples,
                    "--zoffset=" + std::to_string(in.zoffset_m),
                    "--scale=" + std::to_string(in.scale),
                    "--result=" + PathAsSeen(paths.back())});
  }
  const std::vector<Result> results =
      RunUnderTestAtOnce(exe_, runs, "/", scratch_dirs);
  std::set<std::string> files;
  for (size_t i = 0; i < runs.size(); ++i) {
    const Result& r = results[i];
    EXPECT_EQ(0, r.status) << i << "\n" << r.err;
    EXPECT_EQ("", r.err) << i;
    EXPECT_EQ(ExpectedStdout(inputs[i]), r.out) << i;
    const std::string file = ReadFile(paths[i]);
    EXPECT_NE(std::string::npos, r.out.find("\n\n" + file + "\nA B K Angle :"))
        << i << ": " << file;
    files.insert(file);
    EXPECT_TRUE(Entries(scratch_dirs[i]).empty()) << i;
  }
  EXPECT_EQ(runs.size(), files.size());
  EXPECT_EQ((std::set<std::string>{kExeName, "batch"}), Entries(dir_));
}

TEST_F(CliTest, HugeZOffsetIsWrittenInFull) {
  const Result r = Run(
      {kBase, kSrcPairs, kDesPairs, "--projectheight=0", "--zoffset=1e300"});
  ASSERT_EQ(0, r.status) << r.err;
  const std::string file = ReadFile(result_path_);
  const std::string expected_element =
      "," + FormatMatrixNumber(1e300) + ",1.0]";
  EXPECT_EQ(expected_element,
            file.substr(file.size() - expected_element.size()));
  EXPECT_GT(file.size(), 300u);
}

// A flag file as editors save it, with a UTF-8 byte-order mark or in UTF-16
// with its mark, gives the same run as the plain file.
TEST_F(CliTest, FlagFileWithByteOrderMarkGivesTheSameRun) {
  const std::string example = GEOANCHOR_EXAMPLES_DIR "/tianjin.flags";
  const Result want = Run({"--flagfile=" + example, "--zoffset=1"});
  ASSERT_EQ(0, want.status) << want.err;
  const std::string want_file = ReadFile(result_path_);
  const std::string text = ReadFile(example) + "--zoffset=1\n";
  const std::string path = dir_ + "/site.flags";
  for (const std::string& bytes :
       {"\xEF\xBB\xBF" + text, "\xFF\xFE" + Iconv(text, "UTF-16LE"),
        "\xFE\xFF" + Iconv(text, "UTF-16BE")}) {
    std::ofstream(path, std::ios::binary) << bytes;
    unlink(result_path_.c_str());
    const Result r = Run({"--flagfile=" + path});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(want.out, r.out);
    EXPECT_EQ(want.err, r.err);
    EXPECT_EQ(want_file, ReadFile(result_path_));
  }
}

// Every input mistake ends the run before any output with one line on
// standard error that names the flag, the point and the remedy. The
// fragments are the parts of that line a user needs, taken from the inputs
// (point and character numbers counted by hand, from 1).
TEST_F(CliTest, InputMistakesAreNamedInOneLine) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> fragments;
  };
  const std::string h0 = "--projectheight=0";
  const std::string src4 = kSrcPairs;
  const std::string des4 = kDesPairs;
  // Near Urumqi (87.6 E, 43.8 N) pairs regrouped as triples still give
  // possible latitudes.
  const std::string urumqi_des =
      "--DWGdespoints=87.6,43.8,87.601,43.8,87.601,43.801,87.6,43.801";
  const Case cases[] = {
      {{}, {"--basepoint", "--DWGsrcpoints", "--DWGdespoints", "--help"}},
      {{kSrcPairs, kDesPairs, h0}, {"basepoint is empty", "--basepoint="}},
      {{"--basepoint=116.3", kSrcPairs, kDesPairs, h0},
       {"basepoint holds no point ('116.3')", "lon,lat"}},
      {{"--basepoint=nan,39.9", kSrcPairs, kDesPairs, h0},
       {"basepoint holds 'nan' (character 1), not a finite number"}},
      {{"--basepoint=116.3；39.9", kSrcPairs, kDesPairs, h0},
       {"basepoint: reading stopped at '；' (character 6, a full-width "
        "semicolon) after 0 points"}},
      {{"--basepoint=39.9,116.3", kSrcPairs, kDesPairs, h0},
       {"basepoint has latitude 116.3 degrees, beyond +-90",
        "write longitude first"}},
      {{"--basepoint=500,39.9", kSrcPairs, kDesPairs, h0},
       {"basepoint has longitude 500 degrees, beyond +-360"}},
      {{kBase, kSrcTriples, kDesTriples, "--modelpoint= "},
       {"modelpoint holds only blanks", "leave out --modelpoint"}},
      {{kBase, kSrcTriples, kDesTriples, "--modelpoint=116.3,95"},
       {"modelpoint has latitude 95 degrees"}},
      {{kBase, h0}, {"DWGsrcpoints is empty", "x,y for each"}},
      {{kBase, kSrcPairs, "--DWGdespoints=abc", h0},
       {"DWGdespoints holds no point ('abc')", "lon,lat for each"}},
      // 3 drawing points against 2 targets (the base point's 2 below the
      // lengths: the targets are near it either way).
      {{kBase, "--DWGsrcpoints=1,2,0,3,4,0,5,6,0",
        "--DWGdespoints=116.3,39.9,0,116.301,39.9,0"},
       {"DWGsrcpoints has 3 points (9 numbers read) but DWGdespoints has 2 "
        "points (6 numbers read)",
        "one target for each drawing point"}},
      // Drawing pairs given with target triples: 8 numbers for 4 targets.
      {{kBase, kSrcPairs, kDesTriples},
       {"DWGsrcpoints holds 8 numbers, 4 pairs for 4 targets",
        "give x,y,z for each drawing point"}},
      {{kBase, kSrcTriples, kDesPairs, h0},
       {"DWGsrcpoints holds 12 numbers, 4 triples for 4 targets",
        "give x,y for each drawing point"}},
      // Pairs without --projectheight: near Beijing, and near Urumqi.
      {{kBase, kSrcTriples, kDesPairs},
       {"DWGdespoints holds longitude,latitude pairs (8 numbers)",
        "--projectheight=H"}},
      {{"--basepoint=87.6,43.8", kSrcTriples, urumqi_des},
       {"DWGdespoints holds longitude,latitude pairs"}},
      {{kBase, kSrcPairs, kDesTriples, "--projectheight=50"},
       {"DWGdespoints holds lon,lat,h triples (12 numbers)",
        "leave out --projectheight"}},
      // ';' between points: 1 point against 4.
      {{kBase, "--DWGsrcpoints=500000,4417000;500085.5,4417000", kDesPairs, h0},
       {"DWGsrcpoints: reading stopped at ';' (character 15) after 1 point",
        "separate numbers with blanks or one comma"}},
      {{kBase, "--DWGsrcpoints=500000，4417000", kDesPairs, h0},
       {"DWGsrcpoints: reading stopped at '，' (character 7, a full-width "
        "comma) after 0 points"}},
      // The reader stops at nan, inf and an overflowing exponent.
      {{kBase, "--DWGsrcpoints=1,2,nan,4", kDesPairs, h0},
       {"point 2 of DWGsrcpoints holds 'nan' (character 5), not a finite "
        "number"}},
      {{kBase, kSrcPairs, "--DWGdespoints=116.3,39.9,-inf,39.9", h0},
       {"point 2 of DWGdespoints holds '-inf' (character 12)"}},
      {{kBase, src4 + ",1e999,0", des4 + ",116.3,39.9", h0},
       {"point 5 of DWGsrcpoints holds '1e999'"}},
      {{kBase, kSrcPairs, "--DWGdespoints=116.3,39.9,39.9,116.3,1,2,3,4", h0},
       {"point 2 of DWGdespoints has latitude 116.3 degrees",
        "write longitude first"}},
      {{kBase, kSrcPairs, "--DWGdespoints=116.3,39.9,500,39.9,1,2,3,4", h0},
       {"point 2 of DWGdespoints has longitude 500 degrees"}},
      {{kBase, "--DWGsrcpoints=1e308,0,1,0,1,1,0,1", kDesPairs, h0},
       {"point 1 of DWGsrcpoints has x 1e+308, beyond +-1e12"}},
      {{kBase, kSrcPairs, kDesPairs, h0, "--zoffset=nan"},
       {"--zoffset is nan, not a finite number"}},
      {{kBase, kSrcPairs, kDesPairs, h0, "--scale=inf"},
       {"--scale is inf, not a finite number"}},
      {{kBase, kSrcPairs, kDesPairs, h0, "--accuracy=-0.01"},
       {"--accuracy is -0.01", "0 to estimate it"}},
      {{kBase, kSrcPairs, kDesPairs, "--projectheight=inf"},
       {"--projectheight is inf"}},
  };
  std::ofstream(result_path_) << "[previous]";
  for (const Case& c : cases) {
    const Result r = Run(c.args);
    const std::string label = c.fragments[0];
    EXPECT_EQ(255, r.status) << label;
    EXPECT_EQ("", r.out) << label;
    EXPECT_EQ(0u, r.err.rfind("GeoAnchorSolve: ", 0)) << r.err;
    EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
    EXPECT_EQ('\n', r.err.back()) << label;
    for (const std::string& fragment : c.fragments) {
      EXPECT_NE(std::string::npos, r.err.find(fragment)) << fragment << "\n"
                                                         << r.err;
    }
    EXPECT_EQ("[previous]", ReadFile(result_path_)) << label;
  }
}

// Text a list's reader passed over leaves standard output and the result
// file as they were, and names itself on standard error when it held
// numbers; without a digit it is harmless.
TEST_F(CliTest, IgnoredTextIsNamedOnStandardErrorOnly) {
  const std::vector<std::string> clean = {kBase, kSrcPairs, kDesPairs,
                                          "--projectheight=0"};
  const Result want = Run(clean);
  ASSERT_EQ(0, want.status) << want.err;
  ASSERT_EQ("", want.err);
  const std::string want_file = ReadFile(result_path_);
  const std::string src = kSrcPairs;
  const std::string des = kDesPairs;
  struct Case {
    std::string src;
    std::string des;
    std::string warning;  // "" for none
  };
  const Case cases[] = {
      {src + ";", des + ", ", ""},
      {src + "；9,9", des,
       "GeoAnchorSolve: warning: DWGsrcpoints: reading stopped at '；' "
       "(character 64, a full-width semicolon) after 4 points, so '；9,9' "
       "was not read"},
      {src, des + ",116.302", "DWGdespoints: 1 number after 4 points"},
  };
  for (const Case& c : cases) {
    unlink(result_path_.c_str());
    const Result r = Run({kBase, c.src, c.des, "--projectheight=0"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(want.out, r.out);
    EXPECT_EQ(want_file, ReadFile(result_path_));
    if (c.warning.empty()) {
      EXPECT_EQ("", r.err);
    } else {
      EXPECT_NE(std::string::npos, r.err.find(c.warning)) << r.err;
      EXPECT_NE(std::string::npos, r.err.find("(ignored_input)\n")) << r.err;
    }
  }
  // A lone triple in the pair mode keeps its status; its height is named.
  const Result lone =
      Run({kBase, "--DWGsrcpoints=1,2", "--DWGdespoints=116.3,39.9,50",
           "--projectheight=0"});
  EXPECT_EQ(0, lone.status);
  EXPECT_NE(std::string::npos,
            lone.err.find("DWGdespoints: 1 number after 1 point ('50', "
                          "character 12)"))
      << lone.err;
}

}  // namespace

namespace {

// The bundled example was generated from a known similarity (K = 0.99987,
// angle = 0.0215 rad, A = -39410253.254389 m, B = -5177126.455415 m), with
// the targets moved by at most 5 mm and turned into longitude/latitude at
// the given heights with GeographicLib's LocalCartesian (independent of the
// tool's converter).
// The locale never changes how numbers are written: under locales with a
// decimal comma (German, French) every output is byte for byte the one
// under C. The locales are made for the test (LOCPATH), so that the run
// does not depend on which ones the machine has installed.
TEST_F(CliTest, EveryLocaleWritesTheSameBytes) {
  if (kUnderWine) GTEST_SKIP() << "a Windows program reads no POSIX locale";
#ifdef GEOANCHOR_UNDER_QEMU
  GTEST_SKIP() << "the locales are made for this machine's C library";
#endif
  const std::string locales = dir_ + "/locales";
  ASSERT_EQ(0, mkdir(locales.c_str(), 0755));
  for (const std::string name : {"de_DE", "fr_FR"}) {
    // Status 1 means warnings only (the locale is written all the same).
    std::system(("localedef -i " + name + " -f UTF-8 '" + locales + "/" + name +
                 ".UTF-8' >/dev/null 2>&1")
                    .c_str());
    ASSERT_TRUE(Exists(locales + "/" + name + ".UTF-8/LC_NUMERIC"))
        << "localedef " << name << ".UTF-8 (Debian's locales package)";
  }
  const std::string report = dir_ + "/report.json";
  const std::vector<std::string> args = {
      "--flagfile=" GEOANCHOR_EXAMPLES_DIR "/tianjin-outlier.flags",
      "--report=" + report, "--plot=" + dir_ + "/plot.svg"};
  const auto run = [&](const std::vector<std::string>& variables) {
    std::vector<std::string> command = {"env", "-i", "LOCPATH=" + locales};
    command.insert(command.end(), variables.begin(), variables.end());
    command.push_back(exe_);
    command.insert(command.end(), args.begin(), args.end());
    Result r = RunCommand("env", command, dir_, dir_);
    r.out += "\n--- result file\n" + ReadFile(result_path_) + "\n--- report\n" +
             ReadFile(report) + "\n--- plot\n" + ReadFile(dir_ + "/plot.svg");
    return r;
  };
  const Result c = run({"LC_ALL=C"});
  ASSERT_EQ(0, c.status) << c.err;
  ASSERT_NE("", c.err);  // the example's outlier is named
  for (const std::vector<std::string>& variables :
       std::vector<std::vector<std::string>>{{"LANG=de_DE.UTF-8"},
                                             {"LC_ALL=fr_FR.UTF-8"},
                                             {"LC_NUMERIC=de_DE.UTF-8"}}) {
    const Result r = run(variables);
    EXPECT_EQ(c.status, r.status) << variables[0];
    EXPECT_EQ(c.out, r.out) << variables[0];
    EXPECT_EQ(c.err, r.err) << variables[0];
  }
}

TEST_F(CliTest, BundledExampleRecoversItsKnownTransform) {
  const Result r = Run({"--flagfile=" GEOANCHOR_EXAMPLES_DIR "/tianjin.flags"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_NE(std::string::npos, r.out.find("Termination: CONVERGENCE"));
  std::string file = ReadFile(result_path_);
  ASSERT_EQ('[', file.front());
  std::vector<double> m;
  for (char* p = &file[1]; *p != '\0' && *p != ']';) {
    m.push_back(std::strtod(p, &p));
    if (*p == ',') ++p;
  }
  ASSERT_EQ(16u, m.size());
  const double src[6][2] = {
      {39517250.310, 4328460.775}, {39518140.520, 4328395.440},
      {39518605.125, 4329310.960}, {39517710.480, 4329905.215},
      {39516820.760, 4329420.330}, {39517905.935, 4328960.605}};
  const double K = 0.99987, angle = 0.0215;
  const double A = -39410253.254389, B = -5177126.455415;
  for (const auto& s : src) {
    const double east = m[0] * s[0] + m[4] * s[1] + m[12];
    const double north = m[1] * s[0] + m[5] * s[1] + m[13];
    const double true_east =
        (s[0] * std::cos(angle) - s[1] * std::sin(angle)) * K + A;
    const double true_north =
        (s[0] * std::sin(angle) + s[1] * std::cos(angle)) * K + B;
    EXPECT_NEAR(true_east, east, 0.01);  // 1 cm
    EXPECT_NEAR(true_north, north, 0.01);
  }
}

}  // namespace

}  // namespace geoanchor
