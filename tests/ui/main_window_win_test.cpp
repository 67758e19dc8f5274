// The main window for real under Wine: CWnd_Main built from the skin package with a scripted
// stand-in for the update worker: the reaction to every event, messages that only look like
// the engine's, the completion page, windows that keep their shape, the end of the loop and of
// the object (also with two boxes open over it at once), the control factory.
#include "ui/main_window_win.h"

#include <gtest/gtest.h>

#include <oleacc.h>
#include <process.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <string>
#include <utility>
#include <vector>

#include "build_config.h"
#include "skin/button.h"
#include "skin/dpi_win.h"
#include "skin/label.h"
#include "skin/modal_windows_win.h"
#include "skin/progress.h"
#include "skin/skin_context.h"
#include "skin/tab_layout.h"
#include "support/fake_texts.h"
#include "support/skin_fixtures.h"
#include "ui/message_box_win.h"
#include "update/update_context.h"

namespace {

using Kind = zr::UpdateEvent::Kind;
using Script = std::vector<zr::UpdateEvent>;

// What the scripted worker reports, in order, to the main window.
Script g_script;
std::atomic<bool> g_scriptPosted{false};

// The program's part for a window under test: the run it starts is a stand-in for the update
// worker, on a thread of its own, given the owner; a launch of the product is only counted.
class TestOwner final : public zr::IMainWindowOwner {
 public:
  using Worker = unsigned(__stdcall*)(void* owner);
  explicit TestOwner(Worker worker) : m_worker(worker) {}
  ~TestOwner() {
    if (m_thread == nullptr) return;
    WaitForSingleObject(m_thread, 20000);
    CloseHandle(m_thread);
  }
  zr::CEventQueue* WindowBuilt(HWND built) override {
    window = built;
    run.emplace([built] { return PostMessageW(built, zr::WM_UPDATE_EVENTS, 0, 0) != FALSE; });
    m_thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, m_worker, this, 0, nullptr));
    return &run->events;
  }
  void WindowDestroyed() override { window = nullptr; }
  bool FilesMoving() override { return false; }
  void SessionEnds() override {}
  void LaunchProduct() override { ++launches; }
  void Record(const std::string& line) override { records.push_back(line); }

  std::atomic<HWND> window{nullptr};  // from its skin's building to its last message
  std::optional<zr::CUpdateRun> run;
  Skin::CSkinContext* skin = nullptr;  // the worker's boxes'
  int launches = 0;
  std::vector<std::string> records;  // the UI thread's lines: its fatal boxes

 private:
  Worker m_worker;
  HANDLE m_thread = nullptr;
};

unsigned __stdcall ScriptedWorker(void* owner) {
  for (const zr::UpdateEvent& event : g_script) static_cast<TestOwner*>(owner)->run->events.Report(event);
  g_scriptPosted = true;
  return 0;
}

zr::UpdateEvent Text(Kind kind, const wchar_t* text) { return {kind, 0, text}; }

