// Apply benchmark: how much the replacing stage costs on top of the file system's own work.
//
//   bench_apply.exe [--files N] [--megabytes M] [--rounds R] [--dir D] [--other-volume E]
//
// Each round lays out two identical trees (N product files in 20 folders, their N staged
// replacements, about M MB of staged content in all, each with its md5 in the manifest), then
// times
//   - the check before anything moves: its path rules with every staged file held, then the
//     md5 of every staged file read through its hold, against a plain read of the same files
//     (the same piece size, nothing done with the bytes), alternating which goes first; printed
//     in MB/s of staged content;
//   - the engine: the manifest parsed and ReplaceFiles with the real Win32 platform (each file
//     moved to its ".bak", the held staged file renamed in and given the folder's permissions,
//     status lines formatted and posted, the backups deleted), and
//   - a bare loop of the same MoveFileExW (flags 11) and DeleteFileW calls,
// alternating which of the two goes first. With --other-volume the round does it again with the
// staged files in E, a folder on another volume: the engine copies each beside its target and
// renames the copy in, the bare loop's MoveFileExW copies and deletes. Prints every round, the
// medians and their ratios.
// Exit code 1 when a tree does not end up as expected, 0 otherwise; nothing is asserted
// about the times.

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/update_platform_win.h"
#include "skin/skin_context.h"
#include "strings/string_table.h"
#include "update/apply.h"
#include "update/entry_check.h"
#include "update/file_system_win.h"
#include "update/md5.h"
#include "update/manifest.h"
#include "update/outcome.h"
#include "update/patient_file_system.h"
#include "update/update_context.h"
#include "util/files.h"
#include "util/text.h"

namespace {

constexpr DWORD kMoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH;
constexpr int kFolders = 20;

struct Options {
  int files = 1000;
  int megabytes = 50;
  int rounds = 5;
  std::wstring dir;
  std::wstring otherVolume;  // a folder on another volume for the staged files, or none
};

struct Tree {
  std::wstring root;
  std::vector<std::wstring> targets;
  std::vector<std::wstring> staged;
  std::vector<DWORD> stagedSizes;
  std::vector<std::string> stagedMd5;
  uint64_t stagedBytes = 0;
};

double Now() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Writes `size` bytes made from `seed`; their md5 goes to *md5 when asked for.
bool WriteBytes(const std::wstring& path, DWORD size, unsigned seed, std::string* md5 = nullptr) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string bytes(size, '\0');
  for (DWORD i = 0; i < size; ++i) bytes[i] = static_cast<char>((seed * 2654435761u + i * 40503u) >> 13);
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), size, &written, nullptr) && written == size;
  CloseHandle(file);
  if (md5 != nullptr) {
    zr::CMd5 digest;
    digest.Add(bytes.data(), bytes.size());
    *md5 = digest.Hex();
  }
  return ok;
}

DWORD SizeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return MAXDWORD;
  return data.nFileSizeLow;
}

// Product files "<root>\product\dir NN\file NNNN 文件.dll" and their staged replacements in
// "<staging>\cache\update".
bool LayOut(Tree& tree, const std::wstring& root, const std::wstring& staging, const Options& options) {
  tree = Tree{};
  tree.root = root;
  const DWORD average = static_cast<DWORD>(static_cast<long long>(options.megabytes) * 1024 * 1024 / options.files);
  for (int i = 0; i < options.files; ++i) {
    const std::wstring folder = root + L"\\product\\dir " + std::to_wstring(i % kFolders);
    const std::wstring target = folder + L"\\file " + std::to_wstring(i) + L" 文件.dll";
    const std::wstring staged = staging + L"\\cache\\update\\" + std::to_wstring(i) + L".new";
    const DWORD size = average / 2 + static_cast<DWORD>((i * 7919u) % average);  // about the average
    zr::CreateDirectoryChain(target.c_str());
    zr::CreateDirectoryChain(staged.c_str());
    std::string md5;
    if (!WriteBytes(target, 1000 + i % 5000, i) || !WriteBytes(staged, size, i + 1, &md5)) return false;
    tree.targets.push_back(target);
    tree.staged.push_back(staged);
    tree.stagedSizes.push_back(size);
    tree.stagedMd5.push_back(md5);
    tree.stagedBytes += size;
  }
  return true;
}

