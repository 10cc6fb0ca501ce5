// GeoAnchorSolve: places a CAD drawing in an oblique-photography scene.
//
// The help texts below are UTF-8 in this file. Windows builds compile this
// file with the GBK (code page 936) execution character set, so that there
// they are GBK byte strings for the console; POSIX builds keep them UTF-8.
#include <gflags/gflags.h>

#include <optional>
#include <string>
#include <vector>

#include "app/flag_files.h"
#include "app/run.h"
#include "common/version.h"
#include "input/input_checks.h"
#include "input/input_error.h"
#include "platform/platform.h"

DEFINE_string(basepoint, "", "倾斜场景基点位置坐标");
DEFINE_string(scene, "",
              "场景元数据文件（metadata.xml 或 tileset.json，可选）");
DEFINE_string(modelpoint, "", "模型基点坐标");
DEFINE_string(DWGsrcpoints, "", "配准点源坐标------高斯");
DEFINE_string(DWGdespoints, "", "配准点目标坐标--经纬度");
DEFINE_double(zoffset, 0, "输出矩阵，z方向调整值");
DEFINE_double(scale, 0, "缩放参数");
DEFINE_double(projectheight, -1, "投影高度，抵偿面高度");
DEFINE_string(report, "", "拟合报告JSON文件路径（可选）");
DEFINE_string(plot, "", "残差图SVG文件路径（可选）");
DEFINE_string(geojson, "", "地图检查文件路径（GeoJSON，可选）");
DEFINE_double(accuracy, 0, "控制点精度（米，可选，缺省为自动估计）");
DEFINE_string(points, "", "控制点表文件（CSV等，可选）");
DEFINE_string(lang, "", "提示语言（zh 或 en，缺省随系统）");
DEFINE_string(result, "", "结果文件路径（可选，缺省写在程序旁）");

namespace geoanchor {
namespace {

FlagKind GflagsFlagKind(const std::string& name) {
  gflags::CommandLineFlagInfo info;
  if (!gflags::GetCommandLineFlagInfo(name.c_str(), &info)) {
    return FlagKind::kUnknown;
  }
  if (info.name == "flagfile") return FlagKind::kFlagFile;
  return info.type == "bool" ? FlagKind::kBool : FlagKind::kTakesValue;
}

// Whether gflags may print its help or version text to standard output:
// one of its help flags, or a flag that may set one from the environment.
bool MayPrintHelp(const std::vector<std::string>& args) {
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') continue;
    const size_t dashes = arg[1] == '-' ? 2 : 1;
    std::string key = arg.substr(dashes, arg.find('=') - dashes);
    if (key.compare(0, 2, "no") == 0) key.erase(0, 2);
    for (const char* help :
         {"help", "helpfull", "helpshort", "helppackage", "helpxml", "helpon",
          "helpmatch", "version", "fromenv", "tryfromenv"}) {
      if (key == help) return true;
    }
  }
  return false;
}

// --lang's value as the command line writes it ("--lang=zh", "-lang=zh",
// "--lang zh"; the last one counts, as in the flag library), or "" without
// one. Read before the flag library reads it, so that a flag file's mistake
// is told in the language asked for too.
std::string LanguageArgument(const std::vector<std::string>& args) {
  std::string value;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") break;  // the flag library reads no flag after it
    for (const char* flag : {"--lang", "-lang"}) {
      const std::string name = flag;
      if (arg.compare(0, name.size() + 1, name + "=") == 0) {
        value = arg.substr(name.size() + 1);
      } else if (arg == name && i + 1 < args.size()) {
        value = args[i + 1];
      }
    }
  }
  return value;
}

std::vector<std::string> FlagDescriptions() {
  std::vector<gflags::CommandLineFlagInfo> flags;
  gflags::GetAllFlags(&flags);
  std::vector<std::string> descriptions;
  for (const gflags::CommandLineFlagInfo& flag : flags) {
    descriptions.push_back(flag.description);
  }
  return descriptions;
}

// The whole program; main() only enters the namespace.
int Main(int argc, char** argv) {
  const std::string program = argc > 0 && argv[0] != nullptr ? argv[0] : "";
  RunInputs inputs;
  inputs.executable_dir = ExecutableDirectory(program);

  gflags::SetUsageMessage(
      "Test CMake configuration of gflags library (gflags-config.cmake)");
  gflags::SetVersionString(kToolVersion);

  // Flag files are read here and their flags handed to gflags in their
  // place (app/flag_files.h).
  std::vector<std::string> args(argv, argv + argc);
  // The system's language unless the command line asks for another; a
  // value that is no language is told once the flags are read.
  Language language = SystemLanguage();
  ReadLanguage(LanguageArgument(args), &language);
  const FlagFileHooks hooks = {&GflagsFlagKind, &ReadFlagFile,
                               [&program](const std::string& glob) {
                                 return MatchesProgramName(glob, program);
                               }};
  InputError error;
  if (!ExpandFlagFiles(&args, hooks, &error)) {
    WriteMessage(RenderInputError(error, language) + "\n");
    return 1;  // gflags' status for a command line it cannot use
  }
  std::vector<char*> pointers;
  for (std::string& arg : args) pointers.push_back(&arg[0]);
  pointers.push_back(nullptr);
  int count = static_cast<int>(args.size());
  char** vector = pointers.data();

  BeginLibraryConsoleOutput(MayPrintHelp(args), FlagDescriptions());
  gflags::ParseCommandLineFlags(&count, &vector, true);
  EndLibraryConsoleOutput();
  // Arguments left over after the flags are ignored.

  inputs.DWGsrcpoints = FLAGS_DWGsrcpoints;
  inputs.DWGdespoints = FLAGS_DWGdespoints;
  inputs.basepoint = FLAGS_basepoint;
  inputs.scene_path = FLAGS_scene;
  inputs.modelpoint = FLAGS_modelpoint;
  inputs.report_path = FLAGS_report;
  inputs.plot_path = FLAGS_plot;
  inputs.geojson_path = FLAGS_geojson;
  inputs.points_path = FLAGS_points;
  inputs.result_path = FLAGS_result;
  const std::string lang = FLAGS_lang;
  gflags::ShutDownCommandLineFlags();
  // The flag variables keep their parsed values after the shut-down.
  inputs.scale = FLAGS_scale;
  inputs.zoffset_m = FLAGS_zoffset;
  inputs.projectheight_m = FLAGS_projectheight;
  inputs.accuracy_m = FLAGS_accuracy;
  if (const std::optional<InputError> mistake = ReadLanguage(lang, &language)) {
    WriteMessage(RenderInputError(*mistake, language) + "\n");
    return -1;
  }
  inputs.language = language;

  return RunGeoAnchorSolve(inputs);
}

}  // namespace
}  // namespace geoanchor

int main(int argc, char** argv) { return geoanchor::Main(argc, argv); }
