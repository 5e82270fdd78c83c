#pragma once

#include <string>
#include <vector>

namespace pelvar {

// What one download or apply run did, for the lines the command line prints at its end (the
// update log keeps the details). The steps add to it; the run never reads it back.
struct RunSummary {
    struct Statements {
        std::string database;
        int passed = 0;
        int failed = 0;
        std::string firstFailure;
    };

    std::vector<std::string> fetched;  // archives transferred
    std::vector<std::string> problems; // what was refused or failed, and why
    std::vector<std::string> skipped;  // archives of patches applied before
    int filesReplaced = 0;
    int componentsRegistered = 0; // registration lines handed to the batch runner
    std::vector<Statements> databases;
    std::vector<std::string> companiesSkipped; // "NAME: why"

    // A problem, once however often it is met.
    void problem(const std::string& text);
    // The statements that follow run on this database.
    void startDatabase(const std::string& name);
    void statement(const std::string& text, bool failed);
    bool statementsFailed() const;
};

} // namespace pelvar
