#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pelvar {

// How server connection strings reach a database: the ODBC driver that stands in for the
// SQL Server provider (FreeTDS in production, PostgreSQL's in tests; PELVAR_ODBC_DRIVER).
struct DatabaseConfig {
    std::string odbcDriver = "FreeTDS";
    static DatabaseConfig fromEnvironment();
};

// The rows of one query, read to the end. Column names are compared ignoring case;
// NULL comes back as nothing.
class Recordset {
  public:
    std::vector<std::string> columns;
    std::vector<std::vector<std::optional<std::string>>> rows;

    std::size_t size() const { return rows.size(); }
    bool empty() const { return rows.empty(); }
    std::optional<std::string> value(std::size_t row, const std::string& column) const;
    // NULL and a missing column read as the empty text.
    std::string text(std::size_t row, const std::string& column) const;
};

// Keys of a connection string, lower-cased, with their values trimmed and unquoted.
std::map<std::string, std::string> parseConnectionString(const std::string& connectionString);

// The connection string with the value of every password key ("Password", "PWD",
// "Jet OLEDB:Database Password") replaced by "****", for logs and messages.
std::string maskPasswords(const std::string& connectionString);

// One open database connection. Connection strings name either a database file
// ("Provider=Microsoft.Jet...;Data Source='file'", or any string with a "Jet OLEDB:" key)
// opened as SQLite with CDate registered, or a server database reached through ODBC in one of
// three shapes: "Data Source=host[,port];Initial Catalog=db;User ID=..;Password=..",
// "UID=..;PWD=..;Database=db;Server=host[,port]" or "SERVER=..;UID=..;PWD=..;DATABASE=..".
// `provider` stands for the connection's provider property when the string names none.
// Failures raise numbered errors: 0x80040E37 for a missing table, 0x80040E2F for an
// integrity violation, 0x80004005 for everything else; no password of the connection string
// appears in an error's description.
class DatabaseConnection {
  public:
    static std::unique_ptr<DatabaseConnection> open(const std::string& connectionString,
                                                    const DatabaseConfig& config,
                                                    const std::string& provider = {});
    ~DatabaseConnection();
    DatabaseConnection(const DatabaseConnection&) = delete;
    DatabaseConnection& operator=(const DatabaseConnection&) = delete;

    Recordset query(const std::string& sql);
    void execute(const std::string& sql);
    // The same with "?" placeholders bound, in order, to text values: outside text never
    // becomes part of the statement.
    Recordset query(const std::string& sql, const std::vector<std::string>& parameters);
    void execute(const std::string& sql, const std::vector<std::string>& parameters);
    bool isFileDatabase() const { return fileDatabase_; }

  private:
    DatabaseConnection(std::string name, bool fileDatabase, std::vector<std::string> secrets);
    std::string name_;
    bool fileDatabase_;
    std::vector<std::string> secrets_;
    // A file database's own folder: the only place its statements may attach files from.
    std::string attachFolder_;
};

} // namespace pelvar
