// skin_viewer [--zip PATH] [--log PATH] [--bench] [--button NAME] DOCUMENT
//
// Shows DOCUMENT of the skin package in a skinned window titled "skin_viewer DOCUMENT",
// centred, and runs the engine's message loop. The package is the program's own resource
// "ZIPRES" 108 unless --zip names a zip file. With --log, the window writes one line per
// event to PATH: "ready x y width height" after its first frame (window rectangle),
// "click NAME" per click notification, "frame-ms N" and "peak-kb N" (time from process start
// to the first painted frame, peak working set). --bench then lets the window settle (its
// drop shadow shown), logs "shown-peak-kb N" (peak working set by then), measures the work
// of later frames, logs "paints-per-relayout N" (a control shown or hidden), "repaint-ms N" (the whole
// window painted again, as when the mouse enters a title button), "drag-step-bytes N" (shadow
// picture handed to the system per step of a drag) and "shadow-ms N" (start to the shadow
// shown), and closes the window. --button NAME disables that control, to see a disabled button ignore clicks.
// --set NAME=TEXT sets a control's text, --show NAME makes it visible, --value NAME=N sets
// a progress value, --select NAME=N a tab page, --image NAME=DESC a background picture.
//
// --hide NAME hides a control, as the message boxes hide the buttons they do not show.
// --package-of EXE takes the skin package from another program's resources (the updater's
// own bytes) instead of the viewer's.
//
// skin_viewer --layout --log PATH [--package-of EXE] [edits...] DOCUMENT: builds DOCUMENT in a
// window that is never shown, with the edits above, lays it out at the document's size as the
// engine lays out the updater's windows, logs "size WIDTH HEIGHT" and then, in the
// document's order, "NAME X Y WIDTH HEIGHT" for each named control that is shown (window
// pixels, at the display's scale) and "NAME hidden" for one that is not (hidden itself or in a hidden container),
// and ends. The tests find where to click a control by its name this way.
//
// skin_viewer --read-box TITLE --log PATH: waits up to 20 s for a message box titled TITLE
// (of any process) whose texts are in place, logs "box-text TEXT" for each text in it, then
// presses its button. The tests use it to read the engine's fatal error box.
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "skin/control.h"
#include "skin/paint_manager.h"
#include "skin/progress.h"
#include "skin/skin_context.h"
#include "skin/skin_window_win.h"
#include "skin/tab_layout.h"
#include "util/text.h"

