// MD5 of bytes given in pieces, by libcrypto. Any thread; one object per digest.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace zr {

class CMd5 {
 public:
  CMd5();
  ~CMd5();
  CMd5(const CMd5&) = delete;
  CMd5& operator=(const CMd5&) = delete;

  void Add(const char* data, size_t size);
  // The digest of everything added, as 32 lower-case hexadecimal digits. Ends the digest.
  std::string Hex();

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

// True for 32 hexadecimal digits, in either case: a value the check verifies.
bool IsMd5Value(const std::string& text);

// The two values name the same digest (hexadecimal digits compared without case).
bool SameMd5(const std::string& a, const std::string& b);

}  // namespace zr
