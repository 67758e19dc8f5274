#include "ui/main_controller.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "skin/button.h"
#include "skin/label.h"
#include "skin/paint_manager.h"
#include "skin/progress.h"
#include "skin/tab_layout.h"
#include "util/ascii.h"

namespace zr {
namespace {

constexpr wchar_t kCompletionPicture[] = L"file = 'install_img_03@2x.png'";
constexpr int kStripWidth = 30;
constexpr int kStripHeight = 100;

template <typename T>
T* Find(Skin::CPaintManager& manager, const wchar_t* name) {
  return dynamic_cast<T*>(manager.FindControl(name));
}

void SetText(Skin::CLabelUI* label, const std::wstring& text) {
  if (label) label->SetText(text);
}

void SetVisible(Skin::CLabelUI* label, bool visible) {
  if (label) label->SetVisible(visible);
}

bool IsPressable(const Skin::CControlUI& control) {
  const std::wstring kind = control.GetClass();
  return EqualsIgnoringAsciiCase(kind, L"ButtonUI") || EqualsIgnoringAsciiCase(kind, L"TextUI");
}

}  // namespace

Skin::SkinRect ComputeInitialWindowRect(int screenWidth, int screenHeight) {
  constexpr int kWidth = 600;
  constexpr int kHeight = 400;
  // Centred, the rectangle can only stick out on the top-left side (on a screen smaller than
  // it): it is then pinned to the corner.
  const int left = std::max(0, screenWidth / 2 - kWidth / 2);
  const int top = std::max(0, screenHeight / 2 - kHeight / 2);
  return {left, top, left + kWidth, top + kHeight};
}

std::wstring FormatTransferSpeed(int32_t bytesPerSecond) {
  constexpr std::pair<int32_t, const wchar_t*> kUnits[] = {{1073741824, L"GB"}, {1048576, L"MB"}, {1024, L"KB"}};
  wchar_t text[64] = {};
  for (const auto& [unit, name] : kUnits) {
    if (bytesPerSecond > unit) {
      std::swprintf(text, 64, L"%.2f %ls/s", static_cast<double>(bytesPerSecond) / unit, name);
      return text;
    }
  }
  std::swprintf(text, 64, L"%d B/s", static_cast<int>(bytesPerSecond));
  return text;
}

MainHitTest DecideMainHitTest(const Skin::CPaintManager& manager, Skin::SkinPoint point, const Skin::SkinRect& client) {
  if (point.x <= client.left + kStripWidth && point.y > client.bottom - kStripHeight) {
    return MainHitTest::kClient;
  }
  if (client.Contains(point)) {
    const Skin::CControlUI* control = manager.FindControl(point);
    if (control != nullptr && !IsPressable(*control)) return MainHitTest::kCaption;
  }
  return MainHitTest::kUseDefault;
}

void CMainController::Init(Skin::CPaintManager& manager) {
  m_pages = Find<Skin::CTabLayoutUI>(manager, L"tab_update_view");
  m_background = Find<Skin::CLabelUI>(manager, L"labBk");
  m_title = Find<Skin::CTextUI>(manager, L"lab_captionTitle");
  m_startButton = Find<Skin::CButtonUI>(manager, L"btn_runprogram");
  m_fileLine = Find<Skin::CLabelUI>(manager, L"lb_file");
  m_speedLine = Find<Skin::CLabelUI>(manager, L"lb_speed");
  m_progress = Find<Skin::CProgressUI>(manager, L"pro_pos");
  m_updatingCaption = Find<Skin::CLabelUI>(manager, L"lab_install_tip");
  m_productCaption = Find<Skin::CLabelUI>(manager, L"lab_install_name");
  m_completedCaption = Find<Skin::CLabelUI>(manager, L"lab_install_completed");

  const std::wstring product = m_texts.Get(L"product_name");
  SetText(m_title, m_texts.Get(L"update") + product);
  SetText(m_productCaption, product);
  SetVisible(m_updatingCaption, true);
  SetVisible(m_productCaption, true);
  SetVisible(m_completedCaption, false);
}

void CMainController::OnEvent(const UpdateEvent& event) {
  switch (event.kind) {
    case UpdateEvent::Kind::kProgress: OnProgress(static_cast<std::intptr_t>(event.value)); break;
    case UpdateEvent::Kind::kSpeed: OnSpeed(event.value); break;
    case UpdateEvent::Kind::kStatusText: OnStatusText(event.text); break;
    case UpdateEvent::Kind::kFatalText: OnFatalText(event.text); break;
    case UpdateEvent::Kind::kSucceeded: OnSucceeded(); break;
    case UpdateEvent::Kind::kFinished: OnFinished(); break;
    case UpdateEvent::Kind::kQuit: m_window.PostQuit(); break;
  }
}

void CMainController::OnProgress(std::intptr_t percent) {
  if (m_progress && percent >= 0 && percent <= 100) m_progress->SetValue(static_cast<int>(percent));
}

void CMainController::OnSpeed(std::int64_t bytesPerSecond) {
  constexpr std::int64_t kMost = INT32_MAX;  // the speed line's own limit
  SetText(m_speedLine, bytesPerSecond < 0
                           ? std::wstring()
                           : FormatTransferSpeed(static_cast<std::int32_t>(std::min(bytesPerSecond, kMost))));
}

void CMainController::OnStatusText(const std::wstring& text) { SetText(m_fileLine, text); }

void CMainController::OnFatalText(const std::wstring& text) {
  ++m_boxDepth;
  m_window.ShowFatalBox(text);
  --m_boxDepth;
  if (!m_windowGone) CloseAndQuit();
}

void CMainController::OnSucceeded() {
  if (m_pages) m_pages->SelectItem(kCompletionPage);
  if (m_background) m_background->SetBkImage(kCompletionPicture);
  SetVisible(m_updatingCaption, false);
  SetVisible(m_productCaption, false);
  SetVisible(m_completedCaption, true);
  m_window.StartCompletionTimer(kCompletionTimerMs);
  SetText(m_startButton, m_texts.Get(L"ok"));
}

void CMainController::OnCompletionTimer() {
  m_window.StopCompletionTimer();
  LaunchProductAndClose();
}

bool CMainController::OnClick(const std::wstring& name) {
  if (name == L"closebtn") {
    CloseAndQuit();
  } else if (name == L"btn_runprogram") {
    LaunchProductAndClose();
  } else if (name == L"minbtn") {
    m_window.Minimise();
    return true;
  }
  return false;
}

void CMainController::OnClose() {
  m_closing = true;
  m_window.PostQuit();
}

void CMainController::LaunchProductAndClose() {
  if (m_closing) return;
  m_closing = true;
  m_window.StopCompletionTimer();
  m_window.LaunchProduct();
  CloseAndQuit();
}

void CMainController::CloseAndQuit() {
  m_closing = true;
  m_window.PostCloseAndQuit();
}

}  // namespace zr
