#pragma once

#include <string>

namespace pelvar {

struct PatchRun;

// Owner prefixes of a replication statement: "[DBO]." and then "DBO." (any case) become the
// schema and "."; the marker ".DBO." (no schema) leaves the statement unchanged.
std::string RewriteOwnerPrefix(const std::string& statement, const std::string& schema);

// Runs every script of a "[[*]]"-joined list on a connection of its own, statement by
// statement with owner prefixes rewritten; every error logs its description and the next
// statement runs.
void RunScriptFiles(PatchRun& run, const std::string& scriptList,
                    const std::string& connectionString, const std::string& schema);

} // namespace pelvar
