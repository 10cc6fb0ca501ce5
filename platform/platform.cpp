#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::string SystemReason(int error_number) {
  return std::strerror(error_number);
}

#ifdef _WIN32
int OpenNew(const std::string& path) {
  return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
               _S_IREAD | _S_IWRITE);
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
  if (MoveFileExA(from.c_str(), to.c_str(),
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

}  // namespace

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
      std::remove(temp_path.c_str());
      return false;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  if (SyncFile(fd) != 0) {
    *error = SystemReason(errno);
    CloseFile(fd);
    std::remove(temp_path.c_str());
    return false;
  }
  if (CloseFile(fd) != 0) {
    *error = SystemReason(errno);
    std::remove(temp_path.c_str());
    return false;
  }
  if (!Rename(temp_path, path, error)) {
    std::remove(temp_path.c_str());
    return false;
  }
  return true;
}
