// The main window for real under Wine: CWnd_Main built from the skin package with a scripted
// stand-in for the update worker: the reaction to every progress message, the completion
// page, the refused maximise, the end of the loop and of the object, the control factory.
#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "skin/button.h"
#include "skin/container.h"
#include "skin/label.h"
#include "skin/progress.h"
#include "skin/resources.h"
#include "skin/skin_test_support.h"
#include "ui/circle_label.h"
#include "ui/string_table.h"
#include "update/progress.h"

namespace {

// What the scripted worker posts, in order, to the main window.
std::vector<std::pair<UINT, LPARAM>> g_script;
std::atomic<bool> g_scriptPosted{false};

unsigned __stdcall ScriptedWorker(void*) {
  HWND window = zr::GetMainWindow()->GetHWND();
  for (const auto& step : g_script) PostMessageW(window, step.first, 0, step.second);
  g_scriptPosted = true;
  return 0;
}

LPARAM Text(const wchar_t* text) { return reinterpret_cast<LPARAM>(new std::wstring(text)); }

// Runs this thread's messages until `done` holds or two seconds pass; true if it held.
bool PumpUntil(const std::function<bool()>& done, bool* sawQuit = nullptr) {
  const DWORD start = GetTickCount();
  MSG msg;
  while (!done()) {
    if (GetTickCount() - start > 5000) return false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        if (sawQuit) *sawQuit = true;
        continue;
      }
      if (Skin::TranslateSkinMessage(&msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  }
  // Whatever the last step left in the queue is handled too.
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      if (sawQuit) *sawQuit = true;
      continue;
    }
    DispatchMessageW(&msg);
  }
  return true;
}

class SkinnedWindows : public testing::Test {
 protected:
  void SetUp() override {
    static const std::string package = skin_test::BuildSkinPackage();
    Skin::CFontTable::ResetShared();
    Skin::CResourceSettings::SetResourceKind(Skin::ResourceKind::kZipInMemory);
    ASSERT_TRUE(Skin::CResourceSettings::SetResourceZip(package.data(), package.size()));
  }
  void TearDown() override {
    if (zr::CWnd_Main* window = zr::GetMainWindow()) DestroyWindow(window->GetHWND());
    PumpUntil([] { return true; });
    EXPECT_EQ(zr::GetMainWindow(), nullptr) << "the window object outlived its window";
  }

  // Creates the main window with the script as its worker and handles what it posts.
  zr::CWnd_Main* Run(std::vector<std::pair<UINT, LPARAM>> script) {
    g_script = std::move(script);
    g_scriptPosted = false;
    auto* window = new zr::CWnd_Main(&ScriptedWorker);
    zr::SetMainWindow(window);
    if (window->Create(nullptr, L"Zoria投屏助手更新程序", 0x10CF0000, 0x00060000, 0, 0, 600, 400) == nullptr) {
      return nullptr;
    }
    PumpUntil([] { return g_scriptPosted.load(); });
    return window;
  }

  template <typename T>
  static T* Control(zr::CWnd_Main* window, const wchar_t* name) {
    return dynamic_cast<T*>(window->GetPaintManager().FindControl(name));
  }
};

TEST_F(SkinnedWindows, StartsOnTheProgressPageWithItsCaptions) {
  zr::CWnd_Main* window = Run({});
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(zr::GetMainWindow(), window);
  RECT client;
  GetClientRect(window->GetHWND(), &client);
  EXPECT_EQ(client.right, 580);
  EXPECT_EQ(client.bottom, 400);
  EXPECT_EQ(Control<Skin::CControlUI>(window, L"lab_captionTitle")->GetText(), L"更新Zoria投屏助手");
  EXPECT_EQ(Control<Skin::CControlUI>(window, L"lab_install_name")->GetText(), L"Zoria投屏助手");
  EXPECT_TRUE(Control<Skin::CControlUI>(window, L"lab_install_tip")->IsVisible());
  EXPECT_TRUE(Control<Skin::CControlUI>(window, L"lab_install_name")->IsVisible());
  EXPECT_FALSE(Control<Skin::CControlUI>(window, L"lab_install_completed")->IsVisible());
  EXPECT_EQ(Control<Skin::CTabLayoutUI>(window, L"tab_update_view")->GetCurSel(), 0);
  wchar_t className[32] = {};
  GetClassNameW(window->GetHWND(), className, 32);
  EXPECT_STREQ(className, L"zrUpdater");
}

