/* Test helper, built for Windows: prints the version resource of a program
 * as Windows' file properties read it, one "Name=value" line each.
 *
 *   windows_version_info.exe PROGRAM */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(argv[1], &ignored);
  void* info = size > 0 ? malloc(size) : NULL;
  if (info == NULL || !GetFileVersionInfoA(argv[1], 0, size, info)) {
    fprintf(stderr, "windows_version_info: no version resource in %s\n",
            argv[1]);
    return 1;
  }
  VS_FIXEDFILEINFO* fixed = NULL;
  UINT length = 0;
  if (VerQueryValueA(info, "\\", (void**)&fixed, &length) && fixed != NULL) {
    printf("FILEVERSION=%lu.%lu.%lu.%lu\n",
           (unsigned long)HIWORD(fixed->dwFileVersionMS),
           (unsigned long)LOWORD(fixed->dwFileVersionMS),
           (unsigned long)HIWORD(fixed->dwFileVersionLS),
           (unsigned long)LOWORD(fixed->dwFileVersionLS));
  }
  const char* names[] = {"FileVersion", "ProductVersion", "FileDescription",
                         "ProductName", "OriginalFilename"};
  for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
    char query[128];
    char* value = NULL;
    snprintf(query, sizeof query, "\\StringFileInfo\\040904B0\\%s", names[i]);
    if (VerQueryValueA(info, query, (void**)&value, &length) && value) {
      printf("%s=%s\n", names[i], value);
    }
  }
  free(info);
  return 0;
}
