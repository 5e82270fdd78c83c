#include "environment/FileText.h"

#include "environment/AppState.h"
#include "platform/files/Files.h"
#include "platform/host/Host.h"

namespace pelvar {

void AppendLineToFile(AppState& state, const std::string& text, const std::string& path) {
    files::appendLine(path, text);
    state.services.host.processEvents();
}

void WriteFileText(AppState& state, const std::string& text, const std::string& name) {
    files::writeLine(files::join(state.AppFolder, name), text);
    state.services.host.processEvents();
}

} // namespace pelvar
