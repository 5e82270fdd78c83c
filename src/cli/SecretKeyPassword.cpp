#include "cli/SecretKeyPassword.h"

#include "platform/files/Files.h"

#include <cstdio>
#include <fcntl.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace pelvar::cli {
namespace {

constexpr long long MaxPasswordBytes = 4096;

std::string firstLine(const std::string& text) {
    const auto end = text.find_first_of("\r\n");
    return end == std::string::npos ? text : text.substr(0, end);
}

std::string readFromTerminal() {
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0) {
        throw std::runtime_error("the secret key is encrypted: give --password-file");
    }
    termios saved{};
    const bool isTerminal = ::tcgetattr(tty, &saved) == 0;
    if (isTerminal) {
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    const char prompt[] = "Password: ";
    [[maybe_unused]] const auto shown = ::write(tty, prompt, sizeof prompt - 1);
    std::string password;
    char c = 0;
    while (password.size() < MaxPasswordBytes && ::read(tty, &c, 1) == 1 && c != '\n') {
        password += c;
    }
    if (isTerminal) {
        ::tcsetattr(tty, TCSAFLUSH, &saved);
    }
    [[maybe_unused]] const auto newline = ::write(tty, "\n", 1);
    ::close(tty);
    return firstLine(password);
}

} // namespace

std::string secretKeyPassword(const std::string& passwordFile) {
    if (!passwordFile.empty()) {
        return firstLine(files::readAllBounded(passwordFile, MaxPasswordBytes));
    }
    return readFromTerminal();
}

} // namespace pelvar::cli
