#include "environment/UpdateLog.h"

#include "environment/AppState.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/text/DateText.h"

#include <filesystem>

namespace pelvar {

std::string logFilePath(const std::string& downloadFolder) {
    return downloadFolder + "/PelvarUpdate.log";
}

void LogWrite(const std::string& downloadFolder, const std::string& message,
              const std::string& flag) {
    const std::string record =
        flag.empty() ? datetext::generalDate(datetext::now()) + ":" + message : message;
    files::appendLine(logFilePath(downloadFolder), record);
}

void LogWrite(const AppState& state, const std::string& message, const std::string& flag) {
    if (!state.DownloadFolder.empty()) {
        LogWrite(state.DownloadFolder, message, flag);
        return;
    }
    // Without a download folder (the window's load on a fresh installation, before any
    // settings exist) the log goes to the root of the product's drive, which the sandbox root
    // keeps apart from the machine's own root. That drive root exists on the machine the
    // product was made for; here it is a folder nothing else creates, so make it, or the
    // first line fails and takes the caller's work (the patch history) with it.
    const std::string folder = state.services.paths.driveC();
    if (!files::folderExists(folder)) {
        files::createFolders(folder);
    }
    LogWrite(folder, message, flag);
}

} // namespace pelvar
