#include "app/update_platform_win.h"

#include "net/http_client.h"
#include "net/usage_report.h"
#include "ui/message_box_win.h"
#include "update/update_context.h"

namespace zr {

BoxAnswer CWin32Platform::ShowLinkBox(const std::wstring& title, const std::wstring& linkText,
                                      const std::wstring& message, const std::wstring& firstButton,
                                      const std::wstring* secondButton) {
  BoxTexts texts{title, message, firstButton, std::nullopt, linkText};
  if (secondButton) texts.secondButton = *secondButton;
  return Ask(BoxKind::kLink, texts);
}

BoxAnswer CWin32Platform::ShowQuestionBox(const std::wstring& caption, const std::wstring& message,
                                          const std::wstring& confirmButton, const std::wstring& cancelButton) {
  return Ask(BoxKind::kQuestion, {caption, message, confirmButton, cancelButton, {}});
}

BoxAnswer CWin32Platform::Ask(BoxKind kind, const BoxTexts& texts) {
  if (ProcessEnding()) return BoxAnswer::kClosed;
  return ShowBox(m_parts.skin, m_parts.owner.load(), kind, texts, [this](const std::string& line) { Record(line); });
}

ReportDelivery CWin32Platform::SendUsageReport(const CUpdateContext& context, UpdateOutcome outcome) {
  ReportDelivery delivery;
  UploadReport(BuildUsageReport(context.version, ReportCode(outcome), m_parts.productVersion), &delivery);
  return delivery;
}

}  // namespace zr
