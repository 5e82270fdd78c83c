#pragma once

#include <string>

namespace pelvar::cli {

// The password of an encrypted secret key: the first line of `passwordFile` when given, else
// typed at the terminal without echo. Never logged or printed.
std::string secretKeyPassword(const std::string& passwordFile);

} // namespace pelvar::cli