// Runs this thread's messages until `done` holds or `limitMs` pass; true if it held.
bool PumpUntil(const std::function<bool()>& done, bool* sawQuit = nullptr, DWORD limitMs = 5000) {
  const DWORD start = GetTickCount();
  MSG msg;
  while (!done()) {
    if (GetTickCount() - start > limitMs) return false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        if (sawQuit) *sawQuit = true;
        continue;
      }
      Skin::TranslateSkinMessage(&msg);
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

// A main window that notes when its object goes, and whether a modal loop over it was still
// running then.
class ObservedMain : public zr::CWnd_Main {
 public:
  ObservedMain(Skin::CSkinContext& skin, zr::IMainWindowOwner& owner, const zr::ITexts& texts)
      : zr::CWnd_Main(skin, owner, texts) {}
  ~ObservedMain() override {
    deleted = true;
    loopsOpenAtDeletion = Skin::ModalWindowsOver(Context().ModalCounts(), hwnd);
  }
  void InitWindow() override {
    zr::CWnd_Main::InitWindow();
    hwnd = GetHWND();
  }
  static inline std::atomic<bool> deleted{false};
  static inline std::atomic<int> loopsOpenAtDeletion{-1};
  HWND hwnd = nullptr;
};

class SkinnedWindows : public zr::test::SkinPackageTest {
 protected:
  void TearDown() override {
    if (m_owner && m_owner->window) DestroyWindow(m_owner->window);
    PumpUntil([] { return true; });
    if (m_owner) {
      EXPECT_EQ(m_owner->window.load(), nullptr) << "the window outlived the test";
    }
  }

  // Creates the main window (an ObservedMain if asked) with the script as its worker and
  // handles what it posts.
  zr::CWnd_Main* Run(Script script, bool observed = false) {
    g_script = std::move(script);
    g_scriptPosted = false;
    m_owner = std::make_unique<TestOwner>(&ScriptedWorker);
    zr::CWnd_Main* window =
        observed ? new ObservedMain(m_skin, *m_owner, m_texts) : new zr::CWnd_Main(m_skin, *m_owner, m_texts);
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

  zr::test::FakeTexts m_texts;
  std::unique_ptr<TestOwner> m_owner;
};

TEST_F(SkinnedWindows, StartsOnTheProgressPageWithItsCaptions) {
  zr::CWnd_Main* window = Run({});
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(m_owner->window.load(), window->GetHWND());
  RECT client;
  GetClientRect(window->GetHWND(), &client);
  EXPECT_EQ(client.right, 580);
  EXPECT_EQ(client.bottom, 400);
  EXPECT_EQ(Control<Skin::CControlUI>(window, L"lab_captionTitle")->GetText(), L"updateproduct_name");
  EXPECT_EQ(Control<Skin::CControlUI>(window, L"lab_install_name")->GetText(), L"product_name");
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
    Script script;
    int progress;
    const wchar_t* speed;
    const wchar_t* file;
  };
  const Case cases[] = {
      {"position in range", {{Kind::kProgress, 40}}, 40, L"", L""},
      {"150 and -1 keep the position", {{Kind::kProgress, 40}, {Kind::kProgress, 150}, {Kind::kProgress, -1}}, 40,
       L"", L""},
      {"100", {{Kind::kProgress, 100}}, 100, L"", L""},
      {"speed 0", {{Kind::kSpeed, 0}}, 0, L"0 B/s", L""},
      {"speed 2048", {{Kind::kSpeed, 2048}}, 0, L"2.00 KB/s", L""},
      {"speed -1 empties the line", {{Kind::kSpeed, 2048}, {Kind::kSpeed, -1}}, 0, L"", L""},
      {"status text", {Text(Kind::kStatusText, L"3/10 正在更新文件 a.dll")}, 0, L"", L"3/10 正在更新文件 a.dll"},
      {"status texts in order", {Text(Kind::kStatusText, L"first"), Text(Kind::kStatusText, L"second")}, 0, L"",
       L"second"},
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
    EXPECT_EQ(m_owner->window.load(), nullptr);
  }
}

// Another program posts every number of the engine's old range and the wake-up, with junk where
// a pointer once went: nothing is freed, no page changes, nothing is started, nothing closes.
TEST_F(SkinnedWindows, MessagesTheEngineDidNotSendChangeNothing) {
  zr::CWnd_Main* window = Run({Text(Kind::kStatusText, L"the engine's line")});
  ASSERT_NE(window, nullptr);
  for (UINT message = WM_APP; message <= WM_APP + 16; ++message) {
    for (LPARAM junk : {LPARAM{0x41414141}, LPARAM{0}, LPARAM{-1}, LPARAM{2}}) {
      PostMessageW(window->GetHWND(), message, 0, junk);
      PostMessageW(window->GetHWND(), message, 0x42424242, junk);
    }
  }
  // The window's own timer ids, before the completion timer runs: the product is not started.
  for (WPARAM id : {1000, 1001}) PostMessageW(window->GetHWND(), WM_TIMER, id, 0);
  bool sawQuit = false;
  PumpUntil([] { return false; }, &sawQuit, 600);  // the event timer has come by too
  EXPECT_FALSE(sawQuit);
  EXPECT_TRUE(IsWindow(window->GetHWND()));
  EXPECT_EQ(Control<Skin::CTabLayoutUI>(window, L"tab_update_view")->GetCurSel(), 0);
  EXPECT_EQ(Control<Skin::CControlUI>(window, L"lb_file")->GetText(), L"the engine's line");
  EXPECT_EQ(Control<Skin::CProgressUI>(window, L"pro_pos")->GetValue(), 0);
  EXPECT_EQ(m_owner->launches, 0);
}

TEST_F(SkinnedWindows, SucceededShowsTheCompletionPage) {
  zr::CWnd_Main* window = Run({{Kind::kSucceeded}});
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(Control<Skin::CTabLayoutUI>(window, L"tab_update_view")->GetCurSel(), 1);
  EXPECT_EQ(Control<Skin::CControlUI>(window, L"labBk")->GetBkImage(), L"file = 'install_img_03@2x.png'");
  EXPECT_FALSE(Control<Skin::CControlUI>(window, L"lab_install_tip")->IsVisible());
  EXPECT_FALSE(Control<Skin::CControlUI>(window, L"lab_install_name")->IsVisible());
  EXPECT_TRUE(Control<Skin::CControlUI>(window, L"lab_install_completed")->IsVisible());
  const std::wstring start = Control<Skin::CControlUI>(window, L"btn_runprogram")->GetText();
  EXPECT_EQ(start, L"ok");
}

// Runs this thread's messages for `ms` milliseconds.
void PumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  PumpUntil([&] { return GetTickCount() - start >= ms; });
}

