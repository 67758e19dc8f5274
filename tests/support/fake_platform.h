// In-memory stand-in for the operating system, for the engine's decisions. It is never kinder
// than Windows: what Windows lets another program do between two of the updater's calls, the
// fake lets a test do too.
//
// Files: a table of path -> content and a set of directories, both keyed the way Windows names
// files: "/" and "\" alike, doubled separators, "." and ".." applied, trailing dots and blanks
// of a name dropped, letter case ignored (ASCII and the common European and Cyrillic letters).
// Every file and directory whose name is not a short (8.3) name itself has one (ShortNameOf, in
// the form Wine gives them: "ZRUP~3IB.JOU"), and a path that spells a component by the short
// name of an existing file or directory reaches it, as on Windows; a name that no existing file
// has as its short name is a long name like any other. Directory links (junctions, symbolic
// links) lead to another directory, and every operation follows a link on the way to what it
// names, as Windows does; only the link itself, named last, is not followed (it is inspected,
// removed or moved as a link). A file's identity is its size and, for its last write time, a
// hash of its content, unless another program set the time back (OtherProgramWrites). Each drive
// letter (or network share) is a volume of its own: a move between two is a copy and a deletion,
// and a rename of a held file there fails with error 17.
// Holding: the updater's held files (Hold) share reading only, as on Windows: nobody else may
// write, rename, replace or delete them, the updater itself neither by their path. Another
// program's open files are `holders`, each with the access it has and the sharing it allows,
// and each let go at a time of the virtual clock, or never; `lockedPaths` are held without any
// sharing, for good. A call that meets such a file fails with the error Windows gives: 32 for
// the file opened, read, written, deleted or moved away; 5 for a file moved or renamed onto.
// Processes: a table of id -> executable path, with per-process behaviour for quit requests and
// termination. Boxes: scripted answers, consumed in order. Events: every report is recorded.
// Time: a virtual clock that Sleep advances. Every call is appended to `log`, so a test can
// check the exact sequence; the run's record goes to `record`, one string per line. The engine
// sees the files as it does on Windows, through a CPatientFileSystem over the fake (which
// waits out a moment's lock, sleeping on the virtual clock, and records what fails); a
// failed call gives the error Windows gives (LastError): 2 for a missing file, 3 for a missing
// folder, 5 for a folder where a file is asked for, 80 for a copy onto an existing name,
// `failError` for an injected failure.
//
// Fault injection, on the file operations that change the disk (moves, the placing and copying
// of held files, file deletions, directory creation and removal, durable writes; not
// DeleteDirectoryTree), counted together from 1 in `operations`:
//   failOperation  the N-th operation fails; with `failAfterEffect` it takes effect first and
//                  is reported failed all the same (a write whose flush failed, say);
//   endAtOperation the process is asked to end just before the N-th operation (as when the
//                  window is closed or the session ends): from then on no box is shown (each
//                  answers kClosed) and no moving section may start;
//   dieAtOperation the process dies just before the N-th operation: ProcessDied is thrown, and
//                  `files` is what the disk holds. A durable write, a copy or a move to another
//                  volume cut off by the death leaves the first half of its bytes (a copy, made at
//                  its full size first, the rest as zeros);
//   throwAtOperation the N-th operation throws std::bad_alloc, as running out of memory would.
// Another program acting between two calls: `actor` runs once, just before the `actAtCall`-th
// file call (counted in `calls`: every call the fake logs, reads and holds included).
// `failReadAt` makes every read of a held file that gets that far into it fail there with
// error 23, as a bad sector does (the pieces before it are read).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/fake_texts.h"
#include "update/file_system.h"
#include "update/patient_file_system.h"
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

struct ReportedEvent {
  UpdateEvent event;
  uint64_t time = 0;  // virtual clock at the report
};