bool Replaced(const Tree& tree) {
  for (size_t i = 0; i < tree.targets.size(); ++i) {
    if (SizeOf(tree.targets[i]) != tree.stagedSizes[i]) return false;
    if (GetFileAttributesW((tree.targets[i] + L".bak").c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    if (GetFileAttributesW(tree.staged[i].c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  }
  return true;
}

std::string ManifestOf(const Tree& tree) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<config>\r\n<version>9.9.9</version>\r\n";
  for (size_t i = 0; i < tree.targets.size(); ++i) {
    xml += "<file><url>http://example.invalid/" + std::to_string(i) + "</url><md5>" + tree.stagedMd5[i] +
           "</md5><tmp>" + zr::WideToUtf8(tree.staged[i]) + "</tmp><path>" + zr::WideToUtf8(tree.targets[i]) +
           "</path></file>\r\n";
  }
  return xml + "</config>\r\n";
}

// The updater's own platform, installed in the tree's product folder, as the check requires of
// every target.
class BenchPlatform : public zr::CWin32Platform {
 public:
  BenchPlatform(zr::IUpdateEvents& events, std::wstring installation)
      : CWin32Platform({events, m_texts, m_skin, m_gate, m_record, m_noWindow, m_version}) {
    m_installed.installation = std::move(installation);
  }
  zr::IFileSystem& Files() override { return m_files; }
  // Milliseconds from the first piece of a staged file read through its hold to the last: the
  // md5 part of the check (the rest holds the files and applies the path rules).
  double Md5Ms() const { return m_installed.firstRead < 0 ? 0 : m_installed.lastRead - m_installed.firstRead; }

 private:
  struct InstalledFileSystem : zr::CWin32FileSystem {
    std::wstring ModuleDirectory() override { return installation; }
    bool ReadHeld(zr::IHeldFile& file, const std::function<void(const char*, size_t)>& piece) override {
      if (firstRead < 0) firstRead = Now();
      const bool read = CWin32FileSystem::ReadHeld(file, piece);
      lastRead = Now();
      return read;
    }
    std::wstring installation;
    double firstRead = -1, lastRead = -1;
  };
  // Handed to the base before they are built: it only keeps references to them.
  zr::StringTable m_texts{std::string_view()};
  Skin::CSkinContext m_skin;  // no box is ever shown
  zr::CWin32MovingGate m_gate;
  zr::CRunRecordFile m_record;  // never started: nothing is written
  std::atomic<HWND> m_noWindow{nullptr};
  std::string m_version;
  InstalledFileSystem m_installed;
  zr::CPatientFileSystem m_files{m_installed, *this};
};

// The staged files read through in the check's pieces, nothing done with the bytes.
// Milliseconds, or -1 on failure.
double TimePlainRead(const Tree& tree) {
  std::vector<char> buffer(zr::CWin32FileSystem::kReadPieceBytes);
  const double start = Now();
  for (const std::wstring& staged : tree.staged) {
    // Beside the check's own holds, which the read must share: they may delete the file.
    HANDLE file = CreateFileW(staged.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    DWORD read = 0;
    while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read > 0) {}
    CloseHandle(file);
  }
  return Now() - start;
}

// The engine from the manifest's bytes: parsing, the check before anything moves (its path
// rules in `rulesMs`, the md5 of every staged file in `checkMs`), the replacing stage.
// Milliseconds of the replacing, or -1 on failure.
// `plainReadMs` gets a plain read of the same staged files, before or after the check.
double TimeEngine(const Tree& tree, bool readFirst, double* parseMs, double* rulesMs, double* checkMs,
                  double* plainReadMs) {
  const std::string manifest = ManifestOf(tree);
  zr::CUpdateContext context;
  zr::CEventQueue events(nullptr);  // no window: the events wait in the queue
  BenchPlatform platform(events, tree.root + L"\\product");
  const double start = Now();
  if (zr::ParseUpdateManifest(context, manifest) != zr::UpdateOutcome::kOk) return -1;
  const double parsed = Now();
  if (readFirst) *plainReadMs = TimePlainRead(tree);
  // The whole check, which holds the staged files until they move; its md5 part is timed where
  // the files are read.
  const double checking = Now();
  if (zr::CheckFileEntries(context, platform) != zr::UpdateOutcome::kOk ||
      context.heldStaged.size() != tree.staged.size()) {
    return -1;
  }
  const double checked = Now();
  *checkMs = platform.Md5Ms();
  *rulesMs = checked - checking - *checkMs;
  if (!readFirst) *plainReadMs = TimePlainRead(tree);
  const double replacing = Now();
  if (zr::ReplaceFiles(context, platform) != zr::UpdateOutcome::kOk) return -1;
  const double end = Now();
  *parseMs = parsed - start;
  return end - replacing;
}

// Megabytes per second of staged content.
double Rate(const Tree& tree, double ms) { return ms > 0 ? tree.stagedBytes / 1048576.0 / (ms / 1000.0) : 0.0; }

// The same moves and deletions in a plain loop.
double TimeBareLoop(const Tree& tree) {
  const double start = Now();
  for (size_t i = 0; i < tree.targets.size(); ++i) {
    const std::wstring backup = tree.targets[i] + L".bak";
    if (!MoveFileExW(tree.targets[i].c_str(), backup.c_str(), kMoveFlags)) return -1;
    if (!MoveFileExW(tree.staged[i].c_str(), tree.targets[i].c_str(), kMoveFlags)) return -1;
  }
  for (const auto& target : tree.targets) DeleteFileW((target + L".bak").c_str());
  return Now() - start;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool ParseOptions(Options& options) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  bool ok = argv != nullptr;
  for (int i = 1; ok && i < argc; ++i) {
    const std::wstring arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == L"--files" && hasValue)
      options.files = _wtoi(argv[++i]);
    else if (arg == L"--megabytes" && hasValue)
      options.megabytes = _wtoi(argv[++i]);
    else if (arg == L"--rounds" && hasValue)
      options.rounds = _wtoi(argv[++i]);
    else if (arg == L"--dir" && hasValue)
      options.dir = argv[++i];
    else if (arg == L"--other-volume" && hasValue)
      options.otherVolume = argv[++i];
    else
      ok = false;
  }
  if (argv != nullptr) LocalFree(argv);
  return ok && options.files > 0 && options.megabytes > 0 && options.rounds > 0;
}

}  // namespace

int wmain() {
  Options options;
  if (!ParseOptions(options)) {
    std::fprintf(stderr,
                 "usage: bench_apply.exe [--files N] [--megabytes M] [--rounds R] [--dir D] [--other-volume E]\n");
    return 2;
  }
  if (options.dir.empty()) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    options.dir = std::wstring(temp) + L"zr-bench-apply-" + std::to_wstring(GetCurrentProcessId());
  }
  std::printf("apply benchmark: %d files, %d MB staged, %d rounds, in %s\n", options.files, options.megabytes,
              options.rounds, zr::WideToUtf8(options.dir).c_str());

  // [0]: staged files on the installation's volume, [1]: on another one.
  std::vector<double> engineTimes[2], bareTimes[2], parseTimes, checkRates, readRates;
  bool allReplaced = true;
  const int volumes = options.otherVolume.empty() ? 1 : 2;
  for (int round = 1; round <= options.rounds; ++round) {
    for (int volume = 0; volume < volumes; ++volume) {
      const std::wstring roundDir = options.dir + L"\\round " + std::to_wstring(round);
      const std::wstring stagingDir =
          volume == 0 ? roundDir : options.otherVolume + L"\\round " + std::to_wstring(round);
      Tree engineTree, bareTree;
      if (!LayOut(engineTree, roundDir + L"\\engine", stagingDir + L"\\engine", options) ||
          !LayOut(bareTree, roundDir + L"\\bare", stagingDir + L"\\bare", options)) {
        std::fprintf(stderr, "cannot lay out the trees under %s\n", zr::WideToUtf8(roundDir).c_str());
        return 1;
      }
      double parseMs = 0, engineMs = 0, bareMs = 0, rulesMs = 0, checkMs = 0, readMs = 0;
      if (round % 2) {
        engineMs = TimeEngine(engineTree, false, &parseMs, &rulesMs, &checkMs, &readMs);
        bareMs = TimeBareLoop(bareTree);
      } else {
        bareMs = TimeBareLoop(bareTree);
        engineMs = TimeEngine(engineTree, true, &parseMs, &rulesMs, &checkMs, &readMs);
      }
      const bool ok = engineMs >= 0 && bareMs >= 0 && readMs >= 0 && Replaced(engineTree) && Replaced(bareTree);
      allReplaced = allReplaced && ok;
      if (volume == 0) {
        std::printf(
            "round %d: path rules and holding %.1f ms; md5 check %.1f ms (%.0f MB/s), plain read %.1f ms "
            "(%.0f MB/s), ratio %.2f; engine %.1f ms (+ %.1f ms parsing the manifest), bare loop %.1f ms, "
            "ratio %.2f%s\n",
            round, rulesMs, checkMs, Rate(engineTree, checkMs), readMs, Rate(engineTree, readMs),
            readMs > 0 ? checkMs / readMs : 0.0, engineMs, parseMs, bareMs, bareMs > 0 ? engineMs / bareMs : 0.0,
            ok ? "" : "  (TREE NOT AS EXPECTED)");
        parseTimes.push_back(parseMs);
        checkRates.push_back(Rate(engineTree, checkMs));
        readRates.push_back(Rate(engineTree, readMs));
      } else {
        std::printf(
            "round %d, staged on another volume: engine %.1f ms (copies, %.0f MB/s), bare loop %.1f ms "
            "(%.0f MB/s), ratio %.2f%s\n",
            round, engineMs, Rate(engineTree, engineMs), bareMs, Rate(bareTree, bareMs),
            bareMs > 0 ? engineMs / bareMs : 0.0, ok ? "" : "  (TREE NOT AS EXPECTED)");
      }
      engineTimes[volume].push_back(engineMs);
      bareTimes[volume].push_back(bareMs);
      zr::DeleteDirectoryTree(roundDir);
      if (volume == 1) zr::DeleteDirectoryTree(stagingDir);
    }
  }
  zr::DeleteDirectoryTree(options.dir);
  if (volumes == 2) zr::DeleteDirectoryTree(options.otherVolume);

  const double check = Median(checkRates), read = Median(readRates);
  std::printf(
      "median: md5 check %.0f MB/s, plain read of the same files %.0f MB/s, the check takes %.2f"
      " times as long (aim: at most 1.50)\n",
      check, read, check > 0 ? read / check : 0.0);
  const double engine = Median(engineTimes[0]), bare = Median(bareTimes[0]);
  std::printf(
      "median: engine %.1f ms (%.3f ms per file), parsing %.1f ms, bare loop %.1f ms, ratio %.2f"
      " (aim: at most 1.20)\n",
      engine, engine / options.files, Median(parseTimes), bare, bare > 0 ? engine / bare : 0.0);
  if (volumes == 2) {
    const double copying = Median(engineTimes[1]), bareCopying = Median(bareTimes[1]);
    std::printf("median, staged on another volume: engine %.1f ms, bare loop %.1f ms, ratio %.2f (aim: at most 1.30)\n",
                copying, bareCopying, bareCopying > 0 ? copying / bareCopying : 0.0);
  }
  return allReplaced ? 0 : 1;
}
