#pragma once

#include <CLI/CLI.hpp>

namespace pelvar::cli {

struct GlobalOptions;

// "download --edition E": the Download button of the main window, without the window.
void addDownloadCommand(CLI::App& app, const GlobalOptions& options, int& exitCode);

} // namespace pelvar::cli
