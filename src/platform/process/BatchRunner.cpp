#include "platform/process/BatchRunner.h"

#include "platform/registry/ComponentRegistry.h"
#include "platform/files/Files.h"
#include "platform/base/RunTimeError.h"
#include "platform/text/Text.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

namespace pelvar::batch {
namespace {

// Tab and CR are blanks here too: the files end their lines with CR LF.
std::string trimLine(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.pop_back();
    }
    std::size_t start = 0;
    while (start < s.size() && (s[start] == ' ' || s[start] == '\t')) {
        ++start;
    }
    return s.substr(start);
}

bool cutSuffix(std::string& s, std::string_view suffix) {
    if (s.size() < suffix.size() ||
        !text::equalsIgnoringCase(std::string_view(s).substr(s.size() - suffix.size()), suffix)) {
        return false;
    }
    s.erase(s.size() - suffix.size());
    return true;
}

std::string componentPath(std::string path) {
    path = trimLine(path);
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
        path = path.substr(1, path.size() - 2);
    }
    return text::replaceAll(path, "\\", "/");
}

bool applyRegistration(const std::string& rawPath, bool registering, RegistryStore& registry,
                       std::ostream& err) {
    const std::string path = componentPath(rawPath);
    if (path.empty() || !files::fileExists(path)) {
        err << (path.empty() ? std::string("(no path)") : path) << ": component file not found\n";
        return false;
    }
    const bool done = registering ? components::recordRegistration(registry, path)
                                  : components::removeRegistration(registry, path);
    if (!done && registering) {
        err << path << ": the registration could not be recorded\n";
        return false;
    }
    return true;
}

} // namespace

bool runLine(const std::string& rawLine, RegistryStore& registry, std::ostream& out,
             std::ostream& err) {
    std::string line = trimLine(rawLine);
    const std::string lowered = text::lower(line);
    if (line.empty() || lowered == "@echo off") {
        return true;
    }
    if (lowered == "echo" || text::startsWith(lowered, "echo ")) {
        out << trimLine(line.substr(4)) << '\n';
        return true;
    }
    if (text::startsWith(lowered, "regsvr32 ")) {
        std::string rest = line.substr(9);
        bool registering = true;
        if (cutSuffix(rest, " /U /S") || cutSuffix(rest, " /S /U") || cutSuffix(rest, " /U")) {
            registering = false;
        } else {
            cutSuffix(rest, " /S");
        }
        return applyRegistration(rest, registering, registry, err);
    }
    if (cutSuffix(line, " /UNREGSERVER")) {
        return applyRegistration(line, false, registry, err);
    }
    if (cutSuffix(line, " /REGSERVER")) {
        return applyRegistration(line, true, registry, err);
    }
    err << "unsupported batch line: " << line << '\n';
    return false;
}

int runFile(const std::string& path, RegistryStore& registry, std::ostream& out,
            std::ostream& err) {
    std::vector<std::string> lines;
    try {
        lines = files::readLines(path);
    } catch (const RunTimeError& e) {
        err << path << ": " << e.description() << '\n';
        return 1;
    }
    int failures = 0;
    for (const auto& line : lines) {
        if (!runLine(line, registry, out, err)) {
            ++failures;
        }
    }
    return failures;
}

bool waitForProcessEnd(long long pid, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace pelvar::batch
