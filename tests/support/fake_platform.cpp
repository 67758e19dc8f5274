#include "support/fake_platform.h"

#include <algorithm>
#include <memory>
#include <new>

#include "update/update_context.h"

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

bool FoldedEqual(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return FoldCase(x) == FoldCase(y); });
}

// A name that is a short (8.3) name itself: ASCII, no blank, at most one dot, at most 8
// characters before it and 3 after.
bool IsShortName(const std::wstring& name) {
  const size_t dot = name.find(L'.');
  const size_t base = dot == std::wstring::npos ? name.size() : dot;
  if (base == 0 || base > 8 || (dot != std::wstring::npos && (name.size() - dot - 1 > 3 || name.find(L'.', dot + 1) != std::wstring::npos))) {
    return false;
  }
  return std::all_of(name.begin(), name.end(), [](wchar_t c) { return c > L' ' && c < 0x7F; });
}

// The volume a resolved full path lies on: its drive letter, or its network share.
std::wstring VolumeOf(const std::wstring& at) {
  if (at.size() >= 2 && at[1] == L':') return std::wstring(1, FoldCase(at[0]));
  const size_t share = at.find(L'\\', at.find(L'\\', 2) + 1);
  return Key(at.substr(0, share));
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

// A path already in its full form: nothing to resolve, only letter case to fold. (Raw pointers:
// the sweeps compare paths millions of times, in a build without inlining.)
bool IsPlain(const std::wstring& path) {
  const wchar_t* p = path.data();
  const size_t n = path.size();
  if (n < 3 || p[1] != L':' || p[2] != L'\\') return false;  // not a drive's full path
  if (p[n - 1] == L'.' || p[n - 1] == L' ' || p[n - 1] == L'\\') return false;
  for (size_t i = 0; i < n; ++i) {
    if (p[i] == L'/') return false;
    if (p[i] == L'\\' && i + 1 < n && (p[i + 1] == L'\\' || p[i + 1] == L'.')) return false;
  }
  return true;
}

// Orders two plain paths as their keys would be ordered, without building the keys.
int ComparePlain(const std::wstring& a, const std::wstring& b) {
  const wchar_t* x = a.data();
  const wchar_t* y = b.data();
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const wchar_t u = FoldCase(x[i]), v = FoldCase(y[i]);
    if (u != v) return u < v ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() == b.size() ? 0 : 1);
}

}  // namespace

// A file the updater holds: registered with the fake while held, so that nobody may write, move
// or delete it meanwhile.
class FakeHeldFile : public IHeldFile {
 public:
  FakeHeldFile(FakePlatform& platform, std::wstring path, std::wstring at, FileIdentity identity)
      : m_platform(platform), m_path(std::move(path)), m_identity(identity), at(std::move(at)) {
    ++m_platform.m_ourHolds[this->at];
  }
  ~FakeHeldFile() override { Release(); }
  const FileIdentity& Identity() const override { return m_identity; }
  const std::wstring& Path() const override { return m_path; }

  // Lets the file and its copy go.
  void Release() {
    for (std::wstring* held : {&at, &copyAt}) {
      if (held->empty()) continue;
      auto it = m_platform.m_ourHolds.find(*held);
      if (it != m_platform.m_ourHolds.end() && --it->second == 0) m_platform.m_ourHolds.erase(it);
      held->clear();
    }
  }
  void HoldCopy(const std::wstring& copy) {
    copyAt = copy;
    ++m_platform.m_ourHolds[copyAt];
  }

 private:
  FakePlatform& m_platform;
  std::wstring m_path;
  FileIdentity m_identity;

 public:
  std::wstring at;      // where the staged file is (resolved); empty once let go
  std::wstring copyAt;  // where its copy is, once made
};

namespace {

FakeHeldFile& Held(IHeldFile& file) { return static_cast<FakeHeldFile&>(file); }
const FakeHeldFile& Held(const IHeldFile& file) { return static_cast<const FakeHeldFile&>(file); }

}  // namespace

bool FakePathLess::operator()(const std::wstring& a, const std::wstring& b) const {
  if (!IsPlain(a) || !IsPlain(b)) return Key(a) < Key(b);
  return ComparePlain(a, b) < 0;
}

int FakePlatform::ComparePaths(const std::wstring& a, const std::wstring& b) { return ComparePlain(a, b); }

