#include "patcher/Replacement.h"

#include "environment/AppState.h"
#include "environment/EndHostProcess.h"
#include "environment/UpdateLog.h"
#include "patcher/PackingList.h"
#include "patcher/PatchFiles.h"
#include "patcher/PatchRun.h"
#include "patcher/Steps.h"
#include "patcher/WizardProgress.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/host/Host.h"
#include "platform/host/Prompter.h"
#include "platform/text/Text.h"

#include <filesystem>

namespace pelvar {
namespace {

constexpr const char* SkipList =
    "PR424000.exe,PR426000.exe,PR426600.exe,PR426700.exe,PR426800.exe,PR427700.exe,AppDets.ini,"
    "CONVINI.ini,CustomConfig.ini,DBPresets.ini,DBsAllowed.ini,ExeRegUnReg.ini,InvRmks.Ini";

void createFolders(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) {
        raiseFromErrno(ec.value(), path);
    }
}

void copyFolderFiles(PatchRun& run, const std::string& from, const std::string& to) {
    createFolders(to);
    for (const auto& file : patchfiles::filesIn(from)) {
        patchfiles::CopyToFolder(files::join(from, file), to, true);
        ++run.state.Summary.filesReplaced;
        NudgeProgress(run.state, 1);
        run.state.services.host.processEvents();
    }
}

// The No answer to a copy error: the run is abandoned and starts afresh next time.
[[noreturn]] void abandonRun(PatchRun& run) {
    run.Failed = true;
    const std::string progress = files::join(run.state.PatchRoot, "Process3.log");
    if (files::fileExists(progress)) {
        files::deleteFile(progress);
    }
    EndHostProcess(run.state);
    throw RunStopped();
}

bool askToContinue(PatchRun& run, const std::string& text, int icon) {
    return run.state.services.prompter.show(text, box::YesNo + icon, run.state.AppTitle) ==
           box::AnswerYes;
}

// The copy errors that ask whether to go on; false when the error is not one of them.
bool handleCopyError(PatchRun& run, const RunTimeError& e, const std::string& fileName,
                     const std::string& source) {
    AppState& state = run.state;
    const std::string errorText = e.numberText() + "-" + e.description();
    if (e.number() == err::PermissionDenied || e.number() == err::UserMappedSection) {
        const std::string text =
            e.number() == err::PermissionDenied
                ? fileName + " could not be copy to the windows directory.\nThe same may be in use "
                             "from this program.\nDo you want to Continue?"
                : fileName + " could not be copied to the mentioned directory.\n" +
                      e.description() + "\nDo you want to Continue?";
        if (!askToContinue(run, text, box::Critical)) {
            abandonRun(run);
        }
        LogWrite(state, errorText);
        LogWrite(state, "Step8: - " + fileName + ", Date Created:" + patchfiles::fileDate(source) +
                            " could not copied to Pelvar Path.");
        LogWrite(state, "Trying to copy other files...");
        return true;
    }
    if (e.number() == err::PathNotFound) {
        if (!askToContinue(run,
                           "Destination path mentioned in the Packing List is not available.\nDo "
                           "you want to Continue?",
                           box::Critical)) {
            abandonRun(run);
        }
        LogWrite(state, errorText);
        LogWrite(state, "Destination path mentioned in the Packing List is not available.");
        return true;
    }
    return e.number() == err::SubscriptOutOfRange;
}

} // namespace

bool inSkipList(const std::string& fileName) {
    return !fileName.empty() && text::contains(text::upper(SkipList), text::upper(fileName));
}

void ReplaceProgramFiles(PatchRun& run) {
    AppState& state = run.state;
    try {
        LogWrite(state, "Started replacing/copying new file(s).");
        for (const auto& patch : text::splitText(run.PatchFolders, ":")) {
            const std::string source = files::join(state.PatchFolder, patch);
            for (const auto& file : patchfiles::filesIn(source)) {
                if (patchfiles::isGlOrSy(file) || (run.SetupType == 4 && inSkipList(file))) {
                    continue;
                }
                patchfiles::CopyToFolder(files::join(source, file), state.PatchRoot, true);
                ++state.Summary.filesReplaced;
                NudgeProgress(state, 1);
                state.services.host.processEvents();
            }
            for (const auto& sub : patchfiles::subfoldersIn(source)) {
                const std::string from = files::join(source, sub);
                if (run.SetupType == 4) {
                    if (text::equalsIgnoringCase(sub, "Ini")) {
                        copyFolderFiles(run, from, files::join(state.PatchRoot, "Ini"));
                    }
                } else if (text::equalsIgnoringCase(sub, "crystal") ||
                           text::equalsIgnoringCase(sub, "System")) {
                    copyFolderFiles(run, from, files::join(patchfiles::windowsFolder(run), sub));
                } else if (!text::equalsIgnoringCase(sub, "SCRIPT")) {
                    copyFolderFiles(run, from, files::join(state.PatchRoot, sub));
                }
            }
        }
    } catch (const RunTimeError& e) {
        ShowStepError(run, e.number(), e.description());
    }
}

