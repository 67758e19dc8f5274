// The file helpers on real files under Wine.
#include "util/files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <utility>

#include "support/files_win.h"
#include "util/text.h"

namespace zr {
namespace {

using test::DirectoryExists;
using test::FileExists;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

// Run by deep_module_win_test.sh from a directory past the old limit of 260 characters.
TEST(GetModuleDirectory, IsWholeHoweverDeepTheExecutableLies) {
  const wchar_t* expected = _wgetenv(L"ZR_DEEP_DIRECTORY");
  if (expected == nullptr) GTEST_SKIP() << "needs the deep copy of the script test";
  EXPECT_EQ(WideToUtf8(GetModuleDirectory()), WideToUtf8(expected));
}

TEST(GetModuleDirectory, IsTheExecutablesDirectoryWithoutTrailingBackslash) {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  const std::wstring directory = GetModuleDirectory();
  ASSERT_FALSE(directory.empty());
  EXPECT_NE(directory.back(), L'\\');
  EXPECT_EQ(std::wstring(exe).rfind(directory + L"\\", 0), 0u);
  EXPECT_TRUE(DirectoryExists(directory));
}

TEST(CreateDirectoryChain, CreatesBothMissingDirectoriesButNeverTheFileName) {
  TempDir temp;
  EXPECT_TRUE(CreateDirectoryChain((temp / L"one\\two\\file.dll").c_str()));
  EXPECT_TRUE(DirectoryExists(temp / L"one"));
  EXPECT_TRUE(DirectoryExists(temp / L"one\\two"));
  EXPECT_FALSE(DirectoryExists(temp / L"one\\two\\file.dll"));
  EXPECT_FALSE(FileExists(temp / L"one\\two\\file.dll"));
}

TEST(CreateDirectoryChain, TrailingSeparatorCreatesTheSameDirectories) {
  TempDir temp;
  EXPECT_TRUE(CreateDirectoryChain((temp / L"a b\\投屏\\").c_str()));
  EXPECT_TRUE(DirectoryExists(temp / L"a b\\投屏"));
  EXPECT_TRUE(CreateDirectoryChain((temp / L"a b\\投屏\\").c_str()));  // already there: still true
}

TEST(CreateDirectoryChain, AcceptsForwardSlashes) {
  TempDir temp;
  EXPECT_TRUE(CreateDirectoryChain((temp.path() + L"/x/y/z.txt").c_str()));
  EXPECT_TRUE(DirectoryExists(temp / L"x\\y"));
}

TEST(CreateDirectoryChain, FailsForNetworkPathsEmptyPathsAndFilesInTheWay) {
  EXPECT_FALSE(CreateDirectoryChain(L"\\\\server\\share\\dir\\file.txt"));
  EXPECT_FALSE(CreateDirectoryChain(L""));
  EXPECT_FALSE(CreateDirectoryChain(nullptr));
  TempDir temp;
  WriteFileBytes(temp / L"blocker", "a file, not a directory");
  EXPECT_FALSE(CreateDirectoryChain((temp / L"blocker\\inner\\f.txt").c_str()));
}

TEST(ReadWholeFile, ReturnsEveryByteIncludingZeros) {
  TempDir temp;
  std::string content("head\0middle\0tail", 16);
  content += std::string(300000, 'x');
  WriteFileBytes(temp / L"data.bin", content);
  EXPECT_EQ(ReadWholeFile((temp / L"data.bin").c_str()), content);
}

TEST(ReadWholeFile, EmptyMissingAndLockedFilesReadAsEmpty) {
  TempDir temp;
  WriteFileBytes(temp / L"empty.xml", "");
  EXPECT_EQ(ReadWholeFile((temp / L"empty.xml").c_str()), "");
  EXPECT_EQ(ReadWholeFile((temp / L"missing.xml").c_str()), "");
  EXPECT_EQ(ReadWholeFile(nullptr), "");

  WriteFileBytes(temp / L"locked.xml", "<config/>");
  HANDLE exclusive = CreateFileW((temp / L"locked.xml").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadWholeFile((temp / L"locked.xml").c_str()), "");
  CloseHandle(exclusive);
  EXPECT_EQ(ReadWholeFile((temp / L"locked.xml").c_str()), "<config/>");
}

// Only files on a disk, of a size a manifest may have, are read; nothing else blocks or throws.
TEST(ReadWholeFile, ReadsNothingButOrdinaryFilesOfAReasonableSize) {
  TempDir temp;
  const std::wstring big = temp / L"two gigabytes.xml";
  HANDLE file = CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size;
  size.QuadPart = 2147483648LL;
  ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(file));  // sparse where the file system can
  CloseHandle(file);
  const std::wstring limit = temp / L"at the limit.xml";
  WriteFileBytes(limit, std::string(static_cast<size_t>(kMaxReadBytes), 'x'));
  for (const std::wstring& path : {big, temp.path(), std::wstring(L"NUL"), std::wstring(L"CON"),
                                   std::wstring(L"\\\\.\\pipe\\no such pipe"), temp / L"."}) {
    EXPECT_EQ(ReadWholeFile(path.c_str()), "") << WideToUtf8(path);
  }
  EXPECT_EQ(ReadWholeFile(limit.c_str()).size(), kMaxReadBytes) << "the limit itself is read";
}

// Writes each file below `root`, making the folders it needs.
void WriteTree(const std::wstring& root, std::initializer_list<std::pair<const wchar_t*, const char*>> files) {
  for (const auto& [name, bytes] : files) {
    const std::wstring path = root + L"\\" + name;
    test::MakeDirectories(path.substr(0, path.rfind(L'\\')));
    ASSERT_TRUE(WriteFileBytes(path, bytes)) << WideToUtf8(path);
  }
}

TEST(DeleteDirectoryTree, RemovesEverythingBelowAndTheDirectory) {
  TempDir temp;
  const std::wstring root = temp / L"cache";
  WriteTree(root, {{L"a.txt", "a"}, {L"update\\b 投.dll", "b"}, {L"update\\deep\\er\\c", "c"}});
  EXPECT_TRUE(DeleteDirectoryTree(root));
  EXPECT_FALSE(DirectoryExists(root));
  EXPECT_TRUE(DirectoryExists(temp.path()));
}

TEST(DeleteDirectoryTree, TrailingBackslashWorksTheSame) {
  TempDir temp;
  WriteTree(temp.path(), {{L"cache\\update\\sub\\f", "f"}});
  EXPECT_TRUE(DeleteDirectoryTree(temp / L"cache\\update\\"));
  EXPECT_FALSE(DirectoryExists(temp / L"cache\\update"));
  EXPECT_TRUE(DirectoryExists(temp / L"cache"));
}

TEST(DeleteDirectoryTree, HiddenFileStaysWithItsDirectoryAndTheResultIsFalse) {
  TempDir temp;
  const std::wstring root = temp / L"tree";
  WriteTree(root, {{L"visible.txt", "v"}, {L"sub\\other.txt", "o"}, {L"hidden.txt", "h"}});
  SetFileAttributesW((root + L"\\hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(DeleteDirectoryTree(root));
  EXPECT_TRUE(FileExists(root + L"\\hidden.txt"));
  EXPECT_FALSE(FileExists(root + L"\\visible.txt"));
  EXPECT_FALSE(DirectoryExists(root + L"\\sub"));
}

TEST(DeleteDirectoryTree, MissingDirectoryGivesFalse) {
  TempDir temp;
  EXPECT_FALSE(DeleteDirectoryTree(temp / L"nothing-here"));
}

TEST(DeleteDirectoryTree, ShortPathIsNotListedOnlyRemovalIsTried) {
  // A path of three characters (like a drive root "C:\") is never emptied.
  TempDir temp;
  wchar_t previous[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(temp.path().c_str()));
  CreateDirectoryW(L"abc", nullptr);
  WriteFileBytes(L"abc\\inside.txt", "kept");
  EXPECT_FALSE(DeleteDirectoryTree(L"abc"));
  EXPECT_EQ(ReadFileBytes(L"abc\\inside.txt"), "kept");
  CreateDirectoryW(L"xyz", nullptr);
  EXPECT_TRUE(DeleteDirectoryTree(L"xyz"));  // empty: the removal itself succeeds
  EXPECT_FALSE(DirectoryExists(L"xyz"));
  SetCurrentDirectoryW(previous);
}

// Run by delete_tree_link_win_test.sh, which makes a Unix symbolic link inside a tree (Wine
// lists it as a directory with the reparse-point attribute) and names the tree and the
// link's target in the environment.
TEST(DeleteDirectoryTreeLinks, NeverDescendsIntoALinkedDirectory) {
  const char* tree = std::getenv("ZR_LINK_TREE");
  const char* outside = std::getenv("ZR_LINK_OUTSIDE");
  if (tree == nullptr || outside == nullptr) GTEST_SKIP() << "needs the link tree of the script test";
  const std::wstring treePath(tree, tree + std::char_traits<char>::length(tree));
  const std::wstring outsidePath(outside, outside + std::char_traits<char>::length(outside));

  WIN32_FIND_DATAW entry = {};
  HANDLE found = FindFirstFileW((treePath + L"\\update\\link").c_str(), &entry);
  ASSERT_NE(found, INVALID_HANDLE_VALUE);
  FindClose(found);
  ASSERT_TRUE(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) << "the link is not seen as one";

  DeleteDirectoryTree(treePath + L"\\update");
  EXPECT_EQ(ReadFileBytes(outsidePath + L"\\precious.txt"), "outside the cache");
  EXPECT_TRUE(DirectoryExists(outsidePath + L"\\sub"));
  EXPECT_FALSE(FileExists(treePath + L"\\update\\regular.txt"));

  // The directory to delete is itself the link: what it leads to is not emptied either.
  DeleteDirectoryTree(outsidePath + L"\\..\\linked update\\");
  EXPECT_EQ(ReadFileBytes(outsidePath + L"\\precious.txt"), "outside the cache");
  EXPECT_TRUE(FileExists(outsidePath + L"\\sub\\also.txt"));
}

}  // namespace
}  // namespace zr
