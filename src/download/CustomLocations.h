#pragma once

#include <string>

namespace pelvar {

struct AppState;

// Fetches from the active rows of CustomPatchLocationDtls in the security database,
// skipping the address already configured.
void DownloadFromCustomLocations(AppState& state);

// True when the address differs from the Location of the last "Download File" location of
// the shop-edition settings file (false when it lists none).
bool IsNewCustomAddress(AppState& state, const std::string& address);

// Appends text and CR LF to the file at `path`, then gives the message loop a turn.
void AppendLineToFile(AppState& state, const std::string& text, const std::string& path);

// Creates or empties AppFolder/<name> and writes text and CR LF.
void WriteFileText(AppState& state, const std::string& text, const std::string& name);

} // namespace pelvar
