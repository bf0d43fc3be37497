// Ed25519 detached signatures: the check that an update package is the maker's.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kit::platform {

constexpr size_t kEd25519PublicKeySize = 32;
constexpr size_t kEd25519SignatureSize = 64;

// The raw public key of a PEM text as `openssl pkey -pubout` writes it for an Ed25519 key;
// nothing for any other text.
std::optional<std::string> ed25519_public_key_from_pem(std::string_view pem);

// Whether signature is a valid Ed25519 signature of message by the raw public key. False
// for keys or signatures of the wrong size.
bool ed25519_verify(std::string_view public_key, std::string_view message, std::string_view signature);

} // namespace kit::platform