FakePlatform::Fault FakePlatform::Operate(const std::wstring& what) {
  ++operations;
  if (operations == dieAtOperation) {
    log.push_back(L"died before " + what);
    throw ProcessDied{operations};
  }
  if (operations == throwAtOperation) {
    log.push_back(L"threw at " + what);
    throw std::bad_alloc();
  }
  if (operations == endAtOperation) {
    log.push_back(L"asked to end");
    shuttingDown = true;
  }
  if (operations != failOperation) return Fault::kNone;
  return failAfterEffect ? Fault::kFailAfterEffect : Fault::kFail;
}

bool FakePlatform::Begin(Fault fault, const std::wstring& what) {
  if (fault == Fault::kFail) {
    log.push_back(L"failed " + what);
    return Failed(failError);
  }
  log.push_back(what);
  return true;
}

bool FakePlatform::Finish(Fault fault, bool done) {
  if (fault != Fault::kFailAfterEffect) return done;
  log.push_back(L"reported failed");
  return Failed(failError);
}

bool FakePlatform::Failed(uint32_t error) {
  m_lastError = error;
  return false;
}

uint32_t FakePlatform::MissingError(const std::wstring& path) const {
  const std::wstring parent = ParentOf(path);
  const bool folder = parent.empty() || IsDriveRoot(parent) || directories.count(parent) != 0 ||
                      directoryLinks.count(parent) != 0;
  return folder ? 2 : 3;
}

IFileSystem& FakePlatform::Files() {
  if (m_filesFor != this) {
    m_files = std::make_shared<CPatientFileSystem>(*this, *this);
    m_filesFor = this;
  }
  return *m_files;
}

void FakePlatform::Call() {
  if (++calls == actAtCall && actor) actor(*this);
}

bool FakePlatform::Refused(const std::wstring& at, Access access) {
  if (lockedPaths.count(at) || m_ourHolds.count(at)) return true;
  const auto [first, last] = holders.equal_range(at);
  for (auto it = first; it != last; ++it) {
    const Holder& holder = it->second;
    if (holder.releaseAt >= 0 && clock >= static_cast<uint64_t>(holder.releaseAt)) continue;
    switch (access) {
      case Access::kRead:  // reading, sharing reading only
        if (!holder.sharesRead || holder.writes) return true;
        break;
      case Access::kWrite:  // writing, sharing nothing
        return true;
      case Access::kDelete:  // a move or a deletion, sharing everything
        if (!holder.sharesDelete) return true;
        break;
      case Access::kHold:  // reading and deleting, sharing reading only
        if (!holder.sharesRead || !holder.sharesDelete || holder.writes) return true;
        break;
    }
  }
  return false;
}

FileIdentity FakePlatform::IdentityAt(const std::wstring& at) const {
  FileIdentity identity = IdentityOf(files.at(at));
  const auto forged = m_forgedLastWrite.find(at);
  if (forged != m_forgedLastWrite.end()) identity.lastWrite = forged->second;
  return identity;
}

void FakePlatform::MoveEntry(const std::wstring& from, const std::wstring& to) {
  std::string content = std::move(files.at(from));
  files.erase(from);
  files.erase(to);  // the destination is replaced under the name it is given now
  files[to] = std::move(content);
  const auto forged = m_forgedLastWrite.find(from);
  m_forgedLastWrite.erase(to);
  if (forged != m_forgedLastWrite.end()) {
    m_forgedLastWrite[to] = forged->second;
    m_forgedLastWrite.erase(forged);
  }
}

