#include "environment/RunSummary.h"

#include <algorithm>

namespace pelvar {

void RunSummary::problem(const std::string& text) {
    if (std::find(problems.begin(), problems.end(), text) == problems.end()) {
        problems.push_back(text);
    }
}

void RunSummary::startDatabase(const std::string& name) {
    if (databases.empty() || databases.back().database != name) {
        databases.push_back({name, 0, 0, {}});
    }
}

void RunSummary::statement(const std::string& text, bool failed) {
    if (databases.empty()) {
        startDatabase("database");
    }
    Statements& current = databases.back();
    if (!failed) {
        ++current.passed;
        return;
    }
    if (current.failed++ == 0) {
        current.firstFailure = text;
    }
}

bool RunSummary::statementsFailed() const {
    return std::any_of(databases.begin(), databases.end(),
                       [](const Statements& s) { return s.failed > 0; });
}

} // namespace pelvar
