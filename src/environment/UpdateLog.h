#pragma once

#include <string>

namespace pelvar {

struct AppState;

// Appends one record to DownloadFolder/PelvarUpdate.log: with an empty flag the local date
// and time, ":" and the message; otherwise the message alone. Opens and closes the file per
// line; errors (a missing folder, no permission) reach the caller.
void LogWrite(const std::string& downloadFolder, const std::string& message,
              const std::string& flag = {});
// The same in the state's DownloadFolder (the product drive's root when it is empty).
void LogWrite(const AppState& state, const std::string& message, const std::string& flag = {});

std::string logFilePath(const std::string& downloadFolder);

} // namespace pelvar
