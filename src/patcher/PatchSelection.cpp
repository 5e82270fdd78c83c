#include "patcher/PatchSelection.h"

#include "environment/AppState.h"
#include "environment/EndHostProcess.h"
#include "environment/Surfaces.h"
#include "environment/UpdateLog.h"
#include "patcher/ArchiveTrust.h"
#include "patcher/PatchFiles.h"
#include "patcher/PatchOrder.h"
#include "patcher/PatchRun.h"
#include "patcher/RunHygiene.h"
#include "patcher/Wizard.h"
#include "patcher/WizardProgress.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/host/Host.h"
#include "platform/host/Prompter.h"
#include "platform/text/PlainName.h"
#include "platform/text/Text.h"
#include "platform/zip/ZipArchive.h"
#include "settings/ScrambleLine.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fnmatch.h>
#include <unistd.h>
#include <utility>

namespace pelvar {
namespace {

bool matches(const std::string& pattern, const std::string& name) {
    return fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}

std::vector<std::string> filesMatching(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> found;
    for (const auto& name : patchfiles::filesIn(folder)) {
        if (matches(pattern, name)) {
            found.push_back(name);
        }
    }
    return found;
}

// Stopping messages end the host; a host that cannot be ended still stops the run here.
[[noreturn]] void stopRun(PatchRun& run, const std::string& text, int icon,
                          const std::string& title) {
    run.state.RunFailed = true;
    run.state.services.prompter.show(text, icon, title);
    EndHostProcess(run.state);
    throw RunStopped();
}

[[noreturn]] void tampered(PatchRun& run) {
    stopRun(run, "Updates Information Tampered", box::Information, run.state.AppTitle);
}

// The entry text of an update-information line: the unscrambled fifth field of a 5-field
// line, else the second field.
std::string entryText(const std::string& line) {
    const auto fields = text::splitAll(line, ':');
    if (fields.size() == 5) {
        return ScrambleLine(fields[4]);
    }
    return fields.size() >= 2 ? fields[1] : std::string();
}

bool isEngineArchive(const std::string& name) {
    const std::string upper = text::upper(name);
    return upper == "NEWLIVEUPDATE.ZIP" || text::startsWith(upper, "PELVARLU") ||
           text::startsWith(upper, "PELVARPU");
}

std::string baseName(const std::string& archive) {
    return std::filesystem::path(archive).stem().string();
}

std::vector<std::string> pendingArchives(const AppState& state) {
    std::vector<std::string> all = state.CustomPatchFiles;
    all.insert(all.end(), state.PatchFiles.begin(), state.PatchFiles.end());
    return all;
}

void appendFolder(std::vector<std::string>& list, const std::string& name) {
    if (std::find(list.begin(), list.end(), name) == list.end()) {
        list.push_back(name);
    }
}

} // namespace

void CollectPendingUpdates(PatchRun& run) {
    AppState& state = run.state;
    state.CustomPatchFiles.clear();
    state.PatchFiles.clear();
    state.UpdateEntries.clear();
    std::vector<std::string> applied;
    const std::string record = files::join(run.PatchRoot, "GenUpdate.dat");
    if (files::fileExists(record)) {
        for (const auto& line : files::readLines(record)) {
            if (line.size() > 14) {
                applied.push_back(text::trim(line.substr(0, line.find(':'))));
            }
            NudgeProgress(state, 1);
        }
    }
    // Regular patches: the archive name and its entry, upper-cased and trimmed.
    std::vector<std::pair<std::string, std::string>> regular;
    const auto informationFiles = filesMatching(run.PatchFolder, "*.*dat");
    if (informationFiles.empty()) {
        stopRun(run, "There is no Dat file available to hold the patch information.",
                box::Information, "Secondary Database Management");
    }
    for (const auto& file : informationFiles) {
        const std::string path = files::join(run.PatchFolder, file);
        if (files::fileSize(path) > patchfiles::MaxListBytes) {
            tampered(run);
        }
        for (const auto& line : files::readLines(path)) {
            if (text::trim(line).empty() || text::startsWith(line, "//")) {
                continue;
            }
            const std::string entry = entryText(line);
            // Exactly so: a lower-case name is a regular entry.
            const std::string head = text::left(entry, 8);
            const bool custom = head == "POSSECAU" || head == "POSAPPAU";
            const std::string name = text::trim(entry.substr(0, entry.find(':')));
            if (custom) {
                if (!isPlainFileName(name)) {
                    tampered(run);
                }
                if (std::find(applied.begin(), applied.end(), name) == applied.end()) {
                    state.CustomPatchFiles.push_back(name);
                }
                continue;
            }
            if (entry.find(':') == std::string::npos || !isPlainFileName(name)) {
                tampered(run);
            }
            // A rerun on the same download folder must not run a patch's scripts twice.
            if (isNotAboveInstalled(name, run.HeldVersion) ||
                std::find(applied.begin(), applied.end(), name) != applied.end()) {
                LogWrite(state,
                         "Patch " + name +
                             " is already downloaded and patched.Skipped downloading the same.");
                continue;
            }
            regular.emplace_back(name, text::upper(text::trim(entry)));
        }
        NudgeProgress(state, 4);
        files::deleteFile(path);
    }
    // Patches from several files are applied oldest first, so the newest is recorded last.
    std::stable_sort(regular.begin(), regular.end(), [](const auto& a, const auto& b) {
        return patchNumberLess(a.first, b.first);
    });
    for (const auto& [name, entry] : regular) {
        state.UpdateEntries.push_back(entry);
        if (!isEngineArchive(name)) {
            state.PatchFiles.push_back(name);
        }
    }
    if (state.PatchFiles.empty()) {
        LogWrite(state, "Update Not Available.");
    }
}

void CopyDownloadedUpdates(PatchRun& run, const std::string& folder) {
    AppState& state = run.state;
    try {
        if (filesMatching(folder, "Pelvar9*.dat").empty()) {
            state.services.prompter.show("Updates Information Not Found!", box::Information,
                                         state.AppTitle);
            LogWrite(state, "Direct Copy from: " + folder + " failed");
            run.UpdatesReady = false;
            return;
        }
        if (state.wizard) {
            state.wizard->setStatus("Please wait! Downloaded patches are getting patched...");
        }
        if (!CopySignedInformationFiles(run, folder)) {
            for (const auto& file : filesMatching(folder, "*.*dat")) {
                patchfiles::CopyToFolder(files::join(folder, file), run.PatchFolder, true);
            }
        }
        LogWrite(state, "Direct Copy from: " + folder + " started");
        LogWrite(state, "Checking Updates to Copy");
        CollectPendingUpdates(run);
        if (state.CustomPatchFiles.empty() && state.PatchFiles.empty()) {
            state.services.prompter.show("There are no new updates available in selected path.",
                                         box::Information, state.AppTitle);
            LogWrite(state, "Direct Copy from: " + folder + " .There are no updates available.");
            run.UpdatesReady = false;
            return;
        }
        for (const auto& name : pendingArchives(state)) {
            LogWrite(state, "Copying File: " + name + " started");
            try {
                CopyTrustedArchive(run, folder, name);
            } catch (const RunTimeError& e) {
                if (e.number() == err::PathNotFound || e.number() == err::FileNotFound) {
                    LogWrite(state,
                             "File is not available: " + name + ". Skipped copying the same file.");
                } else {
                    LogWrite(state, "File Skiped: " + name);
                }
            }
            state.services.host.processEvents();
        }
        run.UpdatesReady = true;
        LogWrite(state, "Direct Copy from: " + folder + " over");
        // A failed download does not make the apply a failed one: the flag is the apply's own
        // until the two are joined below.
        const bool downloadFailed = std::exchange(state.RunFailed, false);
        VerifyOrResume(run);
        const bool applyFailed = state.RunFailed;
        state.RunFailed = applyFailed || downloadFailed;

        // A run that stopped on an error keeps its progress file: the next run resumes at the
        // step that failed instead of starting over and running scripts twice.
        const std::string progress = progressFilePath(run);
        if (!applyFailed && files::fileExists(progress)) {
            files::deleteFile(progress);
        }
        if (!state.RunFailed) {
            RemoveWorkingCopies(run);
        }
        if (!filesMatching(run.PatchFolder, "*Zip").empty()) {
            // After an error box the success text would claim what did not happen.
            if (!applyFailed) {
                std::string text = "Required file has been updated successfully.";
                if (!state.PatchFiles.empty()) {
                    text += "\nMore updates need to Apply which requires atleast one Pelvar "
                            "Company.\nPlease Create a Pelvar Company and run the Pelvar "
                            "LiveUpdate.";
                }
                state.services.prompter.show(text, box::Information, state.AppTitle);
            }
            EndHostProcess(state);
        }
    } catch (const RunTimeError&) {
        state.RunFailed = true;
        state.services.prompter.show("Please provide the proper download path.", box::Information,
                                     state.AppTitle);
    }
}

namespace {

// Tests an archive of PatchFolder and unpacks it into PatchFolder/<base name> unless that
// folder exists; false for an archive that is missing or damaged.
bool unpackArchive(const PatchRun& run, const std::string& name) {
    const std::string archive = files::join(run.PatchFolder, name);
    const std::string target = files::join(run.PatchFolder, baseName(name));
    ZipArchive zip;
    zip.setArchive(archive);
    bool sound = files::fileExists(archive) && zip.test();
    if (sound && !files::folderExists(target)) {
        // Unpacked beside the target and renamed, so a folder under the patch's name is
        // always complete.
        const std::string temp =
            files::join(run.PatchFolder, "." + baseName(name) + "." + std::to_string(::getpid()));
        std::error_code ec;
        std::filesystem::remove_all(temp, ec);
        zip.setExtractFolder(temp);
        sound = zip.extractAll() && std::rename(temp.c_str(), target.c_str()) == 0;
        std::filesystem::remove_all(temp, ec);
    }
    return sound;
}

} // namespace

void UnzipAndVerify(PatchRun& run, int /*editionNumber*/) {
    AppState& state = run.state;
    for (const auto& name : pendingArchives(state)) {
        LogWrite(state, "Unziping Files: " + name);
        if (!unpackArchive(run, name)) {
            LogWrite(state, "The downloaded file " + name +
                                " is either empty or corrupted. Please check the connectivity to "
                                "the download location and retry.");
            stopRun(run,
                    "The downloaded file " + name +
                        " is either empty or corrupted.\n\nPlease check the connectivity to the "
                        "download location and retry.",
                    box::Critical, state.AppTitle);
        }
        appendFolder(run.PatchFolders, baseName(name));
        state.services.host.processEvents();
    }
}

bool ResumeRecordedPatches(PatchRun& run) {
    AppState& state = run.state;
    const std::string progress = progressFilePath(run);
    const std::string first = TakeArchiveHashes(run, files::readFirstLine(progress, 64 * 1024));
    if (!text::startsWith(first, "Patches:")) {
        ListUnpackedFolders(run);
        return true;
    }
    run.PatchFolders.clear();
    for (const auto& folder : text::splitText(first.substr(8), ":")) {
        // The progress file lies in the product folder: its names are checked like any other
        // outside name before they become paths.
        if (!isPlainFileName(folder)) {
            state.RunFailed = true;
            LogWrite(state, "No update was applied: the progress record names \"" + folder +
                                "\", which is no patch folder.");
            return false;
        }
        const bool unpacked = files::folderExists(files::join(run.PatchFolder, folder));
        if (unpacked && !ResumedFolderTrusted(run, folder, {})) {
            state.RunFailed = true;
            return false;
        }
        if (!unpacked) {
            const auto archives = patchfiles::filesIn(run.PatchFolder);
            const auto archive = std::find_if(archives.begin(), archives.end(), [&](const auto& a) {
                return text::equalsIgnoringCase(baseName(a), folder);
            });
            if (archive != archives.end() &&
                !ResumedFolderTrusted(run, folder, files::join(run.PatchFolder, *archive))) {
                state.RunFailed = true;
                return false;
            }
            if (archive == archives.end() || !unpackArchive(run, *archive)) {
                state.RunFailed = true;
                LogWrite(state, "No update was applied: the patch " + folder +
                                    " of the interrupted run is no longer available.");
                return false;
            }
        }
        appendFolder(run.PatchFolders, folder);
    }
    return true;
}

void ListUnpackedFolders(PatchRun& run) {
    for (const auto& name : pendingArchives(run.state)) {
        if (files::folderExists(files::join(run.PatchFolder, baseName(name)))) {
            appendFolder(run.PatchFolders, baseName(name));
        }
    }
}

} // namespace pelvar
