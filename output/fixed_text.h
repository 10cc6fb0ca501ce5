// Fast fixed-point rendering of doubles for the per-point console lines.
//
// AppendFixed(out, v, d) appends exactly what printf("%.<d>f", v) prints
// with glibc: every digit of the double's exact value, correctly rounded
// (ties to even), "-0.000000" for negative zero, "inf"/"nan" with their
// sign. It avoids printf's format parsing and multi-precision arithmetic,
// which dominate a run with many control points.
#ifndef GEOANCHOR_OUTPUT_FIXED_TEXT_H_
#define GEOANCHOR_OUTPUT_FIXED_TEXT_H_

#include <string>

void AppendFixed(std::string* out, double v, int decimals);

// Writes `text` to standard output through the C stream (the stream that
// printf and std::cout share), then empties it.
void FlushToStdout(std::string* text);

// Lines are gathered up to about this many bytes before FlushToStdout.
inline constexpr size_t kStdoutChunkBytes = 1 << 16;

#endif  // GEOANCHOR_OUTPUT_FIXED_TEXT_H_
