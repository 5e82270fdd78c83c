#pragma once

#include "environment/Edition.h"
#include "platform/base/EngineVersion.h"

#include <optional>
#include <string>

namespace pelvar {

struct AppState;

// AppTitle and AppFolder as the main window's load sets them.
void PrepareMainWindowState(AppState& state);

// The installed patch number and last download date of an edition, as lblPatchNo and
// lblLastUpdated show them ("N/A" when the registry has nothing).
struct EditionLabels {
    bool known = false; // false without an edition
    std::string patchNo;
    std::string lastUpdated;
};

// Reads the labels of the edition chosen in the list, which becomes the state's edition.
EditionLabels ReadEditionLabels(AppState& state, std::optional<Edition> edition);

// Brings "PatchVer" of Head Office, then Point of Sale, into its current form from the
// LiveUpdate values (last downloaded archive name, or a version stored directly) and records
// a migrated version in the patch history. Nothing is done while the wizard runs a download.
void MigratePatchVersions(AppState& state);

// Adds a VAPatchDtls row per company of the security database for this node and version.
// Never reports an error: an integrity violation ends it, other failures skip the statement.
void RecordPatchHistory(AppState& state, const std::string& version);

// The state the Settings button sets before the settings window opens.
void PrepareSettingsOpen(AppState& state, std::optional<Edition> edition);

} // namespace pelvar
