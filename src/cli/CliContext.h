#pragma once

#include "environment/AppState.h"
#include "platform/ConsolePrompter.h"
#include "platform/Host.h"
#include "platform/RegistryStore.h"
#include "platform/SandboxPaths.h"

#include <optional>
#include <string>

namespace pelvar::cli {

// Global options of every command.
struct GlobalOptions {
    std::string root;
    std::string appFolder;
    bool yes = false;
    bool no = false;
};

// The services and state of one command-line run, built from the global options.
class CliContext {
  public:
    explicit CliContext(const GlobalOptions& options);

    AppState& state() { return state_; }
    RegistryStore& registry() { return registry_; }
    const SandboxPaths& paths() const { return paths_; }

  private:
    SandboxPaths paths_;
    IniRegistryStore registry_;
    ConsolePrompter prompter_;
    ConsoleHost host_;
    Services services_;
    AppState state_;
};

} // namespace pelvar::cli
