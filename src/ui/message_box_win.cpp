#include "ui/message_box_win.h"

#include <shellapi.h>

#include "build_config.h"
#include "skin/skin_string.h"
#include "ui/box_fill.h"
#include "strings/texts.h"

namespace zr {
namespace {

constexpr wchar_t kBoxTitle[] = L"MessageBox";
constexpr DWORD kBoxStyle = 0x10CE0000;  // WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX
constexpr int kBoxCreateWidth = 400;
constexpr int kBoxCreateHeight = 200;
constexpr UINT kQuestionType = 0x34;
constexpr UINT kLinkType = 0x10;

// Builds, fills and runs one box; its answer.
BoxAnswer RunBox(const std::wstring& linkAddress, HWND owner, const wchar_t* caption,
                 const wchar_t* linkText, const wchar_t* message, UINT type, const wchar_t* firstButton,
                 const wchar_t* secondButton) {
  CMessageBox box(linkAddress);
  if (box.Create(owner, kBoxTitle, kBoxStyle, 0, 0, 0, kBoxCreateWidth, kBoxCreateHeight) == nullptr) {
    return BoxAnswer::kClosed;
  }
  box.Fill(caption, linkText, message, type, firstButton, secondButton);
  box.CenterWindow();
  box.ShowModal();
  return box.GetAnswer();
}

}  // namespace

void CMessageBox::InitWindow() {
  Skin::CPaintManager& manager = GetPaintManager();
  m_caption = manager.FindControl(L"txt_caption");
  m_icon = manager.FindControl(L"txt_icon");
  m_tips = manager.FindControl(L"txt_tips");
  m_ok = manager.FindControl(L"btn_ok");
  m_no = manager.FindControl(L"btn_no");
  m_close = manager.FindControl(L"btn_close");
}

std::wstring CMessageBox::GetSkinFile() {
  return m_linkAddress.empty() ? L"messagebox.xml" : L"messageboxwithlink.xml";
}

LRESULT CMessageBox::OnDefaultKey(WPARAM key) {
  // Consulted for Enter and Escape only; neither closes the box.
  return key == VK_RETURN ? 1 : 0;
}

LRESULT CMessageBox::HandleCustomMessage(UINT msg, WPARAM, LPARAM, bool& handled) {
  // A double click on the drag area does nothing.
  handled = msg == WM_NCLBUTTONDBLCLK;
  return 0;
}

void CMessageBox::Notify(Skin::SkinNotify& msg) {
  if (!Skin::EqualsNoCase(msg.type, L"click") || msg.sender == nullptr) return;
  const std::wstring& name = msg.sender->GetName();
  if (Skin::EqualsNoCase(name, L"btn_close")) {
    m_answer = BoxAnswer::kClosed;
    Close(1);
  } else if (Skin::EqualsNoCase(name, L"btn_ok")) {
    m_answer = BoxAnswer::kFirst;
    Close(1);
  } else if (Skin::EqualsNoCase(name, L"btn_no")) {
    m_answer = BoxAnswer::kSecond;
    Close(1);
  } else if (Skin::EqualsNoCase(name, L"btn_link")) {
    // The box stays open whatever the shell makes of the address.
    ::ShellExecuteW(nullptr, L"open", m_linkAddress.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }
}

void CMessageBox::Fill(const wchar_t* caption, const wchar_t* linkText, const wchar_t* message,
                       UINT type, const wchar_t* firstButton, const wchar_t* secondButton) {
  BoxTexts texts;
  texts.caption = caption;
  texts.linkText = linkText;
  texts.message = message;
  texts.firstButton = firstButton;
  texts.secondButton = secondButton;
  Skin::CWindowHost* host = GetWindowHost();
  FillMessageBox(GetPaintManager(), !m_linkAddress.empty(), texts, type,
                 [host](const std::wstring& text, int font, unsigned style) {
                   return host != nullptr ? host->MeasureText(text, font, style).cx : 0;
                 });
  // Assistive technology tells where the link leads.
  if (Skin::CControlUI* link = GetPaintManager().FindControl(L"btn_link")) {
    link->SetAttribute(L"accvalue", m_linkAddress);
  }
}

BoxAnswer ShowPlainBox(const ITexts& texts, const wchar_t* caption, HWND owner, const wchar_t* message,
                       UINT type) {
  const std::wstring ok = texts.Get(L"ok");
  const std::wstring cancel = texts.Get(L"cancel");
  return RunBox(std::wstring(), owner, caption, nullptr, message, type, ok.c_str(), cancel.c_str());
}

BoxAnswer ShowQuestionBox(const wchar_t* caption, HWND owner, const wchar_t* message,
                    const wchar_t* firstButton, const wchar_t* secondButton) {
  return RunBox(std::wstring(), owner, caption, nullptr, message, kQuestionType, firstButton,
                secondButton);
}

BoxAnswer ShowLinkBox(const wchar_t* caption, const wchar_t* linkText, HWND owner, const wchar_t* message,
                const wchar_t* firstButton, const wchar_t* secondButton) {
  return RunBox(ZR_OFFICIAL_SITE_URL, owner, caption, linkText, message, kLinkType, firstButton,
                secondButton);
}

}  // namespace zr
