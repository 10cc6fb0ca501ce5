// The Windows executable under Wine as on an English Windows (en_US.UTF-8:
// ANSI code page 1252) and on a Chinese one (zh_CN.UTF-8: code page 936):
// folders and paths named in Chinese and beyond GBK, flag files in every
// encoding Notepad saves, and the help and messages in a console.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/app/cli_runner.h"

namespace geoanchor {

namespace {

const char kEnglish[] = "en_US.UTF-8";
const char kChinese[] = "zh_CN.UTF-8";
const char kChineseFolder[] = "配准 工具";
const char kBeyondGbk[] = "도구 ß";  // Korean and ß: GBK has neither

// The command that starts a Windows program under Wine in `locale`.
std::vector<std::string> WineIn(const std::string& locale) {
  return {"env", "LANG=" + locale, "LC_ALL=" + locale,
          "LOCPATH=" GEOANCHOR_TEST_LOCALES, "wine"};
}

// A fresh folder `name` in the test's directory, with the .exe in it.
std::string FolderWithExe(const std::string& parent, const std::string& name) {
  const std::string dir = parent + "/" + name;
  EXPECT_EQ(0, std::system(("mkdir -p '" + dir +
                            "' && cp '" GEOANCHOR_EXE "' '" + dir + "/'")
                               .c_str()));
  return dir;
}

class WindowsUnicodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = MakeTempDir();
    ASSERT_FALSE(root_.empty());
    std::string line;
    std::istringstream example(
        ReadFile(GEOANCHOR_EXAMPLES_DIR "/tianjin.flags"));
    while (std::getline(example, line)) flags_.push_back(line);
  }
  void TearDown() override { std::system(("rm -rf '" + root_ + "'").c_str()); }

  Result RunExe(const std::string& locale, const std::string& dir,
                const std::vector<std::string>& args) {
    std::vector<std::string> command = WineIn(locale);
    command.push_back(dir + "/GeoAnchorSolve.exe");
    command.insert(command.end(), args.begin(), args.end());
    Result r = RunUnderWine(command, root_, root_);
    r.out = FromCrLf(r.out, "standard output");
    r.err = FromCrLf(r.err, "standard error");
    return r;
  }

  // The example run as a user starts it, in the folder `plain` holding
  // the program.
  Result PlainRun(const std::string& plain) {
    std::vector<std::string> command = {"wine", plain + "/GeoAnchorSolve.exe"};
    command.insert(command.end(), flags_.begin(), flags_.end());
    Result r = RunUnderWine(command, plain, root_);
    r.out = FromCrLf(r.out, "standard output");
    return r;
  }

  // The screen text of `command` run in a console (a pseudo-terminal: Wine
  // gives a console only to a terminal), without the terminal's control
  // sequences and line breaks; `*status` is the command's.
  std::string InConsole(const std::string& locale, const std::string& command,
                        int* status) {
    const Result r =
        RunCommand("sh",
                   {"sh", "-c",
                    "LANG=" + locale + " LC_ALL=" + locale +
                        " LOCPATH=" GEOANCHOR_TEST_LOCALES " script -qec \"" +
                        command + "\" /dev/null </dev/null"},
                   root_, root_);
    *status = r.status;
    static const std::regex control(
        "\x1B\\[[0-9;?]*[A-Za-z]|\x1B\\][^\x07]*\x07|[\r\n]");
    return std::regex_replace(r.out, control, "");
  }

  std::string root_;
  std::vector<std::string> flags_;  // the bundled example's
};