std::wstring FakePlatform::ShortNameOf(const std::wstring& name) {
  if (IsShortName(name)) return name;
  const size_t dot = name.rfind(L'.');
  const std::wstring base = dot == std::wstring::npos || dot == 0 ? name : name.substr(0, dot);
  const std::wstring extension = dot == std::wstring::npos || dot == 0 ? L"" : name.substr(dot + 1);
  const auto alphanumeric = [](const std::wstring& text, size_t most) {
    std::wstring kept;
    for (wchar_t c : text) {
      if (kept.size() < most && ((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'))) {
        kept += FoldCase(c);
      }
    }
    return kept;
  };
  std::wstring shortName = alphanumeric(base, 4);
  if (shortName.empty()) shortName = L"_";
  uint64_t hash = 14695981039346656037ull;
  for (wchar_t c : name) hash = (hash ^ static_cast<uint64_t>(FoldCase(c))) * 1099511628211ull;
  constexpr wchar_t kDigits[] = L"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  shortName += L'~';
  for (int i = 0; i < 3; ++i, hash /= 36) shortName += kDigits[hash % 36];
  const std::wstring shortExtension = alphanumeric(extension, 3);
  return shortExtension.empty() ? shortName : shortName + L"." + shortExtension;
}

std::wstring FakePlatform::ShortPathOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return path.substr(0, slash + 1) + ShortNameOf(path.substr(slash + 1));
}

std::wstring FakePlatform::ExpandShortNames(const std::wstring& full) const {
  if (full.find(L'~') == std::wstring::npos) return full;
  // The long name of the existing entry of `folder` (a key) whose short name `name` is; empty
  // when there is none.
  const auto longNameIn = [this](const std::wstring& folder, const std::wstring& name) {
    const auto nameOf = [&](const std::wstring& entry) {
      const std::wstring entryFull = FakeFullPath(entry);
      const size_t slash = entryFull.rfind(L'\\');
      if (slash == std::wstring::npos || Key(entryFull.substr(0, slash)) != folder) return std::wstring();
      const std::wstring entryName = entryFull.substr(slash + 1);
      return FoldedEqual(ShortNameOf(entryName), name) && !FoldedEqual(entryName, name) ? entryName : std::wstring();
    };
    for (const auto& [path, content] : files) {
      if (std::wstring found = nameOf(path); !found.empty()) return found;
    }
    for (const std::wstring& directory : directories) {
      if (std::wstring found = nameOf(directory); !found.empty()) return found;
    }
    for (const auto& [link, target] : directoryLinks) {
      if (std::wstring found = nameOf(link); !found.empty()) return found;
    }
    return std::wstring();
  };
  std::wstring expanded;
  for (size_t start = 0; start <= full.size();) {
    const size_t end = std::min(full.find(L'\\', start), full.size());
    std::wstring name = full.substr(start, end - start);
    if (start > 0 && name.find(L'~') != std::wstring::npos) {
      const std::wstring found = longNameIn(Key(expanded), name);
      if (!found.empty()) name = found;
    }
    expanded += (start > 0 ? L"\\" : L"") + name;
    start = end + 1;
  }
  return expanded;
}

std::wstring FakePlatform::Resolve(const std::wstring& given, bool followLast) const {
  // A short name reaches the existing file or directory that has it (once more past a link).
  const bool shortNames = given.find(L'~') != std::wstring::npos;
  const std::wstring path = shortNames ? ExpandShortNames(FakeFullPath(given)) : given;
  if (directoryLinks.empty()) return path;
  std::wstring full = FakeFullPath(path);
  bool followed = false;
  for (int hops = 0; hops < 40; ++hops) {
    bool replaced = false;
    for (size_t i = 1; i <= full.size() && !replaced; ++i) {
      if (i < full.size() && full[i] != L'\\') continue;
      if (i == full.size() && !followLast) break;
      const auto link = directoryLinks.find(full.substr(0, i));
      if (link == directoryLinks.end()) continue;
      full = FakeFullPath(link->second + full.substr(i));
      replaced = followed = true;
    }
    if (!replaced) break;
  }
  if (followed && shortNames) return ExpandShortNames(full);
  return followed ? full : path;
}

FileIdentity FakePlatform::IdentityOf(const std::string& content) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char byte : content) hash = (hash ^ byte) * 1099511628211ull;
  return FileIdentity{content.size(), hash};
}

PathKind FakePlatform::Inspect(const std::wstring& path) {
  if (path.empty()) return PathKind::kMissing;
  const std::wstring at = Resolve(path);
  if (files.count(at)) return PathKind::kFile;
  if (!directoryLinks.empty() && directoryLinks.count(at)) return PathKind::kDirectoryLink;
  if (directories.count(at) || IsDriveRoot(FakeFullPath(at))) return PathKind::kDirectory;
  return PathKind::kMissing;
}

bool FakePlatform::Identify(const std::wstring& path, FileIdentity& identity) {
  if (path.empty()) return false;
  const std::wstring at = Resolve(path);
  if (!files.count(at)) return false;
  identity = IdentityAt(at);
  return true;
}

