#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace pelvar::test {

using ZipEntries = std::vector<std::pair<std::string, std::string>>;

// Writes a real archive with libzip (creating its folder); stored entries keep their bytes
// where a test can flip them.
void makeZip(const std::string& path, const ZipEntries& entries, bool stored = false);
// Name and content of every entry; throws when the archive is missing or inconsistent.
std::map<std::string, std::string> zipContents(const std::string& path);

} // namespace pelvar::test
