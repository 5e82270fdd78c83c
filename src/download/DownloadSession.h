#pragma once

#include "environment/Edition.h"

#include <optional>
#include <string>

namespace pelvar {

struct AppState;
struct DownloadWalk;

// The edition of a download: the one shown in the main window, else the state's.
std::optional<Edition> shownEdition(const AppState& state);

// Runs a download for the state's edition: the edition's settings file, then the custom
// locations of the security database. The caller reads the walk's PatchesDownloaded, and
// DownloadFolder and the patch lists afterwards.
void StartDownloadSession(DownloadWalk& walk);

// Walks one settings file: in download mode (CurrentOperation "Download") each location of
// the edition is fetched; in listing mode each is added to the settings window's grid.
void DownloadFromSettings(DownloadWalk& walk, const std::string& settingsFile);

// Fills DownloadLocation from AppFolder/<fileName>, line k unscrambled into field k.
// Missing files or lines leave fields as they were; nothing is reported.
void LoadDownloadLocation(AppState& state, const std::string& fileName);

// Raises "Path not found" (76) when DownloadFolder is empty: an empty folder is a missing
// one, never the file system's root.
void requireDownloadFolder(const AppState& state);

// The download folder a run of the edition's settings file would use (line 1, or the
// registry's value outside the wizard); empty when there is no settings file.
std::string sessionDownloadFolder(AppState& state);

// Listing mode: adds DownloadLocation to the settings grid when it belongs to its edition.
void AddLocationRow(AppState& state);

// The progress bar of the context (wizard or main window): at 100 it drops by `setback`
// and rises by `step`; below, it rises by `step` while that stays under 100.
void AdvanceProgress(AppState& state, float step, float setback);

} // namespace pelvar
