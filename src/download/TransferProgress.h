#pragma once

#include "platform/net/InternetClient.h"

#include <chrono>
#include <string>

namespace pelvar {

struct AppState;

// Shows the size of the file being written ("Downloaded 120KB") on the windows' size labels
// and gives the message loop a turn per chunk. The labels are refreshed at most ten times a
// second so that a fast transfer does not spend its time repainting.
class TransferProgress {
  public:
    explicit TransferProgress(AppState& state) : state_(state) {}

    ChunkCallback callback();
    void clear();

  private:
    void onChunk(long long bytes);

    AppState& state_;
    std::chrono::steady_clock::time_point lastShown_{};
};

// The status label of the main window, when there is one.
void showStatus(AppState& state, const std::string& text);

} // namespace pelvar
