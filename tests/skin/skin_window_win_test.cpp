// The skinned window base for real under Wine: document building in WM_CREATE, the slots'
// answers, the modal loop with its owner and a WM_QUIT (and two modal loops over one owner on
// two threads), centring, the engine's own message, the work a frame costs.
#include "skin/skin_window_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "skin/button.h"
#include "skin/modal_windows_win.h"
#include "support/skin_fixtures.h"

namespace {

using Package = zr::test::SkinPackageTest;

class TestWindow : public Skin::CSkinWindow {
 public:
  TestWindow(Skin::CSkinContext& skin, std::wstring file, std::wstring cls = L"zrSkinTestWindow")
      : CSkinWindow(skin), m_file(std::move(file)), m_class(std::move(cls)) {}
  const wchar_t* GetWindowClassName() const override { return m_class.c_str(); }
  std::wstring GetSkinFile() override { return m_file; }
  void InitWindow() override { ++initCalls; }
  void Notify(Skin::SkinNotify& msg) override {
    clicks.push_back(msg.sender ? msg.sender->GetName() : L"");
    CSkinWindow::Notify(msg);
  }
  LRESULT OnDefaultKey(WPARAM key) override {
    defaultKeys.push_back(key);
    return 1;
  }
  LRESULT HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM, bool& handled) override {
    if (msg == WM_PAINT) ++paints;
    if (msg == WM_TIMER && wparam == 77 && onTimer) {
      ::KillTimer(m_hwnd, 77);
      onTimer();
      handled = true;
    }
    return 0;
  }
  int initCalls = 0;
  int paints = 0;
  std::vector<WPARAM> defaultKeys;
  std::vector<std::wstring> clicks;
  std::function<void()> onTimer;

 private:
  std::wstring m_file;
  std::wstring m_class;
};

void Pump() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

TEST_F(Package, CreateBuildsTheDocumentAndSizesTheWindow) {
  TestWindow box(m_skin, L"messagebox.xml");
  ASSERT_NE(box.Create(nullptr, L"MessageBox", 0x10CE0000, 0, 0, 0, 400, 200), nullptr);
  RECT r;
  ::GetWindowRect(box, &r);
  EXPECT_EQ(r.right - r.left, 380);
  EXPECT_EQ(r.bottom - r.top, 168);
  ::GetClientRect(box, &r);
  EXPECT_EQ(r.right, 380);  // no non-client area
  EXPECT_EQ(r.bottom, 168);
  EXPECT_EQ(::GetWindowLongW(box, GWL_STYLE) & WS_CAPTION, 0);
  EXPECT_EQ(box.initCalls, 1);
  EXPECT_NE(box.GetPaintManager().FindControl(L"btn_ok"), nullptr);
  wchar_t cls[64] = {};
  ::GetClassNameW(box, cls, 64);
  EXPECT_STREQ(cls, L"zrSkinTestWindow");
  EXPECT_EQ(::GetClassLongW(box, GCL_STYLE) & CS_DBLCLKS, static_cast<DWORD>(CS_DBLCLKS));
  ::DestroyWindow(box);
}

TEST_F(Package, SlotsAnswerAsTheBaseShould) {
  TestWindow main(m_skin, L"wnd_main.xml");
  ASSERT_NE(main.Create(nullptr, L"t", WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 100, 100, 600, 400),
            nullptr);
  main.ShowWindow(true);
  Pump();
  RECT w;
  ::GetWindowRect(main, &w);
  auto hit = [&](int x, int y) {
    return main.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(w.left + x, w.top + y));
  };
  EXPECT_EQ(hit(300, 50), HTCAPTION);   // the background label in the caption area
  EXPECT_EQ(hit(60, 25), HTCAPTION);    // the title text: a static control
  EXPECT_EQ(hit(529, 26), HTCLIENT);    // the minimise button
  EXPECT_EQ(hit(300, 200), HTCLIENT);   // below the caption area
  EXPECT_EQ(main.SendMessage(WM_NCACTIVATE, 0, 0), 1);
  EXPECT_EQ(main.SendMessage(WM_NCACTIVATE, 1, 0), 0);
  EXPECT_EQ(main.SendMessage(WM_NCCALCSIZE, 0, 0), 0);
  EXPECT_EQ(main.SendMessage(WM_NCPAINT, 1, 0), 0);
  Skin::CControlUI* title = main.GetPaintManager().FindControl(L"lab_captionTitle");
  EXPECT_TRUE(main.IsInStaticControl(title));
  EXPECT_FALSE(main.IsInStaticControl(main.GetPaintManager().FindControl(L"minbtn")));
  EXPECT_FALSE(main.IsInStaticControl(nullptr));

  // The engine's own message stays off WM_APP + n.
  UINT engine = main.GetWindowHost()->DeferredWorkMessage();
  EXPECT_GE(engine, 0xC000u);

  // SC_CLOSE becomes WM_CLOSE, which (unhandled) destroys the window.
  main.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(::IsWindow(main));
}

