#pragma once

#include "platform/db/Database.h"

#include <string>
#include <vector>

namespace pelvar::test {

// Every row of a query, its columns joined with "|" (NULL for a null value).
std::vector<std::string> rowsOf(const std::string& connection, const std::string& query,
                                const DatabaseConfig& config = {});

// The same on a SQLite file, reached as the product reaches a file database.
std::vector<std::string> sqliteRows(const std::string& file, const std::string& query);

// Today as "YYYY-MM-DD", the form the final task writes for server databases.
std::string isoToday();

} // namespace pelvar::test
