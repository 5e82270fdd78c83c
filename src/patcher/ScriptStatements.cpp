#include "patcher/ScriptStatements.h"

#include "platform/text/CodePage.h"
#include "platform/text/Text.h"

namespace pelvar {

ScriptStatements readStatements(const std::string& bytes, StatementRule rule) {
    ScriptStatements result;
    const std::string script = text::decodeTextFile(bytes);
    std::string statement;
    bool open = false;
    bool skipping = false; // inside a statement the application rule refuses to run
    std::size_t at = 0;
    while (at < script.size()) {
        // Lines end in CR LF, LF or a lone CR.
        auto end = script.find_first_of("\r\n", at);
        if (end == std::string::npos) {
            end = script.size();
        }
        std::string_view line(script.data() + at, end - at);
        at = end + (script.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        if (!line.empty() && line.front() == '*') {
            continue;
        }
        const std::string trimmed = text::trim(line);
        if (text::upper(trimmed) == "-GO-") {
            if (open) {
                result.statements.push_back(std::move(statement));
                statement.clear();
            }
            open = false;
            skipping = false;
            continue;
        }
        if (skipping) {
            continue;
        }
        if (open) {
            statement.append(" \r\n").append(line);
            continue;
        }
        if (rule == StatementRule::Application) {
            if (trimmed.empty() || trimmed.front() == '-') {
                continue;
            }
            if (text::contains(text::upper(line), "SHELLEXECUTE")) {
                skipping = true;
                continue;
            }
        }
        statement.assign(line);
        open = true;
    }
    result.unterminated = open;
    return result;
}

std::string unterminatedNotice(const std::string& scriptPath) {
    return "Script " + scriptPath +
           " ends without a -GO- line: its last statement was not executed.";
}

} // namespace pelvar
