#pragma once

#include "platform/base/RunStopped.h"

#include <string>

namespace pelvar {

// The process the component runs in.
class Host {
  public:
    virtual ~Host() = default;
    // Whether this process shows a top-level window with exactly this title.
    virtual bool hasWindowTitled(const std::string& title) const = 0;
    // Ends the host process with exit code 0; does not return.
    [[noreturn]] virtual void terminate() = 0;
    // Gives the message loop a turn so that windows repaint during long work.
    virtual void processEvents() = 0;
};

// A host without windows (the command line): it stands for the main window itself, and
// ending it unwinds to the executable's main, which exits with 0.
class ConsoleHost : public Host {
  public:
    bool hasWindowTitled(const std::string&) const override { return true; }
    [[noreturn]] void terminate() override { throw RunStopped(true); }
    void processEvents() override {}
};

} // namespace pelvar
