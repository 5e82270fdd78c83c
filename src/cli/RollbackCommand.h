#pragma once

#include "cli/CliContext.h"

#include <CLI/CLI.hpp>

namespace pelvar::cli {

// `liveupdate rollback --edition POS|HO [--patch NAME]`: puts back the program files of the
// last applied patch (or the named one) from its backup archive. Exit 0 when every file was put
// back, 1 when it refused or a file could not be written.
void addRollbackCommand(CLI::App& app, const GlobalOptions& options, int& exitCode);

} // namespace pelvar::cli
