#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Key files in the minisign format (Ed25519), so that keys made with `minisign -G` work here
// and ours work there.
namespace pelvar::crypto {

using KeyId = std::array<std::uint8_t, 8>;

// The key id as minisign prints it: the id read as a little-endian number, in upper-case hex
// without leading zeros (at most 16 digits).
std::string keyIdText(const KeyId& id);

struct PublicKey {
    KeyId id{};
    std::array<std::uint8_t, 32> key{};
};

// Parses a ".pub" file: an "untrusted comment:" line, then the base64 key line. A bare key
// line is accepted too. Nothing when it is not an Ed25519 minisign public key.
std::optional<PublicKey> parsePublicKey(const std::string& fileText);

// The ".pub" file text of a key.
std::string publicKeyFileText(const PublicKey& key);

struct SecretKey {
    KeyId id{};
    std::array<std::uint8_t, 64> key{}; // Ed25519 seed and public key, as libsodium keeps them
    ~SecretKey();
    PublicKey publicKey() const;
};

// Outcome of reading a secret key: the key, or why not.
struct SecretKeyResult {
    std::optional<SecretKey> key;
    std::string error;
};

// Whether the key file is encrypted (a password is needed to use it).
bool secretKeyIsEncrypted(const std::string& fileText);

// Parses a secret key file, decrypting it with the password (scrypt, as minisign does) when
// it is encrypted. A wrong password shows as a failed checksum.
SecretKeyResult parseSecretKey(const std::string& fileText, const std::string& password);

// Makes sure libsodium is initialised; false when it cannot be.
bool sodiumReady();

} // namespace pelvar::crypto
