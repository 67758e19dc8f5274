// The texts the program shows, by string table id. The program hands one source to the
// windows and to the update engine; the engine's tests hand it one that names each id instead
// of wording it.
#pragma once

#include <string>

namespace zr {

class ITexts {
 public:
  // The text for an id (exact, case-sensitive); empty when there is none.
  virtual std::wstring Get(const std::wstring& id) const = 0;

 protected:
  ~ITexts() = default;
};

}  // namespace zr
