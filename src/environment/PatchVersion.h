#pragma once

#include <string>

namespace pelvar {

// The patch version a patch name carries: the name without its edition's prefix ("POS_" for
// Point of Sale, "HO_" for Head Office; any case, and only when the name starts with it),
// every "_" read as ".". "POS_9_0_1_05" gives "9.0.1.05".
std::string patchVersionOfName(const std::string& name, bool headOffice);

// The same for a patch file or an update entry's file field: trimmed, folder ("/" or "\") and
// extension dropped first.
std::string patchVersionOfFile(const std::string& path, bool headOffice);

} // namespace pelvar
