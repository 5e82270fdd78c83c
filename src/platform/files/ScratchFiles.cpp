#include "platform/files/ScratchFiles.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace pelvar::scratch {

CreatedFile createUniqueFile(const std::string& stem, const std::string& suffix) {
    CreatedFile created;
    std::string pattern = stem + ".XXXXXX" + suffix;
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
    std::string pattern = stem + ".XXXXXX";
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

long long freeBytes(const std::string& path) {
    struct statvfs vfs {};
    if (::statvfs(path.c_str(), &vfs) != 0) {
        return -1;
    }
    return static_cast<long long>(vfs.f_bavail) * static_cast<long long>(vfs.f_frsize);
}

} // namespace pelvar::scratch
