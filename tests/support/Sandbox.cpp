#include "Sandbox.h"

#include "platform/files/Files.h"

#include <filesystem>
#include <regex>
#include <sqlite3.h>
#include <stdexcept>

namespace pelvar::test {
namespace {

SandboxPaths makePaths(const TempDir& dir) {
    SandboxPaths p;
    p.root = dir / "root";
    p.appFolder = dir / "app";
    for (const auto& folder : {p.commonAppData(), p.appFolder, dir / "downloads"}) {
        std::filesystem::create_directories(folder);
    }
    return p;
}

} // namespace

Sandbox::Sandbox()
    : paths(makePaths(dir)), registry(paths.registryFile()),
      services(paths, registry, prompter, host), state(services) {
    state.DownloadFolder = downloads();
}

std::string Sandbox::logText() const {
    const std::string path = downloads() + "/PelvarUpdate.log";
    return files::fileExists(path) ? readFile(path) : std::string();
}

std::vector<std::string> Sandbox::logMessages() const {
    static const std::regex stamp(R"(^\d{1,2}/\d{1,2}/\d{4}( \d{1,2}:\d{2}:\d{2} [AP]M)?:)");
    std::vector<std::string> messages;
    if (!files::fileExists(downloads() + "/PelvarUpdate.log")) {
        return messages;
    }
    for (const auto& line : files::readLines(downloads() + "/PelvarUpdate.log")) {
        messages.push_back(std::regex_replace(line, stamp, ""));
    }
    return messages;
}

void sqlite(const std::string& file, const std::string& statements) {
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + file);
    }
    char* error = nullptr;
    const int rc = sqlite3_exec(db, statements.c_str(), nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        throw std::runtime_error("sqlite: " + message);
    }
}

} // namespace pelvar::test
