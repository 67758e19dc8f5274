// Replacing and rollback on real files under Wine, through the real CWin32FileSystem:
// sharing violations, staged files held from their check to their move (nobody else can
// change them; moved in with the folder's permissions; copied from another volume), long and
// Chinese names, odd targets (read-only files, directories, every spelling of one file, paths
// near and past 260 characters). The exe's own tests (tests/e2e) hold the rest: staged files on
// another file system, a moment's lock, short names of the files a run makes.

#include "update/apply.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "support/fake_texts.h"
#include "support/files_win.h"
#include "update/file_system_win.h"
#include "update/outcome.h"
#include "update/platform.h"
#include "update/patient_file_system.h"
#include "update/progress.h"
#include "update/update_context.h"
#include "util/handle_win.h"
#include "util/paths.h"
#include "util/text.h"

namespace zr {
namespace {

using test::FileExists;
using test::ReadFileBytes;
using test::TempDir;

// The real file system, with the test's folder as the updater's.
class InstallationFileSystem : public CWin32FileSystem {
 public:
  std::wstring ModuleDirectory() override { return installation; }
  std::wstring installation;
};

// The files half is the updater's own, seen as the engine sees it; the window half shows
// nothing; the record is kept in `record`.
class DiskPlatform : public IUpdatePlatform {
 public:
  explicit DiskPlatform(const TempDir& installation) { disk.installation = installation.path(); }
  IFileSystem& Files() override { return files; }
  void Record(const std::string& line) override { record.push_back(line); }
  uint32_t FindProcessByPath(const std::wstring&) override { return 0; }
  void TerminateProcessById(uint32_t, uint32_t) override {}
  bool PostQuitToProductWindow() override { return false; }
  void Report(UpdateEvent) override {}
  BoxAnswer ShowLinkBox(const std::wstring&, const std::wstring&, const std::wstring&, const std::wstring&,
                        const std::wstring*) override {
    return BoxAnswer::kFirst;
  }
  BoxAnswer ShowQuestionBox(const std::wstring&, const std::wstring&, const std::wstring&,
                            const std::wstring&) override {
    return BoxAnswer::kFirst;
  }
  // No pause: a file held for good is tried again at once.
  void Sleep(uint32_t) override {}
  bool EnterMovingSection() override { return true; }
  void LeaveMovingSection() override {}
  bool ProcessEnding() override { return false; }
  const ITexts& Texts() override { return texts; }
  ReportDelivery SendUsageReport(const CUpdateContext&, UpdateOutcome) override { return {}; }

  // The lines of the record that tell of a failed file operation.
  std::vector<std::string> Failures() const {
    std::vector<std::string> lines;
    for (const std::string& line : record) {
      if (line.compare(0, 7, "failed:") == 0) lines.push_back(line);
    }
    return lines;
  }

