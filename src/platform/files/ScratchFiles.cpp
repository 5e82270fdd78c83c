#include "platform/files/ScratchFiles.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace pelvar::scratch {

CreatedFile createUniqueFile(const std::string& stem, const std::string& suffix) {
    CreatedFile created;
    std::string pattern = stem + Marker + "XXXXXX" + suffix;
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    // mkostemps opens with O_CREAT|O_EXCL: an existing name, a link included, is never reused.
    const int fd = ::mkostemps(buffer.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    if (fd < 0) {
        created.error = errno;
        return created;
    }
    // Archives are ordinary files of the folder, readable like the ones copied in by hand.
    static_cast<void>(::fchmod(fd, 0644));
    created.fd = fd;
    created.path = buffer.data();
    return created;
}

std::optional<std::string> createUniqueFolder(const std::string& stem) {
    std::string pattern = stem + Marker + "XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        return std::nullopt;
    }
    return std::string(buffer.data());
}

bool isLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool isScratchName(const std::string& name) {
    const auto at = name.find(Marker);
    if (at == std::string::npos || at == 0) {
        return false;
    }
    const std::string random = name.substr(at + std::string(Marker).size(), 6);
    if (random.size() != 6) {
        return false;
    }
    for (const char c : random) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

int removeStale(const std::string& folder, std::filesystem::file_time_type before) {
    namespace fs = std::filesystem;
    int removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const auto status = it->symlink_status(ec);
        if (ec || !isScratchName(it->path().filename().string())) {
            continue;
        }
        // A link is removed itself, never what it points at.
        const auto written = fs::is_symlink(status) ? before : it->last_write_time(ec);
        if (ec || written >= before) {
            continue; // another run's scratch, still in use
        }
        std::error_code gone;
        fs::remove_all(it->path(), gone);
        removed += gone ? 0 : 1;
    }
    return removed;
}

long long freeBytes(const std::string& path) {
    struct statvfs vfs {};
    if (::statvfs(path.c_str(), &vfs) != 0) {
        return -1;
    }
    return static_cast<long long>(vfs.f_bavail) * static_cast<long long>(vfs.f_frsize);
}

} // namespace pelvar::scratch