TEST_F(Package, CloseButtonClosesWithAnswerOneThroughTheModalLoop) {
  TestWindow main(m_skin, L"wnd_main.xml", L"zrSkinTestMain");
  ASSERT_NE(main.Create(nullptr, L"t", WS_POPUP, 0, 0, 0, 600, 400), nullptr);
  main.onTimer = [&] {
    Skin::SkinNotify click{L"click", main.GetPaintManager().FindControl(L"closebtn")};
    main.Notify(click);  // as the paint manager delivers a click
  };
  ::SetTimer(main, 77, 50, nullptr);
  EXPECT_EQ(main.ShowModal(), 1u);
  EXPECT_FALSE(::IsWindow(main));
  EXPECT_EQ(main.clicks, (std::vector<std::wstring>{L"closebtn"}));
}

TEST_F(Package, ModalLoopDisablesTheOwnerAndGivesTheAnswer) {
  TestWindow owner(m_skin, L"wnd_main.xml", L"zrSkinTestOwner");
  ASSERT_NE(owner.Create(nullptr, L"owner", WS_POPUP, 0, 100, 100, 600, 400), nullptr);
  owner.ShowWindow(true);
  TestWindow box(m_skin, L"messagebox.xml");
  box.CentreWhenCreated();
  ASSERT_NE(box.Create(owner, L"MessageBox", 0x10CE0000, 0, 0, 0, 400, 200), nullptr);
  RECT o, b;
  ::GetWindowRect(owner, &o);
  ::GetWindowRect(box, &b);
  EXPECT_EQ(b.right - b.left, 380);  // centred at its document's size
  EXPECT_NEAR((b.left + b.right) / 2, (o.left + o.right) / 2, 1);
  EXPECT_NEAR((b.top + b.bottom) / 2, (o.top + o.bottom) / 2, 1);

  bool ownerEnabledInside = true;
  box.onTimer = [&] {
    ownerEnabledInside = ::IsWindowEnabled(owner) != FALSE;
    box.Close(7);
  };
  ::SetTimer(box, 77, 50, nullptr);
  EXPECT_EQ(box.ShowModal(), 7u);
  EXPECT_FALSE(ownerEnabledInside);
  EXPECT_TRUE(::IsWindowEnabled(owner));
  EXPECT_FALSE(::IsWindow(box));
  ::DestroyWindow(owner);
}

TEST_F(Package, QuitDuringTheModalLoopEndsItAndIsPostedAgain) {
  TestWindow owner(m_skin, L"wnd_main.xml", L"zrSkinTestOwner");
  ASSERT_NE(owner.Create(nullptr, L"owner", WS_POPUP, 0, 100, 100, 600, 400), nullptr);
  TestWindow box(m_skin, L"messagebox.xml");
  ASSERT_NE(box.Create(owner, L"MessageBox", 0x10CE0000, 0, 0, 0, 400, 200), nullptr);
  box.onTimer = [] { ::PostQuitMessage(5); };
  ::SetTimer(box, 77, 50, nullptr);
  box.ShowModal();
  EXPECT_FALSE(::IsWindow(box));
  EXPECT_TRUE(::IsWindowEnabled(owner));
  MSG msg;
  ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 5u);
  ::DestroyWindow(owner);
}

