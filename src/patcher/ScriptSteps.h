#pragma once

#include "patcher/ScriptStatements.h"

#include <functional>
#include <string>
#include <vector>

namespace pelvar {

struct AppState;
struct PatchRun;
class DatabaseConnection;
class RunTimeError;

// Pieces the database steps share.
namespace scriptsteps {

// Joins the script lists in their progress records.
inline constexpr const char* ListSeparator = "[[*]]";

// PatchFolder/<patch>/Script (the folder's name in any case); empty when there is none.
std::string scriptFolder(const PatchRun& run, const std::string& patch);
// Calls `visit` with the path and file name of every file in the run's Script folders, patch
// by patch, by name. An error raised by `visit` is logged by its description and the walk
// goes on with the next file.
void forEachScriptFile(PatchRun& run,
                       const std::function<void(const std::string&, const std::string&)>& visit);
// The files of a folder, by name.
std::vector<std::string> folderFiles(const std::string& folder);
// The file of that name (any case) in the folder; empty when there is none.
std::string findFile(const std::string& folder, const std::string& name);
// Whether a file name ends in the three letters, ignoring case.
bool hasKind(const std::string& fileName, const char* kind);
std::string fileNameOf(const std::string& path);

// Appends a non-empty script file and CR LF to folder/name, creating both when missing.
void AppendScriptToCollection(const std::string& source, const std::string& folder,
                              const std::string& name);

// A text as an SQL literal: in single quotes, with quotes inside doubled.
std::string sqlQuote(const std::string& value);

// Runs a script file's statements on `db` one by one; logs "Executed SQL statement :" with
// " : Pass", or the trap's lines and " : Fail". A failing statement does not stop the file;
// without a connection every statement fails with error 3709. `rewrite` may change each
// statement before it runs. Statements an interrupted run ran already are passed over; after
// each that runs, the run's statement record is written. Reading errors reach the caller.
void executeScriptFile(PatchRun& run, DatabaseConnection* db, const std::string& path,
                       StatementRule rule, const std::function<void(const RunTimeError&)>& trap,
                       const std::function<std::string(const std::string&)>& rewrite = {});

} // namespace scriptsteps
} // namespace pelvar
