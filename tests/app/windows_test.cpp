// What only the Windows executable has to show: it imports no DLL but
// Windows' own, carries its version, prints the matrix numbers' exact digits
// with its C99 printf, writes its files in binary mode, and its help, when
// redirected, in GBK.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <regex>
#include <set>
#include <string>

#include "common/version.h"
#include "tests/app/cli_runner.h"

namespace geoanchor {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(c));
  return text;
}

TEST(WindowsExecutable, ImportsOnlyWindowsOwnDlls) {
  const std::string command =
      "x86_64-w64-mingw32-objdump -p '" GEOANCHOR_EXE "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(nullptr, pipe);
  std::string dump;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    dump.append(buffer, n);
  }
  ASSERT_EQ(0, pclose(pipe)) << command;

  // DLLs that every Windows installation has. No C++ runtime (libstdc++,
  // libgcc, libwinpthread), gflags or Ceres DLL may appear.
  const std::set<std::string> windows_own = {
      "kernel32.dll", "msvcrt.dll",  "shlwapi.dll", "user32.dll",
      "advapi32.dll", "shell32.dll", "ws2_32.dll",  "bcrypt.dll"};
  const std::regex dll_line("DLL Name: (\\S+)");
  int imports = 0;
  for (std::sregex_iterator it(dump.begin(), dump.end(), dll_line), end;
       it != end; ++it, ++imports) {
    const std::string dll = Lower((*it)[1]);
    EXPECT_TRUE(windows_own.count(dll) == 1 || dll.rfind("api-ms-win-", 0) == 0)
        << "imports " << dll;
  }
  EXPECT_GT(imports, 0) << dump.substr(0, 400);
}

// The version resource, as the file's properties in Windows show it.
TEST(WindowsExecutable, ShowsItsVersionInItsProperties) {
  const std::string dir = MakeTempDir();
  const Result r = RunUnderWine(
      {"wine", GEOANCHOR_WINDOWS_VERSION_INFO, WindowsPath(GEOANCHOR_EXE)}, "/",
      dir);
  std::system(("rm -rf '" + dir + "'").c_str());
  ASSERT_EQ(0, r.status) << r.err;
  // The project's version, which the fit report also carries.
  const std::string version = GEOANCHOR_VERSION;
  EXPECT_EQ(version, kToolVersion);
  EXPECT_EQ("FILEVERSION=" + version + ".0\nFileVersion=" + version +
                "\nProductVersion=" + version +
                "\nFileDescription=GeoAnchorSolve: registers a CAD drawing "
                "to an oblique-photography scene\nProductName=GeoAnchorSolve"
                "\nOriginalFilename=GeoAnchorSolve.exe\n",
            FromCrLf(r.out, "standard output"));
}

const char kBase[] = "--basepoint=116.3,39.9";
const char kSrc[] =
    "--DWGsrcpoints=500000,4417000,500085.5,4417000,500085.5,4417111,"
    "500000,4417111";
const char kDes[] =
    "--DWGdespoints=116.3,39.9,116.301,39.9,116.301,39.901,116.3,39.901";

TEST_F(CliTest, MatrixNumbersCarryTheDoublesExactDigits) {
  // 0.1 is 0.1000000000000000055511151231257827... (hand expansion of the
  // double nearest 0.1); a printf that stops at 17 significant digits would
  // write 0.10000000000000000000.
  const Result r = Run(
      {kBase, kSrc, kDes, "--projectheight=0", "--scale=1.5", "--zoffset=0.1"});
  ASSERT_EQ(0, r.status) << r.err;
  const std::string file = ReadFile(result_path_);
  EXPECT_NE(std::string::npos, file.find(",0.10000000000000000555,1.0]"))
      << file;
  EXPECT_NE(std::string::npos, r.out.find("A B K Angle :"));
  EXPECT_NE(std::string::npos, r.out.find(" 1.500000 "));
}

TEST_F(CliTest, FilesHoldNoCarriageReturn) {
  const std::string report = dir_ + "/report.json";
  const Result r =
      Run({kBase, kSrc, kDes, "--projectheight=0", "--report=" + report});
  ASSERT_EQ(0, r.status) << r.err;
  const std::string file = ReadFile(result_path_);
  EXPECT_EQ(std::string::npos, file.find('\r'));
  EXPECT_EQ(']', file.back());
  const std::string text = ReadFile(report);
  EXPECT_EQ(std::string::npos, text.find('\r'));
  EXPECT_EQ("}\n", text.substr(text.size() - 2));
}

TEST_F(CliTest, HelpTextsAreGbk) {
  const Result r = Run({"--help"});
  EXPECT_EQ(1, r.status);
  // "倾斜场景基点位置坐标" in GBK (code page 936), byte by byte from the
  // code page's table: 倾 C7E3, 斜 D0B1, 场 B3A1, 景 BEB0.
  EXPECT_NE(std::string::npos, r.out.find("\xC7\xE3\xD0\xB1\xB3\xA1\xBE\xB0"));
  // and not the UTF-8 bytes of 倾 (E5 80 BE).
  EXPECT_EQ(std::string::npos, r.out.find("\xE5\x80\xBE"));
}

}  // namespace

}  // namespace geoanchor
