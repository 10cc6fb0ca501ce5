// The opt-in map check through the real executable: a table with a check
// point and a blunder, read back by shapely; the console and the result
// file the same with it.
#include <gtest/gtest.h>
#include <sys/stat.h>

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
  // Each point's deviation is the report's, and the blunder (K3) and the
  // check point off (K5) are named by the codes of their features (the
  // features themselves are measured in the output's own tests).
  for (size_t i = 0; i < 6; ++i) {
    const json& props = j["features"][1 + 3 * i]["properties"];
    EXPECT_EQ(r["points"][i]["residual_m"], props["deviation_m"]) << i;
  }
  EXPECT_EQ(json("outlier"),
            j["features"][1 + 3 * 2]["properties"]["codes"][0]);
  EXPECT_EQ(json("check_point_off"),
            j["features"][1 + 3 * 4]["properties"]["codes"][0]);
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
