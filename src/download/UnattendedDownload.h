#pragma once

#include <string>

namespace pelvar {

struct AppState;

// The scheduled download of an edition ("POS" or "HO", also the edition texts): the same run
// as the Download button, without a window. Returns the process exit code: 0 when the run
// completed or there was nothing to download, 1 when it ended on an error or a failure
// message (tampered update information, a damaged archive, a file that could not be fetched,
// a missing download folder, another run of the edition in progress), 2 for an unknown edition.
int RunUnattendedDownload(AppState& state, const std::string& edition);

// The edition text for "POS"/"HO"/"Point of Sale"/"Head Office" (case-insensitive codes);
// empty for anything else.
std::string editionTextFor(const std::string& editionOrCode);

} // namespace pelvar
