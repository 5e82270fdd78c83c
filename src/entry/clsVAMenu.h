#pragma once

#include <memory>

#define PELVAR_EXPORT __attribute__((visibility("default")))

namespace pelvar {

struct AppState;
struct SandboxPaths;
class Host;
class Prompter;

// The component's public class. A host creates one and calls StartProcess, which shows the
// downloader's main window modally. The object owns everything the component needs: its
// paths, registry, message boxes, host services and the process-wide state.
class PELVAR_EXPORT clsVAMenu {
  public:
    // Paths from PELVAR_ROOT and PELVAR_APP_FOLDER; dialogs as message boxes; this process
    // as the host.
    clsVAMenu();
    // For hosts that bring their own message boxes and process handling.
    clsVAMenu(const SandboxPaths& paths, Prompter& prompter, Host& host);
    ~clsVAMenu();
    clsVAMenu(const clsVAMenu&) = delete;
    clsVAMenu& operator=(const clsVAMenu&) = delete;

    // Loads a fresh main window and shows it modally; returns when it has closed. Errors
    // while it is created, loaded or shown are reported in a box titled "Pelvar" and never
    // reach the caller. A host whose ending unwinds sees that ending pass through.
    void StartProcess();

    AppState& state();

  private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

} // namespace pelvar
