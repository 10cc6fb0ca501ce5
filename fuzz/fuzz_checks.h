// What every fuzzer asserts with: a failed check stops the run where
// libFuzzer sees it, and doubles compare by their bits.
#ifndef GEOANCHOR_FUZZ_FUZZ_CHECKS_H_
#define GEOANCHOR_FUZZ_FUZZ_CHECKS_H_

#include <cstring>

namespace geoanchor {

inline void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// The same double to the bit: NaNs with their payloads, and -0 apart
// from +0.
inline bool SameDouble(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace geoanchor

#endif  // GEOANCHOR_FUZZ_FUZZ_CHECKS_H_