TEST_F(WindowsUnicodeTest, RightFileUnderTheRightNameInEveryFolderAndFlagFile) {
  // The same run in a plain folder, as every case must give it in its
  // locale (the report and the plot speak the locale's language).
  std::map<std::string, std::string> plain;
  for (const char* locale : {kEnglish, kChinese}) {
    plain[locale] = FolderWithExe(root_, std::string("plain-") + locale);
    std::vector<std::string> command = WineIn(locale);
    command.push_back(plain[locale] + "/GeoAnchorSolve.exe");
    command.insert(command.end(), flags_.begin(), flags_.end());
    command.push_back("--report=report.json");
    command.push_back("--plot=plot.svg");
    const Result r = RunUnderWine(command, plain[locale], root_);
    ASSERT_EQ(0, r.status) << r.err;
  }
  const Result want = PlainRun(plain[kEnglish]);
  ASSERT_EQ(0, want.status) << want.err;
  EXPECT_NE(ReadFile(plain[kEnglish] + "/plot.svg"),
            ReadFile(plain[kChinese] + "/plot.svg"));

  // encoding: "" for the flags on the command line, else the flag file's.
  struct Case {
    const char* locale;
    const char* folder;
    const char* encoding;
  };
  const Case cases[] = {
      {kEnglish, kChineseFolder, ""},
      {kChinese, kChineseFolder, ""},
      {kEnglish, kBeyondGbk, ""},
      {kChinese, kBeyondGbk, ""},
      {kEnglish, kChineseFolder, "UTF-8"},
      {kChinese, kChineseFolder, "UTF-8"},
      {kEnglish, kChineseFolder, "UTF-8 BOM"},
      {kChinese, kChineseFolder, "UTF-8 BOM"},
      {kEnglish, kChineseFolder, "UTF-16LE"},
      {kChinese, kChineseFolder, "UTF-16LE"},
      {kEnglish, kChineseFolder, "UTF-16BE"},
      {kChinese, kChineseFolder, "UTF-16BE"},
      {kChinese, kChineseFolder, "GBK"},
      {kChinese, kBeyondGbk, "UTF-8"},
      {kEnglish, kBeyondGbk, "UTF-16LE"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + ", " + c.folder + ", " + c.encoding);
    const std::string dir =
        FolderWithExe(root_ + "/" + std::to_string(++n), c.folder);
    std::vector<std::string> flags = flags_;
    flags.push_back("--report=" + WindowsPath(dir + "/报告.json"));
    flags.push_back("--plot=" + WindowsPath(dir + "/残差图.svg"));
    std::set<std::string> names = {"GeoAnchorSolve.exe", kResultFileName,
                                   "报告.json", "残差图.svg"};
    const std::string encoding = c.encoding;
    if (!encoding.empty()) {
      std::string text;
      for (const std::string& flag : flags) text += flag + "\r\n";
      const std::string bytes =
          encoding == "UTF-8"       ? text
          : encoding == "UTF-8 BOM" ? "\xEF\xBB\xBF" + text
          : encoding == "UTF-16LE"  ? "\xFF\xFE" + Iconv(text, "UTF-16LE")
          : encoding == "UTF-16BE"  ? "\xFE\xFF" + Iconv(text, "UTF-16BE")
                                    : Iconv(text, encoding.c_str());
      std::ofstream(dir + "/参数.flags", std::ios::binary) << bytes;
      flags = {"--flagfile=" + WindowsPath(dir + "/参数.flags")};
      names.insert("参数.flags");
    }
    const Result r = RunExe(c.locale, dir, flags);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(want.out, r.out);
    EXPECT_EQ(names, Entries(dir));
    const std::string& same = plain[c.locale];
    EXPECT_EQ(ReadFile(same + "/" + kResultFileName),
              ReadFile(dir + "/" + kResultFileName));
    EXPECT_EQ(ReadFile(same + "/report.json"), ReadFile(dir + "/报告.json"));
    EXPECT_EQ(ReadFile(same + "/plot.svg"), ReadFile(dir + "/残差图.svg"));
  }
}

TEST_F(WindowsUnicodeTest, GbkTableAtAChinesePathRunsAsItsFlags) {
  // The example's table (UTF-8 in the tree) saved as a Chinese Excel saves
  // CSV: GBK, CR LF; its six used points are the example's flags.
  std::string table;
  std::istringstream lines(
      ReadFile(GEOANCHOR_EXAMPLES_DIR "/tianjin-points.csv"));
  for (std::string line; std::getline(lines, line);) table += line + "\r\n";
  const std::string gbk = Iconv(table, "GBK");
  ASSERT_EQ(std::string::npos, gbk.find("(not")) << gbk;
  const std::string plain = FolderWithExe(root_, "plain");
  const Result want = PlainRun(plain);
  ASSERT_EQ(0, want.status) << want.err;

  for (const char* locale : {kEnglish, kChinese}) {
    SCOPED_TRACE(locale);
    const std::string dir =
        FolderWithExe(root_ + "/" + locale + "-table", kChineseFolder);
    const std::string path = dir + "/控制点.csv";
    std::ofstream(path, std::ios::binary) << gbk;
    const Result r =
        RunExe(locale, dir,
               {"--basepoint=117.2,39.1", "--points=" + WindowsPath(path),
                "--report=" + WindowsPath(dir + "/报告.json")});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(want.out, r.out);
    EXPECT_EQ(ReadFile(plain + "/" + kResultFileName),
              ReadFile(dir + "/" + kResultFileName));
    const std::string report = ReadFile(dir + "/报告.json");
    EXPECT_NE(std::string::npos,
              report.find("{\"name\": \"TJ07\", \"used\": false"));

    // A mistake names the Chinese path and the Chinese column.
    std::string bad = table;
    bad.replace(bad.find("117.2118069595"), 14, "117.2118O69595");
    std::ofstream(path, std::ios::binary) << Iconv(bad, "GBK");
    const Result e =
        RunExe(locale, dir,
               {"--basepoint=117.2,39.1", "--points=" + WindowsPath(path)});
    EXPECT_EQ(255, e.status);
    EXPECT_EQ("", e.out);
    if (locale == kEnglish) {
      EXPECT_EQ("GeoAnchorSolve: " + WindowsPath(path) +
                    " line 7, column 经度(°): '117.2118O69595' is not an "
                    "angle: write decimal degrees, or degrees, minutes and "
                    "seconds such as 116°23′45.67″\n",
                e.err);
    } else {  // the same line in Chinese, naming the same things
      EXPECT_EQ(0u, e.err.find("GeoAnchorSolve: " + WindowsPath(path)))
          << e.err;
      for (const char* named : {"经度(°)", "'117.2118O69595'", "度分秒"}) {
        EXPECT_NE(std::string::npos, e.err.find(named)) << named << e.err;
      }
      EXPECT_EQ(e.err.size() - 1, e.err.find('\n')) << e.err;
    }
  }
}