  InstallationFileSystem disk;
  CPatientFileSystem files{disk, *this};
  std::vector<std::string> record;
  test::FakeTexts texts;
};

using HeldFile = CKernelHandle;

// Opens a file the way a virus scanner or a running program does: without delete sharing, so
// that it cannot be moved or deleted while held.
HeldFile Hold(const std::wstring& path) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(handle, INVALID_HANDLE_VALUE) << "cannot hold the file";
  return HeldFile(handle);
}

void Write(const std::wstring& path, const std::string& content) {
  test::MakeDirectories(path.substr(0, path.rfind(L'\\')));
  test::WriteFileBytes(path, content);
  ASSERT_TRUE(FileExists(path)) << WideToUtf8(path);
}

std::string Read(const std::wstring& path) { return ReadFileBytes(path); }

// Bytes that take four pieces to read, none of them alike.
std::string ThreePiecesAndABit() {
  std::string bytes(3 * CWin32FileSystem::kReadPieceBytes + 5, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 251);
  return bytes;
}
bool Exists(const std::wstring& path) { return FileExists(path) || test::DirectoryExists(path); }

DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

UpdateOutcome Apply(CUpdateContext& context, DiskPlatform& platform) {
  CMovingSection section(platform);
  EXPECT_TRUE(section.Enter());
  return ApplyUpdate(context, platform, section);
}

// The whole failure path of the files: apply, then roll back.
UpdateOutcome ApplyAndRollBack(CUpdateContext& context, DiskPlatform& platform) {
  const UpdateOutcome result = Apply(context, platform);
  if (result != UpdateOutcome::kOk) RollbackFiles(context, platform);
  return result;
}

// An installation with `count` product files (the second one new) and their staged contents.
struct Installation {
  explicit Installation(const TempDir& temp, int count) {
    for (int i = 0; i < count; ++i) {
      const std::wstring name = L"file " + std::to_wstring(i) + L" 文件.dll";
      const std::wstring path = i == 1 ? temp / (L"新 目录\\子\\" + name) : temp / name;
      const std::wstring staged = temp / (L"cache\\update\\" + std::to_wstring(i) + L".new");
      originals.push_back(i == 1 ? std::string() : "original " + std::to_string(i));
      if (i != 1) Write(path, originals.back());
      Write(staged, "new " + std::to_string(i));
      context.files.push_back({"", staged, path});
    }
  }
  // Every product file as before the update, no new file, no backup, parked file or journal.
  void ExpectRestored() const {
    for (size_t i = 0; i < context.files.size(); ++i) {
      const std::wstring& path = context.files[i].path;
      if (i == 1) {
        EXPECT_FALSE(Exists(path)) << "the created file is gone";
      } else {
        EXPECT_EQ(Read(path), originals[i]) << "entry " << i;
      }
      EXPECT_FALSE(Exists(path + L".bak")) << "entry " << i;
      EXPECT_FALSE(Exists(path + L".tmp")) << "entry " << i;
    }
  }
  CUpdateContext context;
  std::vector<std::string> originals;
};

TEST(ApplyOnDisk, ReplacesEveryFileAndLeavesNoBackupOfItsOwn) {
  TempDir temp;
  Installation install(temp, 4);
  Write(install.context.files[0].path + L".bak", "someone's backup");
  DiskPlatform platform(temp);

  ASSERT_EQ(Apply(install.context, platform), UpdateOutcome::kOk);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(Read(install.context.files[i].path), "new " + std::to_string(i));
    EXPECT_FALSE(Exists(install.context.files[i].tmp)) << "moved, not copied";
    EXPECT_EQ(Exists(install.context.files[i].path + L".bak"), i == 0);
    EXPECT_FALSE(Exists(install.context.files[i].path + L".2.bak"));
  }
  EXPECT_EQ(Read(install.context.files[0].path + L".bak"), "someone's backup");
  EXPECT_FALSE(Exists(temp / L"zrUpdater.journal"));
}

