#pragma once

#include <string>
#include <vector>

namespace pelvar {

// Starts programs without waiting for them. Command lines are written the way the product
// writes them ("Notepad.exe <file>", "<folder>\PelvarPU.exe"); names are resolved here:
// "Notepad.exe" is the desktop's text viewer (PELVAR_TEXT_VIEWER, else xdg-open), and any
// other "X.exe" is the program X at that path, in the component's folder or beside the running
// executable (an installed component's folder holds settings only). Batch files
// ("X.bat") and REGSVR32 command lines run through the batch runner, `liveupdate run-batch`
// (PELVAR_BATCH_RUNNER names another runner program), in the same sandbox root.
class ProgramLauncher {
  public:
    explicit ProgramLauncher(std::string appFolder, std::string sandboxRoot = {});

    // True when the program could be started.
    bool start(const std::string& commandLine, bool hidden = false) const;

    // The program and arguments a command line resolves to (empty when it names nothing).
    std::vector<std::string> resolve(const std::string& commandLine) const;

  private:
    std::vector<std::string> batchRunner(const std::string& commandLine) const;

    std::string appFolder_;
    std::string sandboxRoot_;
    // The runner started last: the next one waits for it, so that an un-registration batch
    // started before a registration batch also finishes before it.
    mutable long long lastRunnerPid_ = 0;
};

} // namespace pelvar
