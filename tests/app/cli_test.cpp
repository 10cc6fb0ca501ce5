// End-to-end tests: the real executable, run from a fresh directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/run.h"
#include "fit/similarity_fit.h"
#include "geodesy/geodetic_converter.h"
#include "input/point_list.h"
#include "output/console.h"
#include "output/transform_output.h"
#include "tests/app/cli_runner.h"

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
  expected += "\n" +
              MatrixToJsonText(BuildTransformMatrix(
                  fit.K, fit.angle_rad, fit.A_m, fit.B_m, inputs.zoffset_m)) +
              "\n";
  std::snprintf(line, sizeof line,
                fit.free_scale ? "A B K Angle :%.10f %.10f %.10f %.10f"
                               : "A B K Angle :%f %f %f %f",
                fit.A_m, fit.B_m, fit.K, fit.angle_rad);
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
  const GeodeticConverter scene = MakeGeodeticConverter(116.3, 39.9);
  GeodeticConverter frame = scene;
  Point3 shift{0, 0, 0};
  if (!pairs && !in.modelpoint.empty()) {
    const Point3 m = ParsePointPairs(in.modelpoint)[0];
    frame = MakeGeodeticConverter(m.x, m.y);
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
  EXPECT_NE(std::string::npos, version.out.find("0.0.8"));

  // --helpshort finds the driver's flags by the program's name; on Windows
  // that name ends in ".exe" and the flag library matches nothing, so the
  // Windows program shows its help with --help only.
  std::vector<const char*> help_flags = {"--help"};
  if (!kUnderWine) help_flags.push_back("--helpshort");
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
          // The flag library wraps a line that would pass 80 bytes: this
          // one in UTF-8 (3 bytes a character), not in GBK (2).
          kUnderWine ? "-accuracy (控制点精度（米，可选，缺省为自动估计）) "
                       "type: double default: 0"
                     : "-accuracy (控制点精度（米，可选，缺省为自动估计）)\n"
                       "      type: double default: 0"}) {
      EXPECT_NE(std::string::npos, help.out.find(HelpEncoding(flag)))
          << help_flag << " " << flag;
    }
  }

  const Result none = Run({});
  EXPECT_EQ(255, none.status);
  EXPECT_EQ("", none.out);
  EXPECT_EQ("", none.err);
  EXPECT_FALSE(Exists(result_path_));
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

TEST_F(CliTest, NonFiniteTransformIsAFailure) {
  std::ofstream(result_path_) << "[previous]";
  for (const char* bad : {"--zoffset=nan", "--scale=inf", "--zoffset=-inf"}) {
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

TEST_F(CliTest, InputFailuresEndWithStatus255AndNoOutput) {
  std::ofstream(result_path_) << "[previous]";
  const std::vector<std::vector<std::string>> cases = {
      {kSrcPairs, kDesPairs, "--projectheight=0"},  // no base point
      {"--basepoint=116.3", kSrcPairs, kDesPairs},  // one number
      {kBase, kSrcPairs, "--DWGdespoints=116.3,39.9", "--projectheight=0"},
      {kBase, "--projectheight=0"},  // no points
      {kBase},
      {kBase, kSrcTriples, kDesTriples, "--modelpoint= "},   // blank model
      {kBase, kSrcTriples, "--DWGdespoints=116.3,39.9,50"},  // 4 vs 1
  };
  for (const auto& args : cases) {
    const Result r = Run(args);
    EXPECT_EQ(255, r.status) << args.size();
    EXPECT_EQ("", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("[previous]", ReadFile(result_path_));
  }
}

}  // namespace

namespace {

// The bundled example was generated from a known similarity (K = 0.99987,
// angle = 0.0215 rad, A = -39410253.254389 m, B = -5177126.455415 m), with
// the targets moved by at most 5 mm and turned into longitude/latitude at
// the given heights with GeographicLib's LocalCartesian (independent of the
// tool's converter).
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
