#pragma once

#include "platform/host/Prompter.h"

#include <cstdio>
#include <optional>

namespace pelvar {

// Prints every box as "[title] text" and answers Yes/No questions from a preset answer
// (--yes/--no) or, on a terminal, from the user; anything else is No.
class ConsolePrompter : public Prompter {
  public:
    ConsolePrompter(std::optional<bool> presetYes, std::string defaultTitle,
                    std::FILE* out = stdout, std::FILE* in = stdin);

    int show(const std::string& text, int buttons, const std::string& title) override;

  private:
    std::optional<bool> presetYes_;
    std::string defaultTitle_;
    std::FILE* out_;
    std::FILE* in_;
};

} // namespace pelvar
