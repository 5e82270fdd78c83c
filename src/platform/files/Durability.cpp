#include "platform/files/Durability.h"

#include "platform/base/RunTimeError.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace pelvar::files {
namespace {

class Descriptor {
  public:
    Descriptor(const std::string& path, int flags) : fd_(::open(path.c_str(), flags)) {
        if (fd_ < 0) {
            raiseFromErrno(errno, path);
        }
    }
    ~Descriptor() { ::close(fd_); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd() const { return fd_; }

  private:
    int fd_;
};

} // namespace

void syncFolder(const std::string& folder) {
    const Descriptor dir(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (::fsync(dir.fd()) != 0) {
        raiseFromErrno(errno, folder);
    }
}

void syncFileSystem(const std::string& path) {
    const Descriptor any(path, O_RDONLY | O_CLOEXEC);
    if (::syncfs(any.fd()) != 0) {
        raiseFromErrno(errno, path);
    }
}

} // namespace pelvar::files