// What the engine reads of files: an identity that a move keeps and a new write changes, a read
// that tells a held file from an empty one, and a directory removed only when empty.
TEST(FileSystemOnDisk, IdentitiesReadsAndEmptyDirectories) {
  TempDir temp;
  CWin32FileSystem files;
  Write(temp / L"a.dll", "content");
  FileIdentity before, moved, rewritten;
  ASSERT_TRUE(files.Identify(temp / L"a.dll", before));
  EXPECT_EQ(before.size, 7u);
  ASSERT_TRUE(files.MoveReplace(temp / L"a.dll", temp / L"sub\\..\\b.dll"));
  ASSERT_TRUE(files.Identify(temp / L"b.dll", moved));
  EXPECT_EQ(moved, before) << "a move keeps size and last write time";
  Sleep(20);
  Write(temp / L"b.dll", "content");
  ASSERT_TRUE(files.Identify(temp / L"b.dll", rewritten));
  EXPECT_NE(rewritten, before) << "the same bytes written later are another file";
  EXPECT_FALSE(files.Identify(temp.path(), rewritten)) << "a directory is no file";
  EXPECT_FALSE(files.Identify(temp / L"missing", rewritten));

  std::string bytes = "x";
  Write(temp / L"empty", "");
  EXPECT_TRUE(files.ReadExistingFile(temp / L"empty", bytes));
  EXPECT_EQ(bytes, "");
  EXPECT_FALSE(files.ReadExistingFile(temp / L"missing", bytes));
  {
    CKernelHandle held(CreateFileW((temp / L"b.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_FALSE(files.ReadExistingFile(temp / L"b.dll", bytes)) << "held without sharing";
  }
  EXPECT_TRUE(files.ReadExistingFile(temp / L"b.dll", bytes));
  EXPECT_EQ(bytes, "content");

  Write(temp / L"full\\kept.txt", "kept");
  EXPECT_FALSE(files.RemoveEmptyDirectory(temp / L"full"));
  EXPECT_EQ(Read(temp / L"full\\kept.txt"), "kept");
  test::MakeDirectories(temp / L"empty dir");
  EXPECT_TRUE(files.RemoveEmptyDirectory(temp / L"empty dir"));
  EXPECT_FALSE(Exists(temp / L"empty dir"));
  EXPECT_TRUE(files.RemoveEmptyDirectory(temp / L"never there"));
}

// Every failed call says why, as Windows does (the fake gives the same codes), and a file of
// any size is read in pieces of at most kReadPieceBytes.
TEST(FileSystemOnDisk, EveryFailureSaysWhyAndFilesAreReadInPieces) {
  TempDir temp;
  CWin32FileSystem files;
  Write(temp / L"a.dll", "content");
  Write(temp / L"held.dll", "held");
  Write(temp / L"full\\kept.txt", "kept");
  std::string bytes;
  struct Case {
    const char* name;
    std::function<bool()> call;
    DWORD error;
  } cases[] = {
      {"move a missing file", [&] { return files.MoveReplace(temp / L"gone.dll", temp / L"b.dll"); }, ERROR_FILE_NOT_FOUND},
      {"move from a missing folder", [&] { return files.MoveReplace(temp / L"gone\\a.dll", temp / L"b.dll"); },
       ERROR_PATH_NOT_FOUND},
      {"move a held file", [&] { return files.MoveReplace(temp / L"held.dll", temp / L"b.dll"); }, ERROR_SHARING_VIOLATION},
      // Replacing a file that is held open is refused as access, not as sharing.
      {"move onto a held file", [&] { return files.MoveReplace(temp / L"a.dll", temp / L"held.dll"); },
       ERROR_ACCESS_DENIED},
      {"move onto a folder", [&] { return files.MoveReplace(temp / L"a.dll", temp / L"full"); }, ERROR_ACCESS_DENIED},
      {"move into a missing folder", [&] { return files.MoveReplace(temp / L"a.dll", temp / L"gone\\a.dll"); },
       ERROR_PATH_NOT_FOUND},
      {"delete a held file", [&] { return files.RemoveFile(temp / L"held.dll"); }, ERROR_SHARING_VIOLATION},
      {"delete a folder", [&] { return files.RemoveFile(temp / L"full"); }, ERROR_ACCESS_DENIED},
      {"remove a folder that holds a file", [&] { return files.RemoveEmptyDirectory(temp / L"full"); },
       ERROR_DIR_NOT_EMPTY},
      {"remove a file as a folder", [&] { return files.RemoveEmptyDirectory(temp / L"a.dll"); }, ERROR_DIRECTORY},
      {"make folders below a file", [&] { return files.CreateDirectoryChain(temp / L"a.dll\\sub\\b.dll"); },
       ERROR_PATH_NOT_FOUND},
      {"read a missing file", [&] { return files.ReadExistingFile(temp / L"gone.dll", bytes); }, ERROR_FILE_NOT_FOUND},
      {"read a held file", [&] { return files.ReadExistingFile(temp / L"held.dll", bytes); }, ERROR_SHARING_VIOLATION},
      {"hold a held file", [&] { return files.Hold(temp / L"held.dll") != nullptr; }, ERROR_SHARING_VIOLATION},
      {"hold a missing file", [&] { return files.Hold(temp / L"gone\\a.dll") != nullptr; }, ERROR_PATH_NOT_FOUND},
      {"hold a folder", [&] { return files.Hold(temp / L"full") != nullptr; }, ERROR_ACCESS_DENIED},
      {"write into a missing folder", [&] { return files.WriteDurably(temp / L"gone\\j", "x", false); },
       ERROR_PATH_NOT_FOUND},
      {"append to a missing file", [&] { return files.WriteDurably(temp / L"gone.j", "x", true); }, ERROR_FILE_NOT_FOUND},
      {"delete a missing folder tree", [&] { return files.DeleteDirectoryTree(temp / L"gone"); }, ERROR_FILE_NOT_FOUND},
  };
  {
    CKernelHandle held(CreateFileW((temp / L"held.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    for (const Case& c : cases) {
      EXPECT_FALSE(c.call()) << c.name;
      EXPECT_EQ(files.LastError(), c.error) << c.name;
    }
  }

  const std::string big = ThreePiecesAndABit();
  Write(temp / L"big.bin", big);
  std::unique_ptr<IHeldFile> held = files.Hold(temp / L"big.bin");
  ASSERT_TRUE(held);
  EXPECT_EQ(held->Identity().size, big.size());
  for (int time = 0; time < 2; ++time) {  // read through twice, from the start each time
    std::string read;
    size_t pieces = 0, largest = 0;
    ASSERT_TRUE(files.ReadHeld(*held, [&](const char* data, size_t size) {
      read.append(data, size);
      ++pieces;
      largest = std::max(largest, size);
    }));
    EXPECT_TRUE(read == big);
    EXPECT_GE(pieces, 4u);
    EXPECT_LE(largest, size_t{CWin32FileSystem::kReadPieceBytes});
  }
}

// The security descriptor of a file or folder in SDDL: owner and permissions.
std::wstring Permissions(const std::wstring& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                            &descriptor) != ERROR_SUCCESS) {
    return L"?";
  }
  LPWSTR text = nullptr;
  ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr);
  std::wstring permissions = text != nullptr ? text : L"?";
  LocalFree(text);
  LocalFree(descriptor);
  return permissions;
}

bool SetPermissions(const std::wstring& path, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) return false;
  BOOL present = FALSE, defaulted = FALSE;
  PACL acl = nullptr;
  GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted);
  const DWORD result = SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                             DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                             nullptr, acl, nullptr);
  LocalFree(descriptor);
  return result == ERROR_SUCCESS;
}

