#include "platform/crypto/MinisignKeys.h"

#include "platform/crypto/Base64.h"

#include <algorithm>
#include <cstring>
#include <sodium.h>
#include <vector>

namespace pelvar::crypto {
namespace {

constexpr std::size_t PublicKeyBytes = 2 + 8 + 32;
// Algorithm, KDF, checksum algorithm, salt, opslimit, memlimit, then id + key + checksum.
constexpr std::size_t SecretKeyBytes = 2 + 2 + 2 + 32 + 8 + 8 + 8 + 64 + 32;
constexpr std::size_t SaltAt = 6;
constexpr std::size_t OpsAt = 38;
constexpr std::size_t MemAt = 46;
constexpr std::size_t SecretAt = 54;
constexpr std::size_t SecretLength = 8 + 64 + 32;

std::uint64_t le64(const std::uint8_t* p) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = (value << 8) | p[i];
    }
    return value;
}

// The line holding the key: the first one that is not a comment.
std::string keyLine(const std::string& fileText) {
    std::size_t start = 0;
    while (start < fileText.size()) {
        std::size_t end = fileText.find('\n', start);
        if (end == std::string::npos) {
            end = fileText.size();
        }
        std::string line = fileText.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line.rfind("untrusted comment:", 0) != 0) {
            return line;
        }
        start = end + 1;
    }
    return {};
}

// BLAKE2b-256 over algorithm, id and key: how minisign tells a good decryption from a bad one.
std::array<std::uint8_t, 32> keyChecksum(const std::uint8_t* algorithm,
                                         const std::uint8_t* idAndKey) {
    std::array<std::uint8_t, 32> sum{};
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, sum.size());
    crypto_generichash_update(&state, algorithm, 2);
    crypto_generichash_update(&state, idAndKey, 8 + 64);
    crypto_generichash_final(&state, sum.data(), sum.size());
    return sum;
}

} // namespace

bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

std::string keyIdText(const KeyId& id) {
    static const char* const Hex = "0123456789ABCDEF";
    std::string out;
    for (int i = 7; i >= 0; --i) {
        out += Hex[id[static_cast<std::size_t>(i)] >> 4];
        out += Hex[id[static_cast<std::size_t>(i)] & 15];
    }
    // minisign prints the number without leading zeros ("%llX"); so must we, or an admin
    // comparing the two would see different ids for one key in sixteen.
    out.erase(0, std::min(out.find_first_not_of('0'), out.size() - 1));
    return out;
}

std::optional<PublicKey> parsePublicKey(const std::string& fileText) {
    const auto bytes = decodeBase64(keyLine(fileText));
    if (!bytes || bytes->size() != PublicKeyBytes || (*bytes)[0] != 'E' || (*bytes)[1] != 'd') {
        return std::nullopt;
    }
    PublicKey key;
    std::memcpy(key.id.data(), bytes->data() + 2, key.id.size());
    std::memcpy(key.key.data(), bytes->data() + 10, key.key.size());
    return key;
}

std::string publicKeyFileText(const PublicKey& key) {
    std::string bytes = "Ed";
    bytes.append(reinterpret_cast<const char*>(key.id.data()), key.id.size());
    bytes.append(reinterpret_cast<const char*>(key.key.data()), key.key.size());
    return "untrusted comment: minisign public key " + keyIdText(key.id) + "\n" +
           encodeBase64(bytes) + "\n";
}

SecretKey::~SecretKey() {
    sodium_memzero(key.data(), key.size());
}

PublicKey SecretKey::publicKey() const {
    PublicKey pub;
    pub.id = id;
    crypto_sign_ed25519_sk_to_pk(pub.key.data(), key.data());
    return pub;
}

bool secretKeyIsEncrypted(const std::string& fileText) {
    const auto bytes = decodeBase64(keyLine(fileText));
    return bytes && bytes->size() == SecretKeyBytes && (*bytes)[2] == 'S' && (*bytes)[3] == 'c';
}

SecretKeyResult parseSecretKey(const std::string& fileText, const std::string& password) {
    SecretKeyResult result;
    if (!sodiumReady()) {
        result.error = "the cryptography library cannot start";
        return result;
    }
    auto bytes = decodeBase64(keyLine(fileText));
    if (!bytes || bytes->size() != SecretKeyBytes || (*bytes)[0] != 'E' || (*bytes)[1] != 'd' ||
        (*bytes)[4] != 'B' || (*bytes)[5] != '2') {
        result.error = "not a minisign Ed25519 secret key";
        return result;
    }
    auto* raw = reinterpret_cast<std::uint8_t*>(bytes->data());
    const bool encrypted = raw[2] == 'S' && raw[3] == 'c';
    if (!encrypted && (raw[2] != 0 || raw[3] != 0)) {
        result.error = "unknown key encryption";
        return result;
    }
    if (encrypted) {
        std::vector<std::uint8_t> stream(SecretLength);
        if (crypto_pwhash_scryptsalsa208sha256(stream.data(), stream.size(), password.data(),
                                               password.size(), raw + SaltAt, le64(raw + OpsAt),
                                               static_cast<std::size_t>(le64(raw + MemAt))) != 0) {
            result.error = "not enough memory to decrypt the key";
            return result;
        }
        for (std::size_t i = 0; i < SecretLength; ++i) {
            raw[SecretAt + i] ^= stream[i];
        }
        sodium_memzero(stream.data(), stream.size());
    }
    const auto sum = keyChecksum(raw, raw + SecretAt);
    const std::uint8_t* stored = raw + SecretAt + 8 + 64;
    const bool blank = std::all_of(stored, stored + 32, [](std::uint8_t b) { return b == 0; });
    // minisign leaves the checksum of an unencrypted key empty.
    if (!(blank && !encrypted) && sodium_memcmp(sum.data(), stored, sum.size()) != 0) {
        result.error = encrypted ? "wrong password for the secret key"
                                 : "the secret key's checksum does not match";
        sodium_memzero(bytes->data(), bytes->size());
        return result;
    }
    SecretKey key;
    std::memcpy(key.id.data(), raw + SecretAt, key.id.size());
    std::memcpy(key.key.data(), raw + SecretAt + 8, key.key.size());
    sodium_memzero(bytes->data(), bytes->size());
    result.key = key;
    return result;
}

} // namespace pelvar::crypto
