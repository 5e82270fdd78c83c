#include "download/UnattendedDownload.h"

#include "download/ConsoleProgress.h"
#include "download/DownloadWalk.h"
#include "environment/AppState.h"
#include "environment/Connections.h"
#include "platform/host/Host.h"
#include "platform/zip/ZipArchive.h"

namespace pelvar {

int RunUnattendedDownload(DownloadWalk& walk, Edition edition) {
    AppState& state = walk.state;
    ConsoleProgress console(edition);
    MainSurface* previous = state.mainWindow;
    state.mainWindow = &console;
    // The window's load works out the connection data before a run; so does this one.
    LoadConnectionData(state, edition);
    ZipArchive zip;
    try {
        DownloadButtonClicked(walk, zip, console);
    } catch (const RunStopped&) {
        // The run ended the host, as a fatal download or a hand-over does.
    }
    console.flush();
    state.mainWindow = previous;
    // A run that showed an error or a failure, or could not fetch a file, did not succeed.
    const bool failed = state.RunFailed || walk.FtpConnectFailures > 0 || walk.TransferFailures > 0;
    return failed ? 1 : 0;
}

} // namespace pelvar
