#pragma once

#include "platform/crypto/MinisignKeys.h"

#include <array>
#include <optional>
#include <string>

// Detached signatures in the minisign format: an Ed25519 signature over the BLAKE2b-512 hash
// of the file ("ED"), and a second signature binding the trusted comment to the first.
namespace pelvar::crypto {

// A ".minisig" file is four short lines; anything bigger is not one.
inline constexpr long long MaxSignatureFileBytes = 4096;

struct Signature {
    KeyId keyId{};
    std::array<std::uint8_t, 64> signature{};
    std::string trustedComment;
    std::array<std::uint8_t, 64> commentSignature{};
};

// Outcome of reading a ".minisig": the signature, or why it is not one we accept. Only the
// prehashed algorithm is accepted.
struct SignatureParse {
    std::optional<Signature> signature;
    std::string error;
};
SignatureParse parseSignature(const std::string& fileText);

// Whether both the file's signature and the trusted comment's verify with the key (whose id
// must be the signature's).
bool verifySignature(const PublicKey& key, const Signature& signature, const std::string& message);

// The ".minisig" text for the message, signed with the key, carrying the trusted comment.
std::string signMessage(const SecretKey& key, const std::string& message,
                        const std::string& trustedComment);

} // namespace pelvar::crypto
