#include "platform/process/RunnerQueue.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace pelvar::runners {
namespace {

std::string queueFolder(const std::string& folder) {
    return (std::filesystem::path(folder) / ".batch-runners").string();
}

std::string ticketFile(const std::string& queue, long long number) {
    return queue + "/" + std::to_string(number) + ".lock";
}

// A bounded wait on an flock: the kernel offers no timed flock, and a blocking one could only
// be cut short by a signal, which a library must not take from its host. Tries are cheap.
bool lockWithin(int fd, int operation, std::chrono::milliseconds timeout,
                const std::function<void()>& idle) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (::flock(fd, operation | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        if (idle) {
            idle();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class FileHandle {
  public:
    explicit FileHandle(int fd) : fd_(fd) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

// The number of the folder's last ticket (0 before the first); the counter file is locked.
long long lastTicket(int counterFd) {
    char buffer[32] = {};
    const ssize_t got = ::pread(counterFd, buffer, sizeof buffer - 1, 0);
    if (got <= 0) {
        return 0;
    }
    try {
        return std::stoll(std::string(buffer, static_cast<std::size_t>(got)));
    } catch (const std::exception&) {
        return 0;
    }
}

constexpr std::chrono::milliseconds CounterWait{10000};

} // namespace

std::optional<Ticket> Ticket::take(const std::string& folder) {
    const std::string queue = queueFolder(folder);
    std::error_code ec;
    std::filesystem::create_directories(queue, ec);
    const FileHandle counter(
        ::open((queue + "/last").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (counter.get() < 0 || !lockWithin(counter.get(), LOCK_EX, CounterWait, {})) {
        return std::nullopt;
    }
    const long long last = lastTicket(counter.get());
    const std::string own = ticketFile(queue, last + 1);
    const int fd = ::open(own.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        return std::nullopt;
    }
    Ticket ticket(fd, last > 0 ? ticketFile(queue, last) : std::string());
    const std::string number = std::to_string(last + 1);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(counter.get(), 0) != 0 ||
        ::pwrite(counter.get(), number.data(), number.size(), 0) !=
            static_cast<ssize_t>(number.size())) {
        return std::nullopt;
    }
    return ticket;
}

Ticket::Ticket(Ticket&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), previous_(std::move(other.previous_)) {}

Ticket::~Ticket() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void Ticket::handOver() const {
    ::fcntl(fd_, F_SETFD, 0);
}

bool waitForLockFile(const std::string& lockFile, std::chrono::milliseconds timeout,
                     const std::function<void()>& idle) {
    const FileHandle file(::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (file.get() < 0) {
        // No file, no holder: the runner ended and the one after it already cleared its ticket.
        return errno == ENOENT;
    }
    // Shared: a wizard run and the next runner may wait on the same ticket at once.
    return lockWithin(file.get(), LOCK_SH, timeout, idle);
}

bool waitForTurn(const std::string& previous, std::chrono::milliseconds timeout) {
    if (previous.empty()) {
        return true;
    }
    if (!waitForLockFile(previous, timeout)) {
        return false;
    }
    // Its runner has ended: the ticket is no longer needed by anyone.
    std::error_code ec;
    std::filesystem::remove(previous, ec);
    return true;
}

bool waitForRunners(const std::string& folder, std::chrono::milliseconds timeout,
                    const std::function<void()>& idle) {
    // Every ticket still there: the last runner waits for the others, but one whose start
    // failed or whose wait ended may have left an earlier runner going.
    std::error_code ec;
    std::vector<std::string> tickets;
    for (const auto& entry : std::filesystem::directory_iterator(queueFolder(folder), ec)) {
        if (entry.path().extension() == ".lock") {
            tickets.push_back(entry.path().string());
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (const auto& ticket : tickets) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (!waitForLockFile(ticket, std::max(left, std::chrono::milliseconds(0)), idle)) {
            return false;
        }
    }
    return true;
}

} // namespace pelvar::runners
