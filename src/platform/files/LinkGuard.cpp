#include "platform/files/LinkGuard.h"

#include "platform/base/RunTimeError.h"

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace pelvar::files {
namespace {

[[noreturn]] void raiseLink(const std::string& path) {
    throw RunTimeError(err::PathFileAccess,
                       "Path/File access error: " + path + " is a symbolic link", path);
}

} // namespace

void refuseLink(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        raiseLink(path);
    }
}

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
            raiseLink(current.string());
        }
    }
}

} // namespace pelvar::files
