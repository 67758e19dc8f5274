#include "support/fake_platform.h"

#include <algorithm>
#include <memory>

#include "update/progress.h"
#include "update/update_context.h"
#include "util/ascii.h"

namespace zr::test {
namespace {

// Upper case as the file system folds names: ASCII, Latin-1, Latin Extended-A, Greek and
// Cyrillic, which is what the tests spell names in.
wchar_t FoldCase(wchar_t c) {
  if (c >= L'a' && c <= L'z') return c - (L'a' - L'A');
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) ||
      (c >= 0x430 && c <= 0x44F)) {
    return c - 0x20;
  }
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  if (c >= 0x100 && c <= 0x17F && (c % 2) == 1 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) return c - 1;
  return c;
}

std::wstring Key(const std::wstring& path) {
  std::wstring key = FakeFullPath(path);
  for (wchar_t& c : key) c = FoldCase(c);
  return key;
}

std::wstring ParentOf(const std::wstring& path) {
  const std::wstring full = FakeFullPath(path);
  const size_t slash = full.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : full.substr(0, slash);
}

bool IsDriveRoot(const std::wstring& path) { return path.size() == 2 && path[1] == L':'; }

// True when `path` lies below `directory` (keys compared).
bool IsBelow(const std::wstring& path, const std::wstring& directoryKey) {
  const std::wstring key = Key(path);
  return key.size() > directoryKey.size() + 1 && key.compare(0, directoryKey.size(), directoryKey) == 0 &&
         key[directoryKey.size()] == L'\\';
}

}  // namespace

std::wstring FakeFullPath(const std::wstring& path) {
  std::wstring root;
  std::vector<std::wstring> parts;
  std::wstring part;
  size_t i = 0;
  if (path.size() >= 2 && path[1] == L':') {
    root = path.substr(0, 2);
    i = 2;
  } else if (path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/')) {
    root = L"\\";  // a network path keeps its leading pair of separators
    i = 1;
  }
  auto flush = [&] {
    if (part == L"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != L".") {
      parts.push_back(part);
    }
    part.clear();
  };
  for (; i < path.size(); ++i) {
    if (path[i] == L'\\' || path[i] == L'/') {
      flush();
    } else {
      part += path[i];
    }
  }
  // The last name loses trailing dots and blanks, as Windows opens it.
  while (!part.empty() && (part.back() == L'.' || part.back() == L' ') && part != L"." && part != L"..") part.pop_back();
  flush();
  std::wstring full = root;
  for (const std::wstring& name : parts) full += L"\\" + name;
  return full;
}

namespace {

// A path already in its full form: nothing to resolve, only letter case to fold.
bool IsPlain(const std::wstring& path) {
  if (path.empty() || path.back() == L'.' || path.back() == L' ') return false;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == L'/') return false;
    if (path[i] == L'\\' && i + 1 < path.size() && (path[i + 1] == L'\\' || path[i + 1] == L'.')) return false;
  }
  return true;
}

}  // namespace

