// Reading an Ed25519 public key from its PEM form: base64 between the PEM lines, holding the
// key's fixed SubjectPublicKeyInfo prefix and the 32 key bytes.
#include <array>
#include <cstdint>

#include "platform/signature.h"

namespace kit::platform {

namespace {

constexpr std::string_view kBegin = "-----BEGIN PUBLIC KEY-----";
constexpr std::string_view kEnd = "-----END PUBLIC KEY-----";
// SEQUENCE { SEQUENCE { OID 1.3.101.112 (Ed25519) } BIT STRING (33 bytes: 0 unused bits + key) }
constexpr std::array<uint8_t, 12> kPrefix = {0x30, 0x2a, 0x30, 0x05, 0x06, 0x03, 0x2b, 0x65, 0x70, 0x03, 0x21, 0x00};

int base64_value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::optional<std::string> base64_decode(std::string_view text) {
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  size_t padding = 0;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    int v = base64_value(c);
    if (v < 0 || padding > 0) return std::nullopt;
    bits = (bits << 6) | static_cast<uint32_t>(v);
    if (++count == 4) {
      out += static_cast<char>((bits >> 16) & 0xff);
      out += static_cast<char>((bits >> 8) & 0xff);
      out += static_cast<char>(bits & 0xff);
      bits = 0;
      count = 0;
    }
  }
  if (count == 2) out += static_cast<char>((bits >> 4) & 0xff);
  if (count == 3) {
    out += static_cast<char>((bits >> 10) & 0xff);
    out += static_cast<char>((bits >> 2) & 0xff);
  }
  if (count == 1 || padding > 2) return std::nullopt;
  return out;
}

} // namespace

std::optional<std::string> ed25519_public_key_from_pem(std::string_view pem) {
  size_t begin = pem.find(kBegin);
  if (begin == std::string_view::npos) return std::nullopt;
  begin += kBegin.size();
  size_t end = pem.find(kEnd, begin);
  if (end == std::string_view::npos) return std::nullopt;
  std::optional<std::string> der = base64_decode(pem.substr(begin, end - begin));
  if (!der || der->size() != kPrefix.size() + kEd25519PublicKeySize) return std::nullopt;
  for (size_t i = 0; i < kPrefix.size(); ++i)
    if (static_cast<uint8_t>((*der)[i]) != kPrefix[i]) return std::nullopt;
  return der->substr(kPrefix.size());
}

} // namespace kit::platform
