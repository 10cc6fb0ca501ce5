#include "app/run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "geodesy/geodetic_converter.h"
#include "output/console.h"

namespace geoanchor {

namespace {

TEST(ExecutableDirectoryTest, EndsAtTheLastSeparator) {
  struct Case {
    const char* path;
    const char* dir;
  };
  const Case cases[] = {
      {"C:\\tools\\x.exe", "C:\\tools\\"},
      {"x.exe", ""},
      {"", ""},
      {"\\x", "\\"},
      {"./x", "./"},  // a forward slash ends a directory on POSIX
      {"/opt/geo/bin/GeoAnchorSolve", "/opt/geo/bin/"},
      {"C:\\a/b\\c", "C:\\a/b\\"},
      {"C:\\a\\b/c", "C:\\a\\b/"},
      {"dir/", "dir/"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.dir, ExecutableDirectory(c.path)) << c.path;
  }
}

struct Prepared {
  bool ok;
  ControlPoints points;
  std::string stdout_text;
  std::string error;
};

Prepared Prepare(const RunInputs& inputs) {
  Prepared p;
  testing::internal::CaptureStdout();
  p.ok = PrepareControlPoints(inputs, &p.points, &p.error);
  if (p.ok) PrintControlPointLines(p.points);
  p.stdout_text = testing::internal::GetCapturedStdout();
  return p;
}

RunInputs Inputs(const char* base, const char* src, const char* des,
                 double projectheight_m, const char* model = "") {
  RunInputs in;
  in.basepoint = base;
  in.DWGsrcpoints = src;
  in.DWGdespoints = des;
  in.projectheight_m = projectheight_m;
  in.modelpoint = model;
  return in;
}

// Early ends print nothing on standard output and hand back one line for
// standard error (the command-line tests check what it says).
TEST(PrepareControlPointsTest, EarlyEndsPrintNothing) {
  const double nan = std::nan("");
  const RunInputs cases[] = {
      Inputs("", "1 2", "116.3 39.9", 0),                // no base point
      Inputs("116.3", "1 2", "116.3 39.9", 0),           // one number only
      Inputs("116.3 39.9", "1 2 3 4", "116.3 39.9", 0),  // lengths differ
      Inputs("116.3 39.9", "", "", 0),                   // nothing to fit
      Inputs("116.3 39.9", "", "", -1),
      Inputs("116.3 39.9", "1 2 3 4 5 6 7 8 9", "116.3 39.9 0 116.4 39.9 0", -1,
             "garbage"),  // lengths compared before the model point
      Inputs("116.3 39.9", "1 2 3", "116.3 39.9 0", -1, "   "),  // blanks
      Inputs("116.3 39.9", "1 2 3", "116.3 39.9 0", nan, "x"),
      // Pairs mode reads a three-number target list as pairs: 2 vs 3.
      Inputs("116.3 39.9", "1 2 3 4", "116.3 39.9 5 116.4 39.9 5", 0),
  };
  for (const RunInputs& in : cases) {
    const Prepared p = Prepare(in);
    EXPECT_FALSE(p.ok) << in.basepoint << " | " << in.DWGsrcpoints;
    EXPECT_EQ("", p.stdout_text);
    EXPECT_EQ(0u, p.error.rfind("GeoAnchorSolve: ", 0)) << p.error;
    EXPECT_EQ(std::string::npos, p.error.find('\n')) << p.error;
  }
}

// Latitude written first gives latitudes no place has: the run ends before
// any line, with one message that names the point and the remedy.
TEST(PrepareControlPointsTest, ImpossibleLatitudeNamesThePoint) {
  struct Case {
    RunInputs inputs;
    const char* expected;
  };
  const Case cases[] = {
      {Inputs("39.9 116.3", "1 2", "116.3 39.9", 0),
       "GeoAnchorSolve: basepoint has latitude 116.3 degrees, beyond "
       "+-90: write longitude first, then latitude (lon,lat)"},
      {Inputs("116.3 39.9", "1 2 3 4", "116.3 39.9 39.91 116.31", 0),
       "GeoAnchorSolve: point 2 of DWGdespoints has latitude 116.31 degrees, "
       "beyond +-90: write longitude first, then latitude (lon,lat)"},
      {Inputs("116.3 39.9", "1 2 3", "116.3 -90.5 0", -1),
       "GeoAnchorSolve: point 1 of DWGdespoints has latitude -90.5 degrees, "
       "beyond +-90: write longitude first, then latitude (lon,lat)"},
      {Inputs("116.3 39.9", "1 2 3", "116.3 39.9 0", -1, "39.9 116.3"),
       "GeoAnchorSolve: modelpoint has latitude 116.3 degrees, "
       "beyond +-90: write longitude first, then latitude (lon,lat)"},
  };
  for (const Case& c : cases) {
    const Prepared p = Prepare(c.inputs);
    EXPECT_FALSE(p.ok) << c.expected;
    EXPECT_EQ("", p.stdout_text);
    EXPECT_EQ(c.expected, p.error);
  }
  // The poles themselves are places.
  const Prepared pole = Prepare(Inputs("0 90", "1 2", "0 -90", 0));
  EXPECT_TRUE(pole.ok);
  EXPECT_EQ("", pole.error);
}

TEST(PrepareControlPointsTest, ModeChoiceAndConversions) {
  const GeodeticConverter scene(116.3, 39.9);
  auto enu = [](const GeodeticConverter& c, double lon, double lat, double h) {
    Point3 out;
    c.GeodeticToEnu(Point3{lon, lat, h}, &out);
    return out;
  };

  // Pair mode: every target at projectheight; -0 selects it as 0 does.
  for (double h : {0.0, -0.0, 45.5}) {
    const Prepared p = Prepare(Inputs("116.3,39.9,1,1", "10,20,30,40",
                                      "116.301,39.9,116.3,39.902", h));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(InputMode::kPair, p.points.mode);
    ASSERT_EQ(2u, p.points.target.size());
    const Point3 e = enu(scene, 116.3, 39.902, h);
    EXPECT_EQ(e.x, p.points.target[1].x);
    EXPECT_EQ(e.y, p.points.target[1].y);
    EXPECT_TRUE(p.points.target_up_m.empty());  // no heights to compare
  }

  // A single three-number target in pair mode: the height is dropped.
  const Prepared single =
      Prepare(Inputs("116.3 39.9", "10 20", "116.3 39.9 500", 0));
  ASSERT_TRUE(single.ok);
  EXPECT_EQ(0.0, single.points.target[0].x);
  EXPECT_TRUE(std::signbit(single.points.target[0].x));
  EXPECT_EQ(
      "src:10.000000,20.000000 des_enu:-0.000000,0.000000 "
      "des_lon:116.30000000000000,39.90000000000000\n",
      single.stdout_text);

  // Height mode: each target at its own height; NaN selects it too.
  for (double h : {-1.0, std::nan("")}) {
    const Prepared p =
        Prepare(Inputs("116.3 39.9", "1 2 3", "116.31 39.91 800", h));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(InputMode::kHeight, p.points.mode);
    const Point3 e = enu(scene, 116.31, 39.91, 800);
    EXPECT_EQ(e.x, p.points.target[0].x);
    EXPECT_EQ(e.y, p.points.target[0].y);
    ASSERT_EQ(1u, p.points.target_up_m.size());
    EXPECT_EQ(e.z, p.points.target_up_m[0]);
  }

  // Model-base-point mode: the model frame's east/north plus the model
  // base point's offset in the scene frame.
  const GeodeticConverter model(116.32, 39.93);
  const Prepared m =
      Prepare(Inputs("116.3 39.9", "1 2 3 4 5 6",
                     "116.32 39.93 0 116.33 39.94 50", -1, "116.32,39.93,9,9"));
  ASSERT_TRUE(m.ok);
  EXPECT_EQ(InputMode::kModelBasePoint, m.points.mode);
  const Point3 shift = enu(scene, 116.32, 39.93, 0);
  EXPECT_EQ(shift.x, m.points.target[0].x);  // the model point itself
  EXPECT_EQ(shift.y, m.points.target[0].y);
  const Point3 local = enu(model, 116.33, 39.94, 50);
  EXPECT_EQ(local.x + shift.x, m.points.target[1].x);
  EXPECT_EQ(local.y + shift.y, m.points.target[1].y);
  // Up is formed the same way: the model frame's up plus the model base
  // point's up in the scene frame (below 0: the earth curves away).
  ASSERT_EQ(2u, m.points.target_up_m.size());
  EXPECT_EQ(shift.z, m.points.target_up_m[0]);
  EXPECT_LT(shift.z, 0.0);
  EXPECT_EQ(local.z + shift.z, m.points.target_up_m[1]);

  // Model base point at the scene base point: same as the height mode.
  const Prepared same = Prepare(
      Inputs("116.3 39.9", "1 2 3", "116.33 39.94 50", -1, "116.3 39.9"));
  const Prepared height =
      Prepare(Inputs("116.3 39.9", "1 2 3", "116.33 39.94 50", -1));
  EXPECT_EQ(height.points.target[0].x, same.points.target[0].x);
  EXPECT_EQ(height.points.target[0].y, same.points.target[0].y);
  EXPECT_EQ(height.stdout_text, same.stdout_text);
}

}  // namespace

}  // namespace geoanchor
