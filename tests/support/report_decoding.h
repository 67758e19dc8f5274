// The usage report's payload taken apart as its endpoint does, for the tests: percent and
// Base64 decoding, Triple DES through OpenSSL's EVP, the endpoint's key.
#pragma once

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace zr::test {

// Decoders written for the tests only, from RFC 3986 and RFC 4648.
inline std::string PercentDecode(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

inline std::string Base64Decode(const std::string& text) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (const char c : text) {
    const int v = value(c);
    if (v < 0) continue;  // line breaks and padding
    bits = (bits << 6) | static_cast<unsigned>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

// Triple DES EDE ECB decryption through EVP; padding removed by EVP when asked to.
inline std::string EvpDecrypt(const std::string& cipher, const std::string& key24, bool removePadding) {
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                        EVP_CIPHER_CTX_free);
  EXPECT_EQ(1, EVP_DecryptInit_ex(ctx.get(), EVP_des_ede3_ecb(), nullptr,
                                  reinterpret_cast<const unsigned char*>(key24.data()), nullptr));
  EVP_CIPHER_CTX_set_padding(ctx.get(), removePadding ? 1 : 0);
  std::vector<unsigned char> out(cipher.size() + 16);
  int written = 0, last = 0;
  EXPECT_EQ(1, EVP_DecryptUpdate(ctx.get(), out.data(), &written,
                                 reinterpret_cast<const unsigned char*>(cipher.data()),
                                 static_cast<int>(cipher.size())));
  EXPECT_EQ(1, EVP_DecryptFinal_ex(ctx.get(), out.data() + written, &last));
  return std::string(reinterpret_cast<char*>(out.data()), static_cast<std::size_t>(written + last));
}

// The key as the endpoint knows it: the first 24 characters of its key text.
inline const std::string kEndpointKey = "5809tumo3714962850kelvar";

// The report's payload as the endpoint reads it: percent- and Base64-decoded, decrypted.
inline std::string DecryptPayload(const std::string& payload) {
  return EvpDecrypt(Base64Decode(PercentDecode(payload)), kEndpointKey, true);
}

}  // namespace zr::test
