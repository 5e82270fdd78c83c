#pragma once

#include <string>

namespace pelvar {

// Scrambles one line of a location file or an update-information entry; the same call
// unscrambles it. The mask has its top bit set, so ASCII never becomes CR or LF.
std::string ScrambleLine(const std::string& line);

} // namespace pelvar
