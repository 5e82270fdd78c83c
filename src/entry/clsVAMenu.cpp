#include "entry/clsVAMenu.h"

#include "environment/AppState.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/SandboxPaths.h"
#include "platform/host/Host.h"
#include "platform/host/Prompter.h"
#include "platform/registry/RegistryStore.h"
#include "ui/main/QtHost.h"
#include "ui/main/QtPrompter.h"
#include "ui/main/frmMain.h"
#include "ui/settings/frmSettings.h"

#include <QApplication>

namespace pelvar {

struct clsVAMenu::Parts {
    Parts(const SandboxPaths& p, std::unique_ptr<Prompter> ownedPrompter,
          std::unique_ptr<Host> ownedHost, Prompter& prompter, Host& host)
        : paths(p), registry(paths.registryFile()), ownPrompter(std::move(ownedPrompter)),
          ownHost(std::move(ownedHost)), services(paths, registry, prompter, host),
          state(services) {}

    SandboxPaths paths;
    IniRegistryStore registry;
    std::unique_ptr<Prompter> ownPrompter;
    std::unique_ptr<Host> ownHost;
    Services services;
    AppState state;
};

namespace {

// A host that has no application object of its own still gets one for the windows. It is
// never destroyed: it must outlive every window, and tearing Qt down at exit helps nobody.
void ensureApplication() {
    if (QCoreApplication::instance()) {
        return;
    }
    static int argc = 1;
    static char name[] = "PelvarLU";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

} // namespace

clsVAMenu::clsVAMenu() {
    auto prompter = std::make_unique<QtPrompter>("Pelvar 9 LiveUpdate");
    auto host = std::make_unique<QtHost>();
    Prompter& shownBy = *prompter;
    Host& endedBy = *host;
    parts_ = std::make_unique<Parts>(SandboxPaths::fromEnvironment(), std::move(prompter),
                                     std::move(host), shownBy, endedBy);
}

clsVAMenu::clsVAMenu(const SandboxPaths& paths, Prompter& prompter, Host& host)
    : parts_(std::make_unique<Parts>(paths, nullptr, nullptr, prompter, host)) {}

clsVAMenu::~clsVAMenu() = default;

AppState& clsVAMenu::state() {
    return parts_->state;
}

void clsVAMenu::StartProcess() {
    bool hostEnded = false;
    try {
        ensureApplication();
        frmMain window(parts_->state);
        window.settingsOpener = [this, &window] { ShowSettingsWindow(parts_->state, &window); };
        window.Form_Load();
        window.exec();
        hostEnded = window.hostEnded();
    } catch (const RunStopped&) {
        hostEnded = true;
    } catch (const RunTimeError& e) {
        parts_->services.prompter.show(e.description(), box::Information, "Pelvar");
    } catch (const std::exception& e) {
        parts_->services.prompter.show(e.what(), box::Information, "Pelvar");
    }
    if (hostEnded) {
        throw RunStopped(true);
    }
}

} // namespace pelvar
