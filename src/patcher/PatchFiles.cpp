#include "patcher/PatchFiles.h"

#include "environment/AppState.h"
#include "patcher/PatchRun.h"
#include "platform/base/CrashPoint.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/files/LinkGuard.h"
#include "platform/files/ScratchFiles.h"
#include "platform/text/DateText.h"
#include "platform/text/Text.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace pelvar::patchfiles {
namespace {

std::vector<std::string> entries(const std::string& folder, bool wantFolders) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const bool isFolder = it->is_directory(ec);
        const std::string name = it->path().filename().string();
        // Temporary files of an interrupted copy start with "." and are never patch files.
        if (isFolder == wantFolders && (wantFolders || it->is_regular_file(ec)) &&
            !text::startsWith(name, ".")) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

[[noreturn]] void raiseCopyError(int error, const std::string& path) {
    if (error == ETXTBSY) {
        throw RunTimeError(err::UserMappedSection,
                           "The requested operation cannot be performed on a file with a "
                           "user-mapped section open.",
                           path);
    }
    if (error == ENOENT || error == ENOTDIR) {
        raise(err::PathNotFound, path);
    }
    raiseFromErrno(error, path);
}

std::string dateText(const datetext::LocalDateTime& t) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d", t.day, t.month, t.year);
    return buffer;
}

} // namespace

std::vector<std::string> filesIn(const std::string& folder) {
    return entries(folder, false);
}
std::vector<std::string> subfoldersIn(const std::string& folder) {
    return entries(folder, true);
}

void installFile(const std::string& source, const std::string& folder, const std::string& name,
                 bool mayLink) {
    if (!files::fileExists(source)) {
        raise(err::FileNotFound, source);
    }
    if (!files::folderExists(folder)) {
        raise(err::PathNotFound, folder);
    }
    const std::string target = files::join(folder, name);
    // A link planted in the installation would make the copy write (or read) outside it.
    files::refuseLink(folder);
    files::refuseLink(target);
    // A running program cannot be opened for writing: report it before touching anything.
    const int probe = ::open(target.c_str(), O_WRONLY | O_NONBLOCK);
    if (probe < 0 && errno == ETXTBSY) {
        raiseCopyError(ETXTBSY, target);
    }
    if (probe >= 0) {
        ::close(probe);
    } else if (errno == EACCES || errno == EPERM) {
        raiseCopyError(errno, target);
    }
    // A scratch name a later run recognises as a killed run's leftover.
    auto created = scratch::createUniqueFile(files::join(folder, "." + name), "");
    if (created.fd < 0) {
        raiseCopyError(created.error, folder);
    }
    const std::string temp = created.path;
    if (mayLink) {
        ::close(created.fd);
        // The name was ours a moment ago; a link that cannot take it (another file system, a
        // name taken meanwhile) falls back to the copy below into a fresh name.
        if (::unlink(temp.c_str()) == 0 && ::link(source.c_str(), temp.c_str()) == 0) {
            if (std::rename(temp.c_str(), target.c_str()) != 0) {
                const int error = errno;
                std::remove(temp.c_str());
                raiseCopyError(error, target);
            }
            // A resumed run finds the file linked in already: renaming one link over another
            // of the same file leaves both names, so the scratch name goes.
            ::unlink(temp.c_str());
            return;
        }
        installFile(source, folder, name, false);
        return;
    }
    const int out = created.fd;
    const int in = ::open(source.c_str(), O_RDONLY);
    int error = in < 0 ? errno : 0;
    std::vector<char> buffer(1 << 20);
    while (error == 0) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0) {
            error = errno;
            break;
        }
        if (n == 0) {
            break;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0) {
                error = errno;
                break;
            }
            done += w;
        }
    }
    struct stat st {};
    if (error == 0 && ::fstat(in, &st) == 0) {
        ::fchmod(out, st.st_mode & 07777);
    }
    if (in >= 0) {
        ::close(in);
    }
    if (::close(out) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && std::rename(temp.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        std::remove(temp.c_str());
        raiseCopyError(error, target);
    }
}

