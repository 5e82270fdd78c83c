#pragma once

#include <CLI/CLI.hpp>

namespace pelvar::cli {

struct GlobalOptions;

// "schedule show|set|off": the schedule window of an edition on the command line.
void addScheduleCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);

} // namespace pelvar::cli
