#include "cli/CheckCommand.h"

#include "cli/EditionOption.h"
#include "patcher/Preflight.h"

#include <iostream>
#include <memory>

namespace pelvar::cli {
namespace {

class PrintedReport : public PreflightReport {
  public:
    void item(const std::string& name, bool ok, const std::string& detail) override {
        std::cout << (ok ? "OK   " : "FAIL ") << name << ": " << detail << '\n';
    }
};

} // namespace

bool printCheck(const GlobalOptions& options, Edition edition) {
    // A component of its own: the run that may follow starts from a fresh state.
    CliContext context(options);
    PrintedReport report;
    return RunPreflight(context.state(), edition, report);
}

void addCheckCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto edition = std::make_shared<Edition>();
    auto* check =
        app.add_subcommand("check", "Check whether a patch run of an edition can succeed");
    check->footer("One line per item, OK or FAIL with the reason: the registry values, the product "
                  "and download folders (writable, free space for the waiting archives, their "
                  "unpacked files and the backup), the security, company and replication "
                  "databases, the batch runner and the framework library, the locks of other "
                  "runs, every download location, the trusted keys and the saved schedule. "
                  "Nothing is applied or downloaded.\n"
                  "Exit code 0: every item passed; 1: an item failed; 2: unknown edition or "
                  "option.");
    addEditionOption(check, *edition);
    check->callback(
        [edition, &options, &exitCode] { exitCode = printCheck(options, *edition) ? 0 : 1; });
}

} // namespace pelvar::cli
