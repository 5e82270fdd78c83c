#pragma once

#include <string>

namespace pelvar {

// Message box codes: buttons and icons are added together (4 + 32 = Yes/No with a question).
namespace box {
constexpr int Ok = 0;
constexpr int YesNo = 4;
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int Exclamation = 48;
constexpr int Information = 64;

constexpr int AnswerOk = 1;
constexpr int AnswerYes = 6;
constexpr int AnswerNo = 7;

inline bool asksYesNo(int buttons) {
    return (buttons & 0x7) == YesNo;
}
} // namespace box

// Shows a message box and returns the answer code. An empty title means the
// component's default title.
class Prompter {
  public:
    virtual ~Prompter() = default;
    virtual int show(const std::string& text, int buttons, const std::string& title) = 0;
};

} // namespace pelvar
