#pragma once

#include <filesystem>
#include <optional>
#include <string>

// Temporary files and folders next to the files they stand in for. A download folder may be
// writable by others, so every scratch name is fresh (random suffix), created exclusively and
// never through a symbolic link.
namespace pelvar::scratch {

// Every scratch name carries this marker and six random characters, so that a later run can
// tell its leftovers from the product's own files.
inline constexpr const char* Marker = ".lutmp.";

// An open, exclusively created file "<stem>.lutmp.XXXXXX<suffix>" (mode 644); fd -1 on failure,
// with `error` holding errno.
struct CreatedFile {
    int fd = -1;
    std::string path;
    int error = 0;
};
CreatedFile createUniqueFile(const std::string& stem, const std::string& suffix);

// A fresh folder "<stem>.lutmp.XXXXXX"; nothing when it cannot be made.
std::optional<std::string> createUniqueFolder(const std::string& stem);

// Whether the path itself is a symbolic link (the link is not followed).
bool isLink(const std::string& path);

// Whether a file name is one of our scratch names.
bool isScratchName(const std::string& name);

// Removes the scratch files and folders directly in `folder` last written before `before`
// (a killed run's leftovers; one may hold a password). Links are removed, not followed.
// Returns how many went.
int removeStale(const std::string& folder, std::filesystem::file_time_type before);

// Bytes an unprivileged writer may still put on the file system holding `path`; -1 when unknown.
long long freeBytes(const std::string& path);

} // namespace pelvar::scratch