bool FakePlatform::MoveReplace(const std::wstring& from, const std::wstring& to) {
  ++moveCount;
  if (movingSectionDepth == 0) ++movesOutsideMovingSection;
  Call();
  const std::wstring source = Resolve(from), target = Resolve(to);
  const auto file = files.find(source);
  if (operations + 1 == dieAtOperation && file != files.end() && VolumeOf(source) != VolumeOf(target)) {
    // A move to another volume is a copy: cut off, the destination holds its first half.
    files[target] = file->second.substr(0, file->second.size() / 2);
  }
  const Fault fault = Operate(L"move " + from + L" -> " + to);
  if (!Begin(fault, L"move " + from + L" -> " + to)) return false;
  if (file == files.end()) return Failed(Inspect(source) == PathKind::kMissing ? MissingError(source) : 5);
  if (Refused(source, Access::kDelete)) return Failed(kErrorSharingViolation);
  if (Refused(target, Access::kDelete)) return Failed(kErrorAccessDenied);
  if (Inspect(target) == PathKind::kDirectory || Inspect(target) == PathKind::kDirectoryLink) return Failed(5);
  const std::wstring parent = ParentOf(target);
  if (!parent.empty() && Inspect(parent) != PathKind::kDirectory) return Failed(3);
  MoveEntry(source, target);
  return Finish(fault, true);
}

bool FakePlatform::RemoveFile(const std::wstring& path) {
  Call();
  const Fault fault = Operate(L"delete " + path);
  if (!Begin(fault, L"delete " + path)) return false;
  const std::wstring at = Resolve(path);
  if (files.count(at) && Refused(at, Access::kDelete)) return Failed(kErrorSharingViolation);
  // DeleteFileW removes no directory, nor a link to one.
  if (Inspect(at) == PathKind::kDirectory || Inspect(at) == PathKind::kDirectoryLink) return Failed(5);
  files.erase(at);
  m_forgedLastWrite.erase(at);
  return Finish(fault, true);
}

bool FakePlatform::CreateDirectoryChain(const std::wstring& path) {
  Call();
  const Fault fault = Operate(L"mkdirs " + path);
  if (!Begin(fault, L"mkdirs " + path)) return false;
  if (path.empty()) return Failed(3);
  // As Windows walks it: the full path, only the part before its last separator.
  const size_t last = path.find_last_of(L"\\/");
  if (last == std::wstring::npos) return Finish(fault, true);
  const std::wstring full = FakeFullPath(Resolve(path.substr(0, last), true)) + L"\\";
  bool belowFile = false;  // nothing can be made below a file
  for (size_t i = 0; i < full.size(); ++i) {
    if (full[i] != L'\\') continue;
    const std::wstring prefix = full.substr(0, i);
    const PathKind kind = Inspect(prefix);
    belowFile = belowFile || kind == PathKind::kFile;
    if (kind != PathKind::kMissing) continue;
    if (prefix.empty() || belowFile) return Failed(3);
    directories.insert(prefix);
  }
  return Finish(fault, true);
}

bool FakePlatform::RemoveEmptyDirectory(const std::wstring& path) {
  Call();
  const Fault fault = Operate(L"rmdir " + path);
  if (!Begin(fault, L"rmdir " + path)) return false;
  const std::wstring at = Resolve(path);
  switch (Inspect(at)) {
    case PathKind::kMissing:
      return Finish(fault, true);
    case PathKind::kFile:
      return Failed(267);  // not a folder
    case PathKind::kDirectoryLink:
      directoryLinks.erase(at);  // the link goes, not what it leads to
      return Finish(fault, true);
    case PathKind::kDirectory:
      break;
  }
  const std::wstring key = Key(at);
  for (const auto& [file, content] : files) {
    if (IsBelow(file, key)) return Failed(145);
  }
  for (const std::wstring& directory : directories) {
    if (IsBelow(directory, key)) return Failed(145);
  }
  for (const auto& [link, target] : directoryLinks) {
    if (IsBelow(link, key)) return Failed(145);
  }
  directories.erase(at);
  return Finish(fault, true);
}

bool FakePlatform::ReadExistingFile(const std::wstring& path, std::string& bytes) {
  Call();
  log.push_back(L"read " + path);
  bytes.clear();
  const std::wstring at = Resolve(path);
  auto it = files.find(at);
  if (it == files.end()) return Failed(Inspect(at) == PathKind::kMissing ? MissingError(at) : 5);
  if (Refused(at, Access::kRead)) return Failed(kErrorSharingViolation);
  bytes = it->second;
  return true;
}

