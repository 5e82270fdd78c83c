#include "cli/CliContext.h"

namespace pelvar::cli {
namespace {

std::optional<bool> presetAnswer(const GlobalOptions& options) {
    if (options.yes) {
        return true;
    }
    if (options.no) {
        return false;
    }
    return std::nullopt;
}

} // namespace

CliContext::CliContext(const GlobalOptions& options)
    : paths_(SandboxPaths::fromEnvironment(options.root, options.appFolder)),
      registry_(paths_.registryFile()),
      prompter_(presetAnswer(options), "Pelvar 9 LiveUpdate"),
      services_(paths_, registry_, prompter_, host_), state_(services_) {}

} // namespace pelvar::cli