void CopyToFolder(const std::string& source, const std::string& folder, bool overwrite) {
    std::string base = folder;
    if (!base.empty() && (base.back() == '/' || base.back() == '\\')) {
        base.pop_back();
    }
    const std::string name = fs::path(source).filename().string();
    if (!overwrite && files::fileExists(files::join(base, name))) {
        raise(58, files::join(base, name));
    }
    installFile(source, base, name);
    crashPoint("copied:" + files::join(base, name));
}

void InstallPatchFile(const std::string& source, const std::string& folder) {
    std::string base = folder;
    if (!base.empty() && (base.back() == '/' || base.back() == '\\')) {
        base.pop_back();
    }
    const std::string name = fs::path(source).filename().string();
    installFile(source, base, name, true);
    crashPoint("copied:" + files::join(base, name));
}

std::string fileDate(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        raiseFromErrno(errno, path);
    }
    return dateText(datetext::toLocal(datetext::Clock::from_time_t(st.st_mtime)));
}

std::string todayDate() {
    return dateText(datetext::now());
}

std::string versionNumberText(const std::string& version) {
    // Digits with at most one decimal point, as a number reads from the start of a text. Halves
    // round away from zero, as the number format does; the rounding works on the digits,
    // because in binary 9.45 is a little less than 9.45.
    std::string whole;
    std::string fraction;
    bool point = false;
    for (char c : text::trim(version)) {
        if (c >= '0' && c <= '9') {
            (point ? fraction : whole) += c;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    fraction.resize(std::max<std::size_t>(fraction.size(), 2), '0');
    std::string tenths = (whole.empty() ? "0" : whole) + fraction[0];
    if (fraction[1] >= '5') {
        // Add one tenth, carrying through the digits.
        std::size_t i = tenths.size();
        while (i > 0 && tenths[i - 1] == '9') {
            tenths[--i] = '0';
        }
        if (i == 0) {
            tenths = "1" + tenths;
        } else {
            ++tenths[i - 1];
        }
    }
    return tenths.substr(0, tenths.size() - 1) + "." + tenths.back();
}

bool isComponent(const std::string& fileName) {
    const std::string ext = text::upper(text::right(fileName, 3));
    return ext == "DLL" || ext == "OCX" || ext == "EXE";
}

bool isGlOrSy(const std::string& fileName) {
    const std::string end = text::upper(text::right(fileName, 2));
    return end == "GL" || end == "SY";
}

bool isReleaseInstaller(const std::string& fileName) {
    const std::string upper = text::upper(fileName);
    if (text::right(upper, 3) != "EXE") {
        return false;
    }
    // "PR5..." releases, and the release installers of the first pass's skip list.
    return text::startsWith(upper, "PR5") || text::startsWith(upper, "PR42");
}

std::string windowsFolder(const PatchRun& run) {
    return files::join(run.state.services.paths.driveC(), "WINDOWS");
}

std::string driveRoot(const PatchRun& run, char drive) {
    return run.state.services.paths.drive(drive);
}

void refuseInstallationLinks(const PatchRun& run, const std::string& path) {
    for (const auto& root : {run.PatchRoot, driveRoot(run, 'C'), driveRoot(run, 'D')}) {
        const std::string base = files::join(root, "");
        if (!root.empty() && text::startsWith(path, base)) {
            files::refuseLinksBelow(root, path);
            return;
        }
    }
}

std::string nativeRelative(const std::string& windowsPath) {
    std::string path = text::replaceAll(text::trim(windowsPath), "\\", "/");
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    while (!path.empty() && path.front() == '/') {
        path.erase(0, 1);
    }
    return path;
}

std::string readBounded(const std::string& path) {
    if (files::fileSize(path) > MaxListBytes) {
        throw RunTimeError(err::PathFileAccess, "File too large", path);
    }
    return files::readAll(path);
}

bool isSafeRelative(const std::string& relative) {
    for (const auto& piece : text::splitAll(relative, '/')) {
        if (piece == "..") {
            return false;
        }
    }
    return relative.find(':') == std::string::npos;
}

} // namespace pelvar::patchfiles