// The result file and the map elsewhere than beside the program, under
// names in Chinese and beyond GBK, as a batch script gives them.
TEST_F(WindowsUnicodeTest, ResultAndMapGoWhereTheirFlagsSay) {
  const std::string plain = FolderWithExe(root_, "plain");
  const Result want = PlainRun(plain);
  ASSERT_EQ(0, want.status) << want.err;
  for (const char* locale : {kEnglish, kChinese}) {
    SCOPED_TRACE(locale);
    const std::string exe_dir =
        FolderWithExe(root_ + "/" + locale + "-exe", "program");
    const std::string out_dir = root_ + "/" + locale + "-" + kBeyondGbk;
    ASSERT_EQ(0, std::system(("mkdir -p '" + out_dir + "'").c_str()));
    std::vector<std::string> flags = flags_;
    flags.push_back("--result=" + WindowsPath(out_dir + "/结果 도.json"));
    flags.push_back("--geojson=" + WindowsPath(out_dir + "/地图.geojson"));
    const Result r = RunExe(locale, exe_dir, flags);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(want.out, r.out);
    EXPECT_EQ(std::set<std::string>{"GeoAnchorSolve.exe"}, Entries(exe_dir));
    EXPECT_EQ((std::set<std::string>{"结果 도.json", "地图.geojson"}),
              Entries(out_dir));
    EXPECT_EQ(ReadFile(plain + "/" + kResultFileName),
              ReadFile(out_dir + "/结果 도.json"));
    EXPECT_EQ(0u, ReadFile(out_dir + "/地图.geojson")
                      .find("{\"type\": \"FeatureCollection\""));
  }
}

TEST_F(WindowsUnicodeTest, HelpAndMessagesShowTheirOwnCharacters) {
  for (const char* locale : {kEnglish, kChinese}) {
    SCOPED_TRACE(locale);
    const std::string dir = FolderWithExe(root_ + "/" + locale, kChineseFolder);
    const std::string exe = "wine '" + dir + "/GeoAnchorSolve.exe'";
    int status = 0;
    const std::string help =
        InConsole(locale, exe + " --help --report=报告도.json", &status);
    EXPECT_EQ(1, status);
    for (const char* text :
         {"(倾斜场景基点位置坐标)", "(配准点目标坐标--经纬度)",
          "(输出矩阵，z方向调整值)", "(拟合报告JSON文件路径（可选）)",
          "currently: \"报告도.json\""}) {
      EXPECT_NE(std::string::npos, help.find(text)) << text << "\n" << help;
    }

    // A message naming a path, in the locale's language, in the console
    // and redirected (UTF-8).
    const std::string missing = WindowsPath(dir + "/不存在/报告.json");
    const std::string message =
        std::string(locale == kEnglish ? "GeoAnchorSolve: cannot write report "
                                       : "GeoAnchorSolve: 无法写入报告 ") +
        missing + (locale == kEnglish ? ": " : "：") +
        "No such file or directory";
    const std::string flagfile =
        "--flagfile=" GEOANCHOR_EXAMPLES_DIR "/tianjin.flags";
    const std::string screen = InConsole(
        locale, exe + " " + flagfile + " '--report=" + missing + "'", &status);
    EXPECT_EQ(255, status);
    EXPECT_NE(std::string::npos, screen.find(message)) << screen;
    const Result r = RunExe(locale, dir, {flagfile, "--report=" + missing});
    EXPECT_EQ(255, r.status);
    EXPECT_EQ(message + "\n", r.err);

    // A finding, with no flag asking for a language: the Windows display
    // language chooses.
    const std::string outlier =
        "--flagfile=" GEOANCHOR_EXAMPLES_DIR "/tianjin-outlier.flags";
    const std::string warning = locale == kEnglish ? "GeoAnchorSolve: warning: "
                                                   : "GeoAnchorSolve: 警告：";
    const std::string shown = InConsole(locale, exe + " " + outlier, &status);
    EXPECT_EQ(0, status);
    EXPECT_NE(std::string::npos, shown.find(warning)) << shown;
    EXPECT_NE(std::string::npos, shown.find(" (outlier)")) << shown;
    const Result f = RunExe(locale, dir, {outlier});
    EXPECT_EQ(0, f.status);
    EXPECT_NE(std::string::npos, f.err.find(warning)) << f.err;
    EXPECT_EQ(locale == kChinese, f.err.find("点 3") != std::string::npos)
        << f.err;
  }
}

}  // namespace

}  // namespace geoanchor