// Another program's open file: what it does with it, what it lets others do, and when it lets go.
struct Holder {
  bool writes = false;
  bool sharesRead = true, sharesWrite = false, sharesDelete = false;
  int64_t releaseAt = -1;  // virtual milliseconds (-1: never)
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
  std::vector<ReportedEvent> events;
  std::vector<std::wstring> log;          // one line per call, e.g. L"sleep 1000"
  uint64_t clock = 0;                     // virtual milliseconds
  int operations = 0;                     // file operations so far (see above)
  int failOperation = -1;
  bool failAfterEffect = false;
  int endAtOperation = -1;
  int dieAtOperation = -1;
  int throwAtOperation = -1;
  uint32_t failError = 1117;              // the error of an injected failure (a device error)
  int64_t failReadAt = -1;                // ReadHeld fails at this byte of a file (-1: never)
  size_t readPieceBytes = 4096;           // ReadHeld hands over at most this much at a time
  int moveCount = 0;                      // MoveReplace and PlaceHeld calls so far
  PathSet lockedPaths;                    // held without sharing, for good
  std::multimap<std::wstring, Holder, FakePathLess> holders;  // other programs' open files
  bool misjudgeVolumes = false;           // MustCopy answers false whatever the volumes
  int calls = 0;                          // file calls so far (see above)
  int actAtCall = -1;
  std::function<void(FakePlatform&)> actor;
  bool shuttingDown = false;              // the process has been asked to end
  int movingSectionDepth = 0;                 // > 0 while a moving section runs
  int movingSectionRequests = 0;              // EnterMovingSection calls (not in `log`)
  int movesOutsideMovingSection = 0;          // MoveReplace calls made outside a moving section
  int reportsSent = 0;
  UpdateOutcome lastReport = UpdateOutcome::kOk;
  ReportDelivery reportDelivery{ReportDelivery::Outcome::kAnswered, 200, 0};  // what SendUsageReport gives
  std::vector<std::string> record;        // the run's record, a line each
  FakeTexts texts;                        // each id with its conversions, not its wording
  // Called when a box is shown, before its answer is taken (e.g. to fix a file meanwhile).
  std::function<void(FakePlatform&)> onBox;

  // IUpdatePlatform
  IFileSystem& Files() override;
  void Record(const std::string& line) override { record.push_back(line); }
  uint32_t FindProcessByPath(const std::wstring& exePath) override;
  void TerminateProcessById(uint32_t processId, uint32_t exitCode) override;
  bool PostQuitToProductWindow() override;
  void Report(UpdateEvent event) override;
  BoxAnswer ShowLinkBox(const std::wstring& title, const std::wstring& linkText,
                  const std::wstring& message, const std::wstring& firstButton,
                  const std::wstring* secondButton) override;
  BoxAnswer ShowQuestionBox(const std::wstring& caption, const std::wstring& message,
                      const std::wstring& confirmButton, const std::wstring& cancelButton) override;
  void Sleep(uint32_t milliseconds) override;
  bool EnterMovingSection() override;
  void LeaveMovingSection() override;
  bool ProcessEnding() override { return shuttingDown; }
  const ITexts& Texts() override { return texts; }
  ReportDelivery SendUsageReport(const CUpdateContext& context, UpdateOutcome outcome) override;

  // IFileSystem
  PathKind Inspect(const std::wstring& path) override;
  bool Identify(const std::wstring& path, FileIdentity& identity) override;
  bool MoveReplace(const std::wstring& from, const std::wstring& to) override;
  bool RemoveFile(const std::wstring& path) override;
  bool CreateDirectoryChain(const std::wstring& path) override;
  bool RemoveEmptyDirectory(const std::wstring& path) override;
  bool ReadExistingFile(const std::wstring& path, std::string& bytes) override;
  std::unique_ptr<IHeldFile> Hold(const std::wstring& path) override;
  bool ReadHeld(IHeldFile& file, const std::function<void(const char*, size_t)>& piece) override;
  bool MustCopy(const IHeldFile& file, const std::wstring& target) override;
  bool CopyHeld(IHeldFile& file, const std::wstring& copy) override;
  bool PlaceHeld(IHeldFile& file, const std::wstring& target) override;
  bool WriteDurably(const std::wstring& path, const std::string& bytes, bool append) override;
  bool DeleteDirectoryTree(const std::wstring& directory) override;
  std::wstring ModuleDirectory() override { return moduleDirectory; }
  std::wstring FullPath(const std::wstring& path) override { return ExpandShortNames(FakeFullPath(path)); }
  int ComparePaths(const std::wstring& a, const std::wstring& b) override;
  uint32_t LastError() override { return m_lastError; }

