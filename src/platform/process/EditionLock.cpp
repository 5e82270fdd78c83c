#include "platform/process/EditionLock.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace pelvar {

std::optional<EditionLock> EditionLock::tryAcquire(const std::string& lockFile) {
    std::error_code ec;
    const std::string folder = std::filesystem::path(lockFile).parent_path().string();
    if (std::filesystem::create_directories(folder, ec)) {
        // Runs of every account share the folder, as they share /run/lock itself.
        ::chmod(folder.c_str(), 01777);
    }
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        // A lock folder this account cannot use is no reason to refuse the download itself.
        return EditionLock(-1);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    return EditionLock(fd);
}

EditionLock::EditionLock(EditionLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

EditionLock& EditionLock::operator=(EditionLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

EditionLock::~EditionLock() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::string editionLockFile(const std::string& lockFolder, const std::string& edition,
                            const std::string& downloadFolder) {
    // The folder goes into the name as a hash: it may hold any character. FNV-1a, 64 bits.
    std::error_code ec;
    std::string folder = std::filesystem::weakly_canonical(downloadFolder, ec).string();
    if (ec) {
        folder = downloadFolder;
    }
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    std::uint64_t hash = 14695981039346656037ULL;
    for (const unsigned char c : folder) {
        hash = (hash ^ c) * 1099511628211ULL;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    std::string name;
    for (const char c : edition) {
        name += (std::isalnum(static_cast<unsigned char>(c)) != 0) ? c : '-';
    }
    return lockFolder + "/download-" + name + "-" + hex + ".lock";
}

std::string productLockFile(const std::string& productFolder) {
    std::string folder = productFolder;
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder + "/.liveupdate-apply.lock";
}

} // namespace pelvar
