#pragma once

#include <string>
#include <vector>

namespace pelvar {

// The two ways the patch steps cut SQL scripts into statements. Both skip lines starting
// with "*", end a statement at a line that trimmed and upper-cased is "-GO-", ignore "-GO-"
// lines with no statement before them and join a statement's lines with " " + CR LF.
// The application rule also lets no statement start at an empty line or a line starting
// with "-", and drops a statement whose first line mentions SHELLEXECUTE, up to its "-GO-".
enum class StatementRule { Security, Application };

struct ScriptStatements {
    std::vector<std::string> statements;
    // The script ended inside a statement that no "-GO-" closed; that statement is dropped.
    bool unterminated = false;
};

// Statements of a script's bytes, as UTF-8: a script that is not valid UTF-8 is read in the
// Windows code page 1252, a byte-order mark is dropped. Lines end in CR LF, LF or CR.
ScriptStatements readStatements(const std::string& bytes, StatementRule rule);

// The log line for a script whose last statement was dropped.
std::string unterminatedNotice(const std::string& scriptPath);

} // namespace pelvar