// Neither the main window nor a box can be resized, snapped or maximised, whatever is asked of
// it; both keep the sizing frame and maximise box of their creation styles, and minimising
// still works.
TEST_F(SkinnedWindows, WindowsKeepTheirShape) {
  zr::CWnd_Main* main = Run({});
  ASSERT_NE(main, nullptr);
  const zr::BoxTexts texts;
  zr::CMessageBox box(m_skin, zr::StyleOf(zr::BoxKind::kError), texts);
  ASSERT_NE(box.Create(nullptr, L"MessageBox", 0x10CE0000, 0, 0, 0, 400, 200), nullptr);
  struct Window {
    const char* name;
    HWND hwnd;
    SIZE size;
    LONG styles;  // kept from the creation styles
  };
  const Window windows[] = {
      {"main window", main->GetHWND(), {580, 400}, WS_THICKFRAME | WS_MAXIMIZEBOX | WS_SYSMENU},
      {"message box", box.GetHWND(), {380, 168}, WS_THICKFRAME | WS_SYSMENU},
  };
  auto key = [](HWND w, WPARAM vk) { PostMessageW(w, WM_KEYDOWN, vk, 0); };
  struct Request {
    const char* name;
    std::function<void(HWND, SIZE)> ask;
  };
  const Request requests[] = {
      {"SC_MAXIMIZE", [](HWND w, SIZE) { SendMessageW(w, WM_SYSCOMMAND, SC_MAXIMIZE, 0); }},
      {"a double click on the caption",
       [](HWND w, SIZE) { SendMessageW(w, WM_NCLBUTTONDBLCLK, HTCAPTION, 0); }},
      {"ShowWindow SW_MAXIMIZE (Win+Up)", [](HWND w, SIZE) { ShowWindow(w, SW_MAXIMIZE); }},
      {"SC_SIZE by the keyboard",
       [&](HWND w, SIZE) {
         // Should a sizing loop start, these keys grow the window and end it.
         for (WPARAM vk : {VK_RIGHT, VK_RIGHT, VK_DOWN, VK_DOWN, VK_RETURN}) key(w, vk);
         SendMessageW(w, WM_SYSCOMMAND, SC_SIZE | WMSZ_BOTTOMRIGHT, 0);
       }},
      {"WM_SIZING",
       [](HWND w, SIZE size) {
         for (WPARAM edge : {WMSZ_BOTTOMRIGHT, WMSZ_TOPLEFT, WMSZ_LEFT, WMSZ_BOTTOM}) {
           RECT drag{100, 100, 900, 700};
           SendMessageW(w, WM_SIZING, edge, reinterpret_cast<LPARAM>(&drag));
           EXPECT_EQ(drag.right - drag.left, size.cx) << "edge " << edge;
           EXPECT_EQ(drag.bottom - drag.top, size.cy) << "edge " << edge;
         }
       }},
      {"SetWindowPos to another size",
       [](HWND w, SIZE) { SetWindowPos(w, nullptr, 0, 0, 800, 600, SWP_NOMOVE | SWP_NOZORDER); }},
      {"snapped to the left half of the screen",
       [](HWND w, SIZE) {
         MONITORINFO mi = {};
         mi.cbSize = sizeof(mi);
         GetMonitorInfoW(MonitorFromWindow(w, MONITOR_DEFAULTTONEAREST), &mi);
         const RECT& a = mi.rcWork;
         SetWindowPos(w, nullptr, a.left, a.top, (a.right - a.left) / 2, a.bottom - a.top, SWP_NOZORDER);
       }},
      {"minimised and restored",
       [](HWND w, SIZE) {
         ShowWindow(w, SW_MINIMIZE);
         PumpFor(100);
         EXPECT_TRUE(IsIconic(w));
         ShowWindow(w, SW_RESTORE);
       }},
  };
  for (const Window& window : windows) {
    SCOPED_TRACE(window.name);
    for (const Request& request : requests) {
      SCOPED_TRACE(request.name);
      request.ask(window.hwnd, window.size);
      PumpFor(150);
      RECT r;
      GetWindowRect(window.hwnd, &r);
      EXPECT_EQ(r.right - r.left, window.size.cx);
      EXPECT_EQ(r.bottom - r.top, window.size.cy);
      EXPECT_FALSE(IsZoomed(window.hwnd));
      EXPECT_FALSE(IsIconic(window.hwnd));
    }
    EXPECT_EQ(GetWindowLongW(window.hwnd, GWL_STYLE) & window.styles, window.styles);
    MINMAXINFO info = {};
    SendMessageW(window.hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    for (POINT p : {info.ptMinTrackSize, info.ptMaxTrackSize, info.ptMaxSize}) {
      EXPECT_EQ(p.x, window.size.cx);
      EXPECT_EQ(p.y, window.size.cy);
    }
    // No point on or next to the edges offers a sizing border.
    RECT r;
    GetWindowRect(window.hwnd, &r);
    int sizing = 0;
    for (int i = -1; i <= 2; ++i) {
      for (int x = r.left - 1; x <= r.right; x += 3) {
        for (int y : {r.top + i, r.bottom - 1 - i}) {
          LRESULT hit = SendMessageW(window.hwnd, WM_NCHITTEST, 0, MAKELPARAM(x, y));
          sizing += (hit >= HTSIZEFIRST && hit <= HTSIZELAST) || hit == HTSIZE;
        }
      }
      for (int y = r.top - 1; y <= r.bottom; y += 3) {
        for (int x : {r.left + i, r.right - 1 - i}) {
          LRESULT hit = SendMessageW(window.hwnd, WM_NCHITTEST, 0, MAKELPARAM(x, y));
          sizing += (hit >= HTSIZEFIRST && hit <= HTSIZELAST) || hit == HTSIZE;
        }
      }
    }
    EXPECT_EQ(sizing, 0);
  }
  DestroyWindow(box.GetHWND());
}

TEST_F(SkinnedWindows, FinishedClosesTheWindowAndEndsTheLoop) {
  bool sawQuit = false;
  g_script = {{Kind::kFinished}};
  g_scriptPosted = false;
  m_owner = std::make_unique<TestOwner>(&ScriptedWorker);
  auto* window = new zr::CWnd_Main(m_skin, *m_owner, m_texts);
  ASSERT_NE(window->Create(nullptr, L"t", 0x10CF0000, 0, 0, 0, 600, 400), nullptr);
  const HWND hwnd = window->GetHWND();
  EXPECT_TRUE(PumpUntil([&] { return sawQuit && !IsWindow(hwnd); }, &sawQuit));
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(m_owner->window.load(), nullptr);
}

// The skinned boxes over `owner` (class "messagebox"): the UI thread's and the worker's.
std::vector<HWND> BoxesOver(HWND owner) {
  std::vector<HWND> boxes;
  for (HWND w = FindWindowExW(nullptr, nullptr, L"messagebox", nullptr); w != nullptr;
       w = FindWindowExW(nullptr, w, L"messagebox", nullptr)) {
    if (GetWindow(w, GW_OWNER) == owner) boxes.push_back(w);
  }
  return boxes;
}

// Every WM_ENABLE that turns the main window on, with whether a box over it still existed.
HWND g_watched = nullptr;
std::atomic<int> g_enabledUnderABox{0};
std::atomic<int> g_enabled{0};
LRESULT CALLBACK WatchEnable(int code, WPARAM wparam, LPARAM lparam) {
  const auto* call = reinterpret_cast<const CWPSTRUCT*>(lparam);
  if (code == HC_ACTION && call->hwnd == g_watched && call->message == WM_ENABLE && call->wParam) {
    ++g_enabled;
    if (!BoxesOver(g_watched).empty()) ++g_enabledUnderABox;
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

// The update worker's path when the product cannot be closed (4003): the fatal text goes to
// the window, whose box runs on the UI thread, while the worker's own failure box runs on the
// worker with the main window as owner; once it is answered the worker reports the end.
std::atomic<bool> g_workerDone{false};
unsigned __stdcall CloseFailedWorker(void* argument) {
  TestOwner& owner = *static_cast<TestOwner*>(argument);
  HWND window = owner.window;
  zr::CEventQueue& events = owner.run->events;
  events.Report(Text(Kind::kFatalText, L"无法关闭正在运行的程序，请重启电脑后再试"));
  zr::ShowBox(*owner.skin, window, zr::BoxKind::kLink, {L"更新", L"更新失败", L"确定", std::nullopt, L"去官网"});
  events.Report({Kind::kFinished});
  g_workerDone = true;
  return 0;
}

TEST_F(SkinnedWindows, TwoBoxesAtOnceKeepTheWindowDisabledAndAlive) {
  struct Case {
    const char* name;
    bool fatalBoxFirst;  // which box the user closes first
  };
  const Case cases[] = {{"the worker's box closed first", false}, {"the fatal box closed first", true}};
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, &WatchEnable, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_workerDone = false;
    g_enabled = g_enabledUnderABox = 0;
    ObservedMain::deleted = false;
    ObservedMain::loopsOpenAtDeletion = -1;
    TestOwner owner(&CloseFailedWorker);
    owner.skin = &m_skin;
    auto* window = new ObservedMain(m_skin, owner, m_texts);
    ASSERT_NE(window->Create(nullptr, L"t", 0x10CF0000, 0, 0, 0, 600, 400), nullptr);
    const HWND hwnd = window->GetHWND();
    g_watched = hwnd;
    // The user, on a thread of its own: waits for both boxes, then closes one after the other.
    std::atomic<bool> bothSeen{false}, disabledWithOneLeft{false};
    std::thread user([&] {
      const DWORD start = GetTickCount();
      std::vector<HWND> boxes;
      while ((boxes = BoxesOver(hwnd)).size() < 2 && GetTickCount() - start < 10000) Sleep(20);
      if (boxes.size() < 2) return;
      bothSeen = true;
      Sleep(500);  // both painted, as a user would see them
      HWND first = boxes[0], second = boxes[1];
      const bool firstIsFatal = GetWindowThreadProcessId(first, nullptr) == GetWindowThreadProcessId(hwnd, nullptr);
      if (firstIsFatal != c.fatalBoxFirst) std::swap(first, second);
      PostMessageW(first, WM_CLOSE, 0, 0);
      while (IsWindow(first) && GetTickCount() - start < 15000) Sleep(10);
      Sleep(200);
      disabledWithOneLeft = IsWindow(hwnd) && !IsWindowEnabled(hwnd);
      if (c.fatalBoxFirst) {
        // The fatal box closes the window: its object stays while the worker's box is open.
        while (IsWindow(hwnd) && GetTickCount() - start < 15000) Sleep(10);
        Sleep(200);
        EXPECT_FALSE(ObservedMain::deleted) << "deleted while the worker's box is open";
      }
      PostMessageW(second, WM_CLOSE, 0, 0);
    });
    // The boxes' threads talk to this one (enabling, activation): it keeps pumping meanwhile.
    EXPECT_TRUE(PumpUntil([&] { return g_workerDone && !IsWindow(hwnd); }, nullptr, 20000));
    user.join();
    PumpFor(200);
    EXPECT_TRUE(bothSeen);
    if (!c.fatalBoxFirst) {
      EXPECT_TRUE(disabledWithOneLeft) << "the fatal box left open keeps the window disabled";
    }
    EXPECT_EQ(g_enabledUnderABox.load(), 0) << "enabled again while a box was still open";
    if (!c.fatalBoxFirst) {
      EXPECT_TRUE(ObservedMain::deleted);
      EXPECT_EQ(ObservedMain::loopsOpenAtDeletion.load(), 0);
    }
    EXPECT_EQ(owner.window.load(), nullptr);
  }
  UnhookWindowsHookEx(hook);
}

// A second fatal text while the first one's box is open, and the window closed under both:
// the object goes only after the outer box's handler is done.
TEST_F(SkinnedWindows, NestedFatalBoxesOutliveTheWindowBeforeItsObjectGoes) {
  ObservedMain::deleted = false;
  ObservedMain::loopsOpenAtDeletion = -1;
  bool sawQuit = false;
  ASSERT_NE(Run({Text(Kind::kFatalText, L"first"), Text(Kind::kFatalText, L"second"), {Kind::kFinished}}, true),
            nullptr);
  EXPECT_TRUE(PumpUntil([&] { return ObservedMain::deleted.load(); }, &sawQuit));
  EXPECT_EQ(ObservedMain::loopsOpenAtDeletion.load(), 0);
  EXPECT_TRUE(BoxesOver(nullptr).empty());
  EXPECT_EQ(m_owner->window.load(), nullptr);
  // Each box said what it showed, the plain box with one button, and went without an answer.
  const std::string shown = "box shown (messagebox.xml; btn_close, btn_ok, btn_no hidden): ";
  const std::vector<std::string> expected = {shown + "update: first",
                                             shown + "update: second",
                                             "box closed without a button", "box closed without a button"};
  EXPECT_EQ(m_owner->records, expected);
}

// ---------------------------------------------------------------------------------------
// At the display's scale. The tests below run in every prefix: at 96 DPI in the build's own, and
// (ctest's ui.dpi144 and ui.dpi192) in copies of it whose LogPixels is 144 or 200 %'s 192,
// where ZR_TEST_DPI says which DPI the prefix must have.

// The process is DPI aware (as the exe's manifest makes it); the DPI windows are drawn at.
int AwareDpi() {
  Skin::DeclareDpiAwareness();
  return Skin::WindowDpi(nullptr);
}

int Scaled(int units, int dpi) { return Skin::CDpiScale(dpi).ToDevice(units); }

// The client area's pixels as the window shows them (0x00RRGGBB, rows top down).
struct Shot {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF; }
};

Shot TakeShot(HWND hwnd) {
  UpdateWindow(hwnd);
  RECT rc;
  GetClientRect(hwnd, &rc);
  Shot shot;
  shot.width = rc.right;
  shot.height = rc.bottom;
  shot.pixels.resize(static_cast<size_t>(shot.width) * shot.height);
  HDC window = GetDC(hwnd);
  HDC memory = CreateCompatibleDC(window);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = shot.width;
  bi.bmiHeader.biHeight = -shot.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, shot.width, shot.height, window, 0, 0, SRCCOPY);
  GdiFlush();
  std::memcpy(shot.pixels.data(), bits, shot.pixels.size() * 4);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(hwnd, window);
  return shot;
}

