// PelvarPU: the update wizard for one edition, or its scheduled mode that downloads
// unattended. The main window's hand-over starts it without arguments; it then opens on the
// edition of that download, which it inherits as PELVAR_EDITION.
#include "environment/AppState.h"
#include "patcher/PatchRun.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/SandboxPaths.h"
#include "platform/host/Prompter.h"
#include "platform/registry/RegistryStore.h"
#include "platform/text/Text.h"
#include "ui/main/QtHost.h"
#include "ui/main/QtPrompter.h"
#include "ui/wizard/frmLU.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>

namespace {

constexpr const char* Accepted = "use POS, HO, Scheduled,POS or Scheduled,HO";

struct Launch {
    pelvar::Edition edition = pelvar::Edition::Pos;
    bool scheduled = false;
};

// "POS" / "HO" in any case; none for anything else.
std::optional<pelvar::Edition> editionOf(const std::string& text) {
    return pelvar::editionFromCode(pelvar::text::upper(pelvar::text::trim(text)));
}

std::optional<Launch> parse(int argc, char** argv, std::string& error) {
    if (argc > 2) {
        error = std::string("too many arguments (") + Accepted + ")";
        return std::nullopt;
    }
    if (argc == 1) {
        const char* inherited = std::getenv("PELVAR_EDITION");
        const auto edition = editionOf(inherited ? inherited : "");
        if (!edition) {
            error = std::string("no edition: give one (") + Accepted +
                    ") or set PELVAR_EDITION to POS or HO";
            return std::nullopt;
        }
        return Launch{*edition, false};
    }
    const std::string argument = argv[1];
    const std::string prefix = "Scheduled,";
    const bool scheduled =
        pelvar::text::equalsIgnoringCase(pelvar::text::left(argument, prefix.size()), prefix);
    const auto edition = editionOf(scheduled ? argument.substr(prefix.size()) : argument);
    if (!edition) {
        error = "unknown argument '" + argument + "' (" + Accepted + ")";
        return std::nullopt;
    }
    return Launch{*edition, scheduled};
}

// PelvarPU is the host program of the wizard: the window that ending the host looks for
// stands for this process, so ending the host ends PelvarPU with exit code 0.
class PatcherHost : public pelvar::QtHost {
  public:
    bool hasWindowTitled(const std::string&) const override { return true; }
};

int runWizard(int argc, char** argv, const Launch& launch) {
    QApplication app(argc, argv);
    const pelvar::SandboxPaths paths = pelvar::SandboxPaths::fromEnvironment();
    pelvar::IniRegistryStore registry(paths.registryFile());
    pelvar::QtPrompter prompter("Pelvar 9 LiveUpdate");
    PatcherHost host;
    pelvar::Services services(paths, registry, prompter, host);
    pelvar::AppState state(services);
    pelvar::PatchRun run(state);
    run.edition = launch.edition;
    run.Scheduled = launch.scheduled;

    pelvar::frmLU window(run);
    try {
        window.Form_Load();
    } catch (const pelvar::RunTimeError& e) {
        prompter.show(e.description(), pelvar::box::Information, "Pelvar");
        return 1;
    } catch (const std::exception& e) {
        prompter.show(e.what(), pelvar::box::Information, "Pelvar");
        return 1;
    }
    window.exec();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const std::optional<Launch> launch = parse(argc, argv, error);
    if (!launch) {
        std::fprintf(stderr, "PelvarPU: %s\n", error.c_str());
        return 2;
    }
    try {
        return runWizard(argc, argv, *launch);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "PelvarPU: %s\n", e.what());
        return 1;
    }
}
