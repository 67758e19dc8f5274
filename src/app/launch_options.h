// The command line's values. Read once by the program before the worker thread exists; only
// read afterwards.
#pragma once

#include <string>
#include <vector>

namespace zr {

struct LaunchOptions {
  std::string version;   // "/version" value in UTF-8: the product's current version
  bool develop = false;  // "/develop": read by nothing
  std::wstring config;   // "/config" value: full path of the update manifest
};

// Reads the arguments after argument 0. Options match whole and case-sensitively; an option
// that needs a value and is the last argument is ignored; a later occurrence wins.
void ParseCommandLine(const std::vector<std::wstring>& arguments, LaunchOptions& options);

}  // namespace zr
