// The catalogue of map projections against PROJ's database (Debian's
// python3-pyproj), the independent oracle of every EPSG code's
// parameters.
#include "geodesy/map_projections.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace geoanchor {

namespace {

// ---------------------------------------------------------------------------
// Every standard code against PROJ's database: its name, and where it puts
// a point a degree east of its meridian.

TEST(MapProjectionsTest, CatalogueMatchesProjDatabase) {
  char path[] = "/tmp/projection_test_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  int count = 0;
  {
    std::ofstream out(path);
    out.precision(17);
    for (const auto& [first, last] :
         {std::pair{4491, 4554}, std::pair{32601, 32660},
          std::pair{32701, 32760}}) {
      for (int code = first; code <= last; ++code, ++count) {
        const MapProjection p = StandardProjectionOf(code);
        ASSERT_EQ(p.epsg, code);
        const double lon = p.tm.central_meridian_deg + 1.0,
                     lat = p.south ? -30 : 30;
        const Point2 xy = ProjectGeodetic(p.tm, lon, lat);
        out << code << ' ' << ProjectionKindName(p.kind) << ' ' << p.zone << ' '
            << p.zone_in_easting << ' ' << p.south << ' '
            << p.tm.central_meridian_deg << ' ' << lon << ' ' << lat << ' '
            << xy.x << ' ' << xy.y << '\n';
      }
    }
  }
  const std::string script = R"PY(
import sys
from pyproj import CRS, Transformer
bad = n = 0
for line in open(sys.argv[1]):
    code, kind, zone, with_zone, south, cm, lon, lat, x, y = line.split()
    zone, cm = int(zone), round(float(cm))
    if kind == "utm":
        name = "WGS 84 / UTM zone %d%s" % (zone, "S" if south == "1" else "N")
    else:
        name = "CGCS2000 / %sGauss-Kruger %s" % (
            "3-degree " if kind == "gauss_kruger_3" else "",
            ("zone %d" % zone) if with_zone == "1" else ("CM %dE" % cm))
    crs = CRS.from_epsg(int(code))
    px, py = Transformer.from_crs(crs.geodetic_crs, crs, always_xy=True).transform(
        float(lon), float(lat))
    if crs.name != name or abs(px - float(x)) > 1e-3 or abs(py - float(y)) > 1e-3:
        bad += 1
        print("mismatch", code, crs.name, name, px - float(x), py - float(y))
    n += 1
print("checked", n, "bad", bad)
)PY";
  FILE* pipe = popen((std::string(GEOANCHOR_PYPROJ_PYTHON) + " -c '" + script +
                      "' " + path + " 2>&1")
                         .c_str(),
                     "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
  EXPECT_EQ(pclose(pipe), 0) << output;
  std::remove(path);
  EXPECT_NE(output.find("checked " + std::to_string(count) + " bad 0"),
            std::string::npos)
      << output;
  EXPECT_EQ(StandardProjectionOf(4490).kind, ProjectionKind::kNone);
  EXPECT_EQ(StandardProjectionOf(32661).kind, ProjectionKind::kNone);
}

// Neighbouring zones keep the kind and the zone number's presence, and
// end with the zones.
TEST(MapProjectionsTest, NeighbourZones) {
  EXPECT_EQ(4528, NeighbourZone(GaussKruger3(39, true), 1).epsg);
  EXPECT_EQ(4547, NeighbourZone(GaussKruger3(39, false), -1).epsg);
  EXPECT_EQ(32652, NeighbourZone(Utm(51, false), 1).epsg);
  EXPECT_EQ(ProjectionKind::kNone,
            NeighbourZone(GaussKruger3(45, true), 1).kind);
  EXPECT_EQ(ProjectionKind::kNone, NeighbourZone(Utm(60, true), 1).kind);
}

}  // namespace

}  // namespace geoanchor
