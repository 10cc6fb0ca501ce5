// The executable's language: chosen from the locale variables, as POSIX
// orders them, or by --lang; only the messages change with it. (Native
// only: the Windows program asks Windows, tested under Wine.)
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "tests/app/cli_runner.h"

namespace geoanchor {
namespace {

using nlohmann::json;

class LanguageCliTest : public CliTest {
 protected:
  // The example with a blunder, with a report, run with only `variables`
  // in its environment.
  Result RunWith(const std::vector<std::string>& variables,
                 const std::vector<std::string>& flags) {
    std::vector<std::string> command = {"env", "-i"};
    command.insert(command.end(), variables.begin(), variables.end());
    command.push_back(exe_);
    command.insert(command.end(), flags.begin(), flags.end());
    return RunCommand("env", command, dir_, dir_);
  }
  std::vector<std::string> ExampleFlags() const {
    return {"--flagfile=" GEOANCHOR_EXAMPLES_DIR "/tianjin-outlier.flags",
            "--report=" + dir_ + "/report.json"};
  }
};

// The report without its words: what callers parse, which no language
// changes.
json WithoutWords(json report) {
  report.erase("lang");
  report.erase("warnings");
  report.erase("precision_note");
  report.erase("checks_note");
  for (json& finding : report["findings"]) finding.erase("message");
  return report;
}

// The codes closing the warning lines of `err`, in order, and whether every
// line reads as `language` writes it.
std::vector<std::string> WarningCodes(const std::string& err,
                                      const std::string& start) {
  std::vector<std::string> codes;
  static const std::regex line("GeoAnchorSolve: (.*) \\(([a-z_]+)\\)");
  std::istringstream lines(err);
  for (std::string text; std::getline(lines, text);) {
    std::smatch m;
    EXPECT_TRUE(std::regex_match(text, m, line)) << text;
    EXPECT_EQ(0u, m[1].str().rfind(start, 0)) << text;
    codes.push_back(m[2]);
  }
  return codes;
}

TEST_F(LanguageCliTest, LocaleOrFlagChoosesTheWordsAndNothingElse) {
  const Result c = RunWith({"LC_ALL=C"}, ExampleFlags());
  ASSERT_EQ(0, c.status) << c.err;
  const std::string result = ReadFile(result_path_);
  const json report = json::parse(ReadFile(dir_ + "/report.json"));
  const std::vector<std::string> codes = WarningCodes(c.err, "warning: ");
  ASSERT_FALSE(codes.empty());
  EXPECT_EQ("en", report["lang"]);

  struct Case {
    std::vector<std::string> variables;
    const char* flag;  // --lang, or ""
    const char* lang;  // the report's "lang"
  };
  const Case cases[] = {
      {{"LANG=zh_CN.UTF-8"}, "", "zh"},  // not installed: read all the same
      {{"LANG=zh_TW.UTF-8"}, "", "zh"},
      {{"LANG=zh_CN.GB18030"}, "", "zh"},
      {{"LC_MESSAGES=zh_CN.UTF-8", "LANG=en_US.UTF-8"}, "", "zh"},
      {{"LC_ALL=zh_CN.UTF-8", "LANG=en_US.UTF-8"}, "", "zh"},
      {{"LC_ALL=C", "LANG=zh_CN.UTF-8"}, "", "en"},
      {{"LANG=en_US.UTF-8"}, "", "en"},
      {{"LANG=ja_JP.UTF-8"}, "", "en"},
      {{}, "", "en"},
      {{"LANG=zh_CN.UTF-8"}, "--lang=en", "en"},
      {{"LANG=en_US.UTF-8"}, "--lang=zh", "zh"},
      {{}, "-lang=zh", "zh"},
  };
  for (const Case& k : cases) {
    std::vector<std::string> flags = ExampleFlags();
    if (k.flag[0] != '\0') flags.push_back(k.flag);
    const std::string what =
        (k.variables.empty() ? std::string("(none)") : k.variables[0]) + " " +
        k.flag;
    const Result r = RunWith(k.variables, flags);
    ASSERT_EQ(0, r.status) << what << "\n" << r.err;
    EXPECT_EQ(c.out, r.out) << what;
    EXPECT_EQ(result, ReadFile(result_path_)) << what;
    const bool zh = std::string(k.lang) == "zh";
    EXPECT_EQ(codes, WarningCodes(r.err, zh ? "警告：" : "warning: ")) << what;
    const json read = json::parse(ReadFile(dir_ + "/report.json"));
    EXPECT_EQ(k.lang, read["lang"]) << what;
    EXPECT_EQ(WithoutWords(report), WithoutWords(read)) << what;
    if (zh) {
      for (const json& finding : read["findings"]) {
        EXPECT_EQ(std::string::npos,
                  finding["message"].get<std::string>().find("point"))
            << what << ": " << finding["message"];
      }
    } else {
      EXPECT_EQ(report["findings"], read["findings"]) << what;
    }
  }
}

TEST_F(LanguageCliTest, UnknownLanguageFailsInOneLine) {
  struct Case {
    const char* value;
    std::vector<std::string> variables;
    const char* line;
  };
  const Case cases[] = {
      {"fr",
       {},
       "GeoAnchorSolve: --lang is \"fr\", not a language the tool speaks: "
       "give --lang=zh or --lang=en, or leave it out to follow the system's "
       "language\n"},
      {"zh_CN",
       {"LANG=zh_CN.UTF-8"},
       "GeoAnchorSolve: --lang 为 \"zh_CN\"，不是本工具支持的语言："},
      {"", {}, ""},  // empty: the system's
  };
  for (const Case& c : cases) {
    std::vector<std::string> flags = ExampleFlags();
    flags.push_back(std::string("--lang=") + c.value);
    const Result r = RunWith(c.variables, flags);
    if (c.line[0] == '\0') {
      EXPECT_EQ(0, r.status) << c.value;
      continue;
    }
    EXPECT_EQ(255, r.status) << c.value;
    EXPECT_EQ("", r.out) << c.value;
    EXPECT_EQ(0u, r.err.find(c.line)) << r.err;
    EXPECT_EQ(r.err.size() - 1, r.err.find('\n')) << r.err;
    EXPECT_FALSE(Exists(result_path_)) << c.value;
  }
}

// The help is the same in every language: callers read it.
TEST_F(LanguageCliTest, HelpIsTheSameInEveryLanguage) {
  const Result c = RunWith({"LC_ALL=C"}, {"--help"});
  EXPECT_EQ(1, c.status);
  EXPECT_NE(
      std::string::npos,
      c.out.find("-lang (提示语言（zh 或 en，缺省随系统）) type: string"));
  for (const char* variable : {"LANG=zh_CN.UTF-8", "LC_MESSAGES=zh_TW"}) {
    const Result r = RunWith({variable}, {"--help"});
    EXPECT_EQ(c.status, r.status) << variable;
    EXPECT_TRUE(c.out == r.out) << variable;
    EXPECT_TRUE(c.err == r.err) << variable;
  }
}

}  // namespace
}  // namespace geoanchor
