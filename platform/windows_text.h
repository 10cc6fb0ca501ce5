// Windows only, inside platform/: conversions between the process's code
// page, other code pages and UTF-16.
#ifndef GEOANCHOR_PLATFORM_WINDOWS_TEXT_H_
#define GEOANCHOR_PLATFORM_WINDOWS_TEXT_H_

#ifdef _WIN32
#include <windows.h>

#include <string>

namespace geoanchor {

// `text` in code page `code_page` (CP_ACP: the process's) as UTF-16; an
// invalid sequence becomes U+FFFD.
std::wstring Widen(const std::string& text, UINT code_page = CP_ACP);

// UTF-16 `text` in code page `code_page`; a character it lacks becomes "?".
std::string Narrow(const std::wstring& text, UINT code_page = CP_ACP);

}  // namespace geoanchor

#endif  // _WIN32
#endif  // GEOANCHOR_PLATFORM_WINDOWS_TEXT_H_
