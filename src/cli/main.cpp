#include "cli/ApplyCommand.h"
#include "cli/CheckCommand.h"
#include "cli/CliContext.h"
#include "cli/DownloadCommand.h"
#include "cli/KeysCommands.h"
#include "cli/LocationsCommands.h"
#include "cli/PublishCommand.h"
#include "cli/RegCommands.h"
#include "cli/RollbackCommand.h"
#include "cli/ScheduleCommands.h"
#include "cli/ScrambleCommand.h"
#include "platform/base/EngineVersion.h"
#include "platform/base/RunTimeError.h"
#include "platform/host/Host.h"

#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <iostream>

namespace {

// CLI11 checks for a missing subcommand before it looks at left-over words, so a mistyped
// command would read "A subcommand is required"; name the word that was not understood.
std::string parseErrorText(const CLI::App& app, const CLI::ParseError& e) {
    std::string text = e.what();
    if (dynamic_cast<const CLI::RequiredError*>(&e) &&
        text.find("subcommand") != std::string::npos) {
        const auto extras = app.remaining(true);
        if (!extras.empty()) {
            return "unknown command '" + extras.front() + "'";
        }
    }
    return text;
}

int run(int argc, char** argv) {
    QCoreApplication qtApp(argc, argv);
    CLI::App app{"LiveUpdate: downloads, verifies and applies Pelvar 9 patches, and keeps the "
                 "download settings",
                 "liveupdate"};
    pelvar::cli::GlobalOptions options;
    app.add_option("--root", options.root, "Sandbox root for machine-wide files (PELVAR_ROOT)");
    app.add_option("--app-folder", options.appFolder,
                   "The component's folder with settings and location files (PELVAR_APP_FOLDER)");
    auto* yes = app.add_flag("--yes", options.yes, "Answer Yes to every question");
    app.add_flag("--no", options.no, "Answer No to every question")->excludes(yes);
    app.set_version_flag("--version", std::string("liveupdate ") + pelvar::EngineVersion,
                         "Print the engine version and exit");
    app.require_subcommand(1);

    int exitCode = 0;
    pelvar::cli::addRegCommands(app, options, exitCode);
    pelvar::cli::addScrambleCommand(app);
    pelvar::cli::addLocationsCommands(app, options, exitCode);
    pelvar::cli::addScheduleCommands(app, options, exitCode);
    pelvar::cli::addDownloadCommand(app, options, exitCode);
    pelvar::cli::addCheckCommand(app, options, exitCode);
    pelvar::cli::addApplyCommand(app, options, exitCode);
    pelvar::cli::addRollbackCommand(app, options, exitCode);
    pelvar::cli::addRunBatchCommand(app, options, exitCode);
    pelvar::cli::addPublishCommand(app, exitCode);
    pelvar::cli::addKeysCommands(app, options, exitCode);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // One line of error, one of usage, exit code 2.
        std::cerr << "liveupdate: " << parseErrorText(app, e) << '\n'
                  << "usage: liveupdate [--root DIR] [--app-folder DIR] [--yes|--no] COMMAND ..."
                     " (liveupdate --help for the commands)\n";
        return 2;
    } catch (const pelvar::RunStopped&) {
        return 0;
    } catch (const pelvar::RunTimeError& e) {
        std::cerr << "liveupdate: " << e.description() << " (" << e.numberText() << ")"
                  << (e.source().empty() ? "" : ": " + e.source()) << '\n';
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "liveupdate: " << e.what() << '\n';
        return 1;
    }
    return exitCode;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (...) {
        // Setting up the commands failed before anything ran.
        std::cerr << "liveupdate: internal error\n";
        return 1;
    }
}
