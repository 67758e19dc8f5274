// The update engine's tests' common ground: the fake as an installation in C:\Zoria with its
// staging folder, staged entries, the replacing stage run as the worker runs it, and a planned
// file as a journal holds it.
#pragma once

#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "update/journal.h"
#include "update/outcome.h"
#include "update/update_context.h"

namespace zr::test {

inline const std::wstring kProduct = L"C:\\Zoria";
inline const std::wstring kStaging = L"C:\\Zoria\\cache\\update";
inline const std::wstring kJournal = L"C:\\Zoria\\zrUpdater.journal";

// The fake as an installation in C:\Zoria with its staging folder.
class Installation : public FakePlatform {
 public:
  Installation() {
    moduleDirectory = kProduct;
    directories = {kProduct, kProduct + L"\\cache", kStaging};
  }
};

// Lines as UTF-8, so that failures print readably.
std::vector<std::string> Narrow(const std::vector<std::wstring>& lines);

// Adds an entry whose new content waits at kStaging\<name>.staged.
void Stage(FakePlatform& platform, CUpdateContext& context, const std::wstring& path, const std::wstring& stagedName,
           const std::string& content);

// ReplaceFiles inside a held moving section, with the staged files held, as the worker runs it.
UpdateOutcome Replace(CUpdateContext& context, FakePlatform& platform);

// A file of a run's plan, as its journal holds it: replaced (`original` given, its backup at
// `backup`) or created, with its parking and copy names beside it and what the run puts there.
PlannedFile Planned(const std::wstring& target, const char* original, const char* replacement,
                    const std::wstring& backup);

}  // namespace zr::test
