#include "cli/ApplyCommand.h"

#include "cli/CheckCommand.h"
#include "cli/EditionOption.h"
#include "cli/RunSummaryText.h"
#include "download/DownloadRun.h"
#include "environment/AppState.h"
#include "environment/EndHostProcess.h"
#include "patcher/ConsoleWizard.h"
#include "patcher/PatchRun.h"
#include "patcher/Wizard.h"
#include "platform/files/Files.h"
#include "platform/files/WindowsPath.h"
#include "platform/host/Host.h"
#include "platform/process/BatchRunner.h"
#include "platform/process/RunnerQueue.h"
#include "platform/text/Text.h"
#include "settings/SettingsFiles.h"

#include <iostream>
#include <memory>

namespace pelvar::cli {

// Without a download the folder comes from the edition's settings file, as the walk reads it.
void useConfiguredDownloadFolder(AppState& state) {
    if (!state.edition) {
        return;
    }
    const std::string settings = files::join(state.AppFolder, settingsFileName(*state.edition));
    if (files::fileExists(settings)) {
        const auto lines = files::readLines(settings);
        if (!lines.empty()) {
            state.DownloadFolder = nativePath(state.services.paths,
                                              text::splitKeyValue(lines[0]).value, "Download path");
        }
    }
}

namespace {

struct ApplyArguments {
    Edition edition = Edition::Pos;
    bool noDownload = false;
    bool checkFirst = false;
};

struct BatchArguments {
    std::string file;
    std::string line;
    std::string afterLock;
};

int runApply(CliContext& context, const ApplyArguments& args) {
    AppState& state = context.state();
    ConsoleWizard console;
    state.wizard = &console;
    PatchRun run(state);
    run.edition = args.edition;
    try {
        LoadWizard(run);
        if (args.noDownload) {
            state.RunMode = InstallationMode;
            useConfiguredDownloadFolder(state);
            const auto lock = LockDownloadRun(state);
            if (!lock) {
                return 1;
            }
            ApplyUpdates(run);
        } else {
            CheckForUpdates(run);
        }
        EndHostProcess(state);
    } catch (const RunStopped&) {
        // The run ended the host: normally, or after one of its stopping messages.
    }
    state.wizard = nullptr;
    printApplySummary(run, std::cerr);
    return state.RunFailed || applyLeftWorkUndone(state) ? 1 : 0;
}

} // namespace

void addApplyCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto args = std::make_shared<ApplyArguments>();
    auto* apply = app.add_subcommand("apply", "Download and apply an edition's patches");
    apply->footer("Downloads and applies the patches of an edition, as the update wizard's "
                  "\"Check for Updates\" and Next do; --yes/--no answer the resume question and "
                  "the copy-error questions.\n"
                  "A summary on standard error says what was fetched, refused, applied and is "
                  "still pending.\n"
                  "Exit code 0: everything applied (or nothing to apply); 1: it stopped on an "
                  "error, a statement failed, a company database could not be opened, another "
                  "run holds the edition's lock, or --check-first found a failing item; 2: "
                  "unknown edition or option.");
    addEditionOption(apply, args->edition);
    apply->add_flag("--no-download", args->noDownload,
                    "Apply what the edition's download folder already holds");
    apply->add_flag("--check-first", args->checkFirst,
                    "Run `liveupdate check` first and apply nothing when an item fails");
    apply->callback([args, &options, &exitCode] {
        if (args->checkFirst && !printCheck(options, args->edition)) {
            std::cerr << "liveupdate: the check failed (FAIL lines above); nothing was applied\n";
            exitCode = 1;
            return;
        }
        CliContext context(options);
        exitCode = runApply(context, *args);
    });
}

void addRunBatchCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto args = std::make_shared<BatchArguments>();
    auto* runner = app.add_subcommand("run-batch", "Run a registration batch file");
    runner->group(""); // started by the component, not by people
    runner->add_option("FILE", args->file, "Batch file");
    runner->add_option("--line", args->line, "One command line, such as REGSVR32 \"x.dll\" /S");
    runner->add_option("--after-lock", args->afterLock,
                       "Start once no runner holds this lock file (the runner started before)");
    runner->callback([args, &options, &exitCode] {
        if (!runners::waitForTurn(args->afterLock, runners::DefaultWait)) {
            std::cerr << "liveupdate: the batch runner started before this one still runs after "
                      << runners::DefaultWait.count() << " s (" << args->afterLock
                      << "); nothing was run\n";
            exitCode = 1;
            return;
        }
        CliContext context(options);
        int failures = 0;
        if (!args->line.empty()) {
            failures = batch::runLine(args->line, context.registry(), std::cout, std::cerr) ? 0 : 1;
        }
        if (!args->file.empty()) {
            failures += batch::runFile(args->file, context.registry(), std::cout, std::cerr);
        }
        exitCode = failures == 0 ? 0 : 1;
    });
}

} // namespace pelvar::cli
