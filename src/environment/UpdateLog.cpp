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
    LogWrite(state.DownloadFolder, message, flag);
}

} // namespace pelvar