namespace {

double entryMs = 0;    // process start to wWinMain
double createdMs = 0;  // process start to the window built from its document

constexpr UINT kFirstFrameDone = WM_APP + 100;

struct Options {
  std::wstring zip;
  std::wstring log;
  std::wstring document;
  std::wstring disable;
  std::wstring readBox;
  std::wstring packageOf;
  std::vector<std::pair<std::wstring, std::wstring>> edits;  // (option, "NAME=VALUE")
  bool bench = false;
  bool layout = false;
};

void AppendLog(const std::wstring& path, const std::string& line) {
  if (path.empty()) return;
  HANDLE f = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(f);
}

double MillisecondsSinceProcessStart() {
  FILETIME created, exited, kernel, user, now;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER a{{created.dwLowDateTime, created.dwHighDateTime}};
  ULARGE_INTEGER b{{now.dwLowDateTime, now.dwHighDateTime}};
  return static_cast<double>(b.QuadPart - a.QuadPart) / 10000.0;
}

class CViewerWindow : public Skin::CSkinWindow {
 public:
  CViewerWindow(Skin::CSkinContext& skin, const Options& o) : CSkinWindow(skin), m_options(o) {}
  const wchar_t* GetWindowClassName() const override { return L"zrSkinViewer"; }
  std::wstring GetSkinFile() override { return m_options.document; }
  void InitWindow() override {
    for (const auto& e : m_options.edits) {
      size_t eq = e.second.find(L'=');
      std::wstring name = e.second.substr(0, eq);
      std::wstring value = eq == std::wstring::npos ? L"" : e.second.substr(eq + 1);
      Skin::CControlUI* c = m_paintManager->FindControl(name);
      if (!c) continue;
      if (e.first == L"--set") c->SetText(value);
      if (e.first == L"--show") c->SetVisible(true);
      if (e.first == L"--hide") c->SetVisible(false);
      if (e.first == L"--image") c->SetBkImage(value);
      if (e.first == L"--value") {
        if (auto* p = static_cast<Skin::CProgressUI*>(c->GetInterface(L"Progress"))) {
          p->SetValue(_wtoi(value.c_str()));
        }
      }
      if (e.first == L"--select") {
        if (auto* t = static_cast<Skin::CTabLayoutUI*>(c->GetInterface(L"TabLayout"))) {
          t->SelectItem(_wtoi(value.c_str()));
        }
      }
    }
    if (!m_options.disable.empty()) {
      if (Skin::CControlUI* c = m_paintManager->FindControl(m_options.disable)) {
        c->SetEnabled(false);
      }
    }
  }
  void OnFinalMessage(HWND hwnd) override {
    CSkinWindow::OnFinalMessage(hwnd);
    PostQuitMessage(0);
  }
  LRESULT OnClose(UINT, WPARAM, LPARAM, bool& handled) override {
    handled = false;  // default processing destroys the window
    return 0;
  }
  void Notify(Skin::SkinNotify& msg) override {
    if (msg.type == L"click" && msg.sender) {
      AppendLog(m_options.log, "click " + zr::WideToUtf8(msg.sender->GetName()));
    }
    CSkinWindow::Notify(msg);
  }
  LRESULT HandleCustomMessage(UINT msg, WPARAM, LPARAM, bool& handled) override {
    handled = false;
    if (msg == WM_PAINT) ++m_paints;
    NoteShadow();
    if (msg == WM_PAINT && !m_painted) {
      // The manager paints right after this; the posted message arrives once it has.
      m_painted = true;
      PostMessage(kFirstFrameDone);
    } else if (msg == kFirstFrameDone) {
      handled = true;
      double ms = MillisecondsSinceProcessStart();
      PROCESS_MEMORY_COUNTERS pmc = {};
      pmc.cb = sizeof(pmc);
      GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));
      RECT r;
      GetWindowRect(m_hwnd, &r);
      char line[160];
      std::snprintf(line, sizeof line, "ready %ld %ld %ld %ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
      AppendLog(m_options.log, line);
      std::snprintf(line, sizeof line, "frame-ms %.1f", ms);
      AppendLog(m_options.log, line);
      std::snprintf(line, sizeof line, "phases-ms entry %.1f created %.1f painted %.1f", entryMs, createdMs, ms);
      AppendLog(m_options.log, line);
      std::snprintf(line, sizeof line, "peak-kb %zu", static_cast<size_t>(pmc.PeakWorkingSetSize / 1024));
      AppendLog(m_options.log, line);
      if (m_options.bench) {
        MeasureLaterFrames();
        Close(0);
      }
    }
    return 0;
  }

  // The layout lines of --layout (see the top of this file).
  void WriteLayout() {
    RECT client{};
    ::GetClientRect(m_hwnd, &client);
    m_paintManager->SetClientSize(Skin::SkinSize{client.right, client.bottom});
    m_paintManager->Layout();
    char line[200];
    std::snprintf(line, sizeof line, "size %ld %ld", client.right, client.bottom);
    AppendLog(m_options.log, line);
    m_paintManager->GetRoot()->VisitTree([this](Skin::CControlUI* c) {
      if (c->GetName().empty()) return;
      bool shown = true;
      for (Skin::CControlUI* up = c; up != nullptr; up = up->GetParent()) shown = shown && up->IsVisible();
      const std::string name = zr::WideToUtf8(c->GetName());
      const Skin::SkinRect r = m_paintManager->Scale().ToDevice(c->GetPos());
      if (shown) {
        AppendLog(m_options.log, name + " " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
                                     std::to_string(r.Width()) + " " + std::to_string(r.Height()));
      } else {
        AppendLog(m_options.log, name + " hidden");
      }
    });
  }

