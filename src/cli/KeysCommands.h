#pragma once

#include "cli/CliContext.h"

#include <CLI/CLI.hpp>

namespace pelvar::cli {

// `liveupdate keys add FILE [--custom-name NAME ...] | list | remove KEYID | disable |
// reset-serial EDITION NAME`: the public keys this installation trusts for signed updates.
void addKeysCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);

} // namespace pelvar::cli
