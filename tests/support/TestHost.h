#pragma once

#include "platform/host/Host.h"

namespace pelvar::test {

// The host process as the tests see it: ending it unwinds with RunStopped and is
// counted, so a test can check that a fatal path ended the host.
class TestHost : public Host {
  public:
    bool hasWindowTitled(const std::string& title) const override {
        return hasMainWindow && title == windowTitle;
    }
    [[noreturn]] void terminate() override {
        ++terminations;
        throw RunStopped(true);
    }
    void processEvents() override { ++eventTurns; }

    bool hasMainWindow = true;
    std::string windowTitle = "Pelvar 9 LiveUpdate";
    int terminations = 0;
    int eventTurns = 0;
};

} // namespace pelvar::test