 private:
  // The host sets up the shadow after this window has seen the message that asks for it, so
  // it is looked for again once each message has been handled.
  void NoteShadow() {
    if (m_shadowMs < 0 && m_host && m_host->Stats().shadowBytesUploaded > 0) {
      m_shadowMs = MillisecondsSinceProcessStart();
    }
  }

  // Runs this thread's messages until none is left (paints included).
  void Settle() {
    MSG msg;
    for (int idle = 0; idle < 3;) {
      if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        idle = 0;
        if (msg.message == WM_QUIT) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        NoteShadow();
      } else {
        ++idle;
        Sleep(5);
      }
    }
  }

  void MeasureLaterFrames() {
    char line[160];
    Settle();
    std::snprintf(line, sizeof line, "shadow-ms %.1f", m_shadowMs);
    AppendLog(m_options.log, line);
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof(pmc);
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));
    std::snprintf(line, sizeof line, "shown-peak-kb %zu", static_cast<size_t>(pmc.PeakWorkingSetSize / 1024));
    AppendLog(m_options.log, line);
    // Relayouts: the first control that can be hidden is hidden and shown again.
    Skin::CControlUI* toggled = nullptr;
    m_paintManager->GetRoot()->VisitTree([&](Skin::CControlUI* c) {
      if (!toggled && c != m_paintManager->GetRoot() && c->IsVisible() && !c->GetName().empty()) {
        toggled = c;
      }
    });
    constexpr int kRelayouts = 10;
    if (toggled) {
      const int before = m_paints;
      for (int i = 0; i < kRelayouts; ++i) {
        toggled->SetVisible(i % 2 != 0);
        Settle();
      }
      std::snprintf(line, sizeof line, "paints-per-relayout %.2f", static_cast<double>(m_paints - before) / kRelayouts);
      AppendLog(m_options.log, line);
    }
    // Whole repaints, as the title buttons' hover makes of the picture under them.
    constexpr int kRepaints = 20;
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < kRepaints; ++i) {
      InvalidateRect(m_hwnd, nullptr, FALSE);
      UpdateWindow(m_hwnd);
    }
    QueryPerformanceCounter(&t1);
    std::snprintf(line, sizeof line, "repaint-ms %.2f",
                  (t1.QuadPart - t0.QuadPart) * 1000.0 / freq.QuadPart / kRepaints);
    AppendLog(m_options.log, line);
    // Drag steps: the window moved a few pixels at a time.
    constexpr int kSteps = 20;
    RECT r;
    GetWindowRect(m_hwnd, &r);
    const auto uploaded = m_host->Stats().shadowBytesUploaded;
    for (int i = 1; i <= kSteps; ++i) {
      SetWindowPos(m_hwnd, nullptr, r.left + 3 * i, r.top + 2 * i, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      Settle();
    }
    std::snprintf(line, sizeof line, "drag-step-bytes %.0f",
                  static_cast<double>(m_host->Stats().shadowBytesUploaded - uploaded) / kSteps);
    AppendLog(m_options.log, line);
  }

  Options m_options;
  bool m_painted = false;
  int m_paints = 0;
  double m_shadowMs = -1;  // when the shadow was first seen handed to the system
};

// The package from a program's resource "ZIPRES" 108, as the updater's start-up does it with
// its own: this program's, or (--package-of) another's loaded as data for the process's life.
bool UsePackage(Skin::CSkinContext& skin, HMODULE module) {
  if (!module) return false;
  HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(108), L"ZIPRES");
  if (!res) return false;
  HGLOBAL loaded = LoadResource(module, res);
  DWORD size = SizeofResource(module, res);
  if (!loaded || size == 0) return false;
  return skin.OpenPackage(LockResource(loaded), size);
}

