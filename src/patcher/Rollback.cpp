#include "patcher/Rollback.h"

#include "download/DownloadRun.h"
#include "environment/AppState.h"
#include "environment/UpdateLog.h"
#include "patcher/BackupList.h"
#include "patcher/PatchFiles.h"
#include "patcher/PatchRun.h"
#include "patcher/RunHygiene.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Durability.h"
#include "platform/files/Files.h"
#include "platform/files/LinkGuard.h"
#include "platform/files/ScratchFiles.h"
#include "platform/host/Prompter.h"
#include "platform/process/BatchRunner.h"
#include "platform/text/PlainName.h"
#include "platform/text/Text.h"
#include "platform/zip/ZipArchive.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace pelvar {
namespace {

// Thrown for a rollback that must not start; the text says why.
struct Refusal {
    std::string text;
};

struct Candidate {
    std::string path;
    std::string patch;
    fs::file_time_type written;
};

std::vector<Candidate> backupArchives(const std::string& patchRoot) {
    std::vector<Candidate> found;
    const std::string backup = files::join(patchRoot, "Backup");
    for (const auto& folder : patchfiles::subfoldersIn(backup)) {
        if (!text::startsWith(text::upper(folder), "PATCHUPDATE")) {
            continue;
        }
        const std::string dir = files::join(backup, folder);
        for (const auto& name : patchfiles::filesIn(dir)) {
            if (name.size() <= 4 || text::upper(text::right(name, 4)) != ".ZIP" ||
                scratch::isScratchName(name)) {
                continue;
            }
            const std::string path = files::join(dir, name);
            std::error_code ec;
            const auto written = fs::last_write_time(path, ec);
            if (!ec) {
                found.push_back({path, name.substr(0, name.size() - 4), written});
            }
        }
    }
    return found;
}

// The named patch, or the one whose backup was written last. Of several backups of one patch
// (runs on different days) the first holds the files as they were before the patch.
std::optional<Candidate> findBackup(const std::string& patchRoot, std::string patchName) {
    if (patchName.size() > 4 && text::upper(text::right(patchName, 4)) == ".ZIP") {
        patchName.resize(patchName.size() - 4);
    }
    const auto all = backupArchives(patchRoot);
    if (patchName.empty()) {
        const auto newest =
            std::max_element(all.begin(), all.end(),
                             [](const auto& a, const auto& b) { return a.written < b.written; });
        if (newest == all.end()) {
            return std::nullopt;
        }
        patchName = newest->patch;
    }
    std::optional<Candidate> first;
    for (const auto& c : all) {
        if (text::equalsIgnoringCase(c.patch, patchName) &&
            (!first || c.written < first->written)) {
            first = c;
        }
    }
    return first;
}

// Removes the scratch folder the archive was unpacked into, whatever happens.
struct ScratchFolder {
    std::string path;
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

std::vector<std::string> archiveFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file()) {
            names.push_back(fs::relative(it->path(), folder).generic_string());
        }
    }
    return names;
}

struct Restore {
    std::string source; // in the scratch folder
    std::string folder; // where it goes
    std::string name;
    bool registered = false;
    std::string target() const { return files::join(folder, name); }
};

// Every file of the archive with its checked destination; refuses before anything changes.
std::vector<Restore> planRestores(const PatchRun& run, const std::string& unpacked,
                                  const std::string& archive) {
    const std::string listPath = files::join(unpacked, BackupListName);
    if (!files::fileExists(listPath)) {
        throw Refusal{"The backup " + archive +
                      " does not list where its files belong (it was made by an older version)."};
    }
    const auto lines = parseBackupList(files::readAllBounded(listPath, patchfiles::MaxListBytes));
    if (!lines) {
        throw Refusal{"The backup " + archive + " has a list of destinations that cannot be read."};
    }
    std::vector<Restore> plan;
    for (const auto& entry : archiveFiles(unpacked)) {
        if (entry == BackupListName) {
            continue;
        }
        const auto line = std::find_if(lines->begin(), lines->end(),
                                       [&](const auto& l) { return l.entry == entry; });
        const auto folder = line == lines->end() ? std::nullopt : placeFolder(run, line->place);
        if (!folder) {
            throw Refusal{"The backup " + archive + " does not list a destination for " + entry +
                          " inside the installation."};
        }
        const std::string name = fs::path(entry).filename().string();
        if (!files::folderExists(*folder)) {
            throw Refusal{"The destination of " + name + " is not available: " + *folder + "."};
        }
        const std::string root = line->place.rfind("AppPath", 0) == 0
                                     ? run.PatchRoot
                                     : patchfiles::driveRoot(run, line->place[0]);
        try {
            files::refuseLinksBelow(root, files::join(*folder, name));
        } catch (const RunTimeError& e) {
            throw Refusal{"The destination of " + name +
                          " is not safe to write: " + e.description() + "."};
        }
        plan.push_back({files::join(unpacked, entry), *folder, name, line->registered});
    }
    return plan;
}