std::unique_ptr<IHeldFile> FakePlatform::Hold(const std::wstring& path) {
  Call();
  log.push_back(L"hold " + path);
  const std::wstring at = Resolve(path);
  uint32_t error = 0;
  if (!files.count(at)) {
    error = Inspect(at) == PathKind::kMissing ? MissingError(at) : 5;
  } else if (Refused(at, Access::kHold)) {
    error = kErrorSharingViolation;
  }
  if (error != 0) {
    Failed(error);
    return nullptr;
  }
  return std::make_unique<FakeHeldFile>(*this, path, at, IdentityAt(at));
}

bool FakePlatform::ReadHeld(IHeldFile& file, const std::function<void(const char*, size_t)>& piece) {
  Call();
  log.push_back(L"read " + file.Path());
  const std::string& content = files.at(Held(file).at);
  for (size_t offset = 0; offset < content.size();) {
    if (failReadAt >= 0 && offset >= static_cast<size_t>(failReadAt)) return Failed(23);
    size_t size = std::min(readPieceBytes, content.size() - offset);
    if (failReadAt >= 0) size = std::min(size, static_cast<size_t>(failReadAt) - offset);
    piece(content.data() + offset, size);
    offset += size;
  }
  return true;
}

bool FakePlatform::MustCopy(const IHeldFile& file, const std::wstring& target) {
  return !misjudgeVolumes && VolumeOf(Held(file).at) != VolumeOf(Resolve(target));
}

bool FakePlatform::CopyHeld(IHeldFile& file, const std::wstring& copy) {
  FakeHeldFile& held = Held(file);
  Call();
  const std::wstring at = Resolve(copy);
  const std::string& content = files.at(held.at);
  const bool room = !files.count(at) && Inspect(ParentOf(at)) == PathKind::kDirectory;
  if (operations + 1 == dieAtOperation && room) {
    // Cut off half-way: made at its full size first, the copy holds the first half and zeros.
    files[at] = content.substr(0, content.size() / 2) + std::string(content.size() - content.size() / 2, '\0');
  }
  const std::wstring what = L"copy " + file.Path() + L" -> " + copy;
  const Fault fault = Operate(what);
  if (!Begin(fault, what)) return false;
  if (files.count(at)) return Failed(80);
  if (!room) return Failed(3);
  files[at] = content;
  if (m_forgedLastWrite.count(held.at)) m_forgedLastWrite[at] = m_forgedLastWrite[held.at];
  held.HoldCopy(at);
  return Finish(fault, true);
}

bool FakePlatform::PlaceHeld(IHeldFile& file, const std::wstring& target) {
  FakeHeldFile& held = Held(file);
  ++moveCount;
  if (movingSectionDepth == 0) ++movesOutsideMovingSection;
  Call();
  const std::wstring what = L"move " + file.Path() + L" -> " + target;
  const Fault fault = Operate(what);
  if (!Begin(fault, what)) return false;
  const bool copied = !held.copyAt.empty();
  const std::wstring source = copied ? held.copyAt : held.at;
  const std::wstring at = Resolve(target);
  if (!copied && VolumeOf(source) != VolumeOf(at)) return Failed(kErrorNotSameDevice);
  if (files.count(at) && Refused(at, Access::kDelete)) return Failed(kErrorAccessDenied);
  if (Inspect(at) == PathKind::kDirectory || Inspect(at) == PathKind::kDirectoryLink) return Failed(5);
  const std::wstring parent = ParentOf(at);
  if (!parent.empty() && Inspect(parent) != PathKind::kDirectory) return Failed(3);
  const std::wstring staged = held.at;
  held.Release();
  MoveEntry(source, at);
  if (copied && !Refused(staged, Access::kDelete)) {
    files.erase(staged);  // the staged file the copy came from
    m_forgedLastWrite.erase(staged);
  }
  return Finish(fault, true);
}

bool FakePlatform::OtherProgramWrites(const std::wstring& path, const std::string& content, bool keepLastWrite) {
  const std::wstring at = Resolve(path);
  if (Refused(at, Access::kWrite)) return false;
  const bool existed = files.count(at) != 0;
  const uint64_t lastWrite = existed ? IdentityAt(at).lastWrite : 0;
  files[at] = content;
  m_forgedLastWrite.erase(at);
  if (existed && keepLastWrite) m_forgedLastWrite[at] = lastWrite;
  return true;
}

