#include "update/md5.h"

// The one-call MD5 functions are libcrypto's low-level API: the EVP interface would bring its
// provider machinery into the shipped exe (several hundred kilobytes) for the same digest.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>

#include "util/escape.h"

namespace zr {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr size_t kMd5Digits = 2 * MD5_DIGEST_LENGTH;

}  // namespace

struct CMd5::State {
  MD5_CTX context;
};

CMd5::CMd5() : m_state(new State) { MD5_Init(&m_state->context); }

CMd5::~CMd5() = default;

void CMd5::Add(const char* data, size_t size) { MD5_Update(&m_state->context, data, size); }

std::string CMd5::Hex() {
  unsigned char digest[MD5_DIGEST_LENGTH];
  MD5_Final(digest, &m_state->context);
  std::string hex;
  for (const unsigned char byte : digest) {
    hex += kLowerHexDigits[byte >> 4];
    hex += kLowerHexDigits[byte & 15];
  }
  return hex;
}

bool IsMd5Value(const std::string& text) {
  if (text.size() != kMd5Digits) return false;
  for (const char c : text) {
    if (HexDigit(c) < 0) return false;
  }
  return true;
}

bool SameMd5(const std::string& a, const std::string& b) {
  if (!IsMd5Value(a) || !IsMd5Value(b)) return false;
  for (size_t i = 0; i < kMd5Digits; ++i) {
    if (HexDigit(a[i]) != HexDigit(b[i])) return false;
  }
  return true;
}

}  // namespace zr
