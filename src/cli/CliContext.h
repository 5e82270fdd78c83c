#pragma once

#include "environment/ConsoleComponent.h"

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
class CliContext : public ConsoleComponent {
  public:
    explicit CliContext(const GlobalOptions& options);
};

} // namespace pelvar::cli
