#include "download/UnattendedDownload.h"

#include "download/ConsoleProgress.h"
#include "environment/AppState.h"
#include "environment/Connections.h"
#include "platform/host/Host.h"
#include "platform/zip/ZipArchive.h"

namespace pelvar {

int RunUnattendedDownload(AppState& state, Edition edition) {
    ConsoleProgress console(edition);
    MainSurface* previous = state.mainWindow;
    state.mainWindow = &console;
    // The window's load works out the connection data before a run; so does this one.
    LoadConnectionData(state, edition);
    ZipArchive zip;
    try {
        DownloadButtonClicked(state, zip, console);
    } catch (const RunStopped&) {
        // The run ended the host, as a fatal download or a hand-over does.
    }
    console.flush();
    state.mainWindow = previous;
    // A run that showed an error or a failure, or could not fetch a file, did not succeed.
    const bool failed =
        state.RunFailed || state.FtpConnectFailures > 0 || state.TransferFailures > 0;
    return failed ? 1 : 0;
}

} // namespace pelvar
