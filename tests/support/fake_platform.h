// In-memory stand-in for the operating system, for the engine's decisions.
//
// Files: a table of path -> content (directories are a set of paths). Processes: a table of
// id -> executable path, with per-process behaviour for quit requests and termination.
// Boxes: scripted answers, consumed in order. Messages: every post is recorded (text payloads
// are copied out and freed at once, as the window would). Time: a virtual clock that Sleep
// advances. Every call is appended to `log`, so a test can check the exact sequence.
//
// Fault injection: `failOnCall` makes the N-th counted file operation (MoveReplace) fail;
// `moveFails` makes every move from or to a path fail.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "update/platform.h"

namespace zr::test {

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

class FakePlatform : public IUpdatePlatform {
 public:
  // State that tests set up and inspect.
  std::map<std::wstring, std::string> files;
  std::set<std::wstring> directories;
  std::wstring moduleDirectory = L"C:\\Program Files\\Zoria";
  std::map<uint32_t, FakeProcess> processes;
  std::vector<int> boxAnswers;            // consumed in order; 8 when exhausted
  std::vector<PostedMessage> posted;
  std::vector<std::wstring> log;          // one line per call, e.g. L"sleep 1000"
  uint64_t clock = 0;                     // virtual milliseconds
  int moveCount = 0;                      // MoveReplace calls so far
  int failMoveNumber = -1;                // the MoveReplace call (1-based) that fails
  std::set<std::wstring> lockedPaths;     // moves from or to these fail
  bool postFails = false;                 // PostToMainWindow returns false
  bool shuttingDown = false;              // EnterFileStage refuses
  int fileStageDepth = 0;                 // > 0 while a file stage runs
  int fileStageRequests = 0;              // EnterFileStage calls (not in `log`)
  int movesOutsideFileStage = 0;          // MoveReplace calls made outside a file stage
  // Called when a box is shown, before its answer is taken (e.g. to fix a file meanwhile).
  std::function<void(FakePlatform&)> onBox;

  // IUpdatePlatform
  bool PathExists(const std::wstring& path) override;
  bool MoveReplace(const std::wstring& from, const std::wstring& to) override;
  void RemoveFile(const std::wstring& path) override;
  bool CreateDirectoryChain(const std::wstring& path) override;
  std::string ReadWholeFile(const std::wstring& path) override;
  bool DeleteDirectoryTree(const std::wstring& directory) override;
  std::wstring ModuleDirectory() override { return moduleDirectory; }
  uint32_t FindProcessByPath(const std::wstring& exePath) override;
  void TerminateProcessById(uint32_t processId, uint32_t exitCode) override;
  bool PostQuitToProductWindow() override;
  bool PostToMainWindow(uint32_t message, intptr_t lParam) override;
  int ShowLinkBox(const std::wstring& title, const std::wstring& linkText,
                  const std::wstring& message, const std::wstring& firstButton,
                  const std::wstring* secondButton) override;
  int ShowQuestionBox(const std::wstring& caption, const std::wstring& message,
                      const std::wstring& confirmButton, const std::wstring& cancelButton) override;
  void Sleep(uint32_t milliseconds) override;
  bool EnterFileStage() override;
  void LeaveFileStage() override;
  void SendUsageReport(const CUpdateContext& context, int32_t code) override;

  // Helpers for tests.
  std::vector<uint32_t> PostedIds() const;
  std::vector<std::wstring> StatusTexts() const;
  int reportsSent = 0;
  int32_t lastReportCode = 0;

 private:
  void AdvanceProcesses();
  int NextAnswer();
};

}  // namespace zr::test