// What a folder's access list hands down to a file renamed into it: only what files inherit,
// in order, marked inherited; nothing where the system's own rules must decide.
TEST(HeldFilesOnDisk, AFileRenamedIntoAFolderGetsWhatTheFolderHandsDownToFiles) {
  const auto text = [](const wchar_t* sddl, bool folder) {
    PSECURITY_DESCRIPTOR given = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &given, nullptr)) return std::wstring(L"?");
    GetSecurityDescriptorDacl(given, &present, &acl, &defaulted);
    std::vector<unsigned char> file = folder ? InheritedFileAcl(acl) : std::vector<unsigned char>();
    SECURITY_DESCRIPTOR shown;
    InitializeSecurityDescriptor(&shown, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&shown, TRUE, folder ? reinterpret_cast<ACL*>(file.data()) : acl, FALSE);
    LPWSTR out = nullptr;
    std::wstring result = folder && file.empty() ? L"(the system's)" : L"?";
    if (result == L"?" && ConvertSecurityDescriptorToStringSecurityDescriptorW(&shown, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &out, nullptr)) result = out;
    LocalFree(out);
    LocalFree(given);
    return result;
  };
  const wchar_t* const kSystems = L"(the system's)";
  // A denial kept first; an entry for subfolders only left out; one the folder does not apply
  // to itself, or that goes no further than its children, still reaches a file. Generic rights,
  // the creator's entry and nothing for files at all are the system's to work out.
  EXPECT_EQ(text(L"D:P(D;OI;FW;;;AN)(A;OICI;FA;;;SY)(A;CI;FA;;;BU)(A;OICINP;FA;;;BA)(A;OIIO;0x1200a9;;;WD)", true),
            text(L"D:(D;ID;FW;;;AN)(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;WD)", false));
  EXPECT_EQ(text(L"D:P(A;OICI;GA;;;SY)(A;OICI;FA;;;BA)", true), kSystems);
  EXPECT_EQ(text(L"D:P(A;OICIIO;FA;;;CO)(A;OICI;FA;;;BA)", true), kSystems);
  EXPECT_EQ(text(L"D:P(A;CI;FA;;;SY)(A;;FA;;;BA)", true), kSystems);
}

