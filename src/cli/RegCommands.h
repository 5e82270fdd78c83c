#pragma once

#include <CLI/CLI.hpp>
#include <functional>

namespace pelvar::cli {

struct GlobalOptions;

// "reg get|set|delete|list": the admin's view of the registry stand-in.
// `run` receives the exit code of the chosen command.
void addRegCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);

} // namespace pelvar::cli
