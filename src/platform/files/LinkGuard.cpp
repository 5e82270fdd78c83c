#include "platform/files/LinkGuard.h"

#include "platform/base/RunTimeError.h"

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace pelvar::files {

void refuseLinksBelow(const std::string& root, const std::string& path) {
    const fs::path base = fs::path(root).lexically_normal();
    const fs::path relative = fs::path(path).lexically_normal().lexically_relative(base);
    if (relative.empty() || *relative.begin() == "..") {
        throw RunTimeError(err::PathFileAccess,
                           "Path/File access error: " + path + " lies outside " + root, path);
    }
    fs::path current = base;
    for (const auto& piece : relative) {
        if (piece == ".") {
            continue;
        }
        current /= piece;
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0) {
            return; // nothing further down exists yet, so nothing further down is a link
        }
        if (S_ISLNK(st.st_mode)) {
            throw RunTimeError(err::PathFileAccess,
                               "Path/File access error: " + current.string() +
                                   " is a symbolic link",
                               current.string());
        }
    }
}

} // namespace pelvar::files
