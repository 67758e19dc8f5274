// The skinned message box for real under Wine: run modally on a second thread over an owner
// window of this thread, as the update worker's boxes are, answered by real mouse messages.
#include "ui/message_box_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

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
      if (Skin::TranslateSkinMessage(&msg)) continue;
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
  };
  auto click = [](HWND box, int x, int y) {
    PostMessageW(box, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  };
  const Case cases[] = {
      // Link box, two buttons: btn_no at 214..282, btn_ok at 292..360, row 118..148.
      {"first button", [&](HWND box) { click(box, 326, 133); }, int(zr::BoxAnswer::kFirst)},
      {"second button", [&](HWND box) { click(box, 248, 133); }, int(zr::BoxAnswer::kSecond)},
      {"close button", [&](HWND box) { click(box, 350, 30); }, int(zr::BoxAnswer::kClosed)},
      {"closed another way", [](HWND box) { PostMessageW(box, WM_CLOSE, 0, 0); }, int(zr::BoxAnswer::kClosed)},
      {"the link and Escape leave it open, then the first button",
       [&](HWND box) {
         PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0);
         PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
         Sleep(300);
         if (IsWindow(box)) click(box, 326, 133);
       },
       int(zr::BoxAnswer::kFirst)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<int> answer{-1};
    std::thread worker([&] {
      answer = static_cast<int>(
          zr::ShowBox(m_skin, owner, zr::BoxKind::kLink, {L"更新", L"更新失败", L"重试", L"确定", L"去官网"}));
    });
    HWND box = nullptr;
    const bool up = PumpUntil([&] {
      box = FindWindowW(L"messagebox", L"MessageBox");
      return box != nullptr && IsWindowVisible(box) && !IsWindowEnabled(owner);
    });
    EXPECT_TRUE(up) << "the box comes up and its owner is disabled meanwhile";
    if (box != nullptr) {
      // Give the box its first paint (and layout) before the mouse arrives, as a user would.
      const DWORD seen = GetTickCount();
      PumpUntil([&] { return GetTickCount() - seen > 700; });
      EXPECT_EQ(GetWindow(box, GW_OWNER), owner);
      c.act(box);
      if (!PumpUntil([&] { return answer.load() != -1; })) PostMessageW(box, WM_CLOSE, 0, 0);
    }
    PumpUntil([&] { return answer.load() != -1; });
    worker.join();
    EXPECT_EQ(answer.load(), c.answer);
    EXPECT_TRUE(IsWindowEnabled(owner)) << "the owner is enabled again";
    EXPECT_FALSE(IsWindow(box)) << "the box is gone when the show operation returns";
  }
  DestroyWindow(owner);
}

}  // namespace
