#pragma once

#include <string>

namespace pelvar {

// The step a resumed run starts with; each continues the chain to the final task.
enum class ResumeStep {
    None,
    Backup,
    SecurityScripts,
    ApplicationScripts,
    Unregister,
    CopyFiles,
    Register
};

// Reads the last line of the progress file: the marker before the first ":" (exact), the state
// after it (trimmed). "Started" repeats the marked step, any other state goes on after it.
ResumeStep resumeStepFor(const std::string& lastLine);

} // namespace pelvar