bool Near(std::uint32_t a, std::uint32_t b, int tolerance = 24) {
  for (int shift : {0, 8, 16}) {
    if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
  }
  return true;
}

// Rows of `rect` (device pixels) holding a pixel darker than the light background: the ink's
// height of the text drawn there.
int InkHeight(const Shot& shot, const RECT& rect) {
  int top = -1, bottom = -1;
  for (int y = rect.top; y < rect.bottom; ++y) {
    for (int x = rect.left; x < rect.right; ++x) {
      std::uint32_t p = shot.At(x, y);
      if (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) < 3 * 128) {
        if (top < 0) top = y;
        bottom = y;
        break;
      }
    }
  }
  return top < 0 ? 0 : bottom - top + 1;
}

RECT DeviceRect(Skin::CSkinWindow& window, const wchar_t* control) {
  Skin::CPaintManager& pm = window.GetPaintManager();
  Skin::SkinRect r = pm.Scale().ToDevice(pm.FindControl(control)->GetPos());
  return RECT{r.left, r.top, r.right, r.bottom};
}

void ClickAt(HWND hwnd, POINT p) {
  PostMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
  PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  PostMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
}

POINT Centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// The main window and both boxes at the display's scale: their sizes, the large caption's
// glyphs at the scaled font size, the progress bar's height, the decline button's 1-pixel
// frame, clicks at the scaled places of the buttons, the drag area and the close button; a
// move to a monitor of another scale lays the window out at the suggested rectangle.
TEST_F(SkinnedWindows, AtTheDisplayScaleWindowsAreDrawnAndAnswerScaled) {
  const int dpi = AwareDpi();
  if (const char* expected = std::getenv("ZR_TEST_DPI")) {
    ASSERT_EQ(dpi, std::atoi(expected));
  }
  zr::CWnd_Main* main = Run({});
  ASSERT_NE(main, nullptr);
  HWND hwnd = main->GetHWND();
  ShowWindow(hwnd, SW_SHOWNORMAL);
  SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE);
  PumpFor(200);
  RECT r;
  GetWindowRect(hwnd, &r);
  EXPECT_EQ(r.right - r.left, Scaled(580, dpi));
  EXPECT_EQ(r.bottom - r.top, Scaled(400, dpi));
  Shot shot = TakeShot(hwnd);
  ASSERT_EQ(shot.width, Scaled(580, dpi));
  // "正在更新" in font 13 (24 pixels at 96 DPI): its ink is most of the scaled cell.
  const int ink = InkHeight(shot, DeviceRect(*main, L"lab_install_tip"));
  EXPECT_GE(ink, Scaled(24, dpi) * 7 / 10);
  EXPECT_LE(ink, Scaled(24, dpi) + 2);
  const RECT bar = DeviceRect(*main, L"pro_pos");
  EXPECT_EQ(bar.bottom - bar.top, Scaled(4, dpi));
  EXPECT_TRUE(Near(shot.At(Centre(bar).x, bar.top), 0xF1F2F5)) << std::hex << shot.At(Centre(bar).x, bar.top);
  EXPECT_TRUE(Near(shot.At(Centre(bar).x, bar.bottom), 0xFFFFFF)) << "the bar ends at its scaled height";

  // The drag area and the buttons, at their scaled places.
  auto hitAt = [&](int x, int y) {
    POINT p{Scaled(x, dpi), Scaled(y, dpi)};
    ClientToScreen(hwnd, &p);
    return SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
  };
  EXPECT_EQ(hitAt(300, 250), HTCAPTION) << "the picture drags";
  EXPECT_EQ(hitAt(554, 26), HTCLIENT) << "the close button does not";
  EXPECT_EQ(hitAt(10, 390), HTCLIENT) << "the lower-left strip";

  // Moved to a monitor at another scale: the suggested rectangle, the tree laid out again.
  const int other = dpi == 192 ? 144 : 192;
  RECT suggested{r.left, r.top, r.left + Scaled(580, other), r.top + Scaled(400, other)};
  SendMessageW(hwnd, Skin::kWmDpiChanged, MAKEWPARAM(other, other), reinterpret_cast<LPARAM>(&suggested));
  PumpFor(100);
  RECT moved;
  GetWindowRect(hwnd, &moved);
  EXPECT_EQ(moved.right - moved.left, Scaled(580, other));
  EXPECT_EQ(moved.bottom - moved.top, Scaled(400, other));
  EXPECT_EQ(main->GetPaintManager().GetClientSize(), (Skin::SkinSize{580, 400}));
  RECT back{r.left, r.top, r.right, r.bottom};
  SendMessageW(hwnd, Skin::kWmDpiChanged, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&back));
  PumpFor(100);

  // Both boxes: 380 x 168 scaled, the decline button framed by one pixel, and a click on the
  // confirm button's scaled centre answers it.
  const zr::BoxTexts texts{L"Caption", L"Message", L"Yes", L"No", L"Site"};
  for (const zr::BoxKind kind : {zr::BoxKind::kQuestion, zr::BoxKind::kLink}) {
    zr::CMessageBox box(m_skin, zr::StyleOf(kind), texts);
    box.CentreWhenCreated();
    ASSERT_NE(box.Create(hwnd, L"MessageBox", 0x10CE0000, 0, 0, 0, 400, 200), nullptr);
    ShowWindow(box.GetHWND(), SW_SHOWNORMAL);
    SetWindowPos(box.GetHWND(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    PumpFor(200);
    RECT b;
    GetWindowRect(box.GetHWND(), &b);
    EXPECT_EQ(b.right - b.left, Scaled(380, dpi));
    EXPECT_EQ(b.bottom - b.top, Scaled(168, dpi));
    EXPECT_NEAR(Centre(b).x, Centre(back).x, 1) << "centred on the main window at its scaled size";
    EXPECT_NEAR(Centre(b).y, Centre(back).y, 1);
    const Shot boxShot = TakeShot(box.GetHWND());
    const RECT no = DeviceRect(box, L"btn_no");
    const int middle = (no.top + no.bottom) / 2;
    EXPECT_TRUE(Near(boxShot.At(no.left, middle), 0xC3C8D5)) << std::hex << boxShot.At(no.left, middle);
    EXPECT_TRUE(Near(boxShot.At(no.left + 1, middle), 0xFFFFFF, 8))
        << "a frame of 1 stays one pixel: " << std::hex << boxShot.At(no.left + 1, middle);
    ClickAt(box.GetHWND(), Centre(DeviceRect(box, L"btn_ok")));
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(box.GetHWND()); }));
    EXPECT_EQ(box.GetAnswer(), zr::BoxAnswer::kFirst);
  }

  ClickAt(hwnd, Centre(DeviceRect(*main, L"closebtn")));
  EXPECT_TRUE(PumpUntil([&] { return m_owner->window.load() == nullptr; })) << "the close button closes";
}