namespace {

// A patch's packing list, read once; a list that cannot be read fails each file in turn.
struct PackingListRead {
    std::vector<PackingRecord> records;
    std::optional<RunTimeError> error;
};

PackingListRead packingListOf(PatchRun& run, const std::string& patchFolderPath) {
    try {
        return {parsePackingList(
                    patchfiles::readBounded(files::join(patchFolderPath, "PackingList.ini"))),
                std::nullopt};
    } catch (const CorruptPackingList&) {
        StopOnCorruptPackingList(run);
    } catch (const RunTimeError& e) {
        return {{}, e};
    }
}

// Step 8 for one file; false when the file should have been replaced and was not.
bool copyPackedFile(PatchRun& run, const PackingListRead& list, const std::string& fileName,
                    const std::string& patchFolderPath, const std::string& patchVersion) {
    AppState& state = run.state;
    const std::string source = files::join(patchFolderPath, fileName);
    try {
        if (list.error) {
            throw *list.error;
        }
        const std::optional<PackingRecord> record = findRecord(list.records, fileName);
        if (!record) {
            // A file the packing list does not place stays where it is.
            return true;
        }
        bool viaDrive = false;
        const auto destination = destinationOf(run, *record, &viaDrive);
        if (!destination) {
            state.services.prompter.show(destinationMissingText(*record), box::Information,
                                         state.AppTitle);
            return true;
        }
        try {
            patchfiles::CopyToFolder(source, *destination, true);
            ++state.Summary.filesReplaced;
        } catch (const RunTimeError& e) {
            if (!handleCopyError(run, e, fileName, source)) {
                throw;
            }
            return false; // the user chose to go on with the other files
        }
        if (viaDrive) {
            std::string copies =
                files::join(files::join(state.PatchRoot, "LiveUpdatePatches"), patchVersion);
            const std::string sub = patchfiles::nativeRelative(record->field(3));
            if (!sub.empty()) {
                copies = files::join(copies, sub);
            }
            createFolders(copies);
            patchfiles::CopyToFolder(source, copies, true);
        }
        return true;
    } catch (const RunTimeError& e) {
        LogWrite(state, "Step8: - " + fileName + " could not be replaced: " + e.numberText() + "-" +
                            e.description());
        ShowStepError(run, e.number(), e.description());
        return false;
    }
}

} // namespace

void CopyPackedFile(PatchRun& run, const std::string& fileName, const std::string& patchFolderPath,
                    const std::string& patchVersion) {
    copyPackedFile(run, packingListOf(run, patchFolderPath), fileName, patchFolderPath,
                   patchVersion);
}

void UnregisterComponents(PatchRun& run) {
    AppState& state = run.state;
    try {
        NudgeProgress(state, 2);
        LogWrite(state, "Started un-registering Component(s)");
        if (files::fileExists(run.UnregBatch)) {
            state.services.launcher.start(run.UnregBatch, true);
        }
        LogWrite(state, "Un-registering Component(s) over");
        WriteProgressLine(run, "Step7: Over");
        WriteProgressLine(run, "Step8: Started");
    } catch (const RunTimeError& e) {
        ShowStepError(run, e.number(), e.description());
        return;
    }
    state.services.host.processEvents();
    CopyNewFiles(run);
}

void CopyNewFiles(PatchRun& run) {
    AppState& state = run.state;
    bool allReplaced = true;
    try {
        LogWrite(state, "Started replacing/copying new file(s).");
        const std::string prefix = state.EditionFlag == 1 ? "HO_" : "POS_";
        for (const auto& patch : text::splitText(run.PatchFolders, ":")) {
            const std::string folder = files::join(state.PatchFolder, patch);
            std::string version = patch;
            if (text::startsWith(text::upper(version), prefix)) {
                version = version.substr(prefix.size());
            }
            version = text::replaceAll(version, "_", ".");
            // Read once per patch: a packing list of many thousand records is not parsed again
            // for every file.
            const auto list = packingListOf(run, folder);
            for (const auto& file : patchfiles::filesIn(folder)) {
                if (text::upper(file) == "PACKINGLIST.INI" || patchfiles::isGlOrSy(file)) {
                    continue;
                }
                allReplaced = copyPackedFile(run, list, file, folder, version) && allReplaced;
                NudgeProgress(state, 1);
                state.services.host.processEvents();
            }
            if (run.SetupType == 4) {
                for (const auto& sub : patchfiles::subfoldersIn(folder)) {
                    if (text::equalsIgnoringCase(sub, "Ini")) {
                        copyFolderFiles(run, files::join(folder, sub),
                                        files::join(state.PatchRoot, "Ini"));
                    }
                }
            }
        }
        LogWrite(state, "Replacing/copying new file(s) Over.");
        if (!allReplaced) {
            // Not every file is in place: nothing is recorded, and the next run repeats step 8.
            run.Failed = true;
            LogWrite(state, "Step8: not every file was replaced; the patch level is not recorded.");
            return;
        }
        WriteProgressLine(run, "Step8: Over");
        WriteProgressLine(run, "Step9: Started");
    } catch (const RunTimeError& e) {
        ShowStepError(run, e.number(), e.description());
        return;
    }
    state.services.host.processEvents();
    RegisterComponents(run);
}

void RegisterComponents(PatchRun& run) {
    AppState& state = run.state;
    try {
        NudgeProgress(state, 2);
        LogWrite(state, "Started registering components.");
        if (files::fileExists(run.RegBatch)) {
            state.services.launcher.start(run.RegBatch, true);
        }
        // No "Step9: Over" here: a run that ends during the final task resumes with step 9.
        LogWrite(state, "Registering components Over.");
    } catch (const RunTimeError& e) {
        ShowStepError(run, e.number(), e.description());
        return;
    }
    state.services.host.processEvents();
    PerformFinalTask(run);
}

} // namespace pelvar
