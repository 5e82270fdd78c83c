#include "platform/net/ResumeRecord.h"

#include "platform/text/PlainName.h"
#include "platform/text/Text.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace pelvar {
namespace {

constexpr long long MaxRecordBytes = 8192;

bool oneLine(const std::string& value) {
    return value.find_first_of("\r\n") == std::string::npos;
}

// The bytes of a regular file owned by this user, read without following a link.
std::optional<std::string> readOwnFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    std::string bytes;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
        info.st_size <= MaxRecordBytes) {
        bytes.resize(static_cast<std::size_t>(info.st_size));
        const ssize_t got = ::read(fd, bytes.data(), bytes.size());
        bytes.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    }
    ::close(fd);
    return bytes.empty() ? std::nullopt : std::optional<std::string>(bytes);
}

} // namespace

std::string partialPathOf(const std::string& finalPath) {
    return finalPath + ".partial";
}

std::string resumeRecordPathOf(const std::string& finalPath) {
    return finalPath + ".resume";
}

bool resumableName(const std::string& finalPath) {
    return isPlainFileName(std::filesystem::path(finalPath).filename().string());
}

std::optional<ResumeRecord> loadResumeRecord(const std::string& finalPath) {
    if (!resumableName(finalPath)) {
        return std::nullopt;
    }
    const auto bytes = readOwnFile(resumeRecordPathOf(finalPath));
    if (!bytes) {
        return std::nullopt;
    }
    ResumeRecord record;
    for (const auto& line : text::splitAll(*bytes, '\n')) {
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (key == "url") {
            record.url = value;
        } else if (key == "validator") {
            record.validator = value;
        } else if (key == "sha256") {
            record.sha256 = value;
        } else if (key == "size" && !value.empty() && value.size() <= 18 &&
                   value.find_first_not_of("0123456789") == std::string::npos) {
            record.size = std::stoll(value);
        }
    }
    if (record.url.empty()) {
        return std::nullopt;
    }
    return record;
}

bool saveResumeRecord(const std::string& finalPath, const ResumeRecord& record) {
    if (!resumableName(finalPath) || !oneLine(record.url) || !oneLine(record.validator) ||
        !oneLine(record.sha256)) {
        return false;
    }
    const std::string path = resumeRecordPathOf(finalPath);
    ::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    const std::string bytes = "url=" + record.url + "\nvalidator=" + record.validator +
                              "\nsize=" + (record.size < 0 ? "" : std::to_string(record.size)) +
                              "\nsha256=" + record.sha256 + "\n";
    const bool written =
        ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    ::close(fd);
    if (!written) {
        ::unlink(path.c_str());
    }
    return written;
}

void dropResumeFiles(const std::string& finalPath) {
    ::unlink(partialPathOf(finalPath).c_str());
    ::unlink(resumeRecordPathOf(finalPath).c_str());
}

} // namespace pelvar
