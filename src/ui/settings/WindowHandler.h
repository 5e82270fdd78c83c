#pragma once

#include "platform/base/RunTimeError.h"

#include <functional>

namespace pelvar {

// Runs a settings window's event handler. Write failures of these windows are not reported:
// the handler stops where the error met it and the window stays as it is.
inline void runHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const RunTimeError&) {
    }
}

} // namespace pelvar
