#include "patcher/ConsoleWizard.h"

namespace pelvar {

void ConsoleWizard::print(const std::string& line) {
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
}

void ConsoleWizard::setProgress(float value) {
    progress_ = value;
    // Only a few lines a second, so a long copy does not flood the console.
    const auto now = std::chrono::steady_clock::now();
    if (now - lastProgress_ >= std::chrono::milliseconds(250)) {
        lastProgress_ = now;
        print("progress " + std::to_string(static_cast<int>(value)) + "%");
    }
}

void ConsoleWizard::setFileSize(const std::string& text) {
    if (!text.empty()) {
        print(text);
    }
}

void ConsoleWizard::setComplete(const std::string& text) {
    print(text);
}

void ConsoleWizard::setStatus(const std::string& text) {
    print(text);
}

} // namespace pelvar
