#pragma once

#include <string>

namespace pelvar {

struct AppState;
struct DownloadWalk;

// Fetches from the active rows of CustomPatchLocationDtls in the security database,
// skipping the address already configured.
void DownloadFromCustomLocations(DownloadWalk& walk);

// True when the address differs from the Location of the last "Download File" location of
// the shop-edition settings file (false when it lists none).
bool IsNewCustomAddress(AppState& state, const std::string& address);

} // namespace pelvar
