#include "support/temp_dir.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <system_error>

namespace zr::test {
namespace {

namespace fs = std::filesystem;

std::atomic<unsigned> g_counter{0};

}  // namespace

TempDir::TempDir() {
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  for (int attempt = 0; attempt < 100 && m_path.empty() && !error; ++attempt) {
    const fs::path candidate = base / ("zrtest-" + std::to_string(getpid()) + "-" + std::to_string(g_counter++));
    if (fs::create_directory(candidate, error)) m_path = candidate.wstring();
  }
}

// remove_all removes a symbolic link as a link and never follows it.
TempDir::~TempDir() {
  std::error_code error;
  if (!m_path.empty()) fs::remove_all(fs::path(m_path), error);
}

std::wstring TempDir::operator/(const std::wstring& name) const { return m_path + L"/" + name; }

}  // namespace zr::test
