// Rendering of doubles as text.
//
// AppendFixed(out, v, d) appends exactly what printf("%.<d>f", v) prints
// with glibc: every digit of the double's exact value, correctly rounded
// (ties to even), "-0.000000" for negative zero, "inf"/"nan" with their
// sign. It avoids printf's format parsing and multi-precision arithmetic,
// which dominate a run with many control points.
#ifndef GEOANCHOR_COMMON_FIXED_TEXT_H_
#define GEOANCHOR_COMMON_FIXED_TEXT_H_

#include <string>

namespace geoanchor {

void AppendFixed(std::string* out, double v, int decimals);

// What printf(format, v) prints for a format with one double conversion,
// however long it is ("%.20f" of 1e300 is over 300 characters; a fixed
// buffer would cut it).
std::string FormatDouble(const char* format, double v);

// Writes `text` to standard output through the C stream (the stream that
// printf and std::cout share), then empties it.
void FlushToStdout(std::string* text);

// Lines are gathered up to about this many bytes before FlushToStdout.
inline constexpr size_t kStdoutChunkBytes = 1 << 16;

}  // namespace geoanchor

#endif  // GEOANCHOR_COMMON_FIXED_TEXT_H_
