#include "environment/ConsoleComponent.h"

namespace pelvar {

ConsoleComponent::ConsoleComponent(SandboxPaths paths, std::optional<bool> presetAnswer)
    : paths_(std::move(paths)), registry_(paths_.registryFile()),
      prompter_(presetAnswer, "Pelvar 9 LiveUpdate"),
      services_(paths_, registry_, prompter_, host_), state_(services_) {}

} // namespace pelvar
