#include "ui/message_box_win.h"

#include <shellapi.h>

#include <utility>

#include "build_config.h"
#include "util/ascii.h"
#include "util/text.h"

namespace zr {
namespace {

constexpr wchar_t kBoxTitle[] = L"MessageBox";
constexpr DWORD kBoxStyle = 0x10CE0000;  // WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX
constexpr int kBoxCreateWidth = 400, kBoxCreateHeight = 200;

// The buttons that close the box, with their answers.
constexpr std::pair<const wchar_t*, BoxAnswer> kAnswers[] = {
    {L"btn_close", BoxAnswer::kClosed}, {L"btn_ok", BoxAnswer::kFirst}, {L"btn_no", BoxAnswer::kSecond}};

}  // namespace

BoxAnswer ShowBox(Skin::CSkinContext& context, HWND owner, BoxKind kind, const BoxTexts& texts,
                  const BoxRecord& record) {
  CMessageBox box(context, StyleOf(kind), texts);
  box.CentreWhenCreated();
  if (box.Create(owner, kBoxTitle, kBoxStyle, 0, 0, 0, kBoxCreateWidth, kBoxCreateHeight) == nullptr) {
    return BoxAnswer::kClosed;
  }
  if (record) {
    record("box shown (" + WideToUtf8(box.GetSkinFile()) + "; " + DescribeBoxButtons(box.GetPaintManager()) +
           "): " + WideToUtf8(texts.caption) + ": " + WideToUtf8(texts.message));
  }
  box.ShowModal();
  if (record) record(box.ClosedBy().empty() ? "box closed without a button" : "box closed: " + box.ClosedBy());
  return box.GetAnswer();
}

void CMessageBox::InitWindow() {
  Skin::CWindowHost* host = GetWindowHost();
  FillMessageBox(GetPaintManager(), m_style, m_texts, [host](const std::wstring& text, int font, unsigned style) {
    return host != nullptr ? host->MeasureText(text, font, style).cx : 0;
  });
  // Assistive technology tells where the link leads.
  if (Skin::CControlUI* link = m_style.link ? GetPaintManager().FindControl(L"btn_link") : nullptr) {
    link->SetAttribute(L"accvalue", ZR_OFFICIAL_SITE_URL);
  }
}

LRESULT CMessageBox::HandleCustomMessage(UINT msg, WPARAM, LPARAM, bool& handled) {
  // A double click on the drag area does nothing.
  handled = msg == WM_NCLBUTTONDBLCLK;
  return 0;
}

void CMessageBox::Notify(Skin::SkinNotify& msg) {
  if (!EqualsIgnoringAsciiCase(msg.type, L"click") || msg.sender == nullptr) return;
  const std::wstring& name = msg.sender->GetName();
  for (const auto& [button, answer] : kAnswers) {
    if (EqualsIgnoringAsciiCase(name, button)) {
      m_closedBy = WideToUtf8(name);
      m_answer = answer;
      Close(1);
      return;
    }
  }
  if (EqualsIgnoringAsciiCase(name, L"btn_link")) {
    // The box stays open whatever the shell makes of the address.
    ::ShellExecuteW(nullptr, L"open", ZR_OFFICIAL_SITE_URL, nullptr, nullptr, SW_SHOWNORMAL);
  }
}

}  // namespace zr
