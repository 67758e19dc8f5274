#include "net/report_crypto.h"

// The DES key schedule and block operation of libcrypto are its "legacy" low-level API; they
// are the only way to schedule a key without parity and weak-key checks.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/crypto.h>
#include <openssl/des.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

#include "util/escape.h"

namespace zr {

namespace {

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kBase64LineLength = 76;

constexpr std::string_view kUnreserved = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz-._~";

// The four characters of a group of 1 to 3 bytes, "=" in place of each missing byte's.
void AppendBase64Group(std::string& out, const unsigned char* group, std::size_t count) {
  const unsigned b1 = group[0], b2 = count > 1 ? group[1] : 0, b3 = count > 2 ? group[2] : 0;
  out += kBase64Alphabet[b1 >> 2];
  out += kBase64Alphabet[((b1 & 0x03) << 4) | (b2 >> 4)];
  out += count > 1 ? kBase64Alphabet[((b2 & 0x0F) << 2) | (b3 >> 6)] : '=';
  out += count > 2 ? kBase64Alphabet[b3 & 0x3F] : '=';
}

}  // namespace

KeyBlock MakeKeyBlock(const std::string& keyString) {
  KeyBlock block{};
  const std::size_t count = std::min(keyString.size(), block.size());
  std::memcpy(block.data(), keyString.data(), count);
  return block;
}

std::string TripleDesEcbEncrypt(const std::string& data, const KeyBlock& key) {
  const std::size_t padding = 8 - data.size() % 8;
  std::string buffer = data;
  buffer.append(padding, static_cast<char>(padding));

  DES_key_schedule schedules[3];
  for (int i = 0; i < 3; ++i) {
    DES_cblock part;
    std::memcpy(part, key.data() + 8 * i, 8);
    DES_set_key_unchecked(&part, &schedules[i]);
  }

  // In place, block by block: ECB has no chaining, so each block depends on itself alone.
  for (std::size_t offset = 0; offset < buffer.size(); offset += 8) {
    auto* block = reinterpret_cast<DES_cblock*>(&buffer[offset]);
    DES_cblock out;
    DES_ecb3_encrypt(block, &out, &schedules[0], &schedules[1], &schedules[2], DES_ENCRYPT);
    std::memcpy(block, out, 8);
  }
  OPENSSL_cleanse(schedules, sizeof schedules);
  return buffer;
}

std::string Base64EncodeWrapped(const std::string& bytes) {
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  const std::size_t groups = size / 3;
  std::string out;
  out.reserve((size + 2) / 3 * 4 + (groups * 4 / kBase64LineLength) * 2);
  for (std::size_t g = 0; g < groups; ++g) {
    AppendBase64Group(out, in + 3 * g, 3);
    if ((g + 1) * 4 % kBase64LineLength == 0) out += "\r\n";  // the line is full
  }
  if (size > groups * 3) AppendBase64Group(out, in + groups * 3, size - groups * 3);
  return out;
}

std::string PercentEncode(const std::string& text) {
  return EscapeBytes(
      text, [](unsigned char c) { return kUnreserved.find(static_cast<char>(c)) == std::string_view::npos; }, "%",
      kUpperHexDigits);
}

std::string EncryptReportPayload(const std::string& text) {
  // Memory can run out in any of the three steps; the caller only ever sees an empty body.
  try {
    const std::string cipher = TripleDesEcbEncrypt(text, MakeKeyBlock(kReportKeyString));
    return PercentEncode(Base64EncodeWrapped(cipher));
  } catch (const std::bad_alloc&) {
    return std::string();
  }
}

}  // namespace zr
