#include "common/fixed_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace geoanchor {

namespace {

// The oracle is glibc's printf itself.
std::string Printf(double v, int decimals) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  return buffer;
}

std::string Fast(double v, int decimals) {
  std::string out;
  AppendFixed(&out, v, decimals);
  return out;
}

TEST(FixedTextTest, MatchesPrintfOnSpecialValues) {
  const double inf = std::numeric_limits<double>::infinity();
  const double values[] = {
      0.0, -0.0, 0.5, 1.5, 2.5, -2.5, 0.125, 0.375,
      // Exact ties at six decimals: half to even.
      0.0000005, 0.0000015, 0.0000025, 1e-7, -1e-7, 0.1, 123.456, 39517250.31,
      4328460.775, 1e22, 1e300, -1.7976931348623157e308, 4.9e-324,
      2.2250738585072014e-308, inf, -inf, std::nan(""), -std::nan("")};
  for (double v : values) {
    for (int decimals : {6, 10, 14, 20}) {
      EXPECT_EQ(Printf(v, decimals), Fast(v, decimals)) << v;
    }
  }
}

TEST(FixedTextTest, MatchesPrintfOnRandomDoubles) {
  std::mt19937_64 rng(2026);
  std::uniform_int_distribution<uint64_t> bits;
  std::uniform_real_distribution<double> decimal_exponent(-12.0, 12.0);
  for (int i = 0; i < 100000; ++i) {
    double v;
    if (i % 2 == 0) {
      const uint64_t b = bits(rng);
      std::memcpy(&v, &b, sizeof v);  // any bit pattern, NaNs included
    } else {
      v = std::pow(10.0, decimal_exponent(rng)) * (i % 4 == 1 ? 1 : -1);
    }
    for (int decimals : {6, 14}) {
      ASSERT_EQ(Printf(v, decimals), Fast(v, decimals));
    }
  }
}

}  // namespace

}  // namespace geoanchor
