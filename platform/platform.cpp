#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/unicode_text.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <shlwapi.h>
#include <sys/stat.h>
#include <windows.h>

#include "platform/windows_text.h"
#else
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace geoanchor {

Language LanguageOfLocaleVariables(const char* lc_all, const char* lc_messages,
                                   const char* lang) {
  for (const char* value : {lc_all, lc_messages, lang}) {
    if (value == nullptr || value[0] == '\0') continue;
    return std::strncmp(value, "zh", 2) == 0 ? Language::kChinese
                                             : Language::kEnglish;
  }
  return Language::kEnglish;
}

#ifdef _WIN32
Language SystemLanguage() {
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE
             ? Language::kChinese
             : Language::kEnglish;
}
#else
Language SystemLanguage() {
  return LanguageOfLocaleVariables(
      std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}
#endif

namespace {

std::string SystemReason(int error_number) {
  return std::strerror(error_number);
}

#ifdef _WIN32
int OpenNew(const std::string& path) {
  return _wopen(Widen(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                _S_IREAD | _S_IWRITE);
}
FILE* OpenForReading(const std::string& path) {
  return _wfopen(Widen(path).c_str(), L"rb");
}
int RemoveFile(const std::string& path) {
  return _wremove(Widen(path).c_str());
}
int WriteSome(int fd, const char* data, size_t size) {
  return _write(fd, data, static_cast<unsigned>(size));
}
int SyncFile(int fd) { return _commit(fd); }
int CloseFile(int fd) { return _close(fd); }
int ProcessId() { return _getpid(); }
// rename() on Windows refuses an existing target.
bool Rename(const std::string& from, const std::string& to,
            std::string* error) {
  if (MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  *error =
      "cannot replace (Windows error " + std::to_string(GetLastError()) + ")";
  return false;
}
#else
int OpenNew(const std::string& path) {
  // 0666 before the umask, as fopen() would create the file.
  return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
FILE* OpenForReading(const std::string& path) {
  return std::fopen(path.c_str(), "rb");
}
int RemoveFile(const std::string& path) { return std::remove(path.c_str()); }
ssize_t WriteSome(int fd, const char* data, size_t size) {
  return write(fd, data, size);
}
int SyncFile(int fd) { return fsync(fd); }
int CloseFile(int fd) { return close(fd); }
int ProcessId() { return static_cast<int>(getpid()); }
bool Rename(const std::string& from, const std::string& to,
            std::string* error) {
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  *error = SystemReason(errno);
  return false;
}
#endif

#ifdef _WIN32
// The ANSI code page of the system's default locale: what GetACP() said
// before the manifest made it UTF-8.
UINT SystemAnsiCodePage() {
  DWORD code_page = 0;
  if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT,
                     LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                     reinterpret_cast<LPWSTR>(&code_page),
                     sizeof code_page / sizeof(WCHAR)) == 0 ||
      code_page == 0) {
    return CP_ACP;
  }
  return code_page;
}
#endif

}  // namespace

#ifdef _WIN32
std::wstring Widen(const std::string& text, UINT code_page) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int n =
      MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  std::wstring wide(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(code_page, 0, text.data(), size, &wide[0], n);
  return wide;
}

std::string Narrow(const std::wstring& text, UINT code_page) {
  if (text.empty()) return std::string();
  const int size = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(code_page, 0, text.data(), size, nullptr, 0,
                                    nullptr, nullptr);
  std::string narrow(n > 0 ? n : 0, '\0');
  if (n > 0) {
    WideCharToMultiByte(code_page, 0, text.data(), size, &narrow[0], n, nullptr,
                        nullptr);
  }
  return narrow;
}
#endif

bool ReadFileBytes(const std::string& path, std::string* bytes,
                   std::string* error) {
  errno = 0;
  const std::unique_ptr<FILE, int (*)(FILE*)> file(OpenForReading(path),
                                                   &std::fclose);
  if (!file) {
    *error = SystemReason(errno != 0 ? errno : ENOENT);
    return false;
  }
  bytes->clear();
  char buffer[8192];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;) {
    bytes->append(buffer, n);
  }
  if (std::ferror(file.get())) {
    // Reading a folder fails here on POSIX, with EISDIR.
    *error = SystemReason(errno != 0 ? errno : EIO);
    return false;
  }
  return true;
}

std::string ProcessTextFromUtf8(const std::string& text) {
#ifdef _WIN32
  if (GetACP() != CP_UTF8) return Narrow(Widen(text, CP_UTF8));
#endif
  return text;
}

bool ReadFlagFile(const std::string& path, std::string* text) {
  std::string bytes, error;
  if (!ReadFileBytes(path, &bytes, &error)) return false;
  std::string utf8;
  if (DecodeMarkedText(bytes, &utf8)) {
    *text = std::move(utf8);
  } else {
#ifdef _WIN32
    *text = IsValidUtf8(bytes)
                ? std::move(bytes)
                : Narrow(Widen(bytes, SystemAnsiCodePage()), CP_UTF8);
#else
    *text = std::move(bytes);
    return true;
#endif
  }
  *text = ProcessTextFromUtf8(*text);
  return true;
}

bool MatchesProgramName(const std::string& glob, const std::string& argv0) {
  // gflags' ProgramInvocationShortName.
  size_t slash = argv0.rfind('/');
#ifdef _WIN32
  if (slash == std::string::npos) slash = argv0.rfind('\\');
#endif
  const std::string name =
      slash == std::string::npos ? argv0 : argv0.substr(slash + 1);
  if (glob == argv0 || glob == name) return true;
#ifdef _WIN32
  // As gflags calls it: the glob in the file name's place.
  return PathMatchSpecA(glob.c_str(), argv0.c_str()) ||
         PathMatchSpecA(glob.c_str(), name.c_str());
#else
  return fnmatch(glob.c_str(), argv0.c_str(), FNM_PATHNAME) == 0 ||
         fnmatch(glob.c_str(), name.c_str(), FNM_PATHNAME) == 0;
#endif
}

bool IsDirectorySeparator(char c) {
#ifdef _WIN32
  return c == '\\';
#else
  return c == '\\' || c == '/';
#endif
}

bool ReplaceFileContents(const std::string& path, const std::string& text,
                         std::string* error) {
  // A name nobody else uses: the process id and a few attempts; O_EXCL makes
  // sure an existing file is never reused.
  std::string temp_path;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp_path = path + ".tmp" + std::to_string(ProcessId()) + "-" +
                std::to_string(attempt);
    fd = OpenNew(temp_path);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    *error = SystemReason(errno);
    return false;
  }

  const char* data = text.data();
  size_t left = text.size();
  while (left > 0) {
    const auto written = WriteSome(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      *error = SystemReason(errno);
      CloseFile(fd);
      RemoveFile(temp_path);
      return false;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  if (SyncFile(fd) != 0) {
    *error = SystemReason(errno);
    CloseFile(fd);
    RemoveFile(temp_path);
    return false;
  }
  if (CloseFile(fd) != 0) {
    *error = SystemReason(errno);
    RemoveFile(temp_path);
    return false;
  }
  if (!Rename(temp_path, path, error)) {
    RemoveFile(temp_path);
    return false;
  }
  return true;
}

}  // namespace geoanchor
