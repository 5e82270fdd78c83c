#pragma once

#include <optional>
#include <string>

namespace pelvar::crypto {

// Standard base64 with padding, as minisign writes it. Decoding refuses anything else.
std::string encodeBase64(const std::string& bytes);
std::optional<std::string> decodeBase64(const std::string& text);

} // namespace pelvar::crypto
