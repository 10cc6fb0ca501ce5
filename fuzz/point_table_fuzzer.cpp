// The control-point table reader on arbitrary bytes. Invariants:
//  - no crash, no sanitizer report;
//  - a table read has points, on increasing lines below its header, every
//    coordinate finite and within the reader's bounds, names in UTF-8;
//  - a refused one comes back empty, with a mistake placed in the file
//    whose line is one line of UTF-8 that starts with the tool's name and
//    the file's label;
//  - a table read with its heights reads without them too, to the same
//    points but their heights (the pair mode reads neither z nor h).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "common/unicode_text.h"
#include "fuzz/fuzz_checks.h"
#include "input/input_error.h"
#include "input/point_table.h"

namespace geoanchor {
namespace {

void CheckTable(const PointTable& table, bool heights) {
  Check(!table.points.empty());
  int line = table.header_line;
  for (const TablePoint& p : table.points) {
    Check(p.line > line);
    line = p.line;
    Check(IsValidUtf8(p.name));
    for (double v : {p.source.x, p.source.y, p.source.z}) {
      Check(std::isfinite(v) && std::fabs(v) <= 1e12);
    }
    Check(std::isfinite(p.geodetic.x) && std::fabs(p.geodetic.x) <= 360.0);
    Check(std::isfinite(p.geodetic.y) && std::fabs(p.geodetic.y) <= 90.0);
    Check(std::isfinite(p.geodetic.z));
    if (!heights) Check(p.source.z == 0.0 && p.geodetic.z == 0.0);
  }
}

void CheckRefusal(const PointTable& table, const InputError& error) {
  Check(table.points.empty());
  Check(error.where.name == "t.csv");
  for (Language language : {Language::kEnglish, Language::kChinese}) {
    const std::string line = RenderInputError(error, language);
    Check(line.rfind("GeoAnchorSolve: t.csv", 0) == 0);
    Check(line.find('\n') == std::string::npos);
    Check(line.find('\r') == std::string::npos);
    Check(IsValidUtf8(line));
  }
}

// One input of the fuzzer.
int FuzzOne(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  PointTable with, without;
  InputError error_with, error_without;
  const bool ok_with = ReadPointTable(bytes, "t.csv", true, &with, &error_with);
  const bool ok_without =
      ReadPointTable(bytes, "t.csv", false, &without, &error_without);
  if (ok_with)
    CheckTable(with, true);
  else
    CheckRefusal(with, error_with);
  if (ok_without)
    CheckTable(without, false);
  else
    CheckRefusal(without, error_without);
  if (ok_with) {
    Check(ok_without && with.points.size() == without.points.size());
    Check(with.has_heights == without.has_heights);
    for (size_t i = 0; i < with.points.size(); ++i) {
      const TablePoint& a = with.points[i];
      const TablePoint& b = without.points[i];
      Check(a.line == b.line && a.name == b.name && a.used == b.used);
      Check(SameDouble(a.source.x, b.source.x) &&
            SameDouble(a.source.y, b.source.y) &&
            SameDouble(a.geodetic.x, b.geodetic.x) &&
            SameDouble(a.geodetic.y, b.geodetic.y));
    }
  }
  return 0;
}

}  // namespace
}  // namespace geoanchor

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return geoanchor::FuzzOne(data, size);
}