// ---------------------------------------------------------------------------------------
// Screen readers

// oleacc's client object of a window, as a screen reader gets it.
IAccessible* ClientObject(HWND hwnd) {
  static const IID kIidAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
  IAccessible* object = nullptr;
  if (FAILED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), kIidAccessible,
                                        reinterpret_cast<void**>(&object)))) {
    return nullptr;
  }
  return object;
}

struct AccessibleChild {
  long id = 0;
  long role = 0;
  long state = 0;
  std::wstring name, value, action;
};

std::wstring Take(BSTR text) {
  std::wstring out = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
  SysFreeString(text);
  return out;
}

// The object's children through AccessibleChildren, each with what a reader asks of it.
std::vector<AccessibleChild> Walk(IAccessible* object) {
  long count = 0;
  object->get_accChildCount(&count);
  std::vector<VARIANT> raw(static_cast<size_t>(count));
  long got = 0;
  std::vector<AccessibleChild> out;
  if (count == 0 || FAILED(AccessibleChildren(object, 0, count, raw.data(), &got))) return out;
  for (long i = 0; i < got; ++i) {
    if (raw[i].vt != VT_I4) {
      VariantClear(&raw[i]);
      continue;
    }
    AccessibleChild child;
    child.id = raw[i].lVal;
    VARIANT self = raw[i];
    BSTR text = nullptr;
    object->get_accName(self, &text);
    child.name = Take(text);
    text = nullptr;
    object->get_accValue(self, &text);
    child.value = Take(text);
    text = nullptr;
    object->get_accDefaultAction(self, &text);
    child.action = Take(text);
    VARIANT v;
    VariantInit(&v);
    if (SUCCEEDED(object->get_accRole(self, &v)) && v.vt == VT_I4) child.role = v.lVal;
    VariantInit(&v);
    if (SUCCEEDED(object->get_accState(self, &v)) && v.vt == VT_I4) child.state = v.lVal;
    out.push_back(child);
  }
  return out;
}

