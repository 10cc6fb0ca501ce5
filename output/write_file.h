// Writing the tool's files: the result file, the report and the plot each
// replace whatever is at their path atomically, or the run says on
// standard error which file it could not write and why.
#ifndef GEOANCHOR_OUTPUT_WRITE_FILE_H_
#define GEOANCHOR_OUTPUT_WRITE_FILE_H_

#include <string>

#include "common/language.h"

namespace geoanchor {

// Replaces the file at `path` with exactly `text` (atomically,
// ReplaceFileContents) and returns true; on
// failure flushes standard output (the order on a shared terminal) and
// writes one line on standard error in `language`, then returns false:
//   "GeoAnchorSolve: cannot write <what> <path>: <reason>\n"
//   "GeoAnchorSolve: 无法写入<what> <path>：<reason>\n"
// or, for an empty `what`, "GeoAnchorSolve: cannot write <path>: <reason>\n".
// The reason is the system's own text.
bool WriteFileOrSay(const std::string& path, const std::string& text,
                    const Message& what, Language language);

}  // namespace geoanchor

#endif  // GEOANCHOR_OUTPUT_WRITE_FILE_H_
