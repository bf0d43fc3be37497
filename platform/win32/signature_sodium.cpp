// Ed25519 verification through libsodium (there is no OpenSSL for this build).
#include <sodium.h>

#include "platform/signature.h"

namespace kit::platform {

bool ed25519_verify(std::string_view public_key, std::string_view message, std::string_view signature) {
  if (public_key.size() != kEd25519PublicKeySize || signature.size() != kEd25519SignatureSize) return false;
  static const bool ready = sodium_init() >= 0;
  if (!ready) return false;
  return crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature.data()),
                                     reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                                     reinterpret_cast<const unsigned char*>(public_key.data())) == 0;
}

} // namespace kit::platform
