#include "download/LocationListing.h"

#include "download/DownloadSession.h"
#include "download/DownloadWalk.h"
#include "environment/AppState.h"
#include "platform/files/Files.h"
#include "settings/SettingsFiles.h"

namespace pelvar {

std::vector<std::string> LocationList::rowNames() const {
    std::vector<std::string> names;
    for (const auto& row : rows) {
        names.push_back(row.Description);
    }
    return names;
}

bool ListLocations(AppState& state, SettingsSurface& surface) {
    state.DownloadLocation.clear();
    if (const auto edition = editionFromText(surface.productName())) {
        const std::string name = settingsFileName(*edition);
        // Any other operation than "Download" makes the walk list instead of fetch.
        state.CurrentOperation.assign(
            1, ' '); // (assigning " " trips a false -Wrestrict in GCC 12 at -O2)
        SettingsSurface* shown = state.settingsWindow;
        state.settingsWindow = &surface;
        // Listing fetches nothing: a walk of its own, whose values nobody reads.
        DownloadWalk listing(state);
        DownloadFromSettings(listing, files::join(state.AppFolder, name));
        state.settingsWindow = shown;
    }
    return !state.DownloadLocation.Description.empty();
}

} // namespace pelvar
