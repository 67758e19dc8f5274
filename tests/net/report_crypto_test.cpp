// The payload encryption against published vectors and against libcrypto's EVP interface,
// which shares no code path with ours beyond the DES primitive itself.
#include "net/report_crypto.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "support/report_decoding.h"

namespace zr {
namespace {

using test::Base64Decode;
using test::DecryptPayload;
using test::EvpDecrypt;
using test::kEndpointKey;
using test::PercentDecode;

std::string FromHex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return out;
}

std::string ToHex(const std::string& bytes) {
  std::string out;
  char digits[3];
  for (const char c : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned char>(c));
    out += digits;
  }
  return out;
}

KeyBlock KeyFromHex(const std::string& hex) {
  const std::string bytes = FromHex(hex);
  KeyBlock key{};
  for (std::size_t i = 0; i < key.size() && i < bytes.size(); ++i) {
    key[i] = static_cast<unsigned char>(bytes[i]);
  }
  return key;
}

struct DesVector {
  const char* key;
  const char* plain;
  const char* cipher;
};

// NIST SP 800-20 known answers for single DES: variable plaintext and variable key tests
// (under the weak key 01..01) and two of the permutation tests. Triple DES with K1 = K2 = K3
// is single DES, and the weak key shows that no weak-key check interferes.
TEST(TripleDesEcbEncrypt, MatchesSingleDesVectorsWithThreeEqualKeys) {
  const DesVector vectors[] = {
      {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
      {"0101010101010101", "4000000000000000", "DD7F121CA5015619"},
      {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
      {"4001010101010101", "0000000000000000", "0EEC1487DD8C26D5"},
      {"7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},
      {"0131D9619DC1376E", "5CD54CA83DEF57DA", "7A389D10354BD271"},
  };
  for (const DesVector& v : vectors) {
    SCOPED_TRACE(v.key);
    const std::string k(v.key);
    const auto cipher = TripleDesEcbEncrypt(FromHex(v.plain), KeyFromHex(k + k + k));
    ASSERT_EQ(16u, cipher.size());  // the 8-byte text gets a whole block of padding
    EXPECT_EQ(v.cipher, ToHex(cipher.substr(0, 8)));
  }
}

// NIST SP 800-67 example: three distinct keys, three blocks.
TEST(TripleDesEcbEncrypt, MatchesThreeKeyVector) {
  const KeyBlock key =
      KeyFromHex("0123456789ABCDEF" "23456789ABCDEF01" "456789ABCDEF0123");
  const auto cipher = TripleDesEcbEncrypt("The qufck brown fox jump", key);
  ASSERT_EQ(32u, cipher.size());
  EXPECT_EQ("A826FD8CE53B855F" "CCE21C8112256FE6" "68D5C05DD9B6B900",
            ToHex(cipher.substr(0, 24)));
}

TEST(TripleDesEcbEncrypt, PadsWithOneToEightBytesOfTheirCount) {
  const KeyBlock key = MakeKeyBlock(kReportKeyString);
  const std::string keyBytes(reinterpret_cast<const char*>(key.data()), key.size());
  for (std::size_t n = 0; n <= 25; ++n) {
    SCOPED_TRACE(n);
    const std::string text(n, 'x');
    const auto cipher = TripleDesEcbEncrypt(text, key);
    const std::size_t padding = 8 - n % 8;
    ASSERT_EQ(n + padding, cipher.size());
    const std::string plain = EvpDecrypt(cipher, keyBytes, false);
    EXPECT_EQ(text + std::string(padding, static_cast<char>(padding)), plain);
  }
}

TEST(TripleDesEcbEncrypt, EncryptsEveryBlockOnItsOwn) {
  const KeyBlock key = MakeKeyBlock(kReportKeyString);
  const auto cipher = TripleDesEcbEncrypt("ABCDEFGHABCDEFGH", key);
  EXPECT_EQ(cipher.substr(0, 8), cipher.substr(8, 8));
  EXPECT_NE(cipher.substr(0, 8), cipher.substr(16, 8));
}

TEST(MakeKeyBlock, CopiesAtMostTwentyFourCharactersIntoZeros) {
  const KeyBlock full = MakeKeyBlock(kReportKeyString);
  EXPECT_EQ(kEndpointKey, std::string(full.begin(), full.end()));

  const KeyBlock shortKey = MakeKeyBlock("abc");
  EXPECT_EQ(std::string("abc") + std::string(21, '\0'),
            std::string(shortKey.begin(), shortKey.end()));
}

TEST(MakeKeyBlock, LastEightKeyCharactersDoNotMatter) {
  const std::string text = "{\n   \"code\" : 4001\n}\n";
  const std::string original = kReportKeyString;
  const auto reference = TripleDesEcbEncrypt(text, MakeKeyBlock(original));
  for (std::size_t i = 24; i < original.size(); ++i) {
    std::string changed = original;
    changed[i] = changed[i] == 'Z' ? 'Y' : 'Z';
    EXPECT_EQ(reference, TripleDesEcbEncrypt(text, MakeKeyBlock(changed))) << i;
  }
  std::string changed = original;
  changed[23] = 'Z';  // the last character that is part of K3
  EXPECT_NE(reference, TripleDesEcbEncrypt(text, MakeKeyBlock(changed)));
}

std::string EvpBase64(const std::string& bytes) {
  std::vector<unsigned char> out(4 * ((bytes.size() + 2) / 3) + 1);
  const int n = EVP_EncodeBlock(out.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                                static_cast<int>(bytes.size()));
  return std::string(reinterpret_cast<char*>(out.data()), static_cast<std::size_t>(n));
}

std::string Bytes(std::size_t n) {
  std::string bytes;
  for (std::size_t i = 0; i < n; ++i) bytes += static_cast<char>((i * 37 + 11) & 0xFF);
  return bytes;
}

TEST(Base64EncodeWrapped, WrapsAfterEverySeventySixCharactersOfCompleteGroups) {
  struct Case {
    std::size_t bytes;
    std::vector<std::size_t> lines;  // characters per line, "\r\n" after all but a tail
    bool endsWithBreak;
  };
  const Case cases[] = {
      {0, {}, false},
      {1, {4}, false},
      {16, {24}, false},
      {56, {76}, false},        // 18 groups and a 2-byte tail: 72 + 4 characters, no break
      {57, {76}, true},         // 19 groups fill the line exactly
      {58, {76, 4}, false},     // the tail after the break
      {114, {76, 76}, true},
      {115, {76, 76, 4}, false},
      {120, {76, 76, 8}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const std::string input = Bytes(c.bytes);
    const std::string out = Base64EncodeWrapped(input);
    std::string joined;
    std::vector<std::size_t> lines;
    std::size_t start = 0;
    while (start < out.size()) {
      const std::size_t br = out.find("\r\n", start);
      const std::size_t end = br == std::string::npos ? out.size() : br;
      lines.push_back(end - start);
      joined += out.substr(start, end - start);
      start = br == std::string::npos ? out.size() : br + 2;
    }
    EXPECT_EQ(c.lines, lines);
    EXPECT_EQ(c.endsWithBreak, out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0);
    EXPECT_EQ(EvpBase64(input), joined);
  }
}

TEST(Base64EncodeWrapped, KnownTexts) {
  EXPECT_EQ("YWJj", Base64EncodeWrapped("abc"));
  EXPECT_EQ("YQ==", Base64EncodeWrapped("a"));
  EXPECT_EQ("YWI=", Base64EncodeWrapped("ab"));
  EXPECT_EQ("", Base64EncodeWrapped(""));
  EXPECT_EQ("+/8=", Base64EncodeWrapped("\xFB\xFF"));
}

TEST(Base64EncodeWrapped, AgreesWithLibcryptoForEveryLengthUpToFourLines) {
  for (std::size_t n = 0; n <= 4 * 57 + 3; ++n) {
    const std::string input = Bytes(n);
    std::string out = Base64EncodeWrapped(input);
    std::string unwrapped;
    for (std::size_t i = 0; i < out.size(); ++i) {
      if (out.compare(i, 2, "\r\n") == 0) {
        // a break closes a line of exactly 76 characters of complete groups
        ASSERT_EQ(0u, (unwrapped.size()) % 76) << n;
        ++i;
        continue;
      }
      unwrapped += out[i];
    }
    ASSERT_EQ(EvpBase64(input), unwrapped) << n;
    ASSERT_EQ((n / 3) * 4 / 76 * 2 + unwrapped.size(), out.size()) << n;
  }
}

TEST(PercentEncode, KeepsUnreservedAndEscapesEveryOtherByte) {
  const std::string unreserved =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz-._~";
  for (int b = 0; b < 256; ++b) {
    const std::string in(1, static_cast<char>(b));
    const bool keep = unreserved.find(static_cast<char>(b)) != std::string::npos && b != 0;
    char expected[4];
    std::snprintf(expected, sizeof expected, "%%%02X", b);
    EXPECT_EQ(keep ? in : std::string(expected), PercentEncode(in)) << b;
  }
  EXPECT_EQ("YWJj", PercentEncode("YWJj"));
  EXPECT_EQ("a%2Bb%2Fc%3D%0D%0A", PercentEncode("a+b/c=\r\n"));
}

TEST(EncryptReportPayload, EmptyTextIsOneBlockOfPadding) {
  const std::string payload = EncryptReportPayload("");
  const std::string base64 = PercentDecode(payload);
  ASSERT_EQ(12u, base64.size());
  EXPECT_EQ('=', base64.back());
  EXPECT_EQ("%3D", payload.substr(payload.size() - 3));
  EXPECT_EQ(std::string(8, '\x08'),
            EvpDecrypt(Base64Decode(base64), kEndpointKey, false));
}

TEST(EncryptReportPayload, SixteenByteTextGivesThirtyTwoCharactersWithoutBreak) {
  const std::string text = "0123456789abcdef";
  const std::string base64 = PercentDecode(EncryptReportPayload(text));
  EXPECT_EQ(32u, base64.size());
  EXPECT_EQ(std::string::npos, base64.find('\r'));
  EXPECT_EQ(24u, Base64Decode(base64).size());
  EXPECT_EQ(text, EvpDecrypt(Base64Decode(base64), kEndpointKey, true));
}

TEST(EncryptReportPayload, FixedReportDecryptsToItsStyledJson) {
  const std::string json =
      "{\n"
      "   \"code\" : 4001,\n"
      "   \"des\" : \"MOVE_FILE_FAILED\",\n"
      "   \"menuid\" : 10280,\n"
      "   \"pccid\" : \"abc\\n\",\n"
      "   \"pcclient\" : 11,\n"
      "   \"pcguid\" : \"N/A\",\n"
      "   \"pcos\" : \"6_1_0_64\",\n"
      "   \"pcvs\" : \"1.0.3\",\n"
      "   \"pcvs_b\" : \"2.2.0\",\n"
      "   \"success\" : \"0\",\n"
      "   \"ticket\" : -1,\n"
      "   \"type\" : 2,\n"
      "   \"uptovs\" : \"1.0.4\"\n"
      "}\n";
  const std::string payload = EncryptReportPayload(json);
  for (const char c : payload) {
    ASSERT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '%' || c == '-' ||
                c == '.' || c == '_' || c == '~')
        << c;
  }
  // 328 bytes of JSON: 336 cipher bytes, 448 Base64 characters in lines of 76 with breaks
  // after each of the five full lines, each break sent as %0D%0A.
  const std::string base64 = PercentDecode(payload);
  ASSERT_EQ(json.size() / 8 * 8 + 8, Base64Decode(base64).size());
  EXPECT_EQ(json, DecryptPayload(payload));
  EXPECT_NE(std::string::npos, payload.find("%0D%0A"));
  EXPECT_EQ(std::string::npos, payload.find('\n'));
}

}  // namespace
}  // namespace zr
