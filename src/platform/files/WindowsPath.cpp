#include "platform/files/WindowsPath.h"

#include "platform/base/RunTimeError.h"
#include "platform/files/SandboxPaths.h"
#include "platform/text/Text.h"

#include <cctype>

namespace pelvar {

bool isDriveLetterPath(const std::string& value) {
    return value.size() >= 2 && std::isalpha(static_cast<unsigned char>(value[0])) != 0 &&
           value[1] == ':';
}

std::string nativePath(const SandboxPaths& paths, const std::string& value,
                       const std::string& source) {
    const std::string trimmed = text::trim(value);
    if (trimmed.empty()) {
        return {};
    }
    const std::string named = source + " \"" + trimmed + "\"";
    if (text::startsWith(trimmed, "\\\\") || text::startsWith(trimmed, "//")) {
        throw RunTimeError(err::PathNotFound,
                           named + " is a network path; give a drive-letter or a local folder "
                                   "(a share is mounted first and named by its mount point)",
                           source);
    }
    if (isDriveLetterPath(trimmed)) {
        std::string rest = text::replaceAll(trimmed.substr(2), "\\", "/");
        if (rest.empty() || rest.front() != '/') {
            // "C:Pelvar9" is relative to the drive's current folder, which nothing here knows.
            throw RunTimeError(err::PathNotFound, named + " is relative to its drive", source);
        }
        return paths.drive(trimmed[0]) + rest;
    }
    if (trimmed.front() != '/') {
        throw RunTimeError(err::PathNotFound,
                           named + " is a relative path; give a drive-letter or an absolute one",
                           source);
    }
    return trimmed;
}

std::string windowsForm(const SandboxPaths& paths, const std::string& native) {
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        const std::string root = paths.drive(letter);
        if (native == root || text::startsWith(native, root + "/")) {
            const std::string rest = native.substr(root.size());
            return std::string(1, static_cast<char>(letter - 'a' + 'A')) + ":" +
                   text::replaceAll(rest.empty() ? "/" : rest, "/", "\\");
        }
    }
    return native;
}

} // namespace pelvar
