// Encryption of the usage report's payload: Triple DES (EDE, ECB, PKCS #5 padding) under a
// fixed key, then Base64 with CRLF line breaks, then percent-encoding. Every function here is
// pure: it keeps no state, owns nothing beyond its result and may run on any thread.
#pragma once

#include <array>
#include <string>

namespace zr {

// The report endpoint's fixed key text. Only its first 24 characters enter the cipher.
inline constexpr char kReportKeyString[] = "5809tumo3714962850kelvarisquen47";

using KeyBlock = std::array<unsigned char, 24>;

// 24 zero bytes with the first min(length, 24) characters of keyString copied in. The block is
// split into the three DES keys K1 = bytes 0-7, K2 = 8-15, K3 = 16-23.
KeyBlock MakeKeyBlock(const std::string& keyString);

// Pads data with p = 8 - (size mod 8) bytes of value p (always 1 to 8 of them) and encrypts
// every 8-byte block on its own as E_K3(D_K2(E_K1(block))). The keys are scheduled as they are:
// no parity adjustment, no parity check, no weak-key check.
std::string TripleDesEcbEncrypt(const std::string& data, const KeyBlock& key);

// Standard Base64 (RFC 4648 alphabet, "=" padding). A counter grows by 4 with every complete
// 3-byte group; at 76 "\r\n" is written and the counter starts again, also after the last
// complete group. The padded tail of 1 or 2 bytes never counts and is never followed by "\r\n".
std::string Base64EncodeWrapped(const std::string& bytes);

// Keeps the RFC 3986 unreserved characters (0-9 A-Z a-z - . _ ~) and writes every other byte
// as "%" and two upper-case hexadecimal digits.
std::string PercentEncode(const std::string& text);

// The three steps above under kReportKeyString's key block; empty only when memory runs out.
std::string EncryptReportPayload(const std::string& text);

}  // namespace zr
