// Ed25519 verification through OpenSSL's EVP interface.
#include <openssl/evp.h>

#include <memory>

#include "platform/signature.h"

namespace kit::platform {

bool ed25519_verify(std::string_view public_key, std::string_view message, std::string_view signature) {
  if (public_key.size() != kEd25519PublicKeySize || signature.size() != kEd25519SignatureSize) return false;
  std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(
      EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(public_key.data()),
                                  public_key.size()),
      EVP_PKEY_free);
  if (!key) return false;
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) return false;
  return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                          reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
}

} // namespace kit::platform
