#pragma once

#include "platform/host/Prompter.h"

#include <deque>
#include <string>
#include <vector>

namespace pelvar::test {

// Records every message box and answers Yes/No questions from a script (No when the
// script has run out); other boxes answer OK.
class ScriptedPrompter : public Prompter {
  public:
    struct Box {
        std::string text;
        int buttons;
        std::string title;
    };

    int show(const std::string& text, int buttons, const std::string& title) override {
        boxes.push_back({text, buttons, title});
        if (!box::asksYesNo(buttons)) {
            return box::AnswerOk;
        }
        if (answers.empty()) {
            return box::AnswerNo;
        }
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> all;
        for (const auto& b : boxes) {
            all.push_back(b.text);
        }
        return all;
    }

    std::deque<int> answers;
    std::vector<Box> boxes;
};

} // namespace pelvar::test
