#pragma once

#include "environment/Edition.h"

#include <optional>

namespace pelvar {

struct AppState;

// Works out DatabaseType, ProductAppPath and SecurityConnectionString for an edition (none
// counts as Point of Sale) from its system file, the registry as fallback.
// False, with the previous results untouched, when no set-up type is known.
bool LoadConnectionData(AppState& state, std::optional<Edition> edition);

enum class FailureLogging {
    Always,          // the shared form: every failure is logged
    UnspecifiedOnly, // the main window's form: only error 0x80004005 is logged
};

// Opens a new SecurityConnection and proves it by reading VaCompany. Failures give false
// and the log line "Connection with Secutity Database Failed." + description + number.
bool OpenSecurityDatabase(AppState& state, FailureLogging logging = FailureLogging::Always);

} // namespace pelvar
