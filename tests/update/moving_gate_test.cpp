// The gate that keeps the process alive while product files move.
#include "update/moving_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/fake_platform.h"
#include "update/apply.h"
#include "update/outcome.h"
#include "update/update_context.h"
#include "update/update_worker.h"
#include "util/text.h"

namespace zr {
namespace {

TEST(MovingGate, ClosingWaitsForTheRunningStageAndRefusesNewOnes) {
  CMovingGate gate;
  ASSERT_TRUE(gate.Enter());
  std::atomic<bool> left{false};
  std::atomic<bool> closed{false};
  std::atomic<bool> leftBeforeClosed{false};
  std::thread closer([&] {
    gate.Close();
    EXPECT_TRUE(gate.WaitIdle(10000));
    leftBeforeClosed = left.load();
    closed = true;
  });
  // The closer must still be waiting while the section runs; it is released by Leave alone.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(closed.load());
  left = true;
  gate.Leave();
  closer.join();
  EXPECT_TRUE(closed.load());
  EXPECT_TRUE(leftBeforeClosed.load()) << "the closer returned before the section was left";
  EXPECT_FALSE(gate.Enter());
}

TEST(MovingGate, ClosingAnIdleGateReturnsAtOnce) {
  CMovingGate gate;
  ASSERT_TRUE(gate.Enter());
  gate.Leave();
  gate.Close();
  EXPECT_TRUE(gate.WaitIdle(0));
  EXPECT_FALSE(gate.Enter());
}

class MovingSectionUse : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.directories.insert(platform.moduleDirectory);
    platform.files[L"C:\\s\\a.new"] = "new";
    platform.files[platform.moduleDirectory + L"\\a.dll"] = "old";
    platform.directories.insert(L"C:\\s");
    context.files.push_back({"", L"C:\\s\\a.new", platform.moduleDirectory + L"\\a.dll"});
  }
  test::FakePlatform platform;
  CUpdateContext context;
};

TEST_F(MovingSectionUse, OneStageHoldsReplacingTheFailureBoxAndTheRollback) {
  platform.files[L"C:\\update.xml"] =
      "<config><file><tmp>C:\\s\\a.new</tmp><path>" + WideToUtf8(platform.moduleDirectory) +
      "\\a.dll</path></file><file><tmp>C:\\s\\b.new</tmp><path>" + WideToUtf8(platform.moduleDirectory) +
      "\\b.dll</path></file></config>";
  platform.files[L"C:\\s\\b.new"] = "new b";
  platform.files[platform.moduleDirectory + L"\\b.dll"] = "old b";
  platform.lockedPaths.insert(platform.moduleDirectory + L"\\b.dll");  // the second file cannot move
  int depthAtBox = -1;
  platform.onBox = [&](test::FakePlatform& p) { depthAtBox = p.movingSectionDepth; };
  EXPECT_EQ(RunUpdate(context, platform, L"C:\\update.xml"), UpdateOutcome::kMoveFailed);
  EXPECT_EQ(depthAtBox, 1) << "the failure box is shown inside the moving section";
  EXPECT_EQ(platform.movingSectionRequests, 1);  // one moving section for the whole run
  EXPECT_GE(platform.moveCount, 4);
  EXPECT_EQ(platform.movesOutsideMovingSection, 0);
  EXPECT_EQ(platform.movingSectionDepth, 0);  // every section was left
  EXPECT_EQ(platform.files[platform.moduleDirectory + L"\\a.dll"], "old");
}

TEST_F(MovingSectionUse, NothingMovesOnceTheProcessIsEnding) {
  platform.shuttingDown = true;
  CMovingSection section(platform);
  EXPECT_EQ(ApplyUpdate(context, platform, section), UpdateOutcome::kProcessEnding);
  RollbackFiles(context, platform);
  EXPECT_EQ(platform.moveCount, 0);
  EXPECT_EQ(platform.files[platform.moduleDirectory + L"\\a.dll"], "old");
}

}  // namespace
}  // namespace zr
