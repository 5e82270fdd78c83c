#pragma once

#include "cli/CliContext.h"

#include <CLI/CLI.hpp>

namespace pelvar {
struct AppState;
}

namespace pelvar::cli {

// Without a download the folder comes from the edition's settings file, as the walk reads it.
void useConfiguredDownloadFolder(AppState& state);

// `liveupdate apply --edition POS|HO [--no-download]`: the update wizard's "Check for Updates"
// and Next without a window. Exit 0 when the run ends normally, 1 when an error ended it.
void addApplyCommand(CLI::App& app, const GlobalOptions& options, int& exitCode);

// `liveupdate run-batch FILE` / `--line TEXT` (hidden): the batch runner that batch files and
// REGSVR32 command lines are started through.
void addRunBatchCommand(CLI::App& app, const GlobalOptions& options, int& exitCode);

} // namespace pelvar::cli
