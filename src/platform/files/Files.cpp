#include "platform/files/Files.h"

#include "platform/base/RunTimeError.h"
#include "platform/files/Durability.h"
#include "platform/files/ScratchFiles.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace pelvar::files {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A missing file in an existing folder is "file not found", otherwise "path not found".
void raiseIfFileMissing(const std::string& path) {
    const auto parent = fs::path(path).parent_path();
    if (parent.empty() || folderExists(parent.string())) {
        raise(err::FileNotFound, path);
    }
}

FilePtr openOrRaise(const std::string& path, const char* mode) {
    errno = 0;
    FilePtr f(std::fopen(path.c_str(), mode));
    if (!f) {
        if (errno == ENOENT && mode[0] == 'r') {
            raiseIfFileMissing(path);
        }
        if ((errno == EACCES || errno == EPERM) && mode[0] != 'r') {
            // Writing into a folder or file without the right to is an access error.
            raise(err::PathFileAccess, path);
        }
        raiseFromErrno(errno, path);
    }
    return f;
}

// Mode 600; 640 in a folder with the set-group-ID bit, whose group (such as "pelvar" of an
// installed component folder) names the accounts that may read it: the account a scheduled
// download runs as must read the location files an administrator saved.
mode_t privateModeIn(const std::string& path) {
    struct stat folder {};
    const auto parent = fs::path(path).parent_path();
    const bool shared = ::stat(parent.empty() ? "." : parent.c_str(), &folder) == 0 &&
                        (folder.st_mode & S_ISGID) != 0;
    return shared ? 0640 : 0600;
}

// Opens for writing with the private mode from the start, so that no other account can open
// the file in the moment between creating and narrowing it.
FilePtr openPrivateOrRaise(const std::string& path) {
    const mode_t mode = privateModeIn(path);
    errno = 0;
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) {
            raise(err::PathFileAccess, path);
        }
        raiseFromErrno(errno, path);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || ((st.st_mode & 0777) != mode && ::fchmod(fd, mode) != 0)) {
        const int e = errno;
        ::close(fd);
        raiseFromErrno(e, path);
    }
    FilePtr f(::fdopen(fd, "wb"));
    if (!f) {
        const int e = errno;
        ::close(fd);
        raiseFromErrno(e, path);
    }
    return f;
}

void writeOrRaise(std::FILE* f, const std::string& bytes, const std::string& path) {
    errno = 0;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        raiseFromErrno(errno, path);
    }
}

void closeOrRaise(FilePtr f, const std::string& path) {
    errno = 0;
    if (std::fclose(f.release()) != 0) {
        raiseFromErrno(errno, path);
    }
}

} // namespace

std::string join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') {
        return folder + name;
    }
    return folder + "/" + name;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool folderExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string readAll(const std::string& path) {
    auto f = openOrRaise(path, "rb");
    std::string bytes;
    char buffer[8192];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) {
        bytes.append(buffer, n);
    }
    if (std::ferror(f.get())) {
        raise(err::PathFileAccess, path);
    }
    return bytes;
}

std::vector<std::string> readLines(const std::string& path) {
    const std::string bytes = readAll(path);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        auto end = bytes.find('\n', start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

void appendLine(const std::string& path, const std::string& text) {
    auto f = openOrRaise(path, "ab");
    writeOrRaise(f.get(), text + "\r\n", path);
    closeOrRaise(std::move(f), path);
}

void writeLine(const std::string& path, const std::string& text) {
    writeAll(path, text + "\r\n");
}

void writeAll(const std::string& path, const std::string& bytes) {
    auto f = openOrRaise(path, "wb");
    writeOrRaise(f.get(), bytes, path);
    closeOrRaise(std::move(f), path);
}

void writeLine(const std::string& path, const std::string& text, Access access) {
    writeAll(path, text + "\r\n", access);
}

void writeAll(const std::string& path, const std::string& bytes, Access access) {
    if (access == Access::Shared) {
        writeAll(path, bytes);
        return;
    }
    auto f = openPrivateOrRaise(path);
    writeOrRaise(f.get(), bytes, path);
    closeOrRaise(std::move(f), path);
}

void replacePrivate(const std::string& path, const std::string& bytes) {
    std::string temporary = path + scratch::Marker + "XXXXXX";
    errno = 0;
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC); // mode 600, a fresh name
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) {
            raise(err::PathFileAccess, path);
        }
        raiseFromErrno(errno, path);
    }
    const mode_t mode = privateModeIn(path);
    if (mode != 0600 && ::fchmod(fd, mode) != 0) {
        const int e = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        raiseFromErrno(e, path);
    }
    FilePtr f(::fdopen(fd, "wb"));
    if (!f) {
        const int e = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        raiseFromErrno(e, path);
    }
    try {
        writeOrRaise(f.get(), bytes, temporary);
        if (std::fflush(f.get()) != 0 || ::fdatasync(::fileno(f.get())) != 0) {
            raiseFromErrno(errno, temporary);
        }
        closeOrRaise(std::move(f), temporary);
        if (::rename(temporary.c_str(), path.c_str()) != 0) {
            raiseFromErrno(errno, path);
        }
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    // The new name reaches the disk too, not only the new bytes.
    syncFolder(fs::path(path).parent_path().string());
}

