#pragma once

#include "download/DownloadRun.h"
#include "environment/Surfaces.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace pelvar {

// The main window's surface for runs without a window: progress, status and size go to a
// stream as lines, at most four a second, so that a person can follow a live download.
class ConsoleProgress : public MainSurface, public MainWindowControls {
  public:
    ConsoleProgress(Edition edition, std::FILE* out = stderr);

    std::optional<Edition> chosenEdition() const override { return edition_; }
    float progress() const override { return progress_; }
    void setProgress(float value) override;
    void setProgressVisible(bool) override {}
    void setFileSize(const std::string& text) override;
    void setStatus(const std::string& text) override;
    void setButtonsEnabled(bool) override {}
    void setBusyPointer(bool) override {}

    // Prints the current state now.
    void flush();

  private:
    void changed();

    Edition edition_;
    std::FILE* out_;
    float progress_ = 0;
    std::string status_;
    std::string fileSize_;
    std::string lastPrinted_;
    std::chrono::steady_clock::time_point lastPrint_{};
};

} // namespace pelvar
