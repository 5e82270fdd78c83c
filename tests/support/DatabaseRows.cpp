#include "DatabaseRows.h"

#include "platform/text/DateText.h"

#include <cstdio>

namespace pelvar::test {

std::vector<std::string> rowsOf(const std::string& connection, const std::string& query,
                                const DatabaseConfig& config) {
    auto db = DatabaseConnection::open(connection, config);
    const auto rs = db->query(query);
    std::vector<std::string> out;
    for (std::size_t r = 0; r < rs.size(); ++r) {
        std::string row;
        for (std::size_t c = 0; c < rs.columns.size(); ++c) {
            row += (c ? "|" : "") + rs.rows[r][c].value_or("NULL");
        }
        out.push_back(row);
    }
    return out;
}

std::vector<std::string> sqliteRows(const std::string& file, const std::string& query) {
    return rowsOf("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file, query);
}

std::string isoToday() {
    const auto d = datetext::now();
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
    return text;
}

} // namespace pelvar::test
