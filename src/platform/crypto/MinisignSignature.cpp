#include "platform/crypto/MinisignSignature.h"

#include "platform/crypto/Base64.h"

#include <cstring>
#include <sodium.h>
#include <vector>

namespace pelvar::crypto {
namespace {

const char* const UntrustedPrefix = "untrusted comment: ";
const char* const TrustedPrefix = "trusted comment: ";

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        out.push_back(line);
        start = end + 1;
    }
    return out;
}

std::array<std::uint8_t, 64> prehash(const std::string& message) {
    std::array<std::uint8_t, 64> hash{};
    crypto_generichash(hash.data(), hash.size(),
                       reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                       nullptr, 0);
    return hash;
}

// What the comment signature covers: the file signature followed by the comment.
std::string commentMessage(const Signature& signature) {
    std::string bytes(reinterpret_cast<const char*>(signature.signature.data()),
                      signature.signature.size());
    return bytes + signature.trustedComment;
}

} // namespace

SignatureParse parseSignature(const std::string& fileText) {
    SignatureParse result;
    if (static_cast<long long>(fileText.size()) > MaxSignatureFileBytes) {
        result.error = "larger than 4 KiB";
        return result;
    }
    const auto all = lines(fileText);
    if (all.size() < 4 || all[0].rfind(UntrustedPrefix, 0) != 0 ||
        all[2].rfind(TrustedPrefix, 0) != 0) {
        result.error = "not in the minisign format";
        return result;
    }
    const auto body = decodeBase64(all[1]);
    const auto global = decodeBase64(all[3]);
    if (!body || body->size() != 2 + 8 + 64 || !global || global->size() != 64) {
        result.error = "not in the minisign format";
        return result;
    }
    if (body->compare(0, 2, "ED") != 0) {
        result.error = "not a prehashed (ED) signature";
        return result;
    }
    Signature signature;
    std::memcpy(signature.keyId.data(), body->data() + 2, 8);
    std::memcpy(signature.signature.data(), body->data() + 10, 64);
    std::memcpy(signature.commentSignature.data(), global->data(), 64);
    signature.trustedComment = all[2].substr(std::strlen(TrustedPrefix));
    result.signature = signature;
    return result;
}

bool verifySignature(const PublicKey& key, const Signature& signature, const std::string& message) {
    if (!sodiumReady() || key.id != signature.keyId) {
        return false;
    }
    const auto hash = prehash(message);
    if (crypto_sign_verify_detached(signature.signature.data(), hash.data(), hash.size(),
                                    key.key.data()) != 0) {
        return false;
    }
    const std::string covered = commentMessage(signature);
    return crypto_sign_verify_detached(signature.commentSignature.data(),
                                       reinterpret_cast<const unsigned char*>(covered.data()),
                                       covered.size(), key.key.data()) == 0;
}

std::string signMessage(const SecretKey& key, const std::string& message,
                        const std::string& trustedComment) {
    sodiumReady();
    Signature signature;
    signature.keyId = key.id;
    signature.trustedComment = trustedComment;
    const auto hash = prehash(message);
    crypto_sign_detached(signature.signature.data(), nullptr, hash.data(), hash.size(),
                         key.key.data());
    const std::string covered = commentMessage(signature);
    crypto_sign_detached(signature.commentSignature.data(), nullptr,
                         reinterpret_cast<const unsigned char*>(covered.data()), covered.size(),
                         key.key.data());
    std::string body = "ED";
    body.append(reinterpret_cast<const char*>(key.id.data()), key.id.size());
    body.append(reinterpret_cast<const char*>(signature.signature.data()), 64);
    const std::string global(reinterpret_cast<const char*>(signature.commentSignature.data()), 64);
    return std::string(UntrustedPrefix) + "signature from minisign secret key\n" +
           encodeBase64(body) + "\n" + TrustedPrefix + trustedComment + "\n" +
           encodeBase64(global) + "\n";
}

} // namespace pelvar::crypto
