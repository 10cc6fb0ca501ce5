#include "geodesy/web_map.h"

#include <gtest/gtest.h>

namespace geoanchor {

namespace {

// The test vectors of the wandergis/coordtransform README (the formulas'
// common public implementation): Tiananmen, 116.404 E 39.915 N. To 1e-12
// degrees (0.1 micrometre): the C libraries' sin may differ in the last bit.
TEST(WebMapTest, PublishedVectors) {
  struct Case {
    const char* what;
    Point2 got;
    double lon_deg, lat_deg;
  };
  const Case cases[] = {
      {"WGS84 to GCJ-02", Wgs84ToGcj02(116.404, 39.915), 116.41024449916938,
       39.91640428150164},
      {"GCJ-02 to BD-09", Gcj02ToBd09(116.404, 39.915), 116.41036949371029,
       39.92133699351021},
      {"WGS84 to BD-09", Wgs84ToWebMap(WebMapDatum::kBd09, 116.404, 39.915),
       116.41662724378733, 39.922699552216216},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(c.lon_deg, c.got.x, 1e-12) << c.what;
    EXPECT_NEAR(c.lat_deg, c.got.y, 1e-12) << c.what;
  }
}

// Outside the formula's box the web maps show WGS84 itself.
TEST(WebMapTest, UnchangedOutsideChina) {
  for (const Point2& p : {Point2{13.4, 52.5}, Point2{72.0, 30.0},
                          Point2{120.0, 56.0}, Point2{139.7, 35.7}}) {
    const Point2 g = Wgs84ToGcj02(p.x, p.y);
    EXPECT_EQ(p.x, g.x);
    EXPECT_EQ(p.y, g.y);
  }
  EXPECT_TRUE(InsideWebMapChina(87.6, 43.8));
  EXPECT_FALSE(InsideWebMapChina(87.6, 60.0));
}

}  // namespace

}  // namespace geoanchor
