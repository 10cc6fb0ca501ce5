// The table of rules, made from the rows of rules.h, and the hiding of one
// finding by another.
#include <algorithm>
#include <cstdint>
#include <utility>

#include "diagnosis/context.h"

namespace geoanchor {

namespace {

enum class Severity { kBad, kCheck, kJudged };
enum class Runs { kEveryRun, kReportOnly, kUnlessBad };

// A set of codes, one bit each.
using CodeSet = std::uint64_t;
using C = FindingCode;

constexpr CodeSet Bit(FindingCode code) {
  return CodeSet{1} << static_cast<int>(code);
}
template <typename... Codes>
constexpr CodeSet Hides(Codes... codes) {
  return (CodeSet{0} | ... | Bit(codes));
}

struct Rule {
  FindingCode code;
  const char* name;
  Severity severity;
  Runs runs;
  void (*judge)(const Context& c, Findings* out);
  CodeSet hides_wholly;
  CodeSet hides_by_points;
};

constexpr Severity kBad = Severity::kBad;
constexpr Severity kCheck = Severity::kCheck;
constexpr Severity kJudged = Severity::kJudged;
constexpr Runs kEveryRun = Runs::kEveryRun;
constexpr Runs kReportOnly = Runs::kReportOnly;
constexpr Runs kUnlessBad = Runs::kUnlessBad;

#define GEOANCHOR_RULE_ROW(code, name, severity, runs, judge, wholly, \
                           by_points)                                 \
  {C::code, name, severity, runs, Judge##judge, wholly, by_points},
constexpr Rule kRules[] = {GEOANCHOR_DIAGNOSIS_RULES(GEOANCHOR_RULE_ROW)};
#undef GEOANCHOR_RULE_ROW

constexpr size_t kRuleCount = sizeof(kRules) / sizeof(kRules[0]);
static_assert(kRuleCount <= 64, "a CodeSet holds 64 codes");

// Row i is code i, and a finding hides only findings of later codes: so,
// code by code, only findings already kept can hide (a hidden finding
// explains nothing).
constexpr bool RowsInHidingOrder() {
  for (size_t i = 0; i < kRuleCount; ++i) {
    const Rule& r = kRules[i];
    if (static_cast<size_t>(r.code) != i) return false;
    const CodeSet earlier = Bit(r.code) | (Bit(r.code) - 1);
    if (((r.hides_wholly | r.hides_by_points) & earlier) != 0) return false;
    if ((r.hides_wholly & r.hides_by_points) != 0) return false;
  }
  return true;
}
static_assert(RowsInHidingOrder(),
              "rules.h: each row is its code's, and hides only later codes, "
              "each either wholly or by points");

const Rule& RuleOf(FindingCode code) {
  return kRules[static_cast<size_t>(code)];
}

}  // namespace

const char* FindingCodeName(FindingCode code) {
  const size_t i = static_cast<size_t>(code);
  return i < kRuleCount ? kRules[i].name : "";
}

Finding MakeFinding(std::vector<int> points, Message message, bool bad) {
  Finding f;
  f.points = std::move(points);
  f.message = std::move(message);
  f.bad = bad;
  return f;
}

Findings JudgeAll(const Context& c, bool full) {
  Findings all;
  for (const Rule& rule : kRules) {
    const bool every_run = rule.runs != Runs::kReportOnly;
    if (!full && !every_run) continue;
    const size_t before = all.size();
    rule.judge(c, &all);
    for (size_t k = before; k < all.size(); ++k) {
      Finding& f = all[k];
      f.code = rule.code;
      if (rule.severity != Severity::kJudged) {
        f.bad = rule.severity == Severity::kBad;
      }
      f.report_only = !every_run;
    }
  }
  return all;
}

// A finding is checked only against the kept ones that hide some code
// wholly (a few) and those that explain its first point, so that a job
// with thousands of outliers is judged in time linear in its findings.
Findings WithoutHidden(Findings all) {
  // Code by code: the rules make them so; a stable sort keeps the order
  // within a code.
  std::stable_sort(all.begin(), all.end(),
                   [](const Finding& a, const Finding& b) {
                     return static_cast<int>(a.code) < static_cast<int>(b.code);
                   });
  Findings kept;
  bool bad_kept = false;
  std::vector<size_t> wholly;  // indices into kept
  // Per input position, the kept findings that hide the findings of the
  // points they explain and explain that one.
  std::vector<std::vector<size_t>> explaining;
  auto explained = [&](int p, size_t k) {
    const size_t i = static_cast<size_t>(p);
    return i < explaining.size() &&
           std::find(explaining[i].begin(), explaining[i].end(), k) !=
               explaining[i].end();
  };
  for (Finding& f : all) {
    const CodeSet bit = Bit(f.code);
    bool hidden = (bad_kept && RuleOf(f.code).runs == Runs::kUnlessBad) ||
                  std::any_of(wholly.begin(), wholly.end(), [&](size_t k) {
                    return (RuleOf(kept[k].code).hides_wholly & bit) != 0;
                  });
    const size_t first =
        f.points.empty() ? 0 : static_cast<size_t>(f.points[0]);
    if (!hidden && first != 0 && first < explaining.size()) {
      for (size_t k : explaining[first]) {
        hidden = (RuleOf(kept[k].code).hides_by_points & bit) != 0 &&
                 std::all_of(f.points.begin(), f.points.end(),
                             [&](int p) { return explained(p, k); });
        if (hidden) break;
      }
    }
    if (hidden) continue;
    const size_t k = kept.size();
    const Rule& rule = RuleOf(f.code);
    if (rule.hides_wholly != 0) wholly.push_back(k);
    if (rule.hides_by_points != 0) {
      for (int p : f.explains.empty() ? f.points : f.explains) {
        if (p < 1) continue;
        const size_t i = static_cast<size_t>(p);
        if (i >= explaining.size()) explaining.resize(i + 1);
        explaining[i].push_back(k);
      }
    }
    bad_kept = bad_kept || f.bad;
    kept.push_back(std::move(f));
  }
  return kept;
}

}  // namespace geoanchor
