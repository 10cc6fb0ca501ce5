#include "app/flag_files.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace geoanchor {

namespace {

// A registry like the tool's: string/double flags, gflags' bools and
// "flagfile", and flag files kept in memory.
class FlagFilesTest : public ::testing::Test {
 protected:
  std::vector<std::string> Expand(std::vector<std::string> args) {
    args.insert(args.begin(), "C:\\tools\\GeoAnchorSolve.exe");
    const FlagFileHooks hooks = {
        [](const std::string& name) {
          if (name == "flagfile") return FlagKind::kFlagFile;
          if (name == "help" || name == "version") return FlagKind::kBool;
          if (name == "report" || name == "scale") return FlagKind::kTakesValue;
          return FlagKind::kUnknown;
        },
        [this](const std::string& path, std::string* text) {
          const auto file = files_.find(path);
          if (file == files_.end()) return false;
          *text = file->second;
          return true;
        },
        [](const std::string& glob) {
          return glob == "GeoAnchorSolve.exe" || glob == "*";
        }};
    error_ = InputError();
    if (!ExpandFlagFiles(&args, hooks, &error_)) return {"error"};
    args.erase(args.begin());
    return args;
  }

  std::map<std::string, std::string> files_;
  InputError error_;
};

using Args = std::vector<std::string>;

TEST_F(FlagFilesTest, ArgumentsWithoutFlagFilesStayAsTheyAre) {
  const Args args = {"x",       "--report", "--flagfile=a", "-",
                     "--bogus", "--help",   "--",           "--flagfile=a"};
  EXPECT_EQ(args, Expand(args));  // "a" is unreadable only after the "--"
  EXPECT_EQ(Args({"--report", "--flagfile"}),
            Expand({"--report", "--flagfile"}));
}

TEST_F(FlagFilesTest, LinesBecomeArgumentsInPlace) {
  files_["a"] =
      "  --report=a b.json  \r\n# --scale=2\r\n\r\n-scale=3\r\n--bogus=1\n"
      "--report\n--help\n--nohelp\n--noreport=1\n";
  EXPECT_EQ(Args({"--scale=1", "--report=a b.json  ", "-scale=3", "--help",
                  "--nohelp", "x", "-scale=4"}),
            Expand({"--scale=1", "--flagfile=a", "x", "-scale=4"}));
  EXPECT_EQ(Args({"--report=a b.json  ", "-scale=3", "--help", "--nohelp"}),
            Expand({"-flagfile", "a"}));
}

TEST_F(FlagFilesTest, LinesEndAtTheNextCrThenAtTheNextLfAsInGflags) {
  files_["a"] = "--scale=1\n--report=r\r\n--scale=2";
  EXPECT_EQ(Args({"--scale=1\n--report=r", "--scale=2"}),
            Expand({"--flagfile=a"}));
}

TEST_F(FlagFilesTest, NestedFilesListsAndProgramNameSections) {
  files_["a"] = "--scale=1\n--flagfile=b,c,\n--report=after";
  files_["b"] =
      "--scale=2\nOther.exe\n--scale=3\n*.exe GeoAnchorSolve.exe\n"
      "--scale=4";
  files_["c"] = "--report=c";
  EXPECT_EQ(Args({"--scale=1", "--scale=2", "--scale=4", "--report=c",
                  "--report=after"}),
            Expand({"--flagfile=a"}));
}

TEST_F(FlagFilesTest, WhatGflagsRefusesIsLeftToIt) {
  files_["a"] = "--scale=1\n--flagfile=missing\n--scale=2";
  EXPECT_EQ(Args({"--scale=1", "--flagfile=missing", "--report=x"}),
            Expand({"--flagfile=a", "--report=x"}));
  EXPECT_EQ(Args({"--flagfile=a,,b", "--scale=5"}),
            Expand({"--flagfile=a,,b", "--scale=5"}));
  EXPECT_EQ(Args({"--flagfile=-a"}), Expand({"--flagfile=-a"}));
}

TEST_F(FlagFilesTest, AFileThatNamesItselfEndsWithAMessage) {
  files_["a"] = "--flagfile=a";
  EXPECT_EQ(Args({"error"}), Expand({"--flagfile=a"}));
  EXPECT_EQ(InputErrorCode::kFlagFilesTooDeep, error_.code);
  EXPECT_EQ(
      "GeoAnchorSolve: flag files nest more than 64 deep at a (does a flag "
      "file name itself?)",
      RenderInputError(error_, Language::kEnglish));
}

}  // namespace

}  // namespace geoanchor