std::string readLastLine(const std::string& path, long long maxBytes) {
    auto f = openOrRaise(path, "rb");
    if (std::fseek(f.get(), 0, SEEK_END) != 0) {
        raise(err::PathFileAccess, path);
    }
    const long size = std::ftell(f.get());
    const long start = size > maxBytes ? size - static_cast<long>(maxBytes) : 0;
    std::string tail(static_cast<std::size_t>(size - start), '\0');
    if (std::fseek(f.get(), start, SEEK_SET) != 0 ||
        std::fread(tail.data(), 1, tail.size(), f.get()) != tail.size()) {
        raise(err::PathFileAccess, path);
    }
    if (!tail.empty() && tail.back() == '\n') {
        tail.pop_back(); // the terminator of the last line, not an empty line after it
    }
    const auto lineStart = tail.find_last_of('\n');
    if (lineStart == std::string::npos && start > 0) {
        return {}; // the last line is longer than the window: no record of ours
    }
    std::string line = lineStart == std::string::npos ? tail : tail.substr(lineStart + 1);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

std::string readFirstLine(const std::string& path, long long maxBytes) {
    auto f = openOrRaise(path, "rb");
    std::string head(static_cast<std::size_t>(maxBytes), '\0');
    head.resize(std::fread(head.data(), 1, head.size(), f.get()));
    head = head.substr(0, head.find('\n'));
    if (!head.empty() && head.back() == '\r') {
        head.pop_back();
    }
    return head;
}

std::string readAllBounded(const std::string& path, long long maxBytes) {
    auto f = openOrRaise(path, "rb");
    std::string bytes;
    char buffer[8192];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) {
        if (static_cast<long long>(bytes.size() + n) > maxBytes) {
            throw RunTimeError(err::PathFileAccess,
                               "File is larger than " + std::to_string(maxBytes) + " bytes", path);
        }
        bytes.append(buffer, n);
    }
    if (std::ferror(f.get())) {
        raise(err::PathFileAccess, path);
    }
    return bytes;
}

void deleteFile(const std::string& path) {
    if (!fileExists(path)) {
        raise(err::FileNotFound, path);
    }
    errno = 0;
    if (std::remove(path.c_str()) != 0) {
        raiseFromErrno(errno, path);
    }
}

void copyFile(const std::string& from, const std::string& to, bool overwrite) {
    std::error_code ec;
    const auto options = overwrite ? fs::copy_options::overwrite_existing : fs::copy_options::none;
    if (!fileExists(from)) {
        raise(err::FileNotFound, from);
    }
    if (!fs::copy_file(from, to, options, ec) || ec) {
        raiseFromErrno(ec ? ec.value() : EEXIST, to);
    }
}

void createFolder(const std::string& path) {
    std::error_code ec;
    fs::create_directory(path, ec);
    if (ec) {
        raiseFromErrno(ec.value(), path);
    }
}

void createFolders(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) {
        raiseFromErrno(ec.value(), path);
    }
}

void deleteFolder(const std::string& path) {
    std::error_code ec;
    if (!folderExists(path)) {
        raise(err::PathNotFound, path);
    }
    fs::remove_all(path, ec);
    if (ec) {
        raiseFromErrno(ec.value(), path);
    }
}

long long fileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            raiseIfFileMissing(path);
        }
        raiseFromErrno(errno, path);
    }
    return static_cast<long long>(st.st_size);
}

} // namespace pelvar::files
