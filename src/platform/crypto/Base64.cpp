#include "platform/crypto/Base64.h"

#include "platform/crypto/MinisignKeys.h"

#include <sodium.h>

namespace pelvar::crypto {

std::string encodeBase64(const std::string& bytes) {
    sodiumReady();
    std::string out(sodium_base64_encoded_len(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                      bytes.size(), sodium_base64_VARIANT_ORIGINAL);
    out.resize(out.size() - 1); // the terminating NUL
    return out;
}

std::optional<std::string> decodeBase64(const std::string& text) {
    if (!sodiumReady() || text.empty()) {
        return std::nullopt;
    }
    std::string out(text.size(), '\0');
    std::size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(reinterpret_cast<unsigned char*>(out.data()), out.size(), text.data(),
                          text.size(), nullptr, &length, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != text.data() + text.size()) {
        return std::nullopt;
    }
    out.resize(length);
    return out;
}

} // namespace pelvar::crypto