bool FakePathLess::operator()(const std::wstring& a, const std::wstring& b) const {
  if (!IsPlain(a) || !IsPlain(b)) return Key(a) < Key(b);
  // The common case, without building keys: the sweeps compare paths millions of times.
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const wchar_t x = FoldCase(a[i]), y = FoldCase(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

int FakePlatform::ComparePaths(const std::wstring& a, const std::wstring& b) {
  std::wstring x = a, y = b;
  for (wchar_t& c : x) c = FoldCase(c);
  for (wchar_t& c : y) c = FoldCase(c);
  return x.compare(y) < 0 ? -1 : (x == y ? 0 : 1);
}

bool FakePlatform::Operate(const std::wstring& what) {
  ++operations;
  if (operations == dieAtOperation) {
    log.push_back(L"died before " + what);
    throw ProcessDied{operations};
  }
  if (operations == endAtOperation) {
    log.push_back(L"asked to end");
    shuttingDown = true;
  }
  if (operations == failOperation) {
    log.push_back(L"failed " + what);
    return false;
  }
  return true;
}

PathKind FakePlatform::Inspect(const std::wstring& path) {
  if (path.empty()) return PathKind::kMissing;
  if (directoryLinks.count(path)) return PathKind::kDirectoryLink;
  if (directories.count(path) || IsDriveRoot(FakeFullPath(path))) return PathKind::kDirectory;
  return files.count(path) ? PathKind::kFile : PathKind::kMissing;
}

bool FakePlatform::MoveReplace(const std::wstring& from, const std::wstring& to) {
  ++moveCount;
  if (fileStageDepth == 0) ++movesOutsideFileStage;
  if (!Operate(L"move " + from + L" -> " + to)) return false;
  log.push_back(L"move " + from + L" -> " + to);
  if (lockedPaths.count(from) || lockedPaths.count(to)) return false;
  auto source = files.find(from);
  if (source == files.end() || Inspect(to) == PathKind::kDirectory || Inspect(to) == PathKind::kDirectoryLink) {
    return false;
  }
  const std::wstring parent = ParentOf(to);
  if (!parent.empty() && Inspect(parent) != PathKind::kDirectory) return false;
  std::string content = std::move(source->second);
  files.erase(source);
  files.erase(to);  // the destination is replaced under the name it is given now
  files[to] = std::move(content);
  return true;
}

bool FakePlatform::RemoveFile(const std::wstring& path) {
  if (!Operate(L"delete " + path)) return false;
  log.push_back(L"delete " + path);
  if (lockedPaths.count(path)) return false;
  files.erase(path);
  return true;
}

bool FakePlatform::CreateDirectoryChain(const std::wstring& path) {
  if (!Operate(L"mkdirs " + path)) return false;
  log.push_back(L"mkdirs " + path);
  if (path.empty()) return false;
  // As Windows walks it: the full path, only the part before its last separator.
  const size_t last = path.find_last_of(L"\\/");
  if (last == std::wstring::npos) return true;
  const std::wstring full = FakeFullPath(path.substr(0, last)) + L"\\";
  for (size_t i = 0; i < full.size(); ++i) {
    if (full[i] != L'\\') continue;
    const std::wstring prefix = full.substr(0, i);
    if (Inspect(prefix) != PathKind::kMissing) continue;
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

bool FakePlatform::WriteDurably(const std::wstring& path, const std::string& bytes, bool append) {
  if (operations + 1 == dieAtOperation) {
    // Cut off half-way: the disk holds the first half of what was being written.
    std::string& file = files[path];
    file = (append ? file : std::string()) + bytes.substr(0, bytes.size() / 2);
  }
  if (!Operate(L"write " + path)) return false;
  log.push_back(std::wstring(append ? L"append " : L"write ") + path);
  const std::wstring parent = ParentOf(path);
  if (lockedPaths.count(path) || (!parent.empty() && Inspect(parent) != PathKind::kDirectory)) return false;
  if (append && !files.count(path)) return false;
  std::string& file = files[path];
  file = (append ? file : std::string()) + bytes;
  return true;
}

bool FakePlatform::DeleteDirectoryTree(const std::wstring& directory) {
  log.push_back(L"rmtree " + directory);
  const std::wstring dir = FakeFullPath(directory);
  if (directoryLinks.count(dir)) return false;  // a link: what it leads to is not emptied
  const std::wstring dirKey = Key(dir);
  // Nothing below a link inside the tree is touched either.
  auto belowLink = [&](const std::wstring& path) {
    for (const std::wstring& link : directoryLinks) {
      if (IsBelow(path, Key(link))) return true;
    }
    return false;
  };
  for (auto it = files.begin(); it != files.end();) {
    it = IsBelow(it->first, dirKey) && !belowLink(it->first) ? files.erase(it) : std::next(it);
  }
  for (auto it = directories.begin(); it != directories.end();) {
    it = IsBelow(*it, dirKey) && !belowLink(*it) ? directories.erase(it) : std::next(it);
  }
  for (auto it = directoryLinks.begin(); it != directoryLinks.end();) {
    it = IsBelow(*it, dirKey) ? directoryLinks.erase(it) : std::next(it);
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
    // As the updater compares process paths: as the file system tells files apart.
    if (ComparePaths(FullPath(process.path), FullPath(exePath)) == 0) {
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

BoxAnswer FakePlatform::NextAnswer(const std::wstring& box) {
  if (shuttingDown) {
    // An ending process shows no box; it counts as closed.
    log.push_back(L"skipped " + box);
    return BoxAnswer::kClosed;
  }
  log.push_back(box);
  if (onBox) onBox(*this);
  if (boxAnswers.empty()) return BoxAnswer::kClosed;
  const BoxAnswer answer = boxAnswers.front();
  boxAnswers.erase(boxAnswers.begin());
  return answer;
}

BoxAnswer FakePlatform::ShowLinkBox(const std::wstring& title, const std::wstring& linkText,
                              const std::wstring& message, const std::wstring& firstButton,
                              const std::wstring* secondButton) {
  return NextAnswer(L"linkbox " + title + L"|" + message + L"|" + firstButton + L"|" +
                    (secondButton ? *secondButton : std::wstring(L"(none)")) + L"|" + linkText);
}

BoxAnswer FakePlatform::ShowQuestionBox(const std::wstring& caption, const std::wstring& message,
                                  const std::wstring& confirmButton, const std::wstring& cancelButton) {
  return NextAnswer(L"questionbox " + caption + L"|" + message + L"|" + confirmButton + L"|" + cancelButton);
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

void FakePlatform::LeaveFileStage() { --fileStageDepth; }

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
