#include "download/ConsoleProgress.h"

#include "platform/text/Text.h"

namespace pelvar {
namespace {
constexpr auto PrintInterval = std::chrono::milliseconds(250);
}

ConsoleProgress::ConsoleProgress(Edition edition, std::FILE* out) : edition_(edition), out_(out) {}

void ConsoleProgress::setProgress(float value) {
    progress_ = value;
    changed();
}

void ConsoleProgress::setFileSize(const std::string& text) {
    fileSize_ = text;
    changed();
}

void ConsoleProgress::setStatus(const std::string& text) {
    // The windows pad some texts with blanks to place them; a line needs only one.
    status_ = text::replaceAll(text::trim(text), "    ", "");
    changed();
}

void ConsoleProgress::changed() {
    if (std::chrono::steady_clock::now() - lastPrint_ >= PrintInterval) {
        flush();
    }
}

void ConsoleProgress::flush() {
    char percent[16];
    std::snprintf(percent, sizeof percent, "[%3d%%] ", static_cast<int>(progress_));
    std::string line = percent + status_;
    if (!fileSize_.empty()) {
        line += " (" + fileSize_ + ")";
    }
    if (line == lastPrinted_ || (status_.empty() && fileSize_.empty())) {
        return;
    }
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
    lastPrinted_ = line;
    lastPrint_ = std::chrono::steady_clock::now();
}

} // namespace pelvar
