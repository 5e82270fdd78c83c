#pragma once

#include "environment/AppState.h"
#include "platform/files/SandboxPaths.h"
#include "platform/host/ConsolePrompter.h"
#include "platform/host/Host.h"
#include "platform/registry/RegistryStore.h"

#include <optional>

namespace pelvar {

// The component as a program without windows hosts it: the sandbox's registry, message
// boxes printed on the console (questions answered by `presetAnswer`, else asked on a
// terminal, else No) and a host that ends the run by unwinding.
class ConsoleComponent {
  public:
    ConsoleComponent(SandboxPaths paths, std::optional<bool> presetAnswer);
    ConsoleComponent(const ConsoleComponent&) = delete;
    ConsoleComponent& operator=(const ConsoleComponent&) = delete;

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

} // namespace pelvar
