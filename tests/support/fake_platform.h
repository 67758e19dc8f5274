// In-memory stand-in for the operating system, for the engine's decisions.
//
// Files: a table of path -> content and a set of directories, both keyed the way Windows names
// files: "/" and "\" alike, doubled separators, "." and ".." applied, trailing dots and blanks
// of a name dropped, letter case ignored (ASCII and the common European and Cyrillic letters).
// Directory links (junctions, symbolic links) lead to another directory, and every operation
// follows a link on the way to what it names, as Windows does; only the link itself, named
// last, is not followed (it is inspected, removed or moved as a link). A file's identity is its
// size and, for its last write time, a hash of its content. Processes: a table of id -> executable path, with
// per-process behaviour for quit requests and termination. Boxes: scripted answers, consumed
// in order. Messages: every post is recorded (text payloads are copied out and freed at once,
// as the window would). Time: a virtual clock that Sleep advances. Every call is appended to
// `log`, so a test can check the exact sequence.
//
// Fault injection, on the file operations that change the disk (moves, file deletions,
// directory creation and removal, durable writes; not DeleteDirectoryTree), counted together
// from 1 in `operations`:
//   failOperation  the N-th operation fails; with `failAfterEffect` it takes effect first and
//                  is reported failed all the same (a write whose flush failed, say);
//   endAtOperation the process is asked to end just before the N-th operation (as when the
//                  window is closed or the session ends): from then on no box is shown (each
//                  answers kClosed) and no file stage may start;
//   dieAtOperation the process dies just before the N-th operation: ProcessDied is thrown, and
//                  `files` is what the disk holds (a durable write cut off by the death leaves
//                  the first half of its bytes).
// `lockedPaths` are held open by another program without sharing: every move from or to, every
// deletion and every read of them fails.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "update/file_system.h"
#include "update/platform.h"

namespace zr::test {

// Orders paths as the fake's file system tells files apart.
struct FakePathLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const;
};
using FileTable = std::map<std::wstring, std::string, FakePathLess>;
using PathSet = std::set<std::wstring, FakePathLess>;

// The fake's idea of GetFullPathNameW for full paths.
std::wstring FakeFullPath(const std::wstring& path);

struct ProcessDied {
  int operation;
};

struct PostedMessage {
  uint32_t message = 0;
  intptr_t value = 0;  // lParam for plain messages
  std::optional<std::wstring> text;  // payload of status and fatal texts (nullopt for a null payload)
  uint64_t time = 0;   // virtual clock at the post
};

struct FakeProcess {
  std::wstring path;
  bool quitsOnRequest = true;    // ends when its window is asked to quit
  bool hasWindow = true;         // the product window can be found
  bool terminable = true;        // TerminateProcessById ends it
  int64_t exitsAfterMs = -1;     // ends on its own once the clock reaches this (-1: never)
  int64_t quitDelayMs = 500;     // how long it takes to end after a quit request
};

class FakePlatform : public IUpdatePlatform, public IFileSystem {
 public:
  // State that tests set up and inspect.
  FileTable files;
  PathSet directories;
  std::map<std::wstring, std::wstring, FakePathLess> directoryLinks;  // link -> where it leads
  std::wstring moduleDirectory = L"C:\\Program Files\\Zoria";
  std::map<uint32_t, FakeProcess> processes;
  std::vector<BoxAnswer> boxAnswers;      // consumed in order; kClosed when exhausted
  std::vector<PostedMessage> posted;
  std::vector<std::wstring> log;          // one line per call, e.g. L"sleep 1000"
  uint64_t clock = 0;                     // virtual milliseconds
  int operations = 0;                     // file operations so far (see above)
  int failOperation = -1;
  bool failAfterEffect = false;
  int endAtOperation = -1;
  int dieAtOperation = -1;
  int moveCount = 0;                      // MoveReplace calls so far
  PathSet lockedPaths;                    // moves from or to, and deletions of, these fail
  bool postFails = false;                 // PostToMainWindow returns false
  bool shuttingDown = false;              // the process has been asked to end
  int fileStageDepth = 0;                 // > 0 while a file stage runs
  int fileStageRequests = 0;              // EnterFileStage calls (not in `log`)
  int movesOutsideFileStage = 0;          // MoveReplace calls made outside a file stage
  int reportsSent = 0;
  int32_t lastReportCode = 0;
  // Called when a box is shown, before its answer is taken (e.g. to fix a file meanwhile).
  std::function<void(FakePlatform&)> onBox;

  // IUpdatePlatform
  IFileSystem& Files() override { return *this; }
  uint32_t FindProcessByPath(const std::wstring& exePath) override;
  void TerminateProcessById(uint32_t processId, uint32_t exitCode) override;
  bool PostQuitToProductWindow() override;
  bool PostToMainWindow(uint32_t message, intptr_t lParam) override;
  BoxAnswer ShowLinkBox(const std::wstring& title, const std::wstring& linkText,
                  const std::wstring& message, const std::wstring& firstButton,
                  const std::wstring* secondButton) override;
  BoxAnswer ShowQuestionBox(const std::wstring& caption, const std::wstring& message,
                      const std::wstring& confirmButton, const std::wstring& cancelButton) override;
  void Sleep(uint32_t milliseconds) override;
  bool EnterFileStage() override;
  void LeaveFileStage() override;
  bool ProcessEnding() override { return shuttingDown; }
  void SendUsageReport(const CUpdateContext& context, int32_t code) override;

  // IFileSystem
  PathKind Inspect(const std::wstring& path) override;
  bool Identify(const std::wstring& path, FileIdentity& identity) override;
  bool MoveReplace(const std::wstring& from, const std::wstring& to) override;
  bool RemoveFile(const std::wstring& path) override;
  bool CreateDirectoryChain(const std::wstring& path) override;
  bool RemoveEmptyDirectory(const std::wstring& path) override;
  std::string ReadWholeFile(const std::wstring& path) override;
  bool ReadExistingFile(const std::wstring& path, std::string& bytes) override;
  bool WriteDurably(const std::wstring& path, const std::string& bytes, bool append) override;
  bool DeleteDirectoryTree(const std::wstring& directory) override;
  std::wstring ModuleDirectory() override { return moduleDirectory; }
  std::wstring FullPath(const std::wstring& path) override { return FakeFullPath(path); }
  int ComparePaths(const std::wstring& a, const std::wstring& b) override;

  // Helpers for tests.
  // The path with every link on its way replaced by where it leads (the last name too when
  // `followLast`); the path as given when no link is on its way.
  std::wstring Resolve(const std::wstring& path, bool followLast = false) const;
  static FileIdentity IdentityOf(const std::string& content);
  std::vector<uint32_t> PostedIds() const;
  std::vector<std::wstring> StatusTexts() const;

 private:
  // Counts a file operation and applies the faults.
  enum class Fault { kNone, kFail, kFailAfterEffect };
  Fault Operate(const std::wstring& what);
  // Logs the operation; false when it is to fail before it takes effect.
  bool Begin(Fault fault, const std::wstring& what);
  // The result of an operation that took effect.
  bool Finish(Fault fault, bool done);
  void AdvanceProcesses();
  BoxAnswer NextAnswer(const std::wstring& box);
};

}  // namespace zr::test
