#include "download/TransferProgress.h"

#include "environment/AppState.h"
#include "environment/Surfaces.h"
#include "platform/host/Host.h"

namespace pelvar {
namespace {
constexpr auto ShowInterval = std::chrono::milliseconds(100);
}

ChunkCallback TransferProgress::callback() {
    return [this](long long bytes) { onChunk(bytes); };
}

void TransferProgress::onChunk(long long bytes) {
    state_.services.host.processEvents();
    const auto now = std::chrono::steady_clock::now();
    if (now - lastShown_ < ShowInterval) {
        return;
    }
    lastShown_ = now;
    const long long kilobytes = bytes / 1024;
    const std::string text = kilobytes > 0 ? "Downloaded " + std::to_string(kilobytes) + "KB" : "";
    if (state_.mainWindow) {
        state_.mainWindow->setFileSize(text);
    }
    if (state_.wizard) {
        state_.wizard->setFileSize(text);
    }
}

void TransferProgress::clear() {
    lastShown_ = {};
}

void showStatus(AppState& state, const std::string& text) {
    if (state.mainWindow) {
        state.mainWindow->setStatus(text);
    }
}

} // namespace pelvar
