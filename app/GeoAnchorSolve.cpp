// GeoAnchorSolve: places a CAD drawing in an oblique-photography scene.
//
// The help texts below are UTF-8 in this file. Windows builds compile this
// file with the GBK (code page 936) execution character set, so that there
// they are GBK byte strings for the console; POSIX builds keep them UTF-8.
#include <gflags/gflags.h>

#include <string>

#include "app/run.h"
#include "output/fit_report.h"

DEFINE_string(basepoint, "", "倾斜场景基点位置坐标");
DEFINE_string(modelpoint, "", "模型基点坐标");
DEFINE_string(DWGsrcpoints, "", "配准点源坐标------高斯");
DEFINE_string(DWGdespoints, "", "配准点目标坐标--经纬度");
DEFINE_double(zoffset, 0, "输出矩阵，z方向调整值");
DEFINE_double(scale, 0, "缩放参数");
DEFINE_double(projectheight, -1, "投影高度，抵偿面高度");
DEFINE_string(report, "", "拟合报告JSON文件路径（可选）");
DEFINE_string(plot, "", "残差图SVG文件路径（可选）");

int main(int argc, char** argv) {
  RunInputs inputs;
  inputs.executable_dir =
      ExecutableDirectory(argc > 0 && argv[0] != nullptr ? argv[0] : "");

  gflags::SetUsageMessage(
      "Test CMake configuration of gflags library (gflags-config.cmake)");
  gflags::SetVersionString(kToolVersion);
  gflags::ParseCommandLineFlags(&argc, &argv, true);
  // Arguments left over after the flags are ignored.

  inputs.DWGsrcpoints = FLAGS_DWGsrcpoints;
  inputs.DWGdespoints = FLAGS_DWGdespoints;
  inputs.basepoint = FLAGS_basepoint;
  inputs.modelpoint = FLAGS_modelpoint;
  inputs.report_path = FLAGS_report;
  inputs.plot_path = FLAGS_plot;
  gflags::ShutDownCommandLineFlags();
  // The flag variables keep their parsed values after the shut-down.
  inputs.scale = FLAGS_scale;
  inputs.zoffset_m = FLAGS_zoffset;
  inputs.projectheight_m = FLAGS_projectheight;

  return RunGeoAnchorSolve(inputs);
}
