#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace pelvar {

// Starts programs without waiting for them. Command lines are written the way the product
// writes them ("Notepad.exe <file>", "<folder>\PelvarPU.exe"); names are resolved here:
// "Notepad.exe" is the desktop's text viewer (PELVAR_TEXT_VIEWER, else xdg-open), and any
// other "X.exe" is the program X at that path, in the component's folder or beside the running
// executable (an installed component's folder holds settings only). Batch files
// ("X.bat") and REGSVR32 command lines run through the batch runner, `liveupdate run-batch`
// (PELVAR_BATCH_RUNNER names another runner program), in the same sandbox root. Runners that
// work in one folder run one at a time, in the order they were started (see RunnerQueue.h).
class ProgramLauncher {
  public:
    // Variables set in the started program's environment only, never in this process's.
    using Environment = std::vector<std::pair<std::string, std::string>>;

    explicit ProgramLauncher(std::string appFolder, std::string sandboxRoot = {});

    // True when the program could be started.
    bool start(const std::string& commandLine, bool hidden = false,
               const Environment& environment = {}) const;

    // Waits (bounded) until every batch runner started so far in `folder` has ended, so that
    // its batch file can be deleted or rewritten; false when one still runs.
    bool waitForRunners(const std::string& folder, const std::function<void()>& idle = {}) const;

    // The program and arguments a command line resolves to (empty when it names nothing).
    std::vector<std::string> resolve(const std::string& commandLine) const;

  private:
    std::vector<std::string> batchRunner(const std::string& commandLine) const;
    // The folder a runner works in: the batch file's, or the component's of a REGSVR32 line.
    static std::string runnerFolder(const std::string& commandLine);

    std::string appFolder_;
    std::string sandboxRoot_;
};

} // namespace pelvar