const AccessibleChild* Find(const std::vector<AccessibleChild>& children, const std::wstring& name,
                            long role) {
  for (const AccessibleChild& c : children) {
    if (c.name == name && c.role == role && !(c.state & STATE_SYSTEM_INVISIBLE)) return &c;
  }
  return nullptr;
}

std::wstring WindowName(IAccessible* object) {
  VARIANT self;
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  object->get_accName(self, &name);
  return Take(name);
}

// The win events of this process's windows, as a screen reader's hook receives them.
struct WinEvent {
  DWORD event;
  HWND hwnd;
  LONG object, child;
};
std::vector<WinEvent> g_winEvents;

void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD, DWORD) {
  g_winEvents.push_back({event, hwnd, object, child});
}

bool SawWinEvent(DWORD event, HWND hwnd, LONG object, LONG child) {
  for (const WinEvent& e : g_winEvents) {
    if (e.event == event && e.hwnd == hwnd && e.object == object && e.child == child) return true;
  }
  return false;
}

// Each window's accessible tree as a screen reader walks it: the title, the status text with
// its value, the progress bar's value, every button by name with "press" and the link with its
// target; a button pressed through its default action answers the box as a click would. The
// bar's and the status line's changes are announced, and so is a box when it opens.
TEST_F(SkinnedWindows, ScreenReadersWalkEachWindowsTree) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  zr::CWnd_Main* main = Run({{Kind::kProgress, 40}, Text(Kind::kStatusText, L"3/10 a.dll")});
  ASSERT_NE(main, nullptr);
  IAccessible* object = ClientObject(main->GetHWND());
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(WindowName(object), L"Zoria投屏助手更新程序");
  auto children = Walk(object);
  const AccessibleChild* status = Find(children, L"3/10 a.dll", ROLE_SYSTEM_STATICTEXT);
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->value, L"3/10 a.dll");
  EXPECT_NE(Find(children, L"updateproduct_name", ROLE_SYSTEM_STATICTEXT), nullptr) << "the title line";
  const AccessibleChild* bar = Find(children, L"更新进度", ROLE_SYSTEM_PROGRESSBAR);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->value, L"40%");
  for (const wchar_t* name : {L"关闭", L"最小化"}) {
    const AccessibleChild* button = Find(children, name, ROLE_SYSTEM_PUSHBUTTON);
    ASSERT_NE(button, nullptr) << "a picture button without its name";
    EXPECT_EQ(button->action, L"press");
  }
  EXPECT_EQ(Find(children, L"立即体验", ROLE_SYSTEM_PUSHBUTTON), nullptr) << "on the hidden page";
  object->Release();

  g_winEvents.clear();
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, OnWinEvent, GetCurrentProcessId(), 0,
                                       WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  m_owner->run->events.Report({Kind::kProgress, 70});
  m_owner->run->events.Report(Text(Kind::kStatusText, L"4/10 b.dll"));
  const HWND hwnd = main->GetHWND();
  EXPECT_TRUE(PumpUntil([&] {
    return SawWinEvent(EVENT_OBJECT_VALUECHANGE, hwnd, OBJID_CLIENT, bar->id) &&
           SawWinEvent(EVENT_OBJECT_VALUECHANGE, hwnd, OBJID_CLIENT, status->id);
  })) << "the bar's and the status line's changes announced";

  struct BoxCase {
    const char* name;
    zr::BoxKind kind;
    const wchar_t* press;
    zr::BoxAnswer answer;
  };
  const zr::BoxTexts texts{L"Caption", L"Message", L"Yes", L"No", L"Site"};
  for (const BoxCase& c : {BoxCase{"plain box, the second button", zr::BoxKind::kQuestion, L"No", zr::BoxAnswer::kSecond},
                           BoxCase{"link box, the first button", zr::BoxKind::kLink, L"Yes", zr::BoxAnswer::kFirst}}) {
    SCOPED_TRACE(c.name);
    zr::CMessageBox box(m_skin, zr::StyleOf(c.kind), texts);
    ASSERT_NE(box.Create(main->GetHWND(), L"MessageBox", 0x10CE0000, 0, 0, 0, 400, 200), nullptr);
    ShowWindow(box.GetHWND(), SW_SHOWNORMAL);
    EXPECT_TRUE(PumpUntil([&] { return SawWinEvent(EVENT_SYSTEM_DIALOGSTART, box.GetHWND(), OBJID_WINDOW, CHILDID_SELF); }))
        << "the box's opening announced";
    IAccessible* boxObject = ClientObject(box.GetHWND());
    ASSERT_NE(boxObject, nullptr);
    EXPECT_EQ(WindowName(boxObject), L"Caption");
    auto items = Walk(boxObject);
    const AccessibleChild* message = Find(items, L"Message", ROLE_SYSTEM_STATICTEXT);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->value, L"Message");
    EXPECT_NE(Find(items, L"关闭", ROLE_SYSTEM_PUSHBUTTON), nullptr);
    EXPECT_NE(Find(items, L"Yes", ROLE_SYSTEM_PUSHBUTTON), nullptr);
    if (c.kind == zr::BoxKind::kLink) {
      const AccessibleChild* link = Find(items, L"Site", ROLE_SYSTEM_LINK);
      ASSERT_NE(link, nullptr);
      EXPECT_EQ(link->value, ZR_OFFICIAL_SITE_URL);
    }
    const AccessibleChild* press = Find(items, c.press, ROLE_SYSTEM_PUSHBUTTON);
    ASSERT_NE(press, nullptr);
    VARIANT id;
    id.vt = VT_I4;
    id.lVal = press->id;
    EXPECT_EQ(boxObject->accDoDefaultAction(id), S_OK);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(box.GetHWND()); }));
    EXPECT_EQ(box.GetAnswer(), c.answer);
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR gone = nullptr;
    EXPECT_EQ(boxObject->get_accName(self, &gone), CO_E_OBJNOTCONNECTED) << "a closed box's object";
    boxObject->Release();
  }
  UnhookWinEvent(hook);
  CoUninitialize();
}

}  // namespace
