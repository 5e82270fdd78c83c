#pragma once

#include <optional>
#include <string>

namespace pelvar {

// An exclusive advisory lock (flock) on a lock file, held until the object goes. The kernel
// drops it when the process dies, so a killed run never blocks the next one.
class EditionLock {
  public:
    // Takes the lock without waiting; nothing when another process holds it. The lock file's
    // folder is created when missing; when the lock file cannot be opened at all the result
    // holds no lock, so that the run is not refused for it.
    static std::optional<EditionLock> tryAcquire(const std::string& lockFile);

    EditionLock(EditionLock&& other) noexcept;
    EditionLock& operator=(EditionLock&& other) noexcept;
    EditionLock(const EditionLock&) = delete;
    EditionLock& operator=(const EditionLock&) = delete;
    ~EditionLock();

  private:
    explicit EditionLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// The lock file of one edition's runs into one download folder, below `lockFolder`.
std::string editionLockFile(const std::string& lockFolder, const std::string& edition,
                            const std::string& downloadFolder);

// The lock file of every update run on one product folder, whatever its download folder: two
// runs on one installation would resume each other's progress and run scripts twice.
std::string productLockFile(const std::string& productFolder);

} // namespace pelvar
