// The opt-in map check through the real executable: a table with a check
// point and a blunder, read back by shapely and measured on the ellipsoid.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <GeographicLib/Geodesic.hpp>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/app/cli_runner.h"
#include "tests/common/bilingual_checks.h"
#include "tests/output/read_geojson.h"

namespace geoanchor {

namespace {

using nlohmann::json;

// The Tianjin example as a table: K3 1 m off in the drawing (the blunder),
// K5 a check point (use 0) 0.5 m off, K6 without a name.
const char kTable[] =
    "name,x,y,z,lon,lat,h,use\n"
    "K1,39517250.310,4328460.775,0,117.1963623000,39.0929411793,3.21,1\n"
    "K2,39518140.520,4328395.440,0,117.2066646068,39.0925251848,4.05,1\n"
    "K3,39518606.125,4329310.960,0,117.2118069595,39.1008583666,2.87,1\n"
    "K4,39517710.480,4329905.215,0,117.2013207095,39.1060365750,5.62,1\n"
    "K5,39516821.260,4329420.330,0,117.1911594243,39.1014978852,3.94,0\n"
    ",39517905.935,4328960.605,0,117.2038138992,39.0975688009,12.48,1\n";

class GeoJsonCliTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    table_ = dir_ + "/points.csv";
    std::ofstream(table_, std::ios::binary) << kTable;
  }
  std::vector<std::string> Args(std::vector<std::string> more) const {
    more.insert(more.begin(), {"--basepoint=117.2,39.1", "--points=" + table_});
    return more;
  }
  std::string table_;
};

TEST_F(GeoJsonCliTest, MapShowsWhereEachPointLands) {
  const Result plain = Run(Args({}));
  ASSERT_EQ(0, plain.status) << plain.err;
  const std::string plain_result = ReadFile(result_path_);
  const std::string map = dir_ + "/map.geojson";
  const std::string report = dir_ + "/report.json";
  const Result with = Run(Args({"--geojson=" + map, "--report=" + report}));
  ASSERT_EQ(0, with.status) << with.err;
  // The console and the result file are the same with the map.
  EXPECT_EQ(plain.out, with.out);
  EXPECT_EQ(plain.err, with.err);
  EXPECT_EQ(plain_result, ReadFile(result_path_));

  EXPECT_EQ("ok 19 6\nexit 0", ReadGeoJsonFile(map));
  const json j = json::parse(ReadFile(map));
  const json r = json::parse(ReadFile(report));
  ASSERT_EQ(19u, j["features"].size());
  ASSERT_EQ(6u, r["points"].size());
  EXPECT_EQ("hull", j["features"][0]["properties"]["kind"]);
  struct Expected {
    json name;
    bool used;
    const char* code;  // one of its codes, or "" for none
  };
  const Expected expected[] = {
      {"K1", true, ""},
      {"K2", true, ""},
      {"K3", true, "outlier"},
      {"K4", true, ""},
      {"K5", false, "check_point_off"},
      {nullptr, true, ""},
  };
  const GeographicLib::Geodesic& earth = GeographicLib::Geodesic::WGS84();
  for (size_t i = 0; i < 6; ++i) {
    const json& placed = j["features"][1 + 3 * i];
    const json& target = j["features"][2 + 3 * i];
    const json& props = placed["properties"];
    EXPECT_EQ("placed", props["kind"]) << i;
    EXPECT_EQ("target", target["properties"]["kind"]) << i;
    EXPECT_EQ(expected[i].name, props["name"]) << i;
    EXPECT_EQ(i + 1, props["index"]) << i;
    EXPECT_EQ(expected[i].used, props["used"]) << i;
    const json& codes = props["codes"];
    if (*expected[i].code == '\0') {
      EXPECT_TRUE(codes.empty()) << i << " " << codes;
    } else {
      EXPECT_NE(codes.end(),
                std::find(codes.begin(), codes.end(), expected[i].code))
          << i << " " << codes;
    }
    // The report's deviation, to the bit.
    EXPECT_EQ(r["points"][i]["residual_m"], props["deviation_m"]) << i;
    const json& p = placed["geometry"]["coordinates"];
    const json& t = target["geometry"]["coordinates"];
    EXPECT_NEAR(117.2, p[0].get<double>(), 0.05) << i;  // lon first
    EXPECT_NEAR(39.1, p[1].get<double>(), 0.05) << i;
    double distance_m = 0.0;
    earth.Inverse(p[1], p[0], t[1], t[0], distance_m);
    EXPECT_NEAR(props["deviation_m"].get<double>(), distance_m, 0.001) << i;
  }
}

// A map that cannot be written fails the run after its whole output, in
// the run's language; a failed run writes none, nor one whose report
// cannot be written first.
TEST_F(GeoJsonCliTest, MapIsWrittenOnlyBySuccessfulRuns) {
  const Result want = Run(Args({}));
  ASSERT_EQ(0, want.status) << want.err;
  const std::string path = dir_ + "/missing/map.geojson";
  const std::string reason = "No such file or directory";
  struct Case {
    const char* lang;
    std::string line;  // standard error's last line, after the prefix
  };
  const Case cases[] = {
      {"--lang=en", "cannot write GeoJSON file " + path + ": " + reason},
      {"--lang=zh", "无法写入GeoJSON 文件 " + path + "：" + reason},
  };
  for (const Case& c : cases) {
    const Result r = Run(Args({c.lang, "--geojson=" + path}));
    EXPECT_EQ(255, r.status) << c.lang;
    EXPECT_EQ(want.out, r.out) << c.lang;
    const std::string last = "GeoAnchorSolve: " + c.line + "\n";
    ASSERT_GE(r.err.size(), last.size()) << r.err;
    EXPECT_EQ(last, r.err.substr(r.err.size() - last.size())) << r.err;
  }
  EXPECT_EQ("", bilingual::Faults(Message{cases[0].line, cases[1].line},
                                  {path, reason}));

  const std::string map = dir_ + "/map.geojson";
  EXPECT_EQ(255, Run(Args({"--zoffset=nan", "--geojson=" + map})).status);
  EXPECT_EQ(255, Run(Args({"--report=" + dir_ + "/missing/report.json",
                           "--geojson=" + map}))
                     .status);
  EXPECT_FALSE(Exists(map));
}

}  // namespace

}  // namespace geoanchor
