#pragma once

#include <string>
#include <vector>

namespace pelvar {

struct PatchRun;

// Owner prefixes of a replication statement: "[DBO]." and then "DBO." (any case) become the
// schema and "."; the marker ".DBO." (no schema) leaves the statement unchanged.
std::string RewriteOwnerPrefix(const std::string& statement, const std::string& schema);

// Runs every script of the list on a connection of its own, statement by statement with owner
// prefixes rewritten; every error logs its description and the next statement runs.
void RunScriptFiles(PatchRun& run, const std::vector<std::string>& scriptList,
                    const std::string& connectionString, const std::string& schema);

} // namespace pelvar
