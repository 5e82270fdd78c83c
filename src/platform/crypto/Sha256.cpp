#include "platform/crypto/Sha256.h"

#include <cstdio>
#include <openssl/evp.h>
#include <vector>

namespace pelvar::crypto {

struct Sha256::Impl {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~Impl() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) {
    EVP_DigestInit_ex(impl_->context, EVP_sha256(), nullptr);
}

Sha256::~Sha256() = default;

void Sha256::update(const void* data, std::size_t size) {
    EVP_DigestUpdate(impl_->context, data, size);
}

std::string Sha256::hexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(impl_->context, digest, &length);
    EVP_DigestInit_ex(impl_->context, EVP_sha256(), nullptr);
    static const char* const Hex = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += Hex[digest[i] >> 4];
        out += Hex[digest[i] & 15];
    }
    return out;
}

FileDigest sha256OfFile(const std::string& path) {
    FileDigest result;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return result;
    }
    Sha256 hasher;
    std::vector<char> buffer(1 << 20);
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        hasher.update(buffer.data(), n);
        result.size += static_cast<long long>(n);
    }
    result.ok = !std::ferror(file);
    std::fclose(file);
    result.sha256 = hasher.hexDigest();
    return result;
}

std::string sha256OfBytes(const std::string& bytes) {
    Sha256 hasher;
    hasher.update(bytes.data(), bytes.size());
    return hasher.hexDigest();
}

} // namespace pelvar::crypto
