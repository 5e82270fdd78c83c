#pragma once

#include "environment/Edition.h"
#include "environment/LocationRecord.h"
#include "environment/Surfaces.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace pelvar {

struct AppState;

// "POSDownloadSettings.config" / "HODownloadSettings.config".
std::string settingsFileName(Edition edition);

// Title of the boxes that refuse changes to the reserved locations.
inline constexpr const char* DownloaderTitle = "LiveUpdate Downloader";

// Rewrites the edition's settings file: "Download path=" + the folder text, then one
// "Download File=" line per non-empty row name, in row order. Nothing is written without an
// edition (false).
bool WriteSettingsFile(AppState& state, std::optional<Edition> edition,
                       const std::string& downloadPath, const std::vector<std::string>& rowNames);

// The twelve lines of a location file before scrambling: key text + field, in field order.
std::array<std::string, LocationRecord::FieldCount> composeLocationLines(const LocationRecord& l);

// Writes AppFolder/<fileName>: the first line creates or truncates it, the rest are appended,
// each scrambled.
void WriteLocationFile(AppState& state, const std::string& fileName, const LocationRecord& l);

// The box that refuses to modify or delete a reserved location, if any.
std::optional<std::string> modifyRefusal(const std::string& locationFile);
std::optional<std::string> deleteRefusal(std::optional<Edition> edition, const std::string& name);

// Deletes row `activeRow` of `rows` (names of the grid's rows, no row when out of range):
// a reserved name is refused with its box (false, nothing changes); otherwise the row leaves
// `rows`, the settings file is rewritten with `downloadPath` as typed, and the location file
// is removed, or its absence reported.
bool DeleteLocation(AppState& state, std::optional<Edition> edition,
                    const std::string& downloadPath, std::vector<std::string>& rows, int activeRow);

// Saves the folder and the list: a folder that does not exist is refused with its box
// (false, nothing written); otherwise the settings file is rewritten, the registry copy of
// `registryEdition` (the edition chosen in the main window) updated, and "Download Settings
// Saved" shown.
bool SaveDownloadSettings(AppState& state, std::optional<Edition> edition,
                          std::optional<Edition> registryEdition, const std::string& downloadPath,
                          const std::vector<std::string>& rows);

} // namespace pelvar