  // Another program: writes `content` to the file (keeping its last write time when
  // `keepLastWrite`, as anyone who may write a file can set it back), or moves `from` onto
  // `path`. False, and nothing done, when Windows would refuse it: the file is held.
  bool OtherProgramWrites(const std::wstring& path, const std::string& content, bool keepLastWrite);
  bool OtherProgramMoves(const std::wstring& from, const std::wstring& path);
  // The file at `path` gets the last write time of the file at `model`: two files of one size
  // then have one identity, as on Windows a staged file may have its product file's (a build
  // that stamps every file alike, a copy that kept its time).
  void GiveTimeOf(const std::wstring& path, const std::wstring& model) {
    m_forgedLastWrite[Resolve(path)] = IdentityAt(Resolve(model)).lastWrite;
  }
  // The disk as another run left it: its files and folders, with their times.
  void TakeDiskOf(const FakePlatform& disk) {
    files = disk.files;
    directories = disk.directories;
    m_forgedLastWrite = disk.m_forgedLastWrite;
  }

  // Helpers for tests.
  // The short (8.3) name a file or directory of that long name has ("ZRUP~3IB.JOU"); the name
  // itself when it is a short name already. The path with its last name spelt short.
  static std::wstring ShortNameOf(const std::wstring& name);
  static std::wstring ShortPathOf(const std::wstring& path);
  // The path with every link on its way replaced by where it leads (the last name too when
  // `followLast`); the path as given when no link is on its way.
  std::wstring Resolve(const std::wstring& path, bool followLast = false) const;
  static FileIdentity IdentityOf(const std::string& content);
  std::vector<UpdateEvent::Kind> EventKinds() const;
  std::vector<std::wstring> StatusTexts() const;

 private:
  friend class FakeHeldFile;
  // What a call asks of a file, as far as sharing goes.
  enum class Access { kRead, kWrite, kDelete, kHold };
  // True when the file (a resolved path) cannot be had that way now: another program holds it,
  // or (for anything but a read) the updater does.
  bool Refused(const std::wstring& at, Access access);
  // The path with each component that is the short name of an existing entry spelt long.
  std::wstring ExpandShortNames(const std::wstring& full) const;
  // Counts a call and lets the actor act when its turn has come.
  void Call();
  // The identity of the file at a resolved path, which exists.
  FileIdentity IdentityAt(const std::wstring& at) const;
  // Moves what a resolved path holds (content and a forged time) to another.
  void MoveEntry(const std::wstring& from, const std::wstring& to);
  // Keeps the error of a call that fails and returns false.
  bool Failed(uint32_t error);
  // 2 when the path's folder exists, 3 when it does not.
  uint32_t MissingError(const std::wstring& path) const;
  // Counts a file operation and applies the faults.
  enum class Fault { kNone, kFail, kFailAfterEffect };
  Fault Operate(const std::wstring& what);
  // Logs the operation; false when it is to fail before it takes effect.
  bool Begin(Fault fault, const std::wstring& what);
  // The result of an operation that took effect.
  bool Finish(Fault fault, bool done);
  void AdvanceProcesses();
  BoxAnswer NextAnswer(const std::wstring& box);

  uint32_t m_lastError = 0;
  std::map<std::wstring, int, FakePathLess> m_ourHolds;            // resolved path -> holds
  std::map<std::wstring, uint64_t, FakePathLess> m_forgedLastWrite;  // set back by another program
  // The engine's view of the files, made for this object (a copy of the fake makes its own).
  std::shared_ptr<CPatientFileSystem> m_files;
  const FakePlatform* m_filesFor = nullptr;
};

}  // namespace zr::test
