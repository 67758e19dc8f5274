// The skinned message box for real under Wine: run modally on a second thread over an owner
// window of this thread, as the update worker's boxes are, answered by real mouse messages.
#include "ui/message_box_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "skin/skin_window_win.h"
#include "support/skin_fixtures.h"

namespace {

// Runs this thread's messages until `done` holds or five seconds pass; true if it held.
bool PumpUntil(const std::function<bool()>& done) {
  const DWORD start = GetTickCount();
  MSG msg;
  while (!done()) {
    if (GetTickCount() - start > 5000) return false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;
      Skin::TranslateSkinMessage(&msg);
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  }
  return true;
}

using SkinnedBox = zr::test::SkinPackageTest;

// A box on a second thread over an owner of this thread: the owner is disabled while the box
// is up and enabled again afterwards; clicks answer 6 and 7, closing otherwise answers 8.
TEST_F(SkinnedBox, OnAnotherThreadAnswersAndFreesItsOwner) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300,
                               200, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  struct Case {
    const char* name;
    std::function<void(HWND box)> act;
    int answer;
    const char* closedLine;  // the record's line once the box is gone
  };
  auto click = [](HWND box, int x, int y) {
    PostMessageW(box, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  };
  // Whatever the box has painted yet, the mouse finds the controls where it lays them out.
  const Case cases[] = {
      // Link box, two buttons: btn_no at 214..282, btn_ok at 292..360, row 118..148.
      {"first button", [&](HWND box) { click(box, 326, 133); }, int(zr::BoxAnswer::kFirst), "box closed: btn_ok"},
      {"second button", [&](HWND box) { click(box, 248, 133); }, int(zr::BoxAnswer::kSecond), "box closed: btn_no"},
      {"close button", [&](HWND box) { click(box, 350, 30); }, int(zr::BoxAnswer::kClosed), "box closed: btn_close"},
      {"closed another way", [](HWND box) { PostMessageW(box, WM_CLOSE, 0, 0); }, int(zr::BoxAnswer::kClosed),
       "box closed without a button"},
      // The keys are taken before the click, in the order they were posted.
      {"the link and Escape leave it open, then the first button",
       [&](HWND box) {
         PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0);
         PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
         click(box, 326, 133);
       },
       int(zr::BoxAnswer::kFirst), "box closed: btn_ok"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<int> answer{-1};
    std::vector<std::string> record;  // written by the box's thread, read after it is joined
    std::thread worker([&] {
      answer = static_cast<int>(zr::ShowBox(m_skin, owner, zr::BoxKind::kLink, {L"更新", L"更新失败", L"重试", L"确定", L"去官网"},
                                            [&record](const std::string& line) { record.push_back(line); }));
    });
    HWND box = nullptr;
    const bool up = PumpUntil([&] {
      box = FindWindowW(L"messagebox", L"MessageBox");
      return box != nullptr && IsWindowVisible(box) && !IsWindowEnabled(owner);
    });
    EXPECT_TRUE(up) << "the box comes up and its owner is disabled meanwhile";
    if (box != nullptr) {
      EXPECT_EQ(GetWindow(box, GW_OWNER), owner);
      c.act(box);
      if (!PumpUntil([&] { return answer.load() != -1; })) PostMessageW(box, WM_CLOSE, 0, 0);
    }
    PumpUntil([&] { return answer.load() != -1; });
    worker.join();
    EXPECT_EQ(answer.load(), c.answer);
    EXPECT_TRUE(IsWindowEnabled(owner)) << "the owner is enabled again";
    EXPECT_FALSE(IsWindow(box)) << "the box is gone when the show operation returns";
    const std::vector<std::string> expected = {
        "box shown (messageboxwithlink.xml; btn_close, btn_link, btn_no, btn_ok): 更新: 更新失败", c.closedLine};
    EXPECT_EQ(record, expected);
  }
  DestroyWindow(owner);
}

}  // namespace