// A whole file's bytes; empty when it cannot be read.
std::vector<std::uint8_t> ReadFileBytes(const std::wstring& path) {
  std::vector<std::uint8_t> bytes;
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return bytes;
  LARGE_INTEGER size{};
  DWORD done = 0;
  if (GetFileSizeEx(f, &size) && size.QuadPart < (64LL << 20)) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    if (!bytes.empty() && !ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr)) bytes.clear();
  }
  CloseHandle(f);
  return bytes;
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM param) {
  auto* out = reinterpret_cast<std::vector<HWND>*>(param);
  wchar_t cls[32] = {};
  GetClassNameW(child, cls, 32);
  if (lstrcmpiW(cls, L"Static") == 0) out->push_back(child);
  return TRUE;
}

// The box's texts: its Static children but the icon, once the box has a non-empty one.
std::vector<std::wstring> BoxTexts(HWND box) {
  std::vector<HWND> statics;
  EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&statics));
  std::vector<std::wstring> texts;
  for (HWND s : statics) {
    if ((GetWindowLongW(s, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) continue;
    wchar_t text[512] = {};
    GetWindowTextW(s, text, 512);
    if (text[0]) texts.push_back(text);
  }
  return texts;
}

int ReadBox(const std::wstring& title, const std::wstring& log) {
  HWND box = nullptr;
  std::vector<std::wstring> texts;
  for (int i = 0; i < 200 && texts.empty(); ++i) {
    box = FindWindowW(L"#32770", title.c_str());
    if (box) texts = BoxTexts(box);
    if (texts.empty()) Sleep(100);
  }
  if (!box) {
    AppendLog(log, "box-missing");
    return 3;
  }
  for (const std::wstring& text : texts) AppendLog(log, "box-text " + zr::WideToUtf8(text));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  entryMs = MillisecondsSinceProcessStart();
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::wstring a = argv[i];
    if (a == L"--zip" && i + 1 < argc) {
      o.zip = argv[++i];
    } else if (a == L"--log" && i + 1 < argc) {
      o.log = argv[++i];
    } else if (a == L"--button" && i + 1 < argc) {
      o.disable = argv[++i];
    } else if (a == L"--read-box" && i + 1 < argc) {
      o.readBox = argv[++i];
    } else if (a == L"--package-of" && i + 1 < argc) {
      o.packageOf = argv[++i];
    } else if (a == L"--layout") {
      o.layout = true;
    } else if ((a == L"--set" || a == L"--show" || a == L"--value" || a == L"--select" || a == L"--image" ||
                a == L"--hide") &&
               i + 1 < argc) {
      o.edits.emplace_back(a, argv[++i]);
    } else if (a == L"--bench") {
      o.bench = true;
    } else {
      o.document = a;
    }
  }
  LocalFree(argv);
  if (!o.readBox.empty()) return ReadBox(o.readBox, o.log);

  Skin::CSkinContext skin;
  const std::vector<std::uint8_t> filePackage = o.zip.empty() ? std::vector<std::uint8_t>() : ReadFileBytes(o.zip);
  if (!o.zip.empty()) {
    skin.OpenPackage(filePackage.data(), filePackage.size());
  } else if (!o.packageOf.empty()) {
    UsePackage(skin,
               LoadLibraryExW(o.packageOf.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  } else {
    UsePackage(skin, GetModuleHandleW(nullptr));
  }

  CViewerWindow window(skin, o);
  window.CentreWhenCreated();
  std::wstring title = L"skin_viewer " + o.document;
  if (!window.Create(nullptr, title.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 600, 400)) {
    return 1;  // the document could not be built: the engine's error box has been shown
  }
  createdMs = MillisecondsSinceProcessStart();
  if (o.layout) {
    window.WriteLayout();
    DestroyWindow(window.GetHWND());
    return 0;
  }
  window.ShowWindow(true);
  Skin::MessageLoop();
  return 0;
}
