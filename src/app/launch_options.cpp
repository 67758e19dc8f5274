#include "app/launch_options.h"

#include "util/text.h"

namespace zr {

void ParseCommandLine(const std::vector<std::wstring>& arguments, LaunchOptions& options) {
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    const bool valueFollows = i + 1 < arguments.size();
    if (argument == L"/version" && valueFollows) {
      options.version = WideToUtf8(arguments[++i]);
    } else if (argument == L"/develop") {
      options.develop = true;
    } else if (argument == L"/config" && valueFollows) {
      options.config = arguments[++i];
    }
  }
}

}  // namespace zr
