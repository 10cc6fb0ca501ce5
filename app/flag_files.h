// Flag files, read by the tool itself rather than by gflags, so that a
// file's bytes become text whatever its encoding (a byte-order mark,
// UTF-16, on Windows also the ANSI code page; see ReadFlagFile in
// platform/platform.h) before gflags sees them.
//
// gflags' own syntax is kept: one flag a line ("-flag=value" or
// "--flag=value", a bool flag also bare or as "--noflag"), leading blanks
// skipped, "#" comments, nested "--flagfile=" lines, comma-separated lists of
// files, and lines of program-name globs that make the flags after them apply
// only to a matching program. A line ends where gflags ends it: at the next
// CR, or where the rest has none, at the next LF (so LF and CR LF files both
// work). Where gflags would skip a line silently (an unknown flag, a flag
// without its value), it is skipped. Each "--flagfile" argument is replaced
// by the flag lines that its files (and the files they name) contribute, in
// order, as ordinary arguments, so that gflags parses one command line in the
// order it would have read everything itself. (gflags' help then shows no
// "currently" value for "flagfile", which it never sees.)
//
// A file that cannot be read, or a list that gflags refuses (an empty entry,
// an entry starting with "-"), is left to gflags as "--flagfile=..." so that
// it reports it with its own message and status; nothing after that point is
// expanded, since gflags stops there.
#ifndef GEOANCHOR_APP_FLAG_FILES_H_
#define GEOANCHOR_APP_FLAG_FILES_H_

#include <functional>
#include <string>
#include <vector>

#include "input/input_error.h"

namespace geoanchor {

// How gflags reads a flag name (after its dashes, before any "=").
enum class FlagKind {
  kUnknown,     // no such flag
  kBool,        // takes no value of its own: "--help", "--nohelp"
  kTakesValue,  // "--name=value", or "--name value" on the command line
  kFlagFile,    // gflags' own "flagfile"
};

struct FlagFileHooks {
  // The kind of the flag named exactly `name` (no "no" prefix handling).
  std::function<FlagKind(const std::string& name)> flag_kind;
  // The text of the file at `path` in the program's own encoding; false when
  // it cannot be read.
  std::function<bool(const std::string& path, std::string* text)> read;
  // True when a glob of a program-name line matches this program.
  std::function<bool(const std::string& glob)> matches_program;
};

// Flag files nest at most this deep (a file that names itself would
// otherwise never end).
inline constexpr int kMaxFlagFileDepth = 64;

// Replaces the "--flagfile" arguments of `args` (args[0] is the program
// name) as described above. Returns false, with the mistake
// (kFlagFilesTooDeep) in `*error`, only when flag files nest deeper than
// kMaxFlagFileDepth.
bool ExpandFlagFiles(std::vector<std::string>* args, const FlagFileHooks& hooks,
                     InputError* error);

}  // namespace geoanchor

#endif  // GEOANCHOR_APP_FLAG_FILES_H_