TEST_F(Package, CentresOnTheWorkAreaWithoutOwner) {
  TestWindow box(m_skin, L"messagebox.xml");
  ASSERT_NE(box.Create(nullptr, L"MessageBox", 0x10CE0000, 0, 0, 0, 400, 200), nullptr);
  box.CenterWindow();
  MONITORINFO mi = {};
  mi.cbSize = sizeof(mi);
  ::GetMonitorInfoW(::MonitorFromWindow(box, MONITOR_DEFAULTTONEAREST), &mi);
  RECT b;
  ::GetWindowRect(box, &b);
  EXPECT_NEAR((b.left + b.right) / 2, (mi.rcWork.left + mi.rcWork.right) / 2, 1);
  EXPECT_NEAR((b.top + b.bottom) / 2, (mi.rcWork.top + mi.rcWork.bottom) / 2, 1);
  ::DestroyWindow(box);
}

TEST_F(Package, MeasuresTextWithTheWindowsFonts) {
  TestWindow box(m_skin, L"messageboxwithlink.xml");
  ASSERT_NE(box.Create(nullptr, L"MessageBox", 0x10CE0000, 0, 0, 0, 400, 200), nullptr);
  Skin::SkinSize one = box.GetWindowHost()->MeasureText(L"W", 0, 0);
  Skin::SkinSize three = box.GetWindowHost()->MeasureText(L"WWW", 0, 0);
  EXPECT_GT(one.cx, 0);
  EXPECT_GT(one.cy, 0);
  EXPECT_NEAR(three.cx, 3 * one.cx, 2);
  ::DestroyWindow(box);
}

TEST_F(Package, EnterAndEscapeConsultTheWindowButCloseNothing) {
  TestWindow box(m_skin, L"messagebox.xml");
  ASSERT_NE(box.Create(nullptr, L"MessageBox", 0x10CE0000, 0, 0, 0, 400, 200), nullptr);
  box.onTimer = [&] {
    EXPECT_TRUE(::IsWindow(box));  // both keys went by and the box is still there
    box.Close(6);
  };
  ::PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0);
  ::PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
  ::PostMessageW(box, WM_KEYDOWN, 'A', 0);
  ::SetTimer(box, 77, 200, nullptr);
  EXPECT_EQ(box.ShowModal(), 6u);
  EXPECT_EQ(box.defaultKeys, (std::vector<WPARAM>{VK_ESCAPE, VK_RETURN}));
}

TEST_F(Package, BoxOnASecondThreadRunsModallyOverAnOwnerOnThisOne) {
  TestWindow owner(m_skin, L"wnd_main.xml", L"zrSkinTestOwner");
  ASSERT_NE(owner.Create(nullptr, L"owner", WS_POPUP, 0, 100, 100, 600, 400), nullptr);
  owner.ShowWindow(true);
  HWND ownerHwnd = owner;
  bool disabledInside = false;
  UINT answer = 0;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    TestWindow box(m_skin, L"messageboxwithlink.xml", L"zrSkinTestWorkerBox");
    if (!box.Create(ownerHwnd, L"MessageBox", 0x10CE0000, 0, 0, 0, 400, 200)) return;
    box.CenterWindow();
    box.onTimer = [&] {
      disabledInside = !::IsWindowEnabled(ownerHwnd);
      box.Close(8);
    };
    ::SetTimer(box, 77, 100, nullptr);
    answer = box.ShowModal();
    done = true;
  });
  // This thread keeps serving its own window meanwhile.
  for (int i = 0; i < 300 && !done; ++i) {
    Pump();
    ::Sleep(10);
  }
  worker.join();
  Pump();
  EXPECT_TRUE(done);
  EXPECT_EQ(answer, 8u);
  EXPECT_TRUE(disabledInside);
  EXPECT_TRUE(::IsWindowEnabled(owner));
  ::DestroyWindow(owner);
}