TEST_F(SkinnedWindows, ProgressSpeedAndStatusMessages) {
  struct Case {
    const char* name;
    std::vector<std::pair<UINT, LPARAM>> script;
    int progress;
    const wchar_t* speed;
    const wchar_t* file;
  };
  const Case cases[] = {
      {"position in range", {{zr::WM_UPDATE_PROGRESS, 40}}, 40, L"", L""},
      {"150 and -1 keep the position",
       {{zr::WM_UPDATE_PROGRESS, 40}, {zr::WM_UPDATE_PROGRESS, 150}, {zr::WM_UPDATE_PROGRESS, -1}}, 40, L"", L""},
      {"100", {{zr::WM_UPDATE_PROGRESS, 100}}, 100, L"", L""},
      {"speed 0", {{zr::WM_UPDATE_SPEED, 0}}, 0, L"0 B/s", L""},
      {"speed 2048", {{zr::WM_UPDATE_SPEED, 2048}}, 0, L"2.00 KB/s", L""},
      {"speed -1 empties the line", {{zr::WM_UPDATE_SPEED, 2048}, {zr::WM_UPDATE_SPEED, -1}}, 0, L"", L""},
      {"status text", {{zr::WM_UPDATE_STATUS_TEXT, Text(L"3/10 正在更新文件 a.dll")}}, 0, L"",
       L"3/10 正在更新文件 a.dll"},
      {"a null status text is ignored",
       {{zr::WM_UPDATE_STATUS_TEXT, Text(L"first")}, {zr::WM_UPDATE_STATUS_TEXT, 0}}, 0, L"", L"first"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    zr::CWnd_Main* window = Run(c.script);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(Control<Skin::CProgressUI>(window, L"pro_pos")->GetValue(), c.progress);
    EXPECT_EQ(Control<Skin::CControlUI>(window, L"lb_speed")->GetText(), c.speed);
    EXPECT_EQ(Control<Skin::CControlUI>(window, L"lb_file")->GetText(), c.file);
    DestroyWindow(window->GetHWND());
    PumpUntil([] { return true; });
    EXPECT_EQ(zr::GetMainWindow(), nullptr);
  }
}

TEST_F(SkinnedWindows, SucceededShowsTheCompletionPage) {
  zr::CWnd_Main* window = Run({{zr::WM_UPDATE_SUCCEEDED, 2}});
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(Control<Skin::CTabLayoutUI>(window, L"tab_update_view")->GetCurSel(), 1);
  EXPECT_EQ(Control<Skin::CControlUI>(window, L"labBk")->GetBkImage(), L"file = 'install_img_03@2x.png'");
  EXPECT_FALSE(Control<Skin::CControlUI>(window, L"lab_install_tip")->IsVisible());
  EXPECT_FALSE(Control<Skin::CControlUI>(window, L"lab_install_name")->IsVisible());
  EXPECT_TRUE(Control<Skin::CControlUI>(window, L"lab_install_completed")->IsVisible());
  const std::wstring start = Control<Skin::CControlUI>(window, L"btn_runprogram")->GetText();
  EXPECT_NE(start, L"立即体验");
  EXPECT_EQ(start, zr::StringTable::Get(L"ok"));
}

TEST_F(SkinnedWindows, MaximiseIsRefused) {
  zr::CWnd_Main* window = Run({});
  ASSERT_NE(window, nullptr);
  SendMessageW(window->GetHWND(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  SendMessageW(window->GetHWND(), WM_SYSCOMMAND, SC_MAXIMIZE | 2, 0);
  EXPECT_FALSE(IsZoomed(window->GetHWND()));
  RECT rect;
  GetWindowRect(window->GetHWND(), &rect);
  EXPECT_EQ(rect.right - rect.left, 580);
}

TEST_F(SkinnedWindows, FinishedClosesTheWindowAndEndsTheLoop) {
  bool sawQuit = false;
  g_script = {{zr::WM_UPDATE_FINISHED, 0}};
  g_scriptPosted = false;
  auto* window = new zr::CWnd_Main(&ScriptedWorker);
  zr::SetMainWindow(window);
  ASSERT_NE(window->Create(nullptr, L"t", 0x10CF0000, 0, 0, 0, 600, 400), nullptr);
  const HWND hwnd = window->GetHWND();
  EXPECT_TRUE(PumpUntil([&] { return sawQuit && !IsWindow(hwnd); }, &sawQuit));
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(zr::GetMainWindow(), nullptr);
}

TEST_F(SkinnedWindows, FactoryMakesTheCircleLabelOnlyByItsExactName) {
  zr::CWnd_Main window(&ScriptedWorker);
  Skin::CControlUI* made = window.CreateControl(L"CircleLabelUI");
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->GetClass(), L"CircleLabelUI");
  delete made;
  EXPECT_EQ(window.CreateControl(L"circlelabelui"), nullptr);
  EXPECT_EQ(window.CreateControl(L"Label"), nullptr);
}

}  // namespace
