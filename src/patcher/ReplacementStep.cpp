#include "patcher/ReplacementStep.h"

#include "environment/AppState.h"
#include "environment/EndHostProcess.h"
#include "environment/PatchVersion.h"
#include "environment/UpdateLog.h"
#include "patcher/FirstPassCopy.h"
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

#include <optional>
#include <vector>

namespace pelvar {
namespace {

// The No answer to a copy error: the run is abandoned and starts afresh next time.
[[noreturn]] void abandonRun(PatchRun& run) {
    run.state.RunFailed = true;
    const std::string progress = progressFilePath(run);
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

// A patch's packing list, read once; a list that cannot be read fails each file in turn.
struct PackingListRead {
    PackingIndex records;
    std::optional<RunTimeError> error;
};

PackingListRead packingListOf(const std::string& patchFolderPath) {
    try {
        return {PackingIndex(parsePackingList(
                    patchfiles::readBounded(files::join(patchFolderPath, "PackingList.ini")))),
                std::nullopt};
    } catch (const RunTimeError& e) {
        return {PackingIndex({}), e};
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
        const std::optional<PackingRecord> record = findRecord(run, list.records, fileName);
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
        patchfiles::refuseInstallationLinks(run, *destination);
        try {
            patchfiles::InstallPatchFile(source, *destination);
            ++state.Summary.filesReplaced;
        } catch (const RunTimeError& e) {
            if (!handleCopyError(run, e, fileName, source)) {
                throw;
            }
            return false; // the user chose to go on with the other files
        }
        if (viaDrive) {
            std::string copies =
                files::join(files::join(run.PatchRoot, "LiveUpdatePatches"), patchVersion);
            const std::string sub = patchfiles::nativeRelative(record->field(3));
            if (!sub.empty()) {
                copies = files::join(copies, sub);
            }
            patchfiles::refuseInstallationLinks(run, copies);
            files::createFolders(copies);
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
    copyPackedFile(run, packingListOf(patchFolderPath), fileName, patchFolderPath, patchVersion);
}

StepResult CopyNewFiles(PatchRun& run) {
    AppState& state = run.state;
    bool allReplaced = true;
    LogWrite(state, "Started replacing/copying new file(s).");
    for (const auto& patch : run.PatchFolders) {
        const std::string folder = files::join(run.PatchFolder, patch);
        const std::string version = patchVersionOfName(patch, state.edition == Edition::Ho);
        // Read once per patch: a packing list of many thousand records is not parsed again
        // for every file.
        const auto list = packingListOf(folder);
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
                                    files::join(run.PatchRoot, "Ini"));
                }
            }
        }
    }
    LogWrite(state, "Replacing/copying new file(s) Over.");
    if (!allReplaced) {
        // Not every file is in place: nothing is recorded, and the next run repeats step 8.
        state.RunFailed = true;
        LogWrite(state, "Step8: not every file was replaced; the patch level is not recorded.");
        return StepResult::Stop;
    }
    return StepResult::Continue;
}

} // namespace pelvar
