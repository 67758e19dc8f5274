// The check before anything moves, against the fake: every rule that refuses an entry (and the
// entries it lets through), the md5 check as a step of its own, and the staged files held from
// the check to their move.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "support/update_fixtures.h"
#include "update/apply.h"
#include "update/entry_check.h"
#include "update/journal.h"
#include "update/outcome.h"
#include "update/progress.h"
#include "update/update_context.h"
#include "util/paths.h"
#include "util/text.h"

namespace zr {
namespace {

using test::FakePlatform;
using test::FileTable;
using test::Installation;
using test::kJournal;
using test::kProduct;
using test::kStaging;
using test::Narrow;
using test::Replace;
using test::Stage;

std::string Upper(std::string text) {
  for (char& c : text) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return text;
}

TEST(ApplyUpdate, AManifestThatCannotBeAppliedFailsBeforeTheProductIsClosedAndTouchesNothing) {
  const std::wstring b = kProduct + L"\\b.dll", bStaged = kStaging + L"\\b.staged";
  const std::string md5 = "3e6ccdf94150d22dd4b2c94bfba165bf";   // of "new b"
  const std::string longer = "749a54a17e9b07e22fff8ac1375e95e5";  // of "new b!": b is one byte short
  // What another program does with the second staged file meanwhile.
  enum class Read {
    kFine,
    kHeld,          // holds it without sharing, for good
    kReadShared,    // holds it, letting others read it but not delete it
    kWriteShared,   // holds it, letting others read and write it but not delete it
    kScanned,       // reads it, letting others do anything: it can be held all the same
    kHeldAMoment,   // holds it without sharing for a second
    kBadSector,
  };
  struct Case {
    const char* name;
    std::wstring tmp, path;  // of the second of three entries
    bool usable = false;
    std::string md5 = "";  // the second entry's
    Read read = Read::kFine;
  } cases[] = {
      {"staged file missing", kStaging + L"\\gone.staged", b},
      {"staged file is a directory", kStaging, b},
      {"target is a directory", bStaged, kProduct + L"\\plugins"},
      {"target is a directory link", bStaged, kProduct + L"\\linked"},
      {"staged file is a target", L"c:/zoria/A.DLL", b},
      {"staged file listed twice", kStaging + L"\\a.staged", b},
      {"target is another target's backup", bStaged, kProduct + L"\\a.dll.bak"},
      {"target is another target's parking name", bStaged, kProduct + L"\\A.dll.TMP"},
      {"empty target", bStaged, L""},
      {"empty staged file", L"", b},
      {"relative target", bStaged, L"b.dll"},
      {"drive-relative target", bStaged, L"C:b.dll"},
      {"target without a drive", bStaged, L"\\Zoria\\b.dll"},
      {"device path", bStaged, L"\\\\.\\C:\\Zoria\\b.dll"},
      {"a line break in the target", bStaged, b + L"\nN C:\\victim.txt"},
      {"a control character in the staged file", kStaging + L"\\b\x01.staged", b},
      {"a wildcard", bStaged, kProduct + L"\\b?.dll"},
      {"a stream name", bStaged, b + L":stream"},
      {"target outside the installation", bStaged, L"C:\\Windows\\b.dll"},
      {"target next to the installation", bStaged, L"C:\\Zoria2\\b.dll"},
      {"target climbing out", bStaged, kProduct + L"\\..\\b.dll"},
      {"target through a link", bStaged, kProduct + L"\\linked\\b.dll"},
      {"target below a file", bStaged, kProduct + L"\\a.dll\\b.dll"},
      {"target is the journal", bStaged, kProduct + L"\\ZRUPDATER.JOURNAL"},
      {"target is the journal, with trailing dots and blanks", bStaged, kProduct + L"\\zrUpdater.journal. ."},
      {"target is the journal, in the \\\\?\\ form", bStaged, L"\\\\?\\" + kProduct + L"\\zrUpdater.journal"},
      {"target is the short name the journal will have", bStaged, kProduct + L"\\" + FakePlatform::ShortNameOf(L"zrUpdater.journal")},
      {"target is the lock", bStaged, kProduct + L"\\zrUpdater.lock"},
      {"target is the record", bStaged, kProduct + L"\\zrUpdater.log"},
      {"target is the previous record", bStaged, kProduct + L"\\ZRUPDATER.LOG.1"},
      {"target is the short name of the backup the run makes", bStaged, kProduct + L"\\" + FakePlatform::ShortNameOf(L"a.dll.bak")},
      {"target is a numbered backup name of a target", bStaged, kProduct + L"\\a.dll.2.bak"},
      {"target is the copy name of a target", bStaged, kProduct + L"\\A.DLL.new"},
      {"target in a new folder named like a short name", bStaged, kProduct + L"\\NEWF~1AB\\b.dll"},
      {"target in an existing folder named by its short name", bStaged,
       kProduct + L"\\" + FakePlatform::ShortNameOf(L"plugins") + L"\\b.dll", true},
      {"staged file in the installation, not in its cache", kProduct + L"\\plugins\\b.new", b},
      {"staged file named like a target's backup", kStaging + L"\\x.dat.bak", kStaging + L"\\x.dat"},
      {"staged file outside the installation", L"D:\\downloads\\b.new", b, true},
      {"target in a new folder", bStaged, kProduct + L"\\new\\deeper\\b.dll", true},
      {"md5 of other bytes", bStaged, b, false, longer},
      {"md5 of other bytes, upper case", bStaged, b, false, Upper(longer)},
      {"md5 matches", bStaged, b, true, md5},
      {"md5 matches, upper case", bStaged, b, true, Upper(md5)},
      {"md5 empty: not checked", bStaged, b, true, ""},
      {"md5 of 31 digits: not checked", bStaged, b, true, longer.substr(1)},
      {"md5 of 33 digits: not checked", bStaged, b, true, longer + "0"},
      {"md5 with blanks: not checked", bStaged, b, true, " " + longer},
      {"md5 matches, staged file held", bStaged, b, false, md5, Read::kHeld},
      {"staged file held", bStaged, b, false, "", Read::kHeld},
      {"staged file held: read allowed, delete refused", bStaged, b, false, md5, Read::kReadShared},
      {"staged file held: write allowed, delete refused", bStaged, b, false, "", Read::kWriteShared},
      {"staged file read by a program that shares it", bStaged, b, true, md5, Read::kScanned},
      {"staged file held for a moment", bStaged, b, true, md5, Read::kHeldAMoment},
      {"md5 matches, staged file unreadable part-way", bStaged, b, false, md5, Read::kBadSector},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installation platform;
    platform.directories.insert(kProduct + L"\\plugins");
    platform.directories.insert(L"D:\\elsewhere");
    platform.directories.insert(L"D:\\downloads");
    platform.directoryLinks[kProduct + L"\\linked"] = L"D:\\elsewhere";
    platform.files[kProduct + L"\\a.dll"] = "old a";
    platform.files[kProduct + L"\\plugins\\b.new"] = "new b";
    platform.files[kStaging + L"\\a.staged"] = "new a";
    platform.files[bStaged] = "new b";
    platform.files[kStaging + L"\\b\x01.staged"] = "new b";
    platform.files[kStaging + L"\\x.dat.bak"] = "new b";
    platform.files[L"D:\\downloads\\b.new"] = "new b";
    platform.files[kStaging + L"\\c.staged"] = "new c";
    platform.processes[7] = {kProduct + L"\\zrCastrix.exe"};
    switch (c.read) {
      case Read::kHeld: platform.lockedPaths.insert(bStaged); break;
      case Read::kReadShared: platform.holders.insert({bStaged, test::Holder{}}); break;
      case Read::kWriteShared: platform.holders.insert({bStaged, test::Holder{true, true, true, false}}); break;
      case Read::kScanned: platform.holders.insert({bStaged, test::Holder{false, true, true, true}}); break;
      case Read::kHeldAMoment: platform.holders.insert({bStaged, test::Holder{true, false, false, false, 1000}}); break;
      case Read::kBadSector: platform.failReadAt = 3; break;
      case Read::kFine: break;
    }
    platform.readPieceBytes = 2;
    CUpdateContext context;
    context.files = {{"", kStaging + L"\\a.staged", kProduct + L"\\a.dll"},
                     {c.md5, c.tmp, c.path},
                     {"", kStaging + L"\\c.staged", kProduct + L"\\c.dll"}};
    if (c.path == kStaging + L"\\x.dat") context.files[0].path = kStaging + L"\\x.dat";
    const FileTable before = platform.files;

    CMovingSection section(platform);
    if (c.usable) {
      EXPECT_EQ(CheckFileEntries(context, platform), UpdateOutcome::kOk);
      EXPECT_EQ(context.heldStaged.size(), 3u) << "every staged file held from here on";
      EXPECT_EQ(platform.clock, c.read == Read::kHeldAMoment ? 1500u : 0u) << "a moment's lock is waited out";
      continue;
    }
    EXPECT_EQ(ApplyUpdate(context, platform, section), UpdateOutcome::kCheckRefused);
    EXPECT_EQ(platform.files, before);
    EXPECT_EQ(platform.operations, 0);
    EXPECT_EQ(platform.processes.count(7), 1u) << "the product is not closed for nothing";
    EXPECT_EQ(platform.movingSectionRequests, 0);
    EXPECT_TRUE(context.heldStaged.empty());
    ASSERT_FALSE(platform.StatusTexts().empty());
    // Refused for its md5, or before the md5 is read (a path rule, a staged file held by another program).
    const bool md5Read = !c.md5.empty() && (c.read == Read::kFine || c.read == Read::kBadSector);
    EXPECT_EQ(platform.StatusTexts().back(),
              (md5Read ? L"pro_verify_md5_error(2,3," : L"pro_update_file_dds(2,3,") + FileNameOfPath(c.path) + L")");
  }
}

// The check is a step of its own: each staged file is read in pieces while the bar follows the
// bytes, all before the product is asked anything; the bar is then empty for the replacing.
TEST(ApplyUpdate, TheMd5CheckFillsTheBarBeforeTheProductIsAsked) {
  Installation platform;
  platform.processes[7] = {kProduct + L"\\zrCastrix.exe"};
  platform.boxAnswers = {BoxAnswer::kFirst};
  CUpdateContext context;
  Stage(platform, context, kProduct + L"\\a.dll", L"a", std::string(300000, 'x'));
  Stage(platform, context, kProduct + L"\\b.dll", L"b", "new b");
  context.files[0].md5 = "d408ed46ebcc326f9e7c6bb9c77af1cd";
  context.files[1].md5 = "3E6CCDF94150D22DD4B2C94BFBA165BF";
  CMovingSection section(platform);
  ASSERT_EQ(ApplyUpdate(context, platform, section), UpdateOutcome::kOk);

  const auto asked = std::find_if(platform.log.begin(), platform.log.end(),
                                  [](const std::wstring& line) { return line.compare(0, 11, L"questionbox") == 0; });
  ASSERT_NE(asked, platform.log.end());
  std::vector<int64_t> bar;
  std::vector<std::wstring> lines;
  for (auto line = platform.log.begin(); line != asked; ++line) {
    EXPECT_NE(line->compare(0, 5, L"move "), 0) << "nothing moves before the question";
    if (line->compare(0, 9, L"progress ") == 0) bar.push_back(std::stoll(line->substr(9)));
    if (line->compare(0, 7, L"status ") == 0) lines.push_back(line->substr(7));
  }
  EXPECT_EQ(lines, (std::vector<std::wstring>{L"pro_verifying_dds(1,2,a.dll)", L"pro_verifying_dds(2,2,b.dll)"}));
  ASSERT_GT(bar.size(), 50u) << "the bar follows the bytes";
  EXPECT_LE(bar.size(), 102u);
  EXPECT_EQ(bar.front(), 0);
  EXPECT_EQ(bar[bar.size() - 2], 100);
  EXPECT_EQ(bar.back(), 0) << "emptied for the next step";
  for (size_t i = 2; i + 1 < bar.size(); ++i) EXPECT_LT(bar[i - 1], bar[i]);
  EXPECT_EQ(platform.files[kProduct + L"\\a.dll"], std::string(300000, 'x'));
}

// From its check to its move no other program can change a staged file: neither rewrite it
// (setting its time back), nor move another file onto it, nor move it away; what was checked is
// installed.
TEST(ApplyUpdate, NoOtherProgramCanChangeAStagedFileFromItsCheckToItsMove) {
  Installation platform;
  platform.processes[7] = {kProduct + L"\\zrCastrix.exe"};
  platform.boxAnswers = {BoxAnswer::kFirst};
  platform.files[kProduct + L"\\a.dll"] = "old a";
  platform.files[L"C:\\evil"] = "new A";
  CUpdateContext context;
  Stage(platform, context, kProduct + L"\\a.dll", L"a", "new a");
  context.files[0].md5 = "49746909ac6ede6a7a85f557a212a066";
  std::vector<bool> attempts;
  platform.onBox = [&](FakePlatform& p) {
    const std::wstring staged = kStaging + L"\\a.staged";
    attempts = {p.OtherProgramWrites(staged, "new A", true), p.OtherProgramMoves(L"C:\\evil", staged),
                p.OtherProgramMoves(staged, L"C:\\away")};
  };
  CMovingSection section(platform);
  EXPECT_EQ(ApplyUpdate(context, platform, section), UpdateOutcome::kOk);
  EXPECT_EQ(attempts, std::vector<bool>(3, false));
  EXPECT_EQ(platform.files[kProduct + L"\\a.dll"], "new a");
  // Once the update is over the file is nobody's: the fake does let another program at it.
  platform.files[kStaging + L"\\b"] = "b";
  EXPECT_TRUE(platform.OtherProgramWrites(kStaging + L"\\b", "B", true));
}

// From another volume a staged file is copied beside its target, under a name of the run's own,
// before the target moves; the copy is renamed over the target and the staged file deleted. A
// volume told apart only by the rename (it failed with error 17) gets its copy then.

}  // namespace
}  // namespace zr
