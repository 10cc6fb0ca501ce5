// The table of rules: each code named once and documented, and the hiding
// of one finding by another as the rows say.
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "diagnosis/context.h"
#include "gtest/gtest.h"

namespace geoanchor {

namespace {

using C = FindingCode;

// Every code, in order: one past the last is where the names run out.
std::vector<FindingCode> AllCodes() {
  std::vector<FindingCode> codes;
  for (int i = 0; *FindingCodeName(static_cast<FindingCode>(i)) != '\0'; ++i) {
    codes.push_back(static_cast<FindingCode>(i));
  }
  return codes;
}

TEST(RulesTest, EachCodeHasItsOwnNameAndItsLineInTheReadme) {
  std::ifstream in(GEOANCHOR_README);
  ASSERT_TRUE(in) << GEOANCHOR_README;
  std::stringstream readme;
  readme << in.rdbuf();
  std::set<std::string> names;
  const std::vector<FindingCode> codes = AllCodes();
  // As many names as rows.
#define GEOANCHOR_COUNT_ROW(...) +1
  constexpr int kRows = 0 GEOANCHOR_DIAGNOSIS_RULES(GEOANCHOR_COUNT_ROW);
#undef GEOANCHOR_COUNT_ROW
  ASSERT_EQ(kRows, static_cast<int>(codes.size()));
  for (FindingCode code : codes) {
    const std::string name = FindingCodeName(code);
    EXPECT_TRUE(names.insert(name).second) << name << " names two codes";
    EXPECT_NE(std::string::npos, readme.str().find("| `" + name + "` |"))
        << name << " has no row in the README's table of codes";
  }
}

Finding Make(FindingCode code, std::vector<int> points, bool bad,
             std::vector<int> explains = {}) {
  Finding f = MakeFinding(std::move(points), Same(FindingCodeName(code)), bad);
  f.code = code;
  f.explains = std::move(explains);
  return f;
}

// Findings go in in code order, as the rules make them; the codes that
// come out, in order.
struct HideCase {
  const char* what;
  std::vector<Finding> findings;
  std::vector<FindingCode> kept;
};

TEST(RulesTest, FindingsHideAsTheRowsSay) {
  const HideCase cases[] = {
      {"an exchanged reading hides the outliers it explains, not others",
       {Make(C::kExchangedAxes, {}, true, {1, 2, 4}),
        Make(C::kOutlier, {2}, false), Make(C::kOutlier, {3}, false),
        Make(C::kLargeDeviation, {4}, false)},
       {C::kExchangedAxes, C::kOutlier}},
      {"and what the broken fit makes of the scale, wholly",
       {Make(C::kExchangedAxes, {}, true, {1}),
        Make(C::kUnusualScale, {}, false)},
       {C::kExchangedAxes}},
      {"a pair hides its points' outliers only when it names both",
       {Make(C::kExchangedPairs, {3, 7}, false), Make(C::kOutlier, {3}, false),
        Make(C::kOutlier, {7}, false), Make(C::kOutlier, {8}, false),
        Make(C::kHeightOffLift, {7}, false)},
       {C::kExchangedPairs, C::kOutlier}},
      {"points named by input position past the fitted count",
       {Make(C::kCoordinateSlip, {12}, true), Make(C::kOutlier, {12}, false)},
       {C::kCoordinateSlip}},
      {"a check point is judged only under a matrix no bad finding distrusts",
       {Make(C::kCoordinateSlip, {2}, true),
        Make(C::kCheckPointOff, {5}, false)},
       {C::kCoordinateSlip}},
      {"the same slip where the fit left the point out",
       {Make(C::kCoordinateSlip, {2}, false),
        Make(C::kCheckPointOff, {5}, false)},
       {C::kCoordinateSlip, C::kCheckPointOff}},
      {"a hidden finding hides nothing itself",
       {Make(C::kRankDeficient, {}, true),
        Make(C::kExchangedPairs, {1, 2}, false),
        Make(C::kHeightOffLift, {1}, false)},
       {C::kRankDeficient, C::kHeightOffLift}},
  };
  for (const HideCase& c : cases) {
    std::vector<FindingCode> kept;
    for (const Finding& f : WithoutHidden(c.findings)) kept.push_back(f.code);
    EXPECT_EQ(c.kept, kept) << c.what;
  }
}

}  // namespace

}  // namespace geoanchor
