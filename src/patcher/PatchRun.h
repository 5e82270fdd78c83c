#pragma once

#include "download/DownloadWalk.h"
#include "environment/Edition.h"
#include "patcher/StatementJournal.h"
#include "platform/net/InternetClient.h"

#include <map>
#include <string>
#include <vector>

namespace pelvar {

struct AppState;

// The update wizard's own values for one run, beside the process-wide AppState (the edition,
// the folders and database settings, the archive lists and UpdateEntries the download shares
// live there). The window or the command line owns it for as long as the wizard is shown.
struct PatchRun {
    explicit PatchRun(AppState& s) : state(s), download(s) {}

    AppState& state;
    // The values of the wizard's downloads.
    DownloadWalk download;

    // How the wizard was launched: its edition, and whether it is the scheduled run.
    Edition edition = Edition::Pos;
    bool Scheduled = false;

    // The product folder the run patches (the edition's ProductAppPath), and its PatchTemp
    // folder where archives are copied and unpacked.
    std::string PatchRoot;
    std::string PatchFolder;
    // The copied archives are ready to apply.
    bool UpdatesReady = false;

    // The edition's "PatchVer" as the wizard loaded it: GenUpdate.dat's version field, and the
    // level at or below which a patch counts as installed.
    std::string HeldVersion;

    // Setup type of the product system file; 4 takes the setup-type-4 branches.
    int SetupType = 0;

    // Base names of the unpacked archives, in run order.
    std::vector<std::string> PatchFolders;
    // With trusted keys: archives must match their signed entries (the signed size and hash
    // of each archive name); the verified hash of each unpacked folder's archive (by folder
    // name), as the progress file records it.
    bool SignedArchivesOnly = false;
    std::map<std::string, ExpectedContent> SignedArchives;
    std::map<std::string, std::string> ArchiveHashes;
    std::string PatchVersion;
    std::string BackupFolder;
    std::string UnregBatch;
    std::string RegBatch;
    std::string TempFolder;

    // Whether the batch files have their header lines yet.
    bool BatchHeaderWritten = false;

    // SY/GL detection of the backup step.
    bool SyGlPresent = false;
    std::string SyFile;
    std::string GlFile;

    // Scripts of the application-database step, by path.
    std::vector<std::string> DbsScriptList;
    std::vector<std::string> DbaScriptList;
    std::vector<std::string> RbsScriptList;

    // Where the script statements of step 5 or 6 stand, for a run killed inside the step.
    StatementJournal Statements;
};

} // namespace pelvar
