#pragma once

#include "platform/process/EditionLock.h"

#include <optional>
#include <string>

namespace pelvar {

struct AppState;
struct DownloadWalk;
class ZipArchive;

// The main window's buttons and mouse pointer, as the download run drives them.
class MainWindowControls {
  public:
    virtual ~MainWindowControls() = default;
    virtual void setButtonsEnabled(bool enabled) = 0; // cmdDownload, cmdSettings, cmdExit
    virtual void setBusyPointer(bool busy) = 0;
};

// What the Download button does for the edition chosen in the edition list: sets the
// edition values, clears DownloadLocation, disables the buttons and runs the download,
// the verification and the hand-over, with the window's error table.
void DownloadButtonClicked(DownloadWalk& walk, ZipArchive& zip, MainWindowControls& controls);

// One run per edition and download folder at a time: a scheduled run, a click and the update
// wizard must not share scratch files or verify each other's half-written archives. Nothing,
// after a box that says so and with RunFailed set, when another run holds the lock.
std::optional<EditionLock> LockDownloadRun(AppState& state);

// The download, verification and outcome under the window's error trap.
void RunDownloadSession(DownloadWalk& walk, ZipArchive& zip, MainWindowControls& controls);

} // namespace pelvar
