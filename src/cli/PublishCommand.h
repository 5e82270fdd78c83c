#pragma once

#include <CLI/CLI.hpp>

namespace pelvar::cli {

// `liveupdate publish --edition POS|HO --name NAME --key SECRET_KEY --out DIR [--serial N]
// [--expires-in DAYS] [--password-file FILE] ARCHIVE:RELEASE[:DATE] ...`: writes what a
// download location serves: the signed update-information files and the archives.
void addPublishCommand(CLI::App& app, int& exitCode);

} // namespace pelvar::cli
