#pragma once

#include <string>

namespace pelvar {

struct AppState;

// The scheduled download of an edition ("POS" or "HO", also the edition texts): the same run
// as the Download button, without a window. Returns the process exit code.
int RunUnattendedDownload(AppState& state, const std::string& edition);

// The edition text for "POS"/"HO"/"Point of Sale"/"Head Office" (case-insensitive codes);
// empty for anything else.
std::string editionTextFor(const std::string& editionOrCode);

} // namespace pelvar
