// Texts that name what is shown instead of wording it, so that the engine's and the
// controller's tests check which text, with which values, and not its Chinese.
#pragma once

#include <string>
#include <unordered_map>

#include "strings/texts.h"

namespace zr::test {

// The text of an id the shipped document has is the id followed by that text's conversions:
// "%d/%d 正在更新文件 %s" under "pro_update_file_dds" becomes "pro_update_file_dds(%d,%d,%s)",
// which a status line fills as "pro_update_file_dds(1,2,a.dll)". An id the document lacks
// gives the empty text, as the real table does.
class FakeTexts final : public ITexts {
 public:
  FakeTexts();
  std::wstring Get(const std::wstring& id) const override;

 private:
  std::unordered_map<std::wstring, std::wstring> m_texts;
};

}  // namespace zr::test
