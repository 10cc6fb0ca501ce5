// The tool's name as its messages begin: every line it writes to standard
// error starts "GeoAnchorSolve: ", which the programs that call it look for.
#ifndef GEOANCHOR_COMMON_TOOL_NAME_H_
#define GEOANCHOR_COMMON_TOOL_NAME_H_

namespace geoanchor {

inline constexpr char kToolName[] = "GeoAnchorSolve";
inline constexpr char kMessagePrefix[] = "GeoAnchorSolve: ";

}  // namespace geoanchor

#endif  // GEOANCHOR_COMMON_TOOL_NAME_H_