// Two modal loops over one owner, one on each thread (the worker's box and the UI thread's):
// the owner stays disabled until the last of them ends, whichever ends first.
TEST_F(Package, TheOwnerIsEnabledOnlyWhenItsLastModalLoopEnds) {
  TestWindow owner(m_skin, L"wnd_main.xml", L"zrSkinTestOwner");
  ASSERT_NE(owner.Create(nullptr, L"owner", WS_POPUP, 0, 100, 100, 600, 400), nullptr);
  owner.ShowWindow(true);
  const HWND ownerHwnd = owner;
  for (bool workerFirst : {true, false}) {
    SCOPED_TRACE(workerFirst ? "the worker's box ends first" : "this thread's box ends first");
    std::atomic<HWND> workerBox{nullptr};
    std::atomic<bool> workerDone{false};
    std::thread worker([&] {
      TestWindow box(m_skin, L"messageboxwithlink.xml", L"zrSkinTestWorkerBox");
      if (!box.Create(ownerHwnd, L"MessageBox", 0x10CE0000, 0, 0, 0, 400, 200)) return;
      workerBox = box.GetHWND();
      box.ShowModal();
      workerDone = true;
    });
    while (!workerBox && !workerDone) {
      Pump();
      ::Sleep(10);
    }
    TestWindow box(m_skin, L"messagebox.xml");
    ASSERT_NE(box.Create(owner, L"MessageBox", 0x10CE0000, 0, 0, 0, 400, 200), nullptr);
    bool disabledWithOneLeft = false, enabledAtTheEnd = false;
    int step = 0;
    box.onTimer = [&] {
      // Step 0: close the first; step 1 (after it has gone): look, close the second.
      if (step++ == 0) {
        if (workerFirst) {
          ::PostMessageW(workerBox, WM_CLOSE, 0, 0);
          for (int i = 0; i < 300 && !workerDone; ++i) ::Sleep(10);
          disabledWithOneLeft = !::IsWindowEnabled(ownerHwnd);
          box.Close(6);
        } else {
          box.Close(6);
        }
        return;
      }
    };
    ::SetTimer(box, 77, 100, nullptr);
    box.ShowModal();
    if (!workerFirst) {
      Pump();
      disabledWithOneLeft = !::IsWindowEnabled(ownerHwnd);
      ::PostMessageW(workerBox, WM_CLOSE, 0, 0);
    }
    for (int i = 0; i < 300 && !workerDone; ++i) {
      Pump();
      ::Sleep(10);
    }
    worker.join();
    Pump();
    enabledAtTheEnd = ::IsWindowEnabled(ownerHwnd) != FALSE;
    EXPECT_TRUE(disabledWithOneLeft);
    EXPECT_TRUE(enabledAtTheEnd);
    EXPECT_EQ(Skin::ModalWindowsOver(m_skin.ModalCounts(), ownerHwnd), 0);
  }
  ::DestroyWindow(owner);
}

