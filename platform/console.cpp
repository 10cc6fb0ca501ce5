// Text for the user on standard error, and the flag library's console
// output (see platform.h).
#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdlib>

#include "platform/windows_text.h"
#endif

namespace geoanchor {

#ifdef _WIN32

namespace {

// The stream's console, or nullptr when it is redirected.
HANDLE ConsoleOf(int fd) {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
    return nullptr;
  }
  return handle;
}

void WriteToConsole(HANDLE console, const std::wstring& text) {
  for (size_t done = 0; done < text.size();) {
    const DWORD chunk =
        static_cast<DWORD>(std::min<size_t>(text.size() - done, 16384));
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data() + done, chunk, &written, nullptr) ||
        written == 0) {
      return;
    }
    done += written;
  }
}

// One stream whose console output is being gathered: the C library's file
// descriptor points at a pipe, which a thread empties into `bytes`.
struct Gathered {
  Gathered(FILE* s, int f) : stream(s), fd(f) {}
  FILE* stream;
  int fd;
  int console_fd = -1;  // the console, kept while the pipe stands in
  HANDLE pipe = nullptr;
  HANDLE thread = nullptr;
  std::string bytes;
};

Gathered g_streams[] = {Gathered(stdout, 1), Gathered(stderr, 2)};
std::vector<std::string> g_gbk_texts;

DWORD WINAPI Drain(void* argument) {
  Gathered* g = static_cast<Gathered*>(argument);
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(g->pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) {
    g->bytes.append(buffer, n);
  }
  return 0;
}

void Gather(Gathered* g) {
  if (ConsoleOf(g->fd) == nullptr) return;
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, nullptr, 0)) return;
  const int write_fd =
      _open_osfhandle(reinterpret_cast<intptr_t>(write_end), _O_BINARY);
  if (write_fd < 0) {
    CloseHandle(read_end);
    CloseHandle(write_end);
    return;
  }
  std::fflush(g->stream);
  g->console_fd = _dup(g->fd);
  g->pipe = read_end;
  g->thread = CreateThread(nullptr, 0, &Drain, g, 0, nullptr);
  if (g->console_fd < 0 || g->thread == nullptr ||
      _dup2(write_fd, g->fd) != 0) {
    _close(write_fd);  // the reader, if any, sees the end of the pipe
    if (g->thread != nullptr) WaitForSingleObject(g->thread, INFINITE);
    if (g->thread != nullptr) CloseHandle(g->thread);
    if (g->console_fd >= 0) _close(g->console_fd);
    CloseHandle(read_end);
    g->console_fd = -1;
    g->thread = nullptr;
    return;
  }
  _close(write_fd);  // the stream's descriptor now holds the only write end
}

// The gathered bytes as UTF-16: the GBK help texts from GBK, the rest in the
// process's code page.
std::wstring Decode(const std::string& bytes) {
  std::wstring text;
  std::string rest;
  for (size_t i = 0; i < bytes.size();) {
    const std::string* gbk = nullptr;
    for (const std::string& t : g_gbk_texts) {
      if (bytes.compare(i, t.size(), t) == 0) gbk = &t;
    }
    if (gbk == nullptr) {
      rest += bytes[i++];
      continue;
    }
    text += Widen(rest);
    rest.clear();
    text += Widen(*gbk, 936);
    i += gbk->size();
  }
  return text + Widen(rest);
}

void Release(Gathered* g) {
  if (g->console_fd < 0) return;
  std::fflush(g->stream);
  _dup2(g->console_fd, g->fd);  // closes the pipe's write end: the reader ends
  WaitForSingleObject(g->thread, INFINITE);
  CloseHandle(g->thread);
  CloseHandle(g->pipe);
  WriteToConsole(ConsoleOf(g->fd), Decode(g->bytes));
  _close(g->console_fd);
  g->console_fd = -1;
  g->bytes.clear();
}

}  // namespace

void WriteMessage(const std::string& text) {
  std::fflush(stderr);
  if (const HANDLE console = ConsoleOf(_fileno(stderr))) {
    WriteToConsole(console, Widen(text));
    return;
  }
  const std::string utf8 =
      GetACP() == CP_UTF8 ? text : Narrow(Widen(text), CP_UTF8);
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  std::fflush(stderr);
}

void BeginLibraryConsoleOutput(bool help, std::vector<std::string> gbk_texts) {
  static bool at_exit = false;
  if (!at_exit) {
    at_exit = std::atexit(&EndLibraryConsoleOutput) == 0;
    if (!at_exit) return;  // without it, help would never reach the console
  }
  // Only texts with bytes beyond ASCII read differently in GBK.
  g_gbk_texts.clear();
  for (std::string& text : gbk_texts) {
    for (const char c : text) {
      if (static_cast<unsigned char>(c) >= 0x80) {
        g_gbk_texts.push_back(std::move(text));
        break;
      }
    }
  }
  if (help) Gather(&g_streams[0]);
  Gather(&g_streams[1]);
}

void EndLibraryConsoleOutput() {
  for (Gathered& g : g_streams) Release(&g);
}

#else  // POSIX

void WriteMessage(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

void BeginLibraryConsoleOutput(bool, std::vector<std::string>) {}
void EndLibraryConsoleOutput() {}

#endif

}  // namespace geoanchor
