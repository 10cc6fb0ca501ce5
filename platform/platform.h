// Everything that differs between Windows and POSIX builds lives here.
#ifndef GEOANCHOR_PLATFORM_PLATFORM_H_
#define GEOANCHOR_PLATFORM_PLATFORM_H_

#include <cstdio>
#include <string>
#include <vector>

#include "common/language.h"

namespace geoanchor {

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

// The program's own strings (its arguments, and the paths and messages made
// from them) are in the process's code page. On Windows that is UTF-8 where
// the executable's manifest is honoured (Windows 10 1903 and later, Wine 8)
// and the system's ANSI code page on older Windows; elsewhere it is the bytes
// as they come, UTF-8 in practice. Files are opened through the wide-character
// functions on Windows, so that long paths work where Windows allows them.

// Reads the file at `path` whole, as bytes. Returns false, with the
// system's reason in `*error`, when it cannot be read.
bool ReadFileBytes(const std::string& path, std::string* bytes,
                   std::string* error);

// UTF-8 `text` in the program's own encoding (above), for a message: as it
// is where that is UTF-8; on Windows in an ANSI code page, characters it
// lacks become "?".
std::string ProcessTextFromUtf8(const std::string& text);

// Reads the flag file at `path` whole and returns its text in the program's
// own encoding. A UTF-8 byte-order mark is dropped and UTF-16 (LE or BE, with
// its byte-order mark) converted, on every platform. On Windows a file
// without a mark is read as UTF-8 when it is valid UTF-8, and otherwise in
// the ANSI code page of the system's default locale (GBK on a Chinese
// Windows); characters the process's code page lacks become "?". Elsewhere
// such a file is taken as it is. Returns false when the file cannot be read.
bool ReadFlagFile(const std::string& path, std::string* text);

// gflags' test of a word of a flag file's program-name line: `glob` equals or
// matches (fnmatch with FNM_PATHNAME; on Windows PathMatchSpecA) the program
// path `argv0` or its last component.
bool MatchesProgramName(const std::string& glob, const std::string& argv0);

// The language the user's system speaks: on Windows the user's UI language
// (GetUserDefaultUILanguage), Chinese for any Chinese; elsewhere
// LanguageOfLocaleVariables of the environment's LC_ALL, LC_MESSAGES and
// LANG.
Language SystemLanguage();

// POSIX's order for messages: the first of `lc_all`, `lc_messages` and
// `lang` that is set and not empty decides, whether or not that locale is
// installed; a value beginning "zh" (zh_CN, zh_TW.UTF-8, zh) is Chinese,
// any other, or none, English. Null means unset.
Language LanguageOfLocaleVariables(const char* lc_all, const char* lc_messages,
                                   const char* lang);

// Writes `text` to standard error. On Windows, to a console as UTF-16
// (WriteConsoleW), so that every character shows whatever the console's code
// page; redirected, as UTF-8. Elsewhere as it is.
void WriteMessage(const std::string& text);

// On Windows, from Begin to End (or to the process's exit, where the flag
// library ends it after its help), what the C library writes to standard
// error, and with `help` also to standard output, is gathered when that
// stream is a console and then written to it as UTF-16: the occurrences of
// `gbk_texts` (the help texts, compiled as GBK) decoded from GBK, the rest in
// the process's code page. Redirected streams are left alone: the help stays
// GBK bytes there. Does nothing elsewhere.
void BeginLibraryConsoleOutput(bool help, std::vector<std::string> gbk_texts);
void EndLibraryConsoleOutput();

}  // namespace geoanchor

#endif  // GEOANCHOR_PLATFORM_PLATFORM_H_
