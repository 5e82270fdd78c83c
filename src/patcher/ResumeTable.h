#pragma once

#include <string>

namespace pelvar {

// The steps of the stepped pass in order; a resumed run starts with one of them and goes on
// to the final task. FinalTask is never a resume point.
enum class ResumeStep {
    None,
    Backup,
    SecurityScripts,
    ApplicationScripts,
    Unregister,
    CopyFiles,
    Register,
    FinalTask
};

// Reads the last line of the progress file: the marker before the first ":" (exact), the state
// after it (trimmed). "Started" repeats the marked step, any other state goes on after it.
ResumeStep resumeStepFor(const std::string& lastLine);

} // namespace pelvar
