#pragma once

#include "environment/Edition.h"

#include <string>

namespace pelvar {

struct AppState;

// Where the pre-flight check reports its items: one call per item, in order. `detail` says
// what was found or why the item fails; it never holds a password.
class PreflightReport {
  public:
    virtual ~PreflightReport() = default;
    virtual void item(const std::string& name, bool ok, const std::string& detail) = 0;
};

// Whether a patch run of the edition can succeed here, item by item: the
// settings it reads, the folders it writes and their free space, every database it opens,
// the programs it starts, the locks it takes, the locations it downloads from, the trusted
// keys and the saved schedule. Reads and probes: no setting changes and no lock is kept (the
// load of the connection settings still writes a missing system file and logs a refused
// product folder, as every load does). True when every item passed.
bool RunPreflight(AppState& state, Edition edition, PreflightReport& report);

} // namespace pelvar
