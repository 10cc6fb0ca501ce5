// Runs a fuzz target once on every file named on the command line (or in a
// directory named there), so that the seed corpora and every reproducer
// kept from a fuzzing crash stay regression tests in ordinary builds.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int RunFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 1;
  }
  std::stringstream s;
  s << in.rdbuf();
  const std::string bytes = s.str();
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()),
                         bytes.size());
  return 0;
}

int RunPath(const std::string& path, int* files) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    std::fprintf(stderr, "no such input: %s\n", path.c_str());
    return 1;
  }
  if (!S_ISDIR(st.st_mode)) {
    ++*files;
    return RunFile(path);
  }
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return 1;
  int failures = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    failures += RunPath(path + "/" + name, files);
  }
  closedir(dir);
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  int failures = 0;
  int files = 0;
  for (int i = 1; i < argc; ++i) failures += RunPath(argv[i], &files);
  std::fprintf(stderr, "%d inputs run\n", files);
  return failures == 0 && files > 0 ? 0 : 1;
}
