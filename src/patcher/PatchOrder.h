#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pelvar {

// The numeric pieces of a version text ("9.0.1.04" gives 9, 0, 1, 4); nothing when a piece is
// not a whole number or the text is empty.
std::optional<std::vector<long>> versionPieces(const std::string& version);

// The version of a patch archive name: the part after the edition prefix ("POS_" or "HO_")
// with "_" read as "." ("POS_9_0_1_04.zip" gives 9, 0, 1, 4); nothing for other names.
std::optional<std::vector<long>> patchNumberOf(const std::string& archiveName);

// Orders archive names by patch number, oldest first (for a stable sort, so that the last entry
// names the newest patch whatever file listed it). Names without a patch number come first.
bool patchNumberLess(const std::string& a, const std::string& b);

// Whether a patch is not newer than the installed version (the edition's "PatchVer"): such a
// patch was applied already and must not run its scripts again. An installed version that is
// empty or not numeric installs everything.
bool isNotAboveInstalled(const std::string& archiveName, const std::string& installedVersion);

} // namespace pelvar
