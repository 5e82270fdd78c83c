#pragma once

#include <map>
#include <string>

namespace pelvar {

struct AppState;

// Raised after a stopping message when the host could not be ended (no window titled AppTitle):
// the run still stops. ApplyUpdates and CheckForUpdates catch it.
struct RunStopped {};

// The update wizard's own values for one run, beside the process-wide AppState (PatchRoot,
// PatchFolder, CustomPatchFiles, PatchFiles, UpdateEntries and UpdatesReady live there).
// The window or the command line owns it for as long as the wizard is shown.
struct PatchRun {
    explicit PatchRun(AppState& s) : state(s) {}

    AppState& state;

    // How the wizard was launched: "POS" or "HO", and whether it is the scheduled run.
    std::string EditionCode;
    bool Scheduled = false;

    // The held version text: the version field of GenUpdate.dat and, without its dots, the
    // version text the verification gets.
    std::string HeldVersion;

    // Setup type of the product system file; 4 takes the setup-type-4 branches.
    int SetupType = 0;

    // Base names of the unpacked archives, joined with ":".
    std::string PatchFolders;
    // With trusted keys: archives must match their signed entries; the verified hash of each
    // unpacked folder's archive (by folder name), as the progress file records it.
    bool SignedArchivesOnly = false;
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

    // Scripts of the application-database step, "[[*]]"-joined paths.
    std::string DbsScriptList;
    std::string DbaScriptList;
    std::string RbsScriptList;

    // Set when an error box or a stopping message of the steps ended the run; the command
    // line's exit code.
    bool Failed = false;

    // Three window states recorded with each patch row; no step sets them.
    bool RowFlag1 = false;
    bool RowFlag2 = false;
    bool RowFlag3 = false;
};

} // namespace pelvar
