#include "settings/SettingsFiles.h"

#include "environment/AppState.h"
#include "environment/FileText.h"
#include "environment/RegistrySettings.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/host/Host.h"
#include "platform/host/Prompter.h"
#include "platform/text/Text.h"
#include "settings/ScrambleLine.h"

namespace pelvar {

std::string settingsFileName(Edition edition) {
    return std::string(editionCode(edition)) + "DownloadSettings.config";
}

bool WriteSettingsFile(AppState& state, std::optional<Edition> edition,
                       const std::string& downloadPath, const std::vector<std::string>& rowNames) {
    if (!edition) {
        return false;
    }
    const std::string name = settingsFileName(*edition);
    WriteFileText(state, "Download path=" + downloadPath, name);
    const std::string path = files::join(state.AppFolder, name);
    for (const auto& row : rowNames) {
        if (!row.empty()) {
            AppendLineToFile(state, "Download File=" + row + ".ini", path);
        }
    }
    return true;
}

std::array<std::string, LocationRecord::FieldCount> composeLocationLines(const LocationRecord& l) {
    std::array<std::string, LocationRecord::FieldCount> lines;
    for (int k = 1; k <= LocationRecord::FieldCount; ++k) {
        lines[k - 1] = locationFileKeys()[k - 1] + l.field(k);
    }
    return lines;
}

void WriteLocationFile(AppState& state, const std::string& fileName, const LocationRecord& l) {
    const auto lines = composeLocationLines(l);
    // A byte that scrambles to CR or LF (0xBA, 0xBD: in UTF-8 "º", "½", Cyrillic "к", "н", ...)
    // would split its line and lose the field and all after it; such a field is refused
    // before anything is written.
    for (int k = 1; k <= LocationRecord::FieldCount; ++k) {
        if (ScrambleLine(lines[k - 1]).find_first_of("\r\n") != std::string::npos) {
            throw RunTimeError(err::InvalidPropertyValue,
                               std::string(locationFileKeys()[k - 1]) +
                                   " holds a character a location file cannot keep",
                               fileName);
        }
    }
    const std::string path = files::join(state.AppFolder, fileName);
    // The file holds the location's password (scrambling hides it from a glance only), so only
    // the owner may read it.
    files::writeLine(path, ScrambleLine(lines[0]), files::Access::Private);
    state.services.host.processEvents();
    for (std::size_t i = 1; i < lines.size(); ++i) {
        AppendLineToFile(state, ScrambleLine(lines[i]), path);
    }
}

std::optional<std::string> modifyRefusal(const std::string& locationFile) {
    if (locationFile == "hohttp.ini" || locationFile == "POShttp.ini") {
        return "Pelvar 9 default http location can not be modified.";
    }
    return std::nullopt;
}

std::optional<std::string> deleteRefusal(std::optional<Edition> edition, const std::string& name) {
    // The HTTP defaults are protected by their exact names in both editions; each FTP
    // default only in its own edition, whatever its case.
    if (name == "hohttp" || name == "POShttp") {
        return "Pelvar 9 default http location can not be deleted.";
    }
    if (edition == Edition::Ho && text::equalsIgnoringCase(name, "HOftp")) {
        return "Pelvar Default ftp location can not be deleted.";
    }
    if (edition == Edition::Pos && text::equalsIgnoringCase(name, "POSftp")) {
        return "Pelvar 9 Default ftp location can not be deleted.";
    }
    return std::nullopt;
}

bool DeleteLocation(AppState& state, std::optional<Edition> edition,
                    const std::string& downloadPath, std::vector<std::string>& rows,
                    int activeRow) {
    const bool hasRow = activeRow >= 0 && activeRow < static_cast<int>(rows.size());
    const std::string name = hasRow ? rows[static_cast<std::size_t>(activeRow)] : std::string();
    if (const auto refusal = deleteRefusal(edition, name)) {
        state.services.prompter.show(*refusal, box::Information, DownloaderTitle);
        return false;
    }
    if (hasRow) {
        rows.erase(rows.begin() + activeRow);
    }
    WriteSettingsFile(state, edition, downloadPath, rows);
    const std::string file = files::join(state.AppFolder, name + ".ini");
    if (files::fileExists(file)) {
        files::deleteFile(file);
        state.services.host.processEvents();
    } else {
        state.services.prompter.show("There is no download details are available to delete.",
                                     box::Information, "Pelvar LiveUpdate");
    }
    return true;
}

bool SaveDownloadSettings(AppState& state, std::optional<Edition> edition,
                          std::optional<Edition> registryEdition, const std::string& downloadPath,
                          const std::vector<std::string>& rows) {
    if (!files::folderExists(downloadPath)) {
        state.services.prompter.show("Mentioned download path is not available.", box::Ok, {});
        return false;
    }
    WriteSettingsFile(state, edition, downloadPath, rows);
    if (registryEdition) {
        WriteSetting(state.services.registry, downloadPathValue(*registryEdition), downloadPath,
                     keysel::LiveUpdate);
    }
    state.services.prompter.show("Download Settings Saved", box::Information, state.AppTitle);
    return true;
}

} // namespace pelvar
