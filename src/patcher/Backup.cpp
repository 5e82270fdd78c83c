#include "patcher/Backup.h"

#include "environment/AppState.h"
#include "environment/RegistrySettings.h"
#include "environment/UpdateLog.h"
#include "patcher/BackupList.h"
#include "patcher/PackingList.h"
#include "patcher/PatchFiles.h"
#include "patcher/PatchRun.h"
#include "patcher/Steps.h"
#include "patcher/WizardProgress.h"
#include "platform/base/CrashPoint.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/files/LinkGuard.h"
#include "platform/host/Host.h"
#include "platform/text/Text.h"
#include "platform/zip/ZipArchive.h"

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace pelvar {
namespace {

// A fresh collection folder for one patch, so that files of an earlier run do not slip into
// this backup.
std::string freshFolder(const std::string& path) {
    if (files::folderExists(path)) {
        files::deleteFolder(path);
    }
    files::createFolders(path);
    return path;
}

// Saves the installed file, when there is one, into the collection folder.
void saveInstalled(const std::string& installed, const std::string& collection) {
    // A link to a private file would copy that file into the backup.
    files::refuseLink(installed);
    if (!files::fileExists(installed)) {
        return;
    }
    // A hard link holds the installed version without copying its bytes: step 8 renames the
    // new file over the old name and never writes into the old file. Another file system, or
    // a file the link rules do not let us link, is copied.
    const std::string saved =
        files::join(collection, std::filesystem::path(installed).filename().string());
    if (::link(installed.c_str(), saved.c_str()) == 0) {
        crashPoint("copied:" + saved);
    } else {
        patchfiles::CopyToFolder(installed, collection, true);
    }
}

// The files one patch's backup archive is made of, and where each of them lives.
struct Collection {
    std::string folder;
    BackupList list;

    // Saves the installed file, when there is one, below `sub` of the collection.
    void save(const PatchRun& run, const std::string& installedFolder, const std::string& file,
              const std::string& sub, bool registered) {
        const std::string installed = files::join(installedFolder, file);
        saveInstalled(installed, sub.empty() ? folder : files::join(folder, sub));
        if (files::fileExists(installed)) {
            list.add(run, sub.empty() ? file : sub + "/" + file, installedFolder, registered);
        }
    }
};

bool registeredInFirstPass(const std::string& file) {
    return patchfiles::isComponent(file) && !patchfiles::isReleaseInstaller(file);
}

std::string windowsSubfolder(const PatchRun& run, const std::string& name) {
    return files::join(patchfiles::windowsFolder(run), name);
}

bool isWindowsSubfolder(const std::string& name) {
    return text::equalsIgnoringCase(name, "crystal") || text::equalsIgnoringCase(name, "System");
}

// Where the first pass puts the files of a patch subfolder.
std::string firstPassTarget(const PatchRun& run, const std::string& sub) {
    return isWindowsSubfolder(sub) ? windowsSubfolder(run, sub) : files::join(run.PatchRoot, sub);
}

std::string backupArchive(const PatchRun& run, const std::string& patch) {
    return files::join(run.BackupFolder, patch + ".Zip");
}

// "ddmmyy" of today.
std::string backupDate() {
    const std::string date = patchfiles::todayDate(); // DD/MM/YYYY
    return date.substr(0, 2) + date.substr(3, 2) + date.substr(8, 2);
}

} // namespace

void FormBackupFolder(PatchRun& run) {
    AppState& state = run.state;
    const std::string nodeId = ReadSetting(state.services.registry, "NodeId", keysel::NodeInfo);
    run.BackupFolder =
        files::join(files::join(run.PatchRoot, "Backup"), "PatchUpdate" + nodeId + backupDate());
    files::refuseLinksBelow(run.PatchRoot, run.BackupFolder);
    files::createFolders(files::join(run.PatchRoot, "Backup"));
    files::createFolders(run.BackupFolder);
}

bool ZipFolder(PatchRun& run, const std::string& archivePath, const std::string& sourceFolder,
               const std::string& fileSpec) {
    const std::string temp = archivePath + "." + std::to_string(::getpid()) + ".part";
    try {
        ZipArchive zip;
        zip.setArchive(temp);
        std::remove(temp.c_str());
        // A same-day rerun finds the files already replaced: the archive made first holds the
        // versions that were installed before, so it is kept and only gains what it lacks.
        const bool kept = files::fileExists(archivePath);
        if (kept) {
            files::copyFile(archivePath, temp, false);
        }
        // The list of destinations describes the archive as it now is: it is always replaced.
        if (!(kept ? zip.addMissing(sourceFolder, fileSpec, "tmpSysPara.mdb", BackupListName)
                   : zip.create(sourceFolder, fileSpec, "tmpSysPara.mdb"))) {
            raise(err::PathFileAccess, archivePath);
        }
        // Backups may hold files readable only by the product's account.
        if (::chmod(temp.c_str(), 0600) != 0 ||
            std::rename(temp.c_str(), archivePath.c_str()) != 0) {
            raiseFromErrno(errno, archivePath);
        }
        return true;
    } catch (const RunTimeError& e) {
        std::remove(temp.c_str());
        ShowStepError(run, e.number(), e.description());
        return false;
    }
}

void BackupProgramFiles(PatchRun& run) {
    AppState& state = run.state;
    try {
        LogWrite(state, "Started EXE/DLL/OCX and Other file(s) backup");
        for (const auto& patch : run.PatchFolders) {
            const std::string source = files::join(run.PatchFolder, patch);
            Collection collection{freshFolder(files::join(run.TempFolder, patch)), {}};
            for (const auto& file : patchfiles::filesIn(source)) {
                collection.save(run, run.PatchRoot, file, "", registeredInFirstPass(file));
                if (registeredInFirstPass(file)) {
                    AddRegistrationLines(run, run.PatchRoot, file);
                }
                state.services.host.processEvents();
            }
            for (const auto& sub : patchfiles::subfoldersIn(source)) {
                const std::string installed = firstPassTarget(run, sub);
                files::createFolders(files::join(collection.folder, sub));
                for (const auto& file : patchfiles::filesIn(files::join(source, sub))) {
                    collection.save(run, installed, file, sub, registeredInFirstPass(file));
                    if (registeredInFirstPass(file)) {
                        AddRegistrationLines(run, installed, file);
                    }
                    state.services.host.processEvents();
                }
            }
            collection.list.writeInto(collection.folder);
            if (!ZipFolder(run, backupArchive(run, patch), collection.folder, "*")) {
                return;
            }
        }
    } catch (const RunTimeError& e) {
        LogWrite(state, "Backup failed: " + e.numberText() + "-" + e.description());
        ShowStepError(run, e.number(), e.description());
    }
}

StepResult BackupPackedFiles(PatchRun& run) {
    AppState& state = run.state;
    FormBackupFolder(run);
    LogWrite(state, "Started EXE/DLL/OCX and Other file(s) backup");
    state.services.host.processEvents();
    for (const auto& patch : run.PatchFolders) {
        const std::string source = files::join(run.PatchFolder, patch);
        const std::string packingList = files::join(source, "PackingList.ini");
        Collection collection{freshFolder(files::join(run.TempFolder, patch)), {}};
        const PackingIndex records(files::fileExists(packingList)
                                       ? parsePackingList(patchfiles::readBounded(packingList))
                                       : std::vector<PackingRecord>{});
        for (const auto& file : patchfiles::filesIn(source)) {
            const std::string upper = text::upper(file);
            if (patchfiles::isGlOrSy(file)) {
                run.SyGlPresent = true;
                (text::endsWith(upper, "SY") ? run.SyFile : run.GlFile) = file;
            } else if (patchfiles::isComponent(file)) {
                FindInPackingList(run, records, file);
            }
            // The backup holds the installed version of every file step 8 will overwrite.
            if (upper != "PACKINGLIST.INI" && !patchfiles::isGlOrSy(file)) {
                if (const auto record = findRecord(run, records, file)) {
                    if (const auto target = destinationOf(run, *record)) {
                        collection.save(run, *target, file, "",
                                        patchfiles::isComponent(file) &&
                                            text::upper(record->field(5)) == "Y");
                    }
                }
            }
            state.services.host.processEvents();
        }
        if (run.SetupType == 4) {
            const std::string ini = files::join(source, "Ini");
            for (const auto& file : patchfiles::filesIn(ini)) {
                files::createFolders(files::join(collection.folder, "Ini"));
                collection.save(run, files::join(run.PatchRoot, "Ini"), file, "Ini", false);
            }
        }
        WriteProgressLine(run,
                          std::string("bolSYGLPresent:") + (run.SyGlPresent ? "True" : "False"));
        if (run.SyGlPresent) {
            if (!run.SyFile.empty()) {
                WriteProgressLine(run, "strSyFile:" + run.SyFile);
            }
            if (!run.GlFile.empty()) {
                WriteProgressLine(run, "strGlFile:" + run.GlFile);
            }
        }
        collection.list.writeInto(collection.folder);
        if (!ZipFolder(run, backupArchive(run, patch), collection.folder, "*")) {
            return StepResult::Stop;
        }
        NudgeProgress(state, 1);
    }
    LogWrite(state, "EXE/DLL/OCX and Other file(s) Over");
    return StepResult::Continue;
}

} // namespace pelvar
