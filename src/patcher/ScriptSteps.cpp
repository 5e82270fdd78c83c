#include "patcher/ScriptSteps.h"

#include "environment/AppState.h"
#include "environment/UpdateLog.h"
#include "patcher/PatchRun.h"
#include "patcher/WizardProgress.h"
#include "platform/base/RunTimeError.h"
#include "platform/db/Database.h"
#include "platform/files/Files.h"
#include "platform/text/Text.h"

#include <algorithm>
#include <filesystem>

namespace pelvar::scriptsteps {

std::string scriptFolder(const PatchRun& run, const std::string& patch) {
    const std::string patchFolder = files::join(run.PatchFolder, patch);
    std::error_code ec;
    if (!std::filesystem::is_directory(patchFolder, ec)) {
        return {};
    }
    for (const auto& entry : std::filesystem::directory_iterator(patchFolder, ec)) {
        if (entry.is_directory(ec) &&
            text::equalsIgnoringCase(entry.path().filename().string(), "Script")) {
            return entry.path().string();
        }
    }
    return {};
}

void forEachScriptFile(PatchRun& run,
                       const std::function<void(const std::string&, const std::string&)>& visit) {
    for (const auto& patch : run.PatchFolders) {
        const std::string folder = scriptFolder(run, patch);
        if (folder.empty()) {
            continue;
        }
        for (const auto& file : folderFiles(folder)) {
            try {
                visit(file, fileNameOf(file));
            } catch (const RunTimeError& e) {
                LogWrite(run.state, e.description());
            }
        }
    }
}

std::vector<std::string> folderFiles(const std::string& folder) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (entry.is_regular_file(ec)) {
            out.push_back(entry.path().string());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string findFile(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return {};
    }
    for (const auto& file : folderFiles(folder)) {
        if (text::equalsIgnoringCase(fileNameOf(file), name)) {
            return file;
        }
    }
    return {};
}

bool hasKind(const std::string& fileName, const char* kind) {
    return text::upper(text::right(fileNameOf(fileName), 3)) == kind;
}

std::string fileNameOf(const std::string& path) {
    const auto at = path.find_last_of("/\\");
    return at == std::string::npos ? path : path.substr(at + 1);
}

void AppendScriptToCollection(const std::string& source, const std::string& folder,
                              const std::string& name) {
    if (!files::fileExists(source) || files::fileSize(source) == 0) {
        return;
    }
    const std::string content = files::readAll(source);
    if (!files::folderExists(folder)) {
        files::createFolder(folder);
    }
    files::appendLine(files::join(folder, name), content);
}

std::string sqlQuote(const std::string& value) {
    return "'" + text::replaceAll(value, "'", "''") + "'";
}

void executeScriptFile(PatchRun& run, DatabaseConnection* db, const std::string& path,
                       StatementRule rule, const std::function<void(const RunTimeError&)>& trap,
                       const std::function<std::string(const std::string&)>& rewrite) {
    AppState& state = run.state;
    const auto script = readStatements(files::readAll(path), rule);
    for (const auto& read : script.statements) {
        const std::string statement = rewrite ? rewrite(read) : read;
        if (run.Statements.ranBefore()) {
            LogWrite(state, "Passed over SQL statement, run before the interruption :" + statement);
            continue;
        }
        bool failed = false;
        try {
            if (!db) {
                raise(err::ConnectionClosed, "Connection");
            }
            db->execute(statement);
        } catch (const RunTimeError& e) {
            failed = true;
            trap(e);
        }
        WriteStatementRecord(run);
        LogWrite(state, "Executed SQL statement :" + statement + (failed ? " : Fail" : " : Pass"));
        state.Summary.statement(statement, failed);
    }
    if (script.unterminated) {
        LogWrite(state, unterminatedNotice(path));
    }
}

} // namespace pelvar::scriptsteps
