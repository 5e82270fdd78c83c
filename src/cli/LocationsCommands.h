#pragma once

#include <CLI/CLI.hpp>

namespace pelvar::cli {

struct GlobalOptions;

// "locations list|add|modify|delete|folder": the settings window's list and folder of an
// edition, with the same checks and files. `exitCode` receives the chosen command's result.
void addLocationsCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);

} // namespace pelvar::cli
