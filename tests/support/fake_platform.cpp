#include "support/fake_platform.h"

#include <cwctype>
#include <memory>

#include "update/progress.h"
#include "update/update_context.h"

namespace zr::test {
namespace {

std::wstring ParentOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool EqualsAsciiNoCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto fold = [](wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

bool IsDriveRoot(const std::wstring& path) {
  return path.size() == 2 && path[1] == L':';
}

}  // namespace

bool FakePlatform::PathExists(const std::wstring& path) {
  return !path.empty() && (files.count(path) != 0 || directories.count(path) != 0 || IsDriveRoot(path));
}

bool FakePlatform::MoveReplace(const std::wstring& from, const std::wstring& to) {
  ++moveCount;
  if (fileStageDepth == 0) ++movesOutsideFileStage;
  log.push_back(L"move " + from + L" -> " + to);
  if (moveCount == failMoveNumber) return false;
  if (lockedPaths.count(from) || lockedPaths.count(to)) return false;
  auto source = files.find(from);
  if (source == files.end() || directories.count(to) != 0) return false;
  std::wstring parent = ParentOf(to);
  if (!parent.empty() && !PathExists(parent)) return false;
  std::string content = std::move(source->second);
  files.erase(source);
  files[to] = std::move(content);
  return true;
}

void FakePlatform::RemoveFile(const std::wstring& path) {
  log.push_back(L"delete " + path);
  if (!lockedPaths.count(path)) files.erase(path);
}

bool FakePlatform::CreateDirectoryChain(const std::wstring& path) {
  log.push_back(L"mkdirs " + path);
  if (path.empty()) return false;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] != L'\\' && path[i] != L'/') continue;
    std::wstring prefix = path.substr(0, i);
    if (PathExists(prefix)) continue;
    if (prefix.empty() || files.count(prefix)) return false;
    directories.insert(prefix);
  }
  return true;
}

std::string FakePlatform::ReadWholeFile(const std::wstring& path) {
  log.push_back(L"read " + path);
  auto it = files.find(path);
  return it == files.end() ? std::string() : it->second;
}

bool FakePlatform::DeleteDirectoryTree(const std::wstring& directory) {
  log.push_back(L"rmtree " + directory);
  std::wstring dir = directory;
  while (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
  const std::wstring prefix = dir + L"\\";
  for (auto it = files.begin(); it != files.end();) {
    it = it->first.compare(0, prefix.size(), prefix) == 0 ? files.erase(it) : std::next(it);
  }
  for (auto it = directories.begin(); it != directories.end();) {
    it = it->compare(0, prefix.size(), prefix) == 0 ? directories.erase(it) : std::next(it);
  }
  return directories.erase(dir) != 0;
}

void FakePlatform::AdvanceProcesses() {
  for (auto it = processes.begin(); it != processes.end();) {
    bool ended = it->second.exitsAfterMs >= 0 && clock >= static_cast<uint64_t>(it->second.exitsAfterMs);
    it = ended ? processes.erase(it) : std::next(it);
  }
}

uint32_t FakePlatform::FindProcessByPath(const std::wstring& exePath) {
  AdvanceProcesses();
  for (const auto& [id, process] : processes) {
    if (EqualsAsciiNoCase(process.path, exePath)) {
      log.push_back(L"find " + std::to_wstring(id));
      return id;
    }
  }
  log.push_back(L"find 0");
  return 0;
}

void FakePlatform::TerminateProcessById(uint32_t processId, uint32_t exitCode) {
  log.push_back(L"terminate " + std::to_wstring(processId) + L" " + std::to_wstring(exitCode));
  auto it = processes.find(processId);
  if (it != processes.end() && it->second.terminable) processes.erase(it);
}

bool FakePlatform::PostQuitToProductWindow() {
  for (auto& [id, process] : processes) {
    if (!process.hasWindow) continue;
    log.push_back(L"quit-window " + std::to_wstring(id));
    if (process.quitsOnRequest) {
      int64_t when = static_cast<int64_t>(clock) + process.quitDelayMs;
      if (process.exitsAfterMs < 0 || process.exitsAfterMs > when) process.exitsAfterMs = when;
    }
    return true;
  }
  log.push_back(L"quit-window none");
  return false;
}

bool FakePlatform::PostToMainWindow(uint32_t message, intptr_t lParam) {
  PostedMessage record;
  record.message = message;
  record.value = lParam;
  record.time = clock;
  const bool isText = message == WM_UPDATE_STATUS_TEXT || message == WM_UPDATE_FATAL_TEXT;
  if (isText && lParam != 0) record.text = *reinterpret_cast<const std::wstring*>(lParam);
  log.push_back(L"post " + std::to_wstring(message - 0x8000) + (record.text ? L" " + *record.text : L""));
  if (postFails) return false;  // the sender keeps the payload
  // Delivered: the window owns the payload and frees it after use.
  if (isText && lParam != 0) delete reinterpret_cast<std::wstring*>(lParam);
  posted.push_back(std::move(record));
  return true;
}

int FakePlatform::NextAnswer() {
  if (onBox) onBox(*this);
  if (boxAnswers.empty()) return 8;
  int answer = boxAnswers.front();
  boxAnswers.erase(boxAnswers.begin());
  return answer;
}

int FakePlatform::ShowLinkBox(const std::wstring& title, const std::wstring& linkText,
                              const std::wstring& message, const std::wstring& firstButton,
                              const std::wstring* secondButton) {
  log.push_back(L"linkbox " + title + L"|" + message + L"|" + firstButton + L"|" +
                (secondButton ? *secondButton : std::wstring(L"(none)")) + L"|" + linkText);
  return NextAnswer();
}

int FakePlatform::ShowQuestionBox(const std::wstring& caption, const std::wstring& message,
                                  const std::wstring& confirmButton, const std::wstring& cancelButton) {
  log.push_back(L"questionbox " + caption + L"|" + message + L"|" + confirmButton + L"|" + cancelButton);
  return NextAnswer();
}

void FakePlatform::Sleep(uint32_t milliseconds) {
  log.push_back(L"sleep " + std::to_wstring(milliseconds));
  clock += milliseconds;
}

bool FakePlatform::EnterFileStage() {
  ++fileStageRequests;
  if (shuttingDown) return false;
  ++fileStageDepth;
  return true;
}

void FakePlatform::LeaveFileStage() {
  --fileStageDepth;
}

void FakePlatform::SendUsageReport(const CUpdateContext&, int32_t code) {
  log.push_back(L"report " + std::to_wstring(code));
  ++reportsSent;
  lastReportCode = code;
}

std::vector<uint32_t> FakePlatform::PostedIds() const {
  std::vector<uint32_t> ids;
  for (const auto& p : posted) ids.push_back(p.message);
  return ids;
}

std::vector<std::wstring> FakePlatform::StatusTexts() const {
  std::vector<std::wstring> texts;
  for (const auto& p : posted) {
    if (p.message == WM_UPDATE_STATUS_TEXT && p.text) texts.push_back(*p.text);
  }
  return texts;
}

}  // namespace zr::test