bool FakePlatform::OtherProgramMoves(const std::wstring& from, const std::wstring& path) {
  const std::wstring source = Resolve(from), at = Resolve(path);
  if (!files.count(source) || Refused(source, Access::kDelete) || (files.count(at) && Refused(at, Access::kDelete))) {
    return false;
  }
  MoveEntry(source, at);
  return true;
}

bool FakePlatform::WriteDurably(const std::wstring& path, const std::string& bytes, bool append) {
  Call();
  const std::wstring at = Resolve(path);
  if (operations + 1 == dieAtOperation) {
    // Cut off half-way: the disk holds the first half of what was being written.
    std::string& file = files[at];
    file = (append ? file : std::string()) + bytes.substr(0, bytes.size() / 2);
  }
  const std::wstring what = std::wstring(append ? L"append " : L"write ") + path;
  const Fault fault = Operate(what);
  if (!Begin(fault, what)) return false;
  const std::wstring parent = ParentOf(at);
  if (files.count(at) && Refused(at, Access::kWrite)) return Failed(kErrorSharingViolation);
  if (!parent.empty() && Inspect(parent) != PathKind::kDirectory) return Failed(3);
  if (append && !files.count(at)) return Failed(2);
  std::string& file = files[at];
  file = (append ? file : std::string()) + bytes;
  m_forgedLastWrite.erase(at);
  return Finish(fault, true);
}

bool FakePlatform::DeleteDirectoryTree(const std::wstring& directory) {
  Call();
  log.push_back(L"rmtree " + directory);
  const std::wstring at = FakeFullPath(Resolve(directory));
  // A link named last is removed as a link; what it leads to is someone else's.
  if (directoryLinks.erase(at) != 0) return true;
  const std::wstring key = Key(at);
  // Files are kept where their links lead, so nothing reached through a link inside the tree is
  // below it here; the links themselves are removed.
  for (auto it = files.begin(); it != files.end();) {
    it = IsBelow(it->first, key) ? files.erase(it) : std::next(it);
  }
  for (auto it = directories.begin(); it != directories.end();) {
    it = IsBelow(*it, key) ? directories.erase(it) : std::next(it);
  }
  for (auto it = directoryLinks.begin(); it != directoryLinks.end();) {
    it = IsBelow(it->first, key) ? directoryLinks.erase(it) : std::next(it);
  }
  return directories.erase(at) != 0 || Failed(MissingError(at));
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

namespace {

std::wstring Describe(const UpdateEvent& event) {
  switch (event.kind) {
    case UpdateEvent::Kind::kProgress: return L"progress " + std::to_wstring(event.value);
    case UpdateEvent::Kind::kSpeed: return L"speed " + std::to_wstring(event.value);
    case UpdateEvent::Kind::kStatusText: return L"status " + event.text;
    case UpdateEvent::Kind::kFatalText: return L"fatal " + event.text;
    case UpdateEvent::Kind::kSucceeded: return L"succeeded";
    case UpdateEvent::Kind::kFinished: return L"finished";
    case UpdateEvent::Kind::kQuit: return L"quit";
  }
  return L"?";
}

}  // namespace

void FakePlatform::Report(UpdateEvent event) {
  log.push_back(Describe(event));
  events.push_back({std::move(event), clock});
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

bool FakePlatform::EnterMovingSection() {
  ++movingSectionRequests;
  if (shuttingDown) return false;
  ++movingSectionDepth;
  return true;
}

void FakePlatform::LeaveMovingSection() { --movingSectionDepth; }

ReportDelivery FakePlatform::SendUsageReport(const CUpdateContext&, UpdateOutcome outcome) {
  log.push_back(L"report " + std::to_wstring(ReportCode(outcome)));  // the code the report carries
  ++reportsSent;
  lastReport = outcome;
  return reportDelivery;
}

std::vector<UpdateEvent::Kind> FakePlatform::EventKinds() const {
  std::vector<UpdateEvent::Kind> kinds;
  for (const auto& reported : events) kinds.push_back(reported.event.kind);
  return kinds;
}

std::vector<std::wstring> FakePlatform::StatusTexts() const {
  std::vector<std::wstring> texts;
  for (const auto& reported : events) {
    if (reported.event.kind == UpdateEvent::Kind::kStatusText) texts.push_back(reported.event.text);
  }
  return texts;
}

}  // namespace zr::test
