#pragma once

#include "cli/CliContext.h"
#include "environment/Edition.h"

#include <CLI/CLI.hpp>
#include <string>

namespace pelvar::cli {

// `liveupdate check --edition POS|HO`: whether a patch run can succeed, one line per item.
void addCheckCommand(CLI::App& app, const GlobalOptions& options, int& exitCode);

// Prints the check of an edition on standard output; true when every item passed.
bool printCheck(const GlobalOptions& options, Edition edition);

} // namespace pelvar::cli
