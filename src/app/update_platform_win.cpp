#include "app/update_platform_win.h"

#include "net/http_client.h"
#include "net/usage_report.h"
#include "ui/message_box_win.h"
#include "update/product_process_win.h"
#include "update/update_context.h"

namespace zr {

uint32_t CWin32Platform::FindProcessByPath(const std::wstring& exePath) { return zr::FindProcessByPath(exePath); }

void CWin32Platform::TerminateProcessById(uint32_t processId, uint32_t exitCode) {
  zr::TerminateProcessById(processId, exitCode);
}

bool CWin32Platform::PostQuitToProductWindow() { return zr::PostQuitToProductWindow(); }

BoxAnswer CWin32Platform::ShowLinkBox(const std::wstring& title, const std::wstring& linkText,
                                      const std::wstring& message, const std::wstring& firstButton,
                                      const std::wstring* secondButton) {
  // An ending process asks nobody: its window is gone or going.
  if (ProcessEnding()) return BoxAnswer::kClosed;
  BoxTexts texts{title, message, firstButton, std::nullopt, linkText};
  if (secondButton) texts.secondButton = *secondButton;
  return ShowBox(m_parts.skin, m_parts.owner.load(), BoxKind::kLink, texts,
                 [this](const std::string& line) { Record(line); });
}

BoxAnswer CWin32Platform::ShowQuestionBox(const std::wstring& caption, const std::wstring& message,
                                          const std::wstring& confirmButton, const std::wstring& cancelButton) {
  if (ProcessEnding()) return BoxAnswer::kClosed;
  return ShowBox(m_parts.skin, m_parts.owner.load(), BoxKind::kQuestion,
                 {caption, message, confirmButton, cancelButton}, [this](const std::string& line) { Record(line); });
}

void CWin32Platform::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

ReportDelivery CWin32Platform::SendUsageReport(const CUpdateContext& context, UpdateOutcome outcome) {
  ReportDelivery delivery;
  UploadReport(BuildUsageReport(context.version, ReportCode(outcome), m_parts.productVersion), &delivery);
  return delivery;
}

}  // namespace zr
