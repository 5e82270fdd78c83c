#include "Servers.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace pelvar::test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& logFile) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        throw std::runtime_error("cannot start " + argv.front());
    }
}

ChildProcess::~ChildProcess() {
    stop();
}

void ChildProcess::stop() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        throw std::runtime_error("no free port");
    }
    ::close(fd);
    return ntohs(addr.sin_port);
}

bool waitForPort(int port, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        if (ok) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

HttpServer::HttpServer(const std::string& documentRoot, int kibPerSecond) : port_(freePort()) {
    const std::string conf = config_ / "lighttpd.conf";
    writeFile(conf,
              "server.bind = \"127.0.0.1\"\n"
              "server.port = " +
                  std::to_string(port_) +
                  "\n"
                  "server.document-root = \"" +
                  documentRoot +
                  "\"\n"
                  "server.errorlog = \"" +
                  (config_ / "error.log") +
                  "\"\n"
                  "mimetype.assign = ( \"\" => \"application/octet-stream\" )\n"
                  // Tests rewrite served files within one second: no stale sizes.
                  "server.stat-cache-engine = \"disable\"\n"
                  "server.modules += (\"mod_accesslog\")\n"
                  "accesslog.format = \"%r %s %b\"\n"
                  "accesslog.filename = \"" +
                  (config_ / "access.log") + "\"\n" +
                  (kibPerSecond > 0
                       ? "connection.kbytes-per-second = " + std::to_string(kibPerSecond) + "\n"
                       : std::string()));
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/sbin/lighttpd", "-D", "-f", conf}, config_ / "out.log");
    if (!waitForPort(port_, 10)) {
        throw std::runtime_error("lighttpd did not start: " + readFile(config_ / "out.log"));
    }
}

FtpServer::FtpServer(const std::string& root, const std::string& user, const std::string& password,
                     int kibPerSecond)
    : port_(freePort()) {
    std::vector<std::string> argv{"/usr/bin/python3",
                                  sourceDir() + "/scripts/ftp_server.py",
                                  std::to_string(port_),
                                  root,
                                  user,
                                  password};
    if (kibPerSecond > 0) {
        argv.push_back(std::to_string(kibPerSecond));
    }
    process_ = std::make_unique<ChildProcess>(argv, logs_ / "ftp.log");
    if (!waitForPort(port_, 10)) {
        throw std::runtime_error("FTP server did not start: " + readFile(logs_ / "ftp.log"));
    }
}

int postgresPort() {
    std::ifstream in(std::string(PELVAR_TEST_PG_STATE) + "/port");
    int port = 0;
    in >> port;
    return port;
}

std::string sourceDir() {
    return PELVAR_TEST_SOURCE_DIR;
}
std::string binaryDir() {
    return PELVAR_TEST_BIN_DIR;
}

} // namespace pelvar::test
