// MD5 through the system's cryptography interface (CNG).
#include "platform/digest.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstdio>

namespace kit::platform {

std::string md5_hex(std::string_view bytes) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0))) return {};
  unsigned char digest[16];
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
  // The input is fed in pieces a ULONG can count.
  for (size_t at = 0; ok && at < bytes.size(); at += 0x40000000) {
    size_t piece = bytes.size() - at < 0x40000000 ? bytes.size() - at : 0x40000000;
    ok = BCRYPT_SUCCESS(::BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data() + at)),
                                         static_cast<ULONG>(piece), 0));
  }
  ok = ok && BCRYPT_SUCCESS(::BCryptFinishHash(hash, digest, sizeof digest, 0));
  if (hash) ::BCryptDestroyHash(hash);
  ::BCryptCloseAlgorithmProvider(algorithm, 0);
  if (!ok) return {};
  std::string hex;
  char pair[3];
  for (unsigned char b : digest) {
    std::snprintf(pair, sizeof pair, "%02x", b);
    hex += pair;
  }
  return hex;
}

} // namespace kit::platform
