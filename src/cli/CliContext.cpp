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
    : ConsoleComponent(SandboxPaths::fromEnvironment(options.root, options.appFolder),
                       presetAnswer(options)) {}

} // namespace pelvar::cli
