#include "output/write_file.h"

#include <cstdio>

#include "common/tool_name.h"
#include "platform/platform.h"

namespace geoanchor {

bool WriteFileOrSay(const std::string& path, const std::string& text,
                    const Message& what, Language language) {
  std::string error;
  if (ReplaceFileContents(path, text, &error)) return true;
  std::fflush(stdout);
  // The path and the reason are in the process's code page already; the
  // words are UTF-8 and converted to it.
  const Message before{"cannot write " + what.en + (what.en.empty() ? "" : " "),
                       "无法写入" + what.zh + " "};
  const Message colon{": ", "："};
  WriteMessage(kMessagePrefix + ProcessTextFromUtf8(before.In(language)) +
               path + ProcessTextFromUtf8(colon.In(language)) + error + "\n");
  return false;
}

}  // namespace geoanchor
