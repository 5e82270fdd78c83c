#include "platform/process/BatchRunner.h"

#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/registry/ComponentRegistry.h"
#include "platform/text/Text.h"

#include <optional>

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

// A component line names one absolute path; anything else is not one of ours.
std::optional<Command> componentCommand(Command::Kind kind, const std::string& rawPath) {
    std::string path = componentPath(rawPath);
    if (path.empty() || path.front() != '/' || path.find('"') != std::string::npos) {
        return std::nullopt;
    }
    return Command{kind, std::move(path)};
}

} // namespace

std::optional<Command> parseLine(const std::string& rawLine) {
    std::string line = trimLine(rawLine);
    const std::string lowered = text::lower(line);
    if (line.empty() || lowered == "@echo off") {
        return Command{Command::Nothing, {}};
    }
    if (lowered == "echo" || text::startsWith(lowered, "echo ")) {
        return Command{Command::Echo, trimLine(line.substr(4))};
    }
    if (text::startsWith(lowered, "regsvr32 ")) {
        std::string rest = line.substr(9);
        if (cutSuffix(rest, " /U /S")) {
            return componentCommand(Command::Unregister, rest);
        }
        if (cutSuffix(rest, " /S")) {
            return componentCommand(Command::Register, rest);
        }
        return std::nullopt;
    }
    if (cutSuffix(line, " /UNREGSERVER")) {
        return componentCommand(Command::Unregister, line);
    }
    if (cutSuffix(line, " /REGSERVER")) {
        return componentCommand(Command::Register, line);
    }
    return std::nullopt;
}

bool runLine(const std::string& rawLine, RegistryStore& registry, std::ostream& out,
             std::ostream& err) {
    const auto command = parseLine(rawLine);
    if (!command) {
        err << "unsupported batch line: " << trimLine(rawLine) << '\n';
        return false;
    }
    switch (command->kind) {
    case Command::Nothing:
        return true;
    case Command::Echo:
        out << command->argument << '\n';
        return true;
    case Command::Register:
    case Command::Unregister:
        break;
    }
    const std::string& path = command->argument;
    if (!files::fileExists(path)) {
        err << path << ": component file not found\n";
        return false;
    }
    if (command->kind == Command::Unregister) {
        components::removeRegistration(registry, path);
        return true;
    }
    if (!components::recordRegistration(registry, path)) {
        err << path << ": the registration could not be recorded\n";
        return false;
    }
    return true;
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

} // namespace pelvar::batch
