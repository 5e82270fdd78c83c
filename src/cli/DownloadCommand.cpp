#include "cli/DownloadCommand.h"

#include "cli/CliContext.h"
#include "cli/RunSummaryText.h"
#include "download/UnattendedDownload.h"

#include <iostream>
#include <memory>
#include <unistd.h>

namespace pelvar::cli {

void addDownloadCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto edition = std::make_shared<std::string>();
    auto* download = app.add_subcommand("download", "Download and verify an edition's patches");
    download->footer(
        "Downloads, verifies and reports the patches of an edition, as the Download button "
        "does; message boxes are printed, questions answered by --yes/--no.\n"
        "Exit code 0: the run completed or there was nothing to download; 1: it ended on an "
        "error or a failure message (\"Updates Information Tampered\", a damaged archive, a "
        "file that could not be fetched, \"Path not found\", another run of the edition in "
        "progress); 2: unknown edition or option.");
    download
        ->add_option("--edition", *edition, "POS or HO (also \"Point of Sale\" or \"Head Office\")")
        ->required()
        ->check([](const std::string& value) {
            return !editionFromTyped(value) ? "must be POS, HO, \"Point of Sale\" or "
                                              "\"Head Office\""
                                            : std::string();
        });
    auto ignoreExpiry = std::make_shared<bool>(false);
    download->add_flag("--ignore-expiry", *ignoreExpiry,
                       "Accept signed update information past its expiry, for this run only "
                       "(root only; for a machine whose clock is wrong)");
    download->callback([edition, ignoreExpiry, &options, &exitCode] {
        if (*ignoreExpiry && ::geteuid() != 0) {
            std::cerr << "liveupdate download: --ignore-expiry is for root only\n";
            exitCode = 1;
            return;
        }
        CliContext context(options);
        DownloadWalk walk(context.state());
        walk.IgnoreExpiry = *ignoreExpiry;
        exitCode = RunUnattendedDownload(walk, *editionFromTyped(*edition));
        printDownloadSummary(context.state(), std::cerr);
    });
}

} // namespace pelvar::cli
