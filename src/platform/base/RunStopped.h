#pragma once

#include <exception>

namespace pelvar {

// The one way a run stops early: thrown once the stopping message has been shown. With
// `hostEnded` the host process itself was ended (hosts that unwind instead of exiting: the
// command line and the tests) and only the executable's main catches it; otherwise the code
// that started the run catches it and the host goes on. No error trap catches it.
struct RunStopped : std::exception {
    explicit RunStopped(bool ended = false) : hostEnded(ended) {}
    const char* what() const noexcept override {
        return hostEnded ? "host process ended" : "run stopped";
    }
    bool hostEnded;
};

} // namespace pelvar
