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

// Steps 1, 2 and 4 have no handler of their own. Records that stand between two markers
// resume the step they belong to, so that every record a run writes leads somewhere: the SY/GL
// records of the backup repeat the backup (its archives are kept), "Step3: Over" and "Step4:
// Started" enter the security scripts, a statement record of step 5 or 6 resumes its step, the
// script lists written after "Step6: Over" go on with step 7.
constexpr std::array<Row, 18> Table{{
    {"Patches", ResumeStep::Backup, ResumeStep::Backup},
    {"Step1", ResumeStep::None, ResumeStep::None},
    {"Step2", ResumeStep::None, ResumeStep::Backup},
    {"Step3", ResumeStep::Backup, ResumeStep::SecurityScripts},
    {"bolSYGLPresent", ResumeStep::Backup, ResumeStep::Backup},
    {"strSyFile", ResumeStep::Backup, ResumeStep::Backup},
    {"strGlFile", ResumeStep::Backup, ResumeStep::Backup},
    {"Step4", ResumeStep::SecurityScripts, ResumeStep::SecurityScripts},
    {"Step5", ResumeStep::SecurityScripts, ResumeStep::ApplicationScripts},
    {"Step5Statements", ResumeStep::SecurityScripts, ResumeStep::SecurityScripts},
    {"Step6", ResumeStep::ApplicationScripts, ResumeStep::Unregister},
    {"Step6Statements", ResumeStep::ApplicationScripts, ResumeStep::ApplicationScripts},
    {"strDBSFile", ResumeStep::Unregister, ResumeStep::Unregister},
    {"strDBAFile", ResumeStep::Unregister, ResumeStep::Unregister},
    {"strRBSFile", ResumeStep::Unregister, ResumeStep::Unregister},
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
