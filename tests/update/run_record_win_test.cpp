// The record file under Wine: a new one per run with the last kept, timed lines that reach the
// disk as they come, the limit, and a record that cannot be written.

#include "update/run_record_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/files_win.h"
#include "util/handle_win.h"

namespace zr {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(RunRecordFile, EachRunStartsAfreshKeepingTheLastAndWritesTimedLinesAsTheyCome) {
  TempDir temp;
  ASSERT_TRUE(WriteFileBytes(temp / L"zrUpdater.log", "the last run\r\n"));
  ASSERT_TRUE(WriteFileBytes(temp / L"zrUpdater.log.1", "the run before"));
  CRunRecordFile record;
  record.Append("before the start: nowhere");
  record.Start(temp.path());
  record.Append("the product is not running");
  record.Append("entry 1/1 \"C:\\a\nN C:\\victim\": refused");

  // Read while the record is open: nothing waits in the process.
  const std::string written = ReadFileBytes(temp / L"zrUpdater.log");
  const std::regex lines(
      "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} the product is not running\r\n"
      "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} entry 1/1 \"C:\\\\a\\\\x0aN C:\\\\victim\": refused\r\n");
  EXPECT_TRUE(std::regex_match(written, lines)) << written;
  EXPECT_EQ(ReadFileBytes(temp / L"zrUpdater.log.1"), "the last run\r\n");

  // An updater that did not get the installation adds to the record as it stands.
  CRunRecordFile second;
  second.Join(temp.path());
  second.Append("the installation is held");
  const std::string joined = ReadFileBytes(temp / L"zrUpdater.log");
  EXPECT_EQ(joined.compare(0, written.size(), written), 0);
  EXPECT_NE(joined.find(" the installation is held\r\n", written.size()), std::string::npos);
}

TEST(RunRecordFile, ARecordAtItsLimitSaysItWasCutAndTakesNoMore) {
  TempDir temp;
  CRunRecordFile record(300);
  record.Start(temp.path());
  for (int i = 0; i < 20; ++i) record.Append("line " + std::to_string(i) + " of the run");
  const std::string written = ReadFileBytes(temp / L"zrUpdater.log");
  const size_t cut = written.find("the record is cut here");
  ASSERT_NE(cut, std::string::npos) << written;
  EXPECT_LE(cut, 300u);
  EXPECT_EQ(written.find("line 19"), std::string::npos);
  EXPECT_EQ(written.substr(written.size() - 2), "\r\n") << "the cut line is the last, whole";
  EXPECT_EQ(written.find("\r\n", cut), written.size() - 2);
}

// Held by another program without sharing, the record is neither moved aside nor written, and
// nothing fails; the last run's record stays as it was.
TEST(RunRecordFile, ARecordThatCannotBeWrittenIsSkipped) {
  TempDir temp;
  ASSERT_TRUE(WriteFileBytes(temp / L"zrUpdater.log", "the last run\r\n"));
  {
    CKernelHandle held(CreateFileW((temp / L"zrUpdater.log").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    CRunRecordFile record;
    record.Start(temp.path());
    record.Append("a line with nowhere to go");
  }
  EXPECT_EQ(ReadFileBytes(temp / L"zrUpdater.log"), "the last run\r\n");
  EXPECT_FALSE(test::FileExists(temp / L"zrUpdater.log.1"));

  CRunRecordFile nowhere;
  nowhere.Start(temp / L"no such folder");
  nowhere.Append("a line with nowhere to go");
  EXPECT_FALSE(test::DirectoryExists(temp / L"no such folder"));
}

}  // namespace
}  // namespace zr