// What a frame costs: a relayout is painted once; a move of the window moves its shadow
// without handing its picture to the system again; pictures are decoded once for all windows.
TEST_F(Package, FramesCostOnePaintAndMovesNoShadowUpload) {
  TestWindow main(m_skin, L"wnd_main.xml", L"zrSkinTestFrames");
  ASSERT_NE(main.Create(nullptr, L"t", WS_POPUP, 0, 100, 100, 600, 400), nullptr);
  main.ShowWindow(true);
  auto settle = [] {
    for (int i = 0; i < 20; ++i) {
      Pump();
      ::Sleep(10);
    }
  };
  settle();
  const Skin::CPaintManager& manager = main.GetPaintManager();
  const Skin::CWindowHost& host = *main.GetWindowHost();
  ASSERT_GE(main.paints, 1);
  const std::uint64_t shadow = host.Stats().shadowBytesUploaded;
  EXPECT_EQ(shadow, 604u * 424 * 4) << "the shadow's picture, handed over once";

  Skin::CControlUI* caption = manager.FindControl(L"lab_install_tip");
  Skin::CControlUI* file = manager.FindControl(L"lb_file");
  ASSERT_NE(caption, nullptr);
  ASSERT_NE(file, nullptr);
  struct Change {
    const char* name;
    std::function<void()> make;
  };
  const Change changes[] = {
      {"a control shown (relayout)", [&] { caption->SetVisible(true); }},
      {"a control hidden (relayout)", [&] { caption->SetVisible(false); }},
      {"a text set", [&] { file->SetText(L"1/3 a.dll"); }},
  };
  for (const Change& c : changes) {
    SCOPED_TRACE(c.name);
    const int before = main.paints;
    const unsigned served = host.Stats().paints;
    c.make();
    settle();
    EXPECT_EQ(main.paints - before, 1);
    EXPECT_EQ(host.Stats().paints - served, 1u);
  }

  for (int step = 1; step <= 5; ++step) {
    ::SetWindowPos(main, nullptr, 100 + 7 * step, 100 + 3 * step, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  settle();
  EXPECT_EQ(host.Stats().shadowBytesUploaded, shadow) << "drag steps re-uploaded the shadow";
  RECT shadowRect;
  ::GetWindowRect(::FindWindowW(L"zrSkinShadow", nullptr), &shadowRect);
  EXPECT_EQ(shadowRect.left, 100 + 35 - 12);
  EXPECT_EQ(shadowRect.top, 100 + 15 - 12);
  // Shown again, the shadow is drawn again, from its picture decoded anew (it goes once the
  // system has the shadow).
  main.ShowWindow(false);
  settle();
  main.ShowWindow(true);
  settle();
  EXPECT_EQ(host.Stats().shadowBytesUploaded, 2 * shadow);
  EXPECT_TRUE(::IsWindowVisible(::FindWindowW(L"zrSkinShadow", nullptr)));

  // A message box on another thread draws with the very pictures this window decoded.
  const Skin::SkinBitmap* here = main.GetPaintManager().GetImage(L"Head_btnsys_20x20.png");
  const Skin::SkinBitmap* there = nullptr;
  std::thread worker([&] {
    TestWindow box(m_skin, L"messagebox.xml", L"zrSkinTestWorkerBox");
    if (!box.Create(nullptr, L"MessageBox", 0x10CE0000, 0, 0, 0, 400, 200)) return;
    box.ShowWindow(true);
    for (int i = 0; i < 20; ++i) {
      Pump();
      ::Sleep(10);
    }
    there = box.GetPaintManager().GetImage(L"Head_btnsys_20x20.png");
    ::DestroyWindow(box);
  });
  worker.join();
  ASSERT_NE(here, nullptr);
  EXPECT_EQ(there, here);
  ::DestroyWindow(main);
}

// Documents of our own for the parts the shipped ones leave unused.
class OwnPackage : public testing::Test {
 protected:
  void SetUp() override {
    zr::test::ZipWriter zip;
    zip.Add("round.xml",
            "<Window size=\"200,100\" caption=\"0,0,0,30\" roundcorner=\"10,10\">"
            "<VerticalLayout bkcolor=\"#FF00FF00\"><Label name=\"l\" height=\"30\"/>"
            "<Button name=\"b\" height=\"20\"/></VerticalLayout></Window>",
            true);
    m_package = zip.Finish();
    ASSERT_TRUE(m_skin.OpenPackage(m_package.data(), m_package.size()));
  }
  std::string m_package;
  Skin::CSkinContext m_skin;
};

TEST_F(OwnPackage, RoundCornersAndTheDocumentsSizeKept) {
  TestWindow w(m_skin, L"round.xml", L"zrSkinTestRound");
  ASSERT_NE(w.Create(nullptr, L"round", WS_POPUP | WS_THICKFRAME | WS_MAXIMIZEBOX, 0, 50, 50, 300,
                     300),
            nullptr);
  w.ShowWindow(true);
  Pump();
  HRGN region = ::CreateRectRgn(0, 0, 0, 0);
  EXPECT_NE(::GetWindowRgn(w, region), ERROR);
  ::DeleteObject(region);

  RECT r;
  ::GetWindowRect(w, &r);
  auto hit = [&](int x, int y) {
    return w.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(r.left + x, r.top + y));
  };
  EXPECT_EQ(hit(1, 50), HTCLIENT) << "no sizing border";
  EXPECT_EQ(hit(198, 98), HTCLIENT);
  EXPECT_EQ(hit(100, 15), HTCAPTION);
  EXPECT_EQ(hit(100, 40), HTCLIENT) << "the button in the caption area";

  MINMAXINFO info = {};
  w.SendMessage(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, 200);
  EXPECT_EQ(info.ptMinTrackSize.y, 100);
  EXPECT_EQ(info.ptMaxTrackSize.x, 200);
  EXPECT_EQ(info.ptMaxSize.y, 100);

  // Maximising is refused; other system commands get default processing (here: minimise).
  w.SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  Pump();
  EXPECT_FALSE(::IsZoomed(w));
  w.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  Pump();
  EXPECT_TRUE(::IsIconic(w));
  ::DestroyWindow(w);
}

}  // namespace
