#pragma once

#include "environment/Surfaces.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace pelvar {

// The wizard's surface for runs without a window: status and completion texts are printed as
// they come, the busy indicator at most four times a second.
class ConsoleWizard : public WizardSurface {
  public:
    explicit ConsoleWizard(std::FILE* out = stderr) : out_(out) {}

    float progress() const override { return progress_; }
    void setProgress(float value) override;
    void setProgressVisible(bool) override {}
    void setFileSize(const std::string& text) override;
    void setComplete(const std::string& text) override;
    void setStatus(const std::string& text) override;
    void setCancelEnabled(bool) override {}
    void setNextEnabled(bool) override {}

  private:
    void print(const std::string& line);

    std::FILE* out_;
    float progress_ = 0;
    std::chrono::steady_clock::time_point lastProgress_{};
};

} // namespace pelvar
