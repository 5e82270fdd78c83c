#include "platform/host/ConsolePrompter.h"

#include "platform/text/Text.h"

#include <unistd.h>

namespace pelvar {

ConsolePrompter::ConsolePrompter(std::optional<bool> presetYes, std::string defaultTitle,
                                 std::FILE* out, std::FILE* in)
    : presetYes_(presetYes), defaultTitle_(std::move(defaultTitle)), out_(out), in_(in) {}

int ConsolePrompter::show(const std::string& text, int buttons, const std::string& title) {
    const std::string shownTitle = title.empty() ? defaultTitle_ : title;
    std::fprintf(out_, "[%s] %s\n", shownTitle.c_str(), text.c_str());
    if (!box::asksYesNo(buttons)) {
        std::fflush(out_);
        return box::AnswerOk;
    }
    bool yes = false;
    if (presetYes_) {
        yes = *presetYes_;
        std::fprintf(out_, "(answered %s)\n", yes ? "Yes" : "No");
    } else if (in_ && isatty(fileno(in_))) {
        std::fprintf(out_, "Yes or No? [y/N] ");
        std::fflush(out_);
        char line[64] = {};
        if (std::fgets(line, sizeof line, in_)) {
            const std::string answer = text::lower(text::trim(text::replaceAll(line, "\n", "")));
            yes = answer == "y" || answer == "yes";
        }
    } else {
        std::fprintf(out_, "(answered No)\n");
    }
    std::fflush(out_);
    return yes ? box::AnswerYes : box::AnswerNo;
}

} // namespace pelvar
