#pragma once

#include "platform/host/Host.h"

namespace pelvar {

// The host process of the windows: its own top-level windows, and an ending that, like
// terminating the process from outside, runs no clean-up.
class QtHost : public Host {
  public:
    // Whether one of this process's visible top-level windows has exactly this title.
    bool hasWindowTitled(const std::string& title) const override;
    [[noreturn]] void terminate() override;
    void processEvents() override;
};

} // namespace pelvar
