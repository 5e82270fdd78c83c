#pragma once

#include "TempDir.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace pelvar::test {

// A program started by a test, with its output in a log file; ended by its PID when the
// object goes (SIGTERM, then SIGKILL after a bounded wait).
class ChildProcess {
  public:
    ChildProcess(const std::vector<std::string>& argv, const std::string& logFile);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    pid_t pid() const { return pid_; }
    void stop();

  private:
    pid_t pid_ = -1;
};

// A free TCP port on 127.0.0.1.
int freePort();
// Waits (at most `seconds`) until something accepts connections on 127.0.0.1:port.
bool waitForPort(int port, double seconds);

// lighttpd serving a folder on 127.0.0.1, optionally throttled to that many KiB/s per
// connection; its access log lines end in "STATUS BYTES" (bytes of the body sent).
class HttpServer {
  public:
    explicit HttpServer(const std::string& documentRoot, int kibPerSecond = 0);
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    int port() const { return port_; }
    std::string accessLog() const { return readFile(config_ / "access.log"); }
    void stop() { process_.reset(); }

  private:
    TempDir config_;
    int port_;
    std::unique_ptr<ChildProcess> process_;
};

// An FTP server (active and passive mode) with one user, serving a folder on 127.0.0.1;
// throttled, it logs each transfer as "RETR PATH completed=0|1 bytes=N".
class FtpServer {
  public:
    FtpServer(const std::string& root, const std::string& user, const std::string& password,
              int kibPerSecond = 0);
    int port() const { return port_; }
    std::string log() const { return readFile(logs_ / "ftp.log"); }
    void stop() { process_.reset(); }

  private:
    TempDir logs_;
    int port_;
    std::unique_ptr<ChildProcess> process_;
};

// The PostgreSQL cluster the test suite started (port file written by postgres.sh);
// 0 when none runs.
int postgresPort();
inline const char* postgresPassword() {
    return "secret";
}

// The source tree (for scripts the tests start).
std::string sourceDir();
// The folder of the built executables.
std::string binaryDir();

} // namespace pelvar::test
