#include "settings/ScrambleLine.h"

namespace pelvar {
namespace {
constexpr unsigned char ScrambleMask = 0xB7;
}

std::string ScrambleLine(const std::string& line) {
    std::string out(line);
    for (auto& c : out) {
        c = static_cast<char>(static_cast<unsigned char>(c) ^ ScrambleMask);
    }
    return out;
}

} // namespace pelvar