// Writes the file back as step 8 writes: a scratch file beside it, synced, renamed over it.
void putBack(const Restore& restore) {
    const std::string target = restore.target();
    auto created = scratch::createUniqueFile(target, "");
    if (created.fd < 0) {
        raiseFromErrno(created.error, restore.folder);
    }
    int error = 0;
    const int in = ::open(restore.source.c_str(), O_RDONLY);
    if (in < 0) {
        error = errno;
    }
    std::vector<char> buffer(1 << 20);
    while (error == 0) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        for (ssize_t done = 0; done < n && error == 0;) {
            const ssize_t w =
                ::write(created.fd, buffer.data() + done, static_cast<size_t>(n - done));
            error = w < 0 ? errno : 0;
            done += w < 0 ? 0 : w;
        }
    }
    if (in >= 0) {
        ::close(in);
    }
    // The file keeps the mode it has now (a program stays executable).
    struct stat st {};
    if (error == 0 && ::stat(target.c_str(), &st) == 0) {
        ::fchmod(created.fd, st.st_mode & 07777);
    }
    if (error == 0 && ::fsync(created.fd) != 0) {
        error = errno;
    }
    if (::close(created.fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && std::rename(created.path.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        std::remove(created.path.c_str());
        raiseFromErrno(error, target);
    }
    files::syncFolder(restore.folder);
}

// A log line that cannot be written does not stop a rollback half way.
void note(AppState& state, const std::string& text) {
    try {
        LogWrite(state, text);
    } catch (const RunTimeError&) {
        // The files matter more than their record; standard error still lists them.
    }
}

// The line the registration batch files carry for a component; empty for other files.
std::string registrationLine(const std::string& path, bool unregister) {
    const std::string ext = text::upper(text::right(path, 3));
    if (ext == "EXE") {
        return path + (unregister ? " /UNREGSERVER" : " /REGSERVER");
    }
    if (ext == "OCX" || ext == "DLL") {
        return "REGSVR32 " + path + (unregister ? " /U /S" : " /S");
    }
    return {};
}

int runRegistrations(AppState& state, const std::vector<Restore>& plan, bool unregister) {
    int done = 0;
    for (const auto& restore : plan) {
        const std::string line =
            restore.registered ? registrationLine(restore.target(), unregister) : std::string();
        if (line.empty()) {
            continue;
        }
        std::ostringstream out;
        std::ostringstream err;
        if (batch::runLine(line, state.services.registry, out, err)) {
            ++done;
            note(state, "Rollback: " + line);
        } else {
            note(state, "Rollback: " + line + " failed: " + text::trim(err.str()));
        }
    }
    return done;
}

void refuse(AppState& state, const std::string& text) {
    note(state, text + " Nothing was put back.");
    state.services.prompter.show(text + "\nNothing was put back.", box::Exclamation,
                                 state.AppTitle);
}

} // namespace

bool RollBackPatch(PatchRun& run, const std::string& patchName, RollbackReport& report) {
    AppState& state = run.state;
    if (run.PatchRoot.empty()) {
        raise(err::PathNotFound, "PatchRoot");
    }
    const auto productLock = LockProductFolder(run);
    if (!productLock) {
        return false;
    }
    const auto editionLock = LockDownloadRun(state);
    if (!editionLock) {
        return false;
    }
    try {
        if (!patchName.empty() && !isPlainFileName(patchName)) {
            throw Refusal{"\"" + patchName + "\" is not a patch name."};
        }
        const auto backup = findBackup(run.PatchRoot, patchName);
        if (!backup) {
            throw Refusal{patchName.empty()
                              ? "There is no backup of a patch in " +
                                    files::join(run.PatchRoot, "Backup") + "."
                              : "There is no backup of the patch " + patchName + " in " +
                                    files::join(run.PatchRoot, "Backup") + "."};
        }
        report.patch = backup->patch;
        report.archive = backup->path;
        const auto made =
            scratch::createUniqueFolder(files::join(run.PatchRoot, "Backup/rollback"));
        if (!made) {
            throw Refusal{"No scratch folder could be made in " +
                          files::join(run.PatchRoot, "Backup") + "."};
        }
        const ScratchFolder unpacked{*made};
        ZipArchive zip;
        zip.setArchive(backup->path);
        zip.setExtractFolder(unpacked.path);
        if (!zip.test() || !zip.extractAll()) {
            throw Refusal{"The backup " + backup->path + " is damaged."};
        }
        const auto plan = planRestores(run, unpacked.path, backup->path);

        // A runner of the last run may still be registering what is about to be put back.
        if (!state.services.launcher.waitForRunners(run.PatchRoot, [] {})) {
            throw Refusal{"A registration batch file started before still runs."};
        }
        note(state, "Rollback of " + backup->patch + " from " + backup->path + " started.");
        report.unregistered = runRegistrations(state, plan, true);
        for (const auto& restore : plan) {
            try {
                putBack(restore);
                report.restored.push_back(restore.target());
                note(state, "Rollback: " + restore.target() + " put back.");
            } catch (const RunTimeError& e) {
                ++report.failedFiles;
                note(state, "Rollback: " + restore.target() + " could not be put back: " +
                                e.numberText() + "-" + e.description());
            }
        }
        report.registered = runRegistrations(state, plan, false);
        // A rollback restores programs, not data: the scripts that ran stay applied.
        note(state, "Rollback of " + backup->patch +
                        " over. Database changes are not undone; PatchVer and the patch "
                        "records stay as they are.");
        return report.failedFiles == 0;
    } catch (const Refusal& r) {
        refuse(state, r.text);
        return false;
    }
}

} // namespace pelvar
