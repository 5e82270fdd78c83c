#include "download/UpdateInformation.h"

#include "download/DownloadSession.h"
#include "download/DownloadWalk.h"
#include "environment/AppState.h"
#include "environment/Connections.h"
#include "environment/EndHostProcess.h"
#include "environment/UpdateLog.h"
#include "platform/base/Limits.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/host/Prompter.h"
#include "platform/text/PlainName.h"
#include "platform/text/Text.h"
#include "settings/ScrambleLine.h"

#include <cstdio>
#include <memory>

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

[[noreturn]] void tampered(AppState& state) {
    state.RunFailed = true;
    state.Summary.problem("Updates Information Tampered: the update information of " +
                          state.DownloadLocation.Description + " has an entry that is not valid");
    state.services.prompter.show("Updates Information Tampered", box::Information, state.AppTitle);
    EndHostProcess(state);
    // The host normally ends above; a host that comes back must not see the entry used.
    raise(err::InvalidProcedureCall);
}

void handleEntry(AppState& state, const std::string& entry) {
    const std::string& description = state.DownloadLocation.Description;
    const bool custom = isCustomEntry(entry);
    if (text::startsWith(description, "POS") && !custom) {
        state.UpdateEntries.push_back(text::upper(text::trim(entry)));
        // A genuine entry carries its fields after the name: one ":" from the third character on.
        if (entry.size() < 3 || entry.find(':', 2) == std::string::npos) {
            tampered(state);
        }
    }
    // The name becomes a file in the download folder: anything that could leave it, or forge
    // a log line, is a tampered entry.
    const auto colon = entry.find(':');
    if (colon != std::string::npos && !isPlainFileName(text::trim(entry.substr(0, colon)))) {
        tampered(state);
    }
    if (custom || text::startsWith(description, "POS_")) {
        state.CustomPatchFiles.push_back(text::trim(archiveName(entry)));
        return;
    }
    const std::string name = archiveName(entry);
    const auto pieces = text::splitText(entry, ":");
    if (pieces.size() < 3) {
        state.PatchFiles.push_back(text::trim(name));
        return;
    }
    const std::string& release = pieces[2];
    LogWrite(state, "Check Release " + release + " is approved or not.");
    if (IsReleaseApproved(state, release)) {
        LogWrite(state, "Release " + release + " is approved.");
        state.PatchFiles.push_back(text::trim(name));
    } else {
        LogWrite(state, "Release " + release + " is not approved.");
    }
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Reads one line (without its CR LF) of at most the line cap; false at the end of the file.
// A line or a file over its cap is a tampered file.
bool nextLine(AppState& state, std::FILE* file, std::int64_t& total, std::string& line) {
    line.clear();
    int c = 0;
    while ((c = std::getc(file)) != EOF) {
        if (++total > limits::InfoFileBytes) {
            tampered(state);
        }
        if (c == '\n') {
            break;
        }
        if (static_cast<std::int64_t>(line.size()) >= limits::InfoLineBytes) {
            tampered(state);
        }
        line += static_cast<char>(c);
    }
    if (c == EOF && line.empty()) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

void readStream(AppState& state, std::FILE* file) {
    std::int64_t total = 0;
    std::string line;
    while (nextLine(state, file, total, line)) {
        if (const auto entry = entryText(line)) {
            handleEntry(state, *entry);
        }
    }
}

void readFile(AppState& state, const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        raise(err::FileNotFound, path);
    }
    readStream(state, file.get());
}

void readBytes(AppState& state, const std::string& bytes) {
    if (bytes.empty()) {
        return;
    }
    std::string copy = bytes;
    std::unique_ptr<std::FILE, FileCloser> file(fmemopen(copy.data(), copy.size(), "rb"));
    if (!file) {
        raise(err::PathFileAccess);
    }
    readStream(state, file.get());
}

void finishReading(AppState& state) {
    AdvanceProgress(state, 2, 2);
    if (state.PatchFiles.empty()) {
        LogWrite(state, "Update Not Available.");
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
        finishReading(state);
    } catch (const RunTimeError&) {
        // A damaged file ends the reading with the lists built so far.
    }
}

void ReadUpdateInformationFrom(AppState& state, const std::string& dat, const std::string& p9q) {
    state.UpdateEntries.clear();
    try {
        readBytes(state, dat);
        readBytes(state, p9q);
        finishReading(state);
    } catch (const RunTimeError&) {
        // As from disk: a damaged file ends the reading with the lists built so far.
    }
}

bool IsReleaseApproved(AppState& state, const std::string& release) {
    if (!OpenSecurityDatabase(state)) {
        // Nothing can be approved: that is a failure of the run, not "no updates".
        state.RunFailed = true;
        state.Summary.problem("The security database could not be opened (the update log says "
                              "why): no patch could be approved");
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
        // The release comes from the server's file: bound, never spliced into the statement.
        const Recordset rows = db.query(
            "SELECT DISTINCT ApprovedStatus FROM dbo.AuthorisedPOSPatches WHERE ReleaseNo >= ?",
            {release});
        approved = !rows.empty() && rows.text(0, "ApprovedStatus") == "1";
    } catch (const RunTimeError& e) {
        if (e.number() == err::TableNotFound) {
            return true;
        }
    }
    return approved;
}

void ShowTransferError(DownloadWalk& walk, std::int32_t code, const std::string& operation,
                       const std::string& lastResponse, long responseNumber) {
    AppState& state = walk.state;
    if (code != ExtendedError) {
        return;
    }
    const std::string& description = state.DownloadLocation.Description;
    if (!text::contains(lastResponse, "The system cannot find the file specified")) {
        LogWrite(state, lastResponse);
        state.RunFailed = true;
        state.services.prompter.show(operation + " Extd Err: " + std::to_string(responseNumber) +
                                         " " + lastResponse,
                                     box::Ok, state.AppTitle);
        walk.FtpHandlesOpen = false;
        return;
    }
    if (text::contains(lastResponse, "Pelvar9_" + description + ".dat") &&
        text::contains(lastResponse, "Pelvar9_" + description + ".P9Q")) {
        LogWrite(state, "Updates Information File Not Found... Quiting");
        state.RunFailed = true;
        state.services.prompter.show("Updates Information File Not Found.", box::Information,
                                     state.AppTitle);
        walk.FtpHandlesOpen = false;
        return;
    }
    LogWrite(state, lastResponse);
}

} // namespace pelvar
