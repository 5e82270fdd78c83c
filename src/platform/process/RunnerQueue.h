#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace pelvar::runners {

// Batch runners that work in one folder run one after another, in the order they were started,
// so that an un-registration started before a registration also ends before it. Each runner
// holds an flock on a ticket file of its own (".batch-runners/<n>.lock" below the folder) for
// as long as it runs, and waits on the ticket of the runner started just before it. The starter
// takes the ticket's lock before the runner starts and hands the open file over to it: the lock
// is held from the first instant, and tickets are numbered under a lock of their own, so the
// order cannot depend on which runner the scheduler lets run first. The kernel drops a lock
// when its process ends, whatever the process id later becomes.

// How long a runner or a wizard run waits for the runners before it: registrations take
// well under a second, so this only ends a wait on a runner that hangs.
inline constexpr std::chrono::seconds DefaultWait{300};

// A ticket taken for a runner about to start.
class Ticket {
  public:
    // The folder's next ticket; nothing when its files cannot be made or locked.
    static std::optional<Ticket> take(const std::string& folder);

    Ticket(Ticket&& other) noexcept;
    Ticket& operator=(Ticket&&) = delete;
    Ticket(const Ticket&) = delete;
    Ticket& operator=(const Ticket&) = delete;
    ~Ticket();

    // Lets the next program started inherit the locked file (call right before starting it).
    void handOver() const;

    // The lock file the runner waits on before it runs (empty for the folder's first runner).
    const std::string& previous() const { return previous_; }

  private:
    Ticket(int fd, std::string previous) : fd_(fd), previous_(std::move(previous)) {}
    int fd_ = -1;
    std::string previous_;
};

// Waits until no process holds `lockFile` (a missing file holds nothing); false when one
// still does after `timeout`. `idle` runs between tries, so that a window can repaint.
bool waitForLockFile(const std::string& lockFile, std::chrono::milliseconds timeout,
                     const std::function<void()>& idle = {});

// A runner's wait for the one started before it (`Ticket::previous`), which clears that ticket
// once it is free; false when it is still held after `timeout`.
bool waitForTurn(const std::string& previous, std::chrono::milliseconds timeout);

// Waits for every runner started so far in `folder`, as `waitForLockFile` does.
bool waitForRunners(const std::string& folder, std::chrono::milliseconds timeout,
                    const std::function<void()>& idle = {});

} // namespace pelvar::runners
