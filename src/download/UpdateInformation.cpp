#include "download/UpdateInformation.h"

#include "download/DownloadSession.h"
#include "environment/AppState.h"
#include "environment/Connections.h"
#include "environment/EndHostProcess.h"
#include "environment/UpdateLog.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "platform/RunTimeError.h"
#include "platform/Text.h"
#include "settings/ScrambleLine.h"

namespace pelvar {
namespace {

bool isCustomEntry(const std::string& entry) {
    const std::string head = text::left(entry, 8);
    return head == "POSSECAU" || head == "POSAPPAU";
}

// The entry text of one line, or nothing for blank and comment lines.
std::optional<std::string> entryText(const std::string& line) {
    if (text::trim(line).empty() || text::startsWith(line, "//")) {
        return std::nullopt;
    }
    const auto fields = text::splitAll(line, ':');
    if (fields.size() == 5) {
        return ScrambleLine(fields[4]);
    }
    if (fields.size() < 2) {
        raise(err::SubscriptOutOfRange);
    }
    return fields[1];
}

// The text before the first ":"; an entry without one cannot name an archive.
std::string archiveName(const std::string& entry) {
    const auto at = entry.find(':');
    if (at == std::string::npos) {
        raise(err::InvalidProcedureCall);
    }
    return entry.substr(0, at);
}

void handleEntry(AppState& state, const std::string& entry) {
    const std::string& description = state.DownloadLocation.Description;
    const bool custom = isCustomEntry(entry);
    if (text::startsWith(description, "POS") && !custom) {
        state.UpdateEntries.push_back(text::upper(text::trim(entry)));
        // A genuine entry carries its fields after the name: one ":" from the third character on.
        if (entry.size() < 3 || entry.find(':', 2) == std::string::npos) {
            state.services.prompter.show("Updates Information Tampered", box::Information,
                                         state.AppTitle);
            EndHostProcess(state);
        }
    }
    if (custom || text::startsWith(description, "POS_")) {
        text::appendToList(state.CustomPatchFiles, text::trim(archiveName(entry)));
        return;
    }
    const std::string name = archiveName(entry);
    const auto pieces = text::splitText(entry, ":");
    if (pieces.size() < 3) {
        text::appendToList(state.PatchFiles, text::trim(name));
        return;
    }
    const std::string& release = pieces[2];
    LogWrite(state, "Check Release " + release + " is approved or not.");
    if (IsReleaseApproved(state, release)) {
        LogWrite(state, "Release " + release + " is approved.");
        text::appendToList(state.PatchFiles, text::trim(name));
    } else {
        LogWrite(state, "Release " + release + " is not approved.");
    }
}

void readFile(AppState& state, const std::string& path) {
    for (const auto& line : files::readLines(path)) {
        if (const auto entry = entryText(line)) {
            handleEntry(state, *entry);
        }
    }
}

} // namespace

void ReadUpdateInformation(AppState& state) {
    state.UpdateEntries.clear();
    const std::string base =
        files::join(state.DownloadFolder, "Pelvar9_" + state.DownloadLocation.Description);
    const std::string dat = base + ".dat";
    const std::string p9q = base + ".P9Q";
    if (!files::fileExists(dat) && !files::fileExists(p9q)) {
        return;
    }
    try {
        readFile(state, dat);
        if (files::fileExists(p9q)) {
            readFile(state, p9q);
        }
        AdvanceProgress(state, 2, 2);
        if (state.PatchFiles.empty()) {
            LogWrite(state, "Update Not Available.");
        }
    } catch (const RunTimeError&) {
        // A damaged file ends the reading with the lists built so far.
    }
}

bool IsReleaseApproved(AppState& state, const std::string& release) {
    if (!OpenSecurityDatabase(state)) {
        return false;
    }
    bool approved = false;
    DatabaseConnection& db = *state.SecurityConnection;
    try {
        if (db.query("SELECT * FROM AuthorisedPOSPatches").empty()) {
            return true;
        }
    } catch (const RunTimeError& e) {
        if (e.number() == err::TableNotFound) {
            return true;
        }
    }
    try {
        const Recordset rows =
            db.query("SELECT DISTINCT ApprovedStatus FROM dbo.AuthorisedPOSPatches WHERE "
                     "ReleaseNo >='" +
                     release + "'");
        approved = !rows.empty() && rows.text(0, "ApprovedStatus") == "1";
    } catch (const RunTimeError& e) {
        if (e.number() == err::TableNotFound) {
            return true;
        }
    }
    return approved;
}

void ShowTransferError(AppState& state, std::int32_t code, const std::string& operation,
                       const std::string& lastResponse, long responseNumber) {
    if (code != ExtendedError) {
        return;
    }
    const std::string& description = state.DownloadLocation.Description;
    if (!text::contains(lastResponse, "The system cannot find the file specified")) {
        LogWrite(state, lastResponse);
        state.services.prompter.show(operation + " Extd Err: " + std::to_string(responseNumber) +
                                         " " + lastResponse,
                                     box::Ok, state.AppTitle);
        state.FtpHandlesOpen = false;
        return;
    }
    if (text::contains(lastResponse, "Pelvar9_" + description + ".dat") &&
        text::contains(lastResponse, "Pelvar9_" + description + ".P9Q")) {
        LogWrite(state, "Updates Information File Not Found... Quiting");
        state.services.prompter.show("Updates Information File Not Found.", box::Information,
                                     state.AppTitle);
        state.FtpHandlesOpen = false;
        return;
    }
    LogWrite(state, lastResponse);
}

} // namespace pelvar
