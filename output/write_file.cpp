#include "output/write_file.h"

#include <cstdio>

#include "common/tool_name.h"
#include "platform/platform.h"

namespace geoanchor {

bool WriteFileOrSay(const std::string& path, const std::string& text,
                    const std::string& what) {
  std::string error;
  if (ReplaceFileContents(path, text, &error)) return true;
  std::fflush(stdout);
  WriteMessage(std::string(kMessagePrefix) + "cannot write " + what +
               (what.empty() ? "" : " ") + path + ": " + error + "\n");
  return false;
}

}  // namespace geoanchor
