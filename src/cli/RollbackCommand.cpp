#include "cli/RollbackCommand.h"

#include "cli/ApplyCommand.h"
#include "cli/EditionOption.h"
#include "environment/AppState.h"
#include "environment/Connections.h"
#include "patcher/PatchRun.h"
#include "patcher/Rollback.h"
#include "settings/SettingsFiles.h"

#include <iostream>
#include <memory>

namespace pelvar::cli {
namespace {

struct RollbackArguments {
    Edition edition = Edition::Pos;
    std::string patch;
};

int runRollback(CliContext& context, const RollbackArguments& args) {
    AppState& state = context.state();
    state.edition = args.edition;
    LoadConnectionData(state, args.edition);
    useConfiguredDownloadFolder(state);
    PatchRun run(state);
    run.edition = args.edition;
    run.PatchRoot = state.ProductAppPath;
    RollbackReport report;
    const bool done = RollBackPatch(run, args.patch, report);
    if (!report.archive.empty()) {
        std::cerr << "Rollback of " << report.patch << " from " << report.archive << ":\n";
        for (const auto& path : report.restored) {
            std::cerr << "  put back " << path << '\n';
        }
        std::cerr << report.restored.size() << " file(s) put back, " << report.failedFiles
                  << " could not be written (see the update log); " << report.unregistered
                  << " component(s) un-registered, " << report.registered << " registered again.\n"
                  << "Database changes are not undone: PatchVer and the patch records stay as "
                     "they are.\n";
    }
    return done ? 0 : 1;
}

} // namespace

void addRollbackCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto args = std::make_shared<RollbackArguments>();
    auto* rollback = app.add_subcommand(
        "rollback", "Put back the program files of the last applied patch from its backup");
    rollback->footer(
        "Restores every file the backup archive of the patch holds to the place it was "
        "installed, un-registering and registering its components again; database changes "
        "are not undone (PatchVer and the patch records stay).\n"
        "Exit code 0: every file was put back; 1: refused (no backup, a backup that does not "
        "say where a file belongs, another run in progress) or a file could not be written; "
        "2: unknown edition or option.");
    addEditionOption(rollback, args->edition);
    rollback->add_option("--patch", args->patch,
                         "The patch to roll back (e.g. POS_9_0_1_05); default: the last applied");
    rollback->callback([args, &options, &exitCode] {
        CliContext context(options);
        exitCode = runRollback(context, *args);
    });
}

} // namespace pelvar::cli
