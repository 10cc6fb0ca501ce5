// Everything that differs between Windows and POSIX builds lives here.
#ifndef GEOANCHOR_PLATFORM_PLATFORM_H_
#define GEOANCHOR_PLATFORM_PLATFORM_H_

#include <cstdio>
#include <string>

// The matrix numbers need printf's exact "%.20f" digits. With mingw-w64 that
// is its own C99 printf family; the legacy msvcrt one would print zeros
// after the seventeenth significant digit.
#if defined(__MINGW32__) && !__USE_MINGW_ANSI_STDIO
#error "build with __USE_MINGW_ANSI_STDIO=1"
#endif

// True for a character that ends a directory in a program path: the
// backslash everywhere, and on POSIX also the forward slash.
bool IsDirectorySeparator(char c);

// Replaces the file at `path` with exactly `text`, atomically: the text goes
// to a new temporary file in the same directory, is flushed to the disk and
// renamed over `path`. A reader, a crash or a full disk sees either the old
// file whole or the new one whole. On failure returns false, removes the
// temporary file, leaves `path` as it was and sets `*error` to the system's
// reason.
bool ReplaceFileContents(const std::string& path, const std::string& text,
                         std::string* error);

#endif  // GEOANCHOR_PLATFORM_PLATFORM_H_
