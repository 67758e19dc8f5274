#include "support/update_fixtures.h"

#include <gtest/gtest.h>

#include "update/apply.h"
#include "update/entry_check.h"
#include "util/text.h"

namespace zr::test {

std::vector<std::string> Narrow(const std::vector<std::wstring>& lines) {
  std::vector<std::string> out;
  for (const auto& line : lines) out.push_back(WideToUtf8(line));
  return out;
}

void Stage(FakePlatform& platform, CUpdateContext& context, const std::wstring& path, const std::wstring& stagedName,
           const std::string& content) {
  const std::wstring staged = kStaging + L"\\" + stagedName + L".staged";
  platform.files[staged] = content;
  context.files.push_back({"", staged, path});
}

UpdateOutcome Replace(CUpdateContext& context, FakePlatform& platform) {
  CMovingSection section(platform);
  EXPECT_TRUE(section.Enter());
  const UpdateOutcome held = HoldStagedFiles(context, platform);
  return held == UpdateOutcome::kOk ? ReplaceFiles(context, platform) : held;
}

PlannedFile Planned(const std::wstring& target, const char* original, const char* replacement,
                    const std::wstring& backup) {
  PlannedFile file;
  file.target = target;
  file.existed = original != nullptr;
  if (file.existed) {
    file.backup = backup;
    file.original = FakePlatform::IdentityOf(original);
  }
  file.parking = target + L".tmp";
  file.copy = target + L".new";
  file.replacements = {FakePlatform::IdentityOf(replacement)};
  return file;
}

}  // namespace zr::test
