/* Test helper, built for Windows: starts a program with a command line
 * whose first word (the program path the child sees as argv[0]) is chosen
 * freely, which a plain `wine program.exe` never allows (Wine always passes
 * the full Windows path).
 *
 *   windows_launch.exe PROGRAM ARGV0 [ARG ...]
 *
 * Standard handles are inherited; the exit status is the child's. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

/* Appends `arg` quoted so that the child's C runtime splits it back into
 * exactly `arg`: backslashes are literal unless they precede a quote, so
 * those runs are doubled, and every quote is escaped. */
static void AppendQuoted(char* out, const char* arg) {
  char* p = out + strlen(out);
  *p++ = '"';
  for (const char* s = arg;; ++s) {
    size_t backslashes = 0;
    while (*s == '\\') {
      ++backslashes;
      ++s;
    }
    if (*s == '\0') {
      for (size_t i = 0; i < 2 * backslashes; ++i) *p++ = '\\';
      break;
    }
    if (*s == '"') {
      for (size_t i = 0; i < 2 * backslashes + 1; ++i) *p++ = '\\';
    } else {
      for (size_t i = 0; i < backslashes; ++i) *p++ = '\\';
    }
    *p++ = *s;
  }
  *p++ = '"';
  *p = '\0';
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: windows_launch PROGRAM ARGV0 [ARG ...]\n");
    return 2;
  }
  size_t size = 1;
  for (int i = 2; i < argc; ++i) size += 2 * strlen(argv[i]) + 4;
  char* command_line = calloc(size, 1);
  if (command_line == NULL) return 2;
  for (int i = 2; i < argc; ++i) {
    if (i > 2) strcat(command_line, " ");
    AppendQuoted(command_line, argv[i]);
  }
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process;
  if (!CreateProcessA(argv[1], command_line, NULL, NULL, TRUE, 0, NULL, NULL,
                      &startup, &process)) {
    fprintf(stderr, "windows_launch: cannot start %s (error %lu)\n", argv[1],
            (unsigned long)GetLastError());
    return 2;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 2;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  free(command_line);
  return (int)status;
}
