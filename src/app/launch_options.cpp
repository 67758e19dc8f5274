#include "app/launch_options.h"

#include "util/text.h"

namespace zr {

void ParseCommandLine(const std::vector<std::wstring>& arguments, LaunchOptions& options) {
  const size_t count = arguments.size();
  size_t i = 1;
  while (i < count) {
    const std::wstring& argument = arguments[i];
    if (argument == L"/version" && i + 1 < count) {
      options.version = WideToUtf8(arguments[i + 1]);
      i += 2;
    } else if (argument == L"/develop") {
      options.develop = true;
      i += 1;
    } else if (argument == L"/config" && i + 1 < count) {
      options.config = arguments[i + 1];
      i += 2;
    } else {
      i += 1;
    }
  }
}

}  // namespace zr
