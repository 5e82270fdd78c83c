#include "patcher/ResumeTable.h"

#include "platform/text/Text.h"

#include <array>

namespace pelvar {
namespace {

struct Row {
    const char* marker;
    ResumeStep started;
    ResumeStep other;
};

// Steps 1, 2 and 4 have no handler of their own: a run stopped there resumes after them or
// not at all.
constexpr std::array<Row, 9> Table{{
    {"Step1", ResumeStep::None, ResumeStep::None},
    {"Step2", ResumeStep::None, ResumeStep::Backup},
    {"Step3", ResumeStep::Backup, ResumeStep::None},
    {"Step4", ResumeStep::None, ResumeStep::SecurityScripts},
    {"Step5", ResumeStep::SecurityScripts, ResumeStep::ApplicationScripts},
    {"Step6", ResumeStep::ApplicationScripts, ResumeStep::Unregister},
    {"Step7", ResumeStep::Unregister, ResumeStep::CopyFiles},
    {"Step8", ResumeStep::CopyFiles, ResumeStep::Register},
    {"Step9", ResumeStep::Register, ResumeStep::None},
}};

} // namespace

ResumeStep resumeStepFor(const std::string& lastLine) {
    const auto colon = lastLine.find(':');
    const std::string marker = lastLine.substr(0, colon);
    const std::string state =
        colon == std::string::npos ? std::string() : text::trim(lastLine.substr(colon + 1));
    for (const auto& row : Table) {
        if (marker == row.marker) {
            return state == "Started" ? row.started : row.other;
        }
    }
    return ResumeStep::None;
}

} // namespace pelvar
