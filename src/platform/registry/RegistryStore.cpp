#include "platform/registry/RegistryStore.h"

#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/registry/RegistryIni.h"
#include "platform/text/Text.h"

#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

namespace pelvar {
namespace {

std::string describe(const RunTimeError& e) {
    return e.description() + (e.source().empty() ? "" : ": " + e.source());
}

// The lock beside the file; held from reading the file until its replacement is in place.
class WriteLock {
  public:
    explicit WriteLock(const std::string& file) {
        fd_ = ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~WriteLock() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

} // namespace

std::vector<std::string> splitKeyPath(const std::string& keyPath) {
    std::vector<std::string> parts;
    for (auto& piece : text::splitAll(text::replaceAll(keyPath, "/", "\\"), '\\')) {
        if (!piece.empty()) {
            parts.push_back(piece);
        }
    }
    if (!parts.empty() && (text::equalsIgnoringCase(parts.front(), "HKLM") ||
                           text::equalsIgnoringCase(parts.front(), "HKEY_LOCAL_MACHINE"))) {
        parts.erase(parts.begin());
    }
    return parts;
}

IniRegistryStore::IniRegistryStore(std::string iniFile) : file_(std::move(iniFile)) {}

namespace {

// The document of the file; an empty one when the file does not exist yet.
regini::Document load(const std::string& file) {
    if (!std::filesystem::exists(file)) {
        return {};
    }
    return regini::Document::parse(files::readAllBounded(file, MaxRegistryFileBytes));
}

} // namespace

std::optional<std::string> IniRegistryStore::read(const std::string& keyPath,
                                                  const std::string& name) const {
    try {
        lastError_.clear();
        auto found = load(file_).find(splitKeyPath(keyPath), name);
        return found ? *found : std::nullopt;
    } catch (const RunTimeError& e) {
        lastError_ = describe(e);
        return std::nullopt;
    }
}

bool IniRegistryStore::write(const std::string& keyPath, const std::string& name,
                             const std::string& value) {
    lastError_.clear();
    const auto key = splitKeyPath(keyPath);
    if (key.empty() || name.empty()) {
        lastError_ = "a value needs a key and a name";
        return false;
    }
    try {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(file_).parent_path(), ec);
        WriteLock lock(file_);
        if (!lock.held()) {
            lastError_ = "cannot lock " + file_ + ".lock";
            return false;
        }
        auto doc = load(file_);
        doc.set(key, name, value);
        files::replacePrivate(file_, doc.serialize());
        return true;
    } catch (const RunTimeError& e) {
        lastError_ = describe(e);
        return false;
    }
}

bool IniRegistryStore::remove(const std::string& keyPath, const std::string& name) {
    lastError_.clear();
    try {
        if (!std::filesystem::exists(file_)) {
            return false;
        }
        WriteLock lock(file_);
        if (!lock.held()) {
            lastError_ = "cannot lock " + file_ + ".lock";
            return false;
        }
        auto doc = load(file_);
        if (!doc.remove(splitKeyPath(keyPath), name)) {
            return false;
        }
        files::replacePrivate(file_, doc.serialize());
        return true;
    } catch (const RunTimeError& e) {
        lastError_ = describe(e);
        return false;
    }
}

std::vector<std::pair<std::string, std::optional<std::string>>>
IniRegistryStore::list(const std::string& keyPath) const {
    try {
        lastError_.clear();
        return load(file_).values(splitKeyPath(keyPath));
    } catch (const RunTimeError& e) {
        lastError_ = describe(e);
        return {};
    }
}

std::vector<std::string> IniRegistryStore::subkeys(const std::string& keyPath) const {
    try {
        lastError_.clear();
        return load(file_).subkeys(splitKeyPath(keyPath));
    } catch (const RunTimeError& e) {
        lastError_ = describe(e);
        return {};
    }
}

std::vector<std::string> IniRegistryStore::strayLines() const {
    std::vector<std::string> out;
    try {
        for (const auto& [number, line] : load(file_).strayLines()) {
            out.push_back("line " + std::to_string(number) + ": " + line);
        }
    } catch (const RunTimeError& e) {
        lastError_ = describe(e);
    }
    return out;
}

} // namespace pelvar