// A staged file the updater holds cannot be written, replaced, moved or deleted by anyone else
// (who may still read it); one another program holds without letting others delete it cannot
// be held. Put in place, it is the file that was held, with the permissions its new folder
// hands down, not those it carried (here: everybody may write it), whether it was renamed or,
// from another volume, copied.
TEST(HeldFilesOnDisk, NobodyElseCanChangeAHeldFileAndInPlaceItTakesTheFolderPermissions) {
  TempDir temp;
  CWin32FileSystem files;
  const std::wstring installation = temp / L"installation";
  test::MakeDirectories(installation);
  // The system and administrators may do anything, everybody may read: handed down to files.
  ASSERT_TRUE(SetPermissions(installation, L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;WD)"));
  Write(installation + L"\\reference.dll", "made in the folder");
  const std::wstring inherited = Permissions(installation + L"\\reference.dll");
  ASSERT_NE(inherited, L"?");

  for (const bool otherVolume : {false, true}) {
    SCOPED_TRACE(otherVolume ? "from another volume" : "from the same volume");
    // The other volume: the same folder through another drive letter, which Windows (and Wine)
    // take for another volume.
    const std::wstring staged = otherVolume ? test::ThroughAnotherDrive(temp.path()) + L"\\staged.dll" : temp / L"staged.dll";
    ASSERT_FALSE(staged.empty());
    Write(staged, "staged bytes");
    ASSERT_TRUE(SetPermissions(staged, L"D:P(A;;FA;;;WD)"));  // everybody may do anything with it
    {
      CKernelHandle other(CreateFileW(staged.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(other);
      EXPECT_FALSE(files.Hold(staged)) << "another program holds it without letting it be deleted";
      EXPECT_EQ(files.LastError(), DWORD{ERROR_SHARING_VIOLATION});
    }
    std::unique_ptr<IHeldFile> held = files.Hold(staged);
    ASSERT_TRUE(held);
    Write(temp / L"evil.dll", "evil");
    CKernelHandle writer(CreateFileW(staged.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer) << "no other program may write it";
    EXPECT_FALSE(DeleteFileW(staged.c_str()));
    EXPECT_FALSE(MoveFileExW((temp / L"evil.dll").c_str(), staged.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(MoveFileExW(staged.c_str(), (temp / L"away.dll").c_str(), 0));
    CKernelHandle reader(CreateFileW(staged.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(reader) << "reading it is allowed";
    reader.Reset();

    const std::wstring target = installation + L"\\target.dll";
    Write(target, "old");
    ASSERT_TRUE(files.MoveReplace(target, target + L".bak"));
    EXPECT_EQ(files.MustCopy(*held, target), otherVolume);
    if (otherVolume) {
      ASSERT_TRUE(files.CopyHeld(*held, target + L".new"));
      EXPECT_EQ(Read(target + L".new"), "staged bytes");
    }
    ASSERT_TRUE(files.PlaceHeld(*held, target));
    EXPECT_EQ(Read(target), "staged bytes");
    EXPECT_FALSE(Exists(staged)) << "the staged file is gone, moved or copied";
    EXPECT_FALSE(Exists(target + L".new"));
    FileIdentity placed;
    ASSERT_TRUE(files.Identify(target, placed));
    EXPECT_EQ(placed, held->Identity()) << "the copy keeps the size and last write time";
    EXPECT_EQ(Permissions(target), inherited) << "the folder's permissions, not the staged file's";
    EXPECT_EQ(Permissions(target).find(L"(A;;FA;;;WD)"), std::wstring::npos);
    DeleteFileW((target + L".bak").c_str());
    DeleteFileW(target.c_str());
  }
}


// A staged file one byte short of its md5, or its md5 in capitals: the check reads the real file
// through, and only the wrong one is refused, before anything is touched.
TEST(ApplyOnDisk, OnlyAStagedFileWithItsOwnMd5IsInstalled) {
  for (const bool shortByOne : {true, false}) {
    SCOPED_TRACE(shortByOne ? "one byte short" : "whole");
    TempDir temp;
    Installation install(temp, 3);
    const std::string big = ThreePiecesAndABit();  // its md5 in capitals below
    Write(install.context.files[2].tmp, shortByOne ? big.substr(0, big.size() - 1) : big);
    install.context.files[2].md5 = "1B0DE8D13C56FF757E754B579131C143";
    DiskPlatform platform(temp);
    EXPECT_EQ(ApplyAndRollBack(install.context, platform), shortByOne ? UpdateOutcome::kCheckRefused : UpdateOutcome::kOk);
    if (shortByOne) {
      install.ExpectRestored();
      EXPECT_TRUE(Exists(install.context.files[2].tmp)) << "nothing moved";
    } else {
      EXPECT_TRUE(Read(install.context.files[2].path) == big);
    }
  }
}

// The run while `path` is held, as a running program holds it; the file is let go after it.
UpdateOutcome ApplyWhileHeld(Installation& install, DiskPlatform& platform, const std::wstring& path) {
  HeldFile held = Hold(path);
  return Apply(install.context, platform);
}

TEST(ApplyOnDisk, AHeldProductFileFailsTheMoveAndRollbackRestoresTheOthers) {
  TempDir temp;
  Installation install(temp, 5);
  DiskPlatform platform(temp);
  EXPECT_EQ(ApplyWhileHeld(install, platform, install.context.files[2].path), UpdateOutcome::kMoveFailed);
  // The record names the move with both paths and Windows' own reason.
  ASSERT_EQ(platform.Failures().size(), 1u);
  const std::string failure = platform.Failures()[0];
  EXPECT_NE(failure.find(WideToUtf8(install.context.files[2].path)), std::string::npos) << failure;
  EXPECT_NE(failure.find("error 32 "), std::string::npos) << failure;
  EXPECT_EQ(install.context.backups.size(), 2u) << "nothing recorded for the held file";
  RollbackFiles(install.context, platform);
  install.ExpectRestored();
  EXPECT_TRUE(Exists(install.context.files[3].tmp)) << "later staged files stay";
}

TEST(ApplyOnDisk, ABackupThatCannotComeBackLeavesTheTargetFilled) {
  TempDir temp;
  Installation install(temp, 3);
  DiskPlatform platform(temp);
  ASSERT_EQ(ApplyWhileHeld(install, platform, install.context.files[2].path), UpdateOutcome::kMoveFailed);
  const std::wstring& first = install.context.files[0].path;
  {
    HeldFile held = Hold(first + L".bak");  // the original cannot move back while held
    RollbackFiles(install.context, platform);
    EXPECT_EQ(Read(first), "new 0") << "the parked file went back to the target";
    EXPECT_EQ(Read(first + L".bak"), "original 0") << "the original is kept at its backup";
    EXPECT_FALSE(Exists(first + L".tmp"));
  }
  // Everything else was restored regardless.
  EXPECT_EQ(Read(install.context.files[2].path), "original 2");
  EXPECT_FALSE(Exists(install.context.files[1].path));
}

// Two entries naming one product file in two spellings, then a held file that fails the run:
// the original comes back byte for byte, whichever spelling came first.
TEST(OddTargets, EverySpellingOfOneFileKeepsItsOriginal) {
  TempDir temp;
  const std::wstring bin = temp / L"bin";
  const std::wstring shortCase = bin + L"\\a rather long file name.dll";
  struct Pair {
    const char* name;
    std::wstring file, other;
  } pairs[] = {
      {"doubled separator", bin + L"\\core.dll", bin + L"\\\\core.dll"},
      {"dot directory", bin + L"\\core.dll", bin + L"\\.\\core.dll"},
      {"dot-dot directory", bin + L"\\core.dll", bin + L"\\sub\\..\\core.dll"},
      {"trailing dot", bin + L"\\core.dll", bin + L"\\core.dll."},
      {"trailing blank", bin + L"\\core.dll", bin + L"\\core.dll "},
      {"slashes and letter case", bin + L"\\core.dll", temp.path() + L"/BIN/CORE.DLL"},
      {"non-ASCII letter case", bin + L"\\Ärger.dll", bin + L"\\ärger.dll"},
      {"short name", shortCase, L""},
  };
  int runs = 0;
  for (Pair& pair : pairs) {
    for (const bool swapped : {false, true}) {
      SCOPED_TRACE(testing::Message() << pair.name << (swapped ? ", other spelling first" : ""));
      Write(pair.file, "original bytes \x01\xFF");
      Write(bin + L"\\held.dll", "held");
      if (pair.other.empty()) {
        wchar_t shortName[MAX_PATH] = {};
        ASSERT_NE(GetShortPathNameW(pair.file.c_str(), shortName, MAX_PATH), 0u);
        pair.other = shortName;
        ASSERT_NE(pair.other, pair.file) << "no short name to test with";
      }
      Write(temp / L"cache\\update\\one.new", "one");
      Write(temp / L"cache\\update\\two.new", "two");
      Write(temp / L"cache\\update\\held.new", "new held");
      CUpdateContext context;
      context.files = {{"", temp / L"cache\\update\\one.new", swapped ? pair.other : pair.file},
                       {"", temp / L"cache\\update\\two.new", swapped ? pair.file : pair.other},
                       {"", temp / L"cache\\update\\held.new", bin + L"\\held.dll"}};
      DiskPlatform platform(temp);
      {
        HeldFile held = Hold(bin + L"\\held.dll");
        ASSERT_EQ(ApplyAndRollBack(context, platform), UpdateOutcome::kMoveFailed);
      }
      EXPECT_EQ(Read(pair.file), "original bytes \x01\xFF");
      EXPECT_EQ(context.backups.size(), 1u) << "one file, one backup";
      for (const std::wstring& spelling : {pair.file, pair.other}) {
        EXPECT_FALSE(Exists(spelling + L".bak"));
        EXPECT_FALSE(Exists(spelling + L".tmp"));
      }
      ++runs;
    }
  }
  EXPECT_EQ(runs, 16);
}

TEST(OddTargets, AReadOnlyFileIsUpdatedTwiceAndRolledBackWithItsAttributes) {
  TempDir temp;
  const std::wstring target = temp / L"readonly.dll";
  DiskPlatform platform(temp);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    Write(target, "version " + std::to_string(round));
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
    if (round == 1) {  // a read-only backup someone left does not block this one
      Write(target + L".bak", "stale");
      SetFileAttributesW((target + L".bak").c_str(), FILE_ATTRIBUTE_READONLY);
    }
    Write(temp / L"cache\\update\\new.dll", "version " + std::to_string(round + 1));
    CUpdateContext context;
    context.files = {{"", temp / L"cache\\update\\new.dll", target}};
    if (round == 2) {  // a later entry fails: the read-only original comes back as it was
      context.files.push_back({"", temp / L"cache\\update\\other.dll", temp / L"other.dll"});
      Write(temp / L"cache\\update\\other.dll", "x");
      Write(temp / L"other.dll", "held");
      HeldFile held = Hold(temp / L"other.dll");
      ASSERT_EQ(ApplyAndRollBack(context, platform), UpdateOutcome::kMoveFailed);
      EXPECT_EQ(Read(target), "version 2");
      EXPECT_TRUE(Attributes(target) & FILE_ATTRIBUTE_READONLY);
    } else {
      ASSERT_EQ(ApplyAndRollBack(context, platform), UpdateOutcome::kOk);
      EXPECT_EQ(Read(target), "version " + std::to_string(round + 1));
      SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    EXPECT_EQ(Exists(target + L".bak"), round >= 1) << "a backup the run did not make stays";
    if (round >= 1) {
      EXPECT_EQ(Read(target + L".bak"), "stale");
    }
    EXPECT_FALSE(Exists(target + L".2.bak"));
    EXPECT_FALSE(Exists(target + L".tmp"));
  }
  SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  SetFileAttributesW((target + L".bak").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(OddTargets, ADirectoryAsTargetFailsWithNothingTouched) {
  TempDir temp;
  Write(temp / L"plugins\\mirror.dll", "plug-in");
  Write(temp / L"a.dll", "old a");
  Write(temp / L"cache\\update\\a.new", "new a");
  Write(temp / L"cache\\update\\plugins.new", "not a directory");
  CUpdateContext context;
  context.files = {{"", temp / L"cache\\update\\a.new", temp / L"a.dll"},
                   {"", temp / L"cache\\update\\plugins.new", temp / L"plugins"}};
  DiskPlatform platform(temp);
  EXPECT_EQ(ApplyAndRollBack(context, platform), UpdateOutcome::kCheckRefused);
  EXPECT_EQ(Read(temp / L"plugins\\mirror.dll"), "plug-in");
  EXPECT_FALSE(Exists(temp / L"plugins.bak"));
  EXPECT_EQ(Read(temp / L"a.dll"), "old a");
  EXPECT_TRUE(Exists(temp / L"cache\\update\\a.new")) << "nothing moved";
}

// A target of 259 characters (its ".bak" and ".tmp" names are past the old limit of 260) and
// one of 400, each updated, and each rolled back. (Names stay under 255 bytes in UTF-8, the
// limit of the Linux file system under Wine.)
TEST(OddTargets, LongPathsAreUpdatedAndRolledBack) {
  for (const size_t length : {size_t{259}, size_t{400}}) {
    for (const bool fails : {false, true}) {
      TempDir temp;
      SCOPED_TRACE(testing::Message() << length << (fails ? " characters, rolled back" : " characters"));
      std::wstring path = temp / (std::wstring(60, L'深') + L"\\" + std::wstring(100, L'd') + L"\\文");
      path += std::wstring(length - path.size() - 4, L'f') + L".dll";
      ASSERT_EQ(path.size(), length);
      Write(path, "old");
      Write(temp / L"cache\\update\\staged.new", "new");
      CUpdateContext context;
      context.files.push_back({"", temp / L"cache\\update\\staged.new", path});
      context.files.push_back({"", temp / L"cache\\update\\second.new", path.substr(0, path.rfind(L'\\')) + L"\\新\\second.dll"});
      Write(temp / L"cache\\update\\second.new", "second");
      Write(context.files[1].path, "old second");
      HeldFile held = fails ? Hold(context.files[1].path) : HeldFile();
      DiskPlatform platform(temp);
      EXPECT_EQ(ApplyAndRollBack(context, platform), fails ? UpdateOutcome::kMoveFailed : UpdateOutcome::kOk);
      EXPECT_EQ(Read(path), fails ? "old" : "new");
      EXPECT_EQ(Read(context.files[1].path), fails ? "old second" : "second");
      EXPECT_FALSE(Exists(path + L".bak"));
      EXPECT_FALSE(Exists(path + L".tmp"));
    }
  }
}

}  // namespace
}  // namespace zr
