#pragma once

#include "platform/host/Prompter.h"

#include <utility>

namespace pelvar {

// Message boxes as dialogs over the active window. Buttons and icon come from the box code;
// an empty title shows the default title.
class QtPrompter : public Prompter {
  public:
    explicit QtPrompter(std::string defaultTitle) : defaultTitle_(std::move(defaultTitle)) {}

    int show(const std::string& text, int buttons, const std::string& title) override;

  private:
    std::string defaultTitle_;
};

} // namespace pelvar
