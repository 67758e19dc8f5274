// The run journal's format: every path and identity round trips, damage of any kind shows, and
// a journal of the version before copies is read.

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

using test::Planned;

// A plan with its "end" line, as the updater writes it.
std::string Signed(const std::string& plan) { return plan + "end|" + JournalChecksum(plan) + "\r\n"; }

// A journal that an updater before copies wrote (version 2, no copy field) is read all the same.
TEST(Journal, AJournalWithoutCopyNamesIsReadAsOneWhoseFilesHaveNone) {
  const Journal read = ParseJournal(Signed("zrUpdater journal 2\r\nB|C:\\a|C:\\a.bak|C:\\a.tmp|4@5|6@7\r\n") + "commit\r\n");
  EXPECT_EQ(read.state, Journal::State::kFinished);
  ASSERT_EQ(read.files.size(), 1u);
  EXPECT_EQ(read.files[0].parking, L"C:\\a.tmp");
  EXPECT_EQ(read.files[0].copy, L"");
  EXPECT_EQ(read.files[0].original, (FileIdentity{4, 5}));
  EXPECT_EQ(ParseJournal(Signed("zrUpdater journal 3\r\nB|C:\\a|C:\\a.bak|C:\\a.tmp|4@5|6@7\r\n")).state,
            Journal::State::kDamaged) << "a version 3 line has its copy field";
}

TEST(Journal, RoundTripsEveryPathAndShowsAnyDamage) {
  Journal journal;
  PlannedFile file = Planned(L"C:\\Program Files\\Zoria 投屏\\a|b%c.dll", "old", "new", L"C:\\x\\a.2.bak");
  file.replacements.push_back(FileIdentity{UINT64_MAX, 0});
  journal.files = {file, Planned(L"D:\\x\\" + std::wstring(300, L'长') + L"\r\nN C:\\victim.txt", nullptr, "n", L"")};
  journal.createdDirectories = {L"D:\\x\\新"};
  journal.leftovers = {{L"C:\\x\\old.bak", FileIdentity{3, 4}}};
  const std::string text = FormatJournal(journal);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6) << "a path never makes a line of its own";

  const struct {
    std::string bytes;
    Journal::State state;
  } variants[] = {
      {text, Journal::State::kPlanned},
      {text + "commit\r\n", Journal::State::kFinished},
      {text + "commit\r\nrollback\r\n", Journal::State::kPlanned},
      {text + "done\r\n", Journal::State::kFinished},
      {text + "comm", Journal::State::kPlanned},  // a mark cut off was never written
      {text.substr(0, text.size() - 5), Journal::State::kCutOff},
      {"", Journal::State::kCutOff},
      {text + "commit\r\nX\r\n", Journal::State::kDamaged},
      {text.substr(0, 40) + "%" + text.substr(41), Journal::State::kDamaged},
      {"zrUpdater journal 1\r\nB C:\\a\r\nend\r\n", Journal::State::kDamaged},
      {Signed("zrUpdater journal 3\r\nB|C:\\a|C:\\a.bak|C:\\a.tmp|C:\\a.new|18446744073709551616@1|1@1\r\n"),
       Journal::State::kDamaged},  // one more than 64 bits hold
      {Signed("zrUpdater journal 3\r\nB|C:\\a|C:\\a.bak|C:\\a.tmp|C:\\a.new|99999999999999999999@1|1@1\r\n"),
       Journal::State::kDamaged},
      {Signed("zrUpdater journal 3\r\nB|C:\\a|C:\\a.bak|C:\\a.tmp|C:\\a.new|18446744073709551615@1|1@1\r\n"),
       Journal::State::kPlanned},  // the most 64 bits hold
      {Signed("zrUpdater journal 3\r\nD|\r\n"), Journal::State::kDamaged},      // a folder without a path
      {Signed("zrUpdater journal 3\r\nX||1@1\r\n"), Journal::State::kDamaged},  // a leftover without a path
  };
  for (const auto& variant : variants) {
    SCOPED_TRACE(variant.bytes);
    const Journal read = ParseJournal(variant.bytes);
    EXPECT_EQ(read.state, variant.state);
    if (read.files.size() == 1) {
      EXPECT_EQ(read.files[0].original.size, UINT64_MAX);
    }
    if (read.files.size() != 2) continue;
    ASSERT_EQ(read.files.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(read.files[i].target, journal.files[i].target);
      EXPECT_EQ(read.files[i].existed, journal.files[i].existed);
      EXPECT_EQ(read.files[i].backup, journal.files[i].backup);
      EXPECT_EQ(read.files[i].parking, journal.files[i].parking);
      EXPECT_EQ(read.files[i].copy, journal.files[i].copy);
      EXPECT_EQ(read.files[i].original, journal.files[i].original);
      EXPECT_EQ(read.files[i].replacements, journal.files[i].replacements);
    }
    EXPECT_EQ(read.createdDirectories, journal.createdDirectories);
    ASSERT_EQ(read.leftovers.size(), 1u);
    EXPECT_EQ(read.leftovers[0].path, L"C:\\x\\old.bak");
    EXPECT_EQ(read.leftovers[0].identity, (FileIdentity{3, 4}));
  }
}

}  // namespace
}  // namespace zr
