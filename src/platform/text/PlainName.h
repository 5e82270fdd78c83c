#pragma once

#include <string>

namespace pelvar {

// Whether a name from a server or an archive may become a file name in a folder of ours: not
// empty, not "." or "..", no "/" or "\", no drive prefix ("C:"), no control character
// (CR, LF and NUL included).
bool isPlainFileName(const std::string& name);

} // namespace pelvar
