#include "environment/UpdateLog.h"

#include "environment/AppState.h"
#include "platform/DateText.h"
#include "platform/Files.h"

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
    // Without a download folder the log goes to the root of the product's drive, which the
    // sandbox root keeps apart from the machine's own root.
    const std::string& folder =
        state.DownloadFolder.empty() ? state.services.paths.driveC() : state.DownloadFolder;
    LogWrite(folder, message, flag);
}

} // namespace pelvar
