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
    // Where a database file named with a drive letter ("C:\Pelvar9\Data\x.mdb") lives.
    std::string sandboxRoot = "/";
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

// One "key=value" of a connection string, read as the drivers read it: pieces separated by
// ";", values trimmed of blanks, or in '..', ".." or {..} (a doubled closing character stands
// for itself) and then holding ";" too. A piece without "=" continues the value before it.
struct ConnectionPart {
    std::string key;                          // lower-cased, trimmed
    std::string value;                        // unquoted
    std::size_t valueBegin = 0, valueEnd = 0; // the value as written, quotes included
};
std::vector<ConnectionPart> splitConnectionString(const std::string& connectionString);

// Keys of a connection string with their values (the last one of a key wins).
std::map<std::string, std::string> parseConnectionString(const std::string& connectionString);

// The connection string with the value of every password key ("Password", "PWD",
// "Jet OLEDB:Database Password"), and any other value equal to one, replaced by "****", for
// logs and messages. Everything else stays as written.
std::string maskPasswords(const std::string& connectionString);

// One open database connection. Connection strings name either a database file
// ("Provider=Microsoft.Jet...;Data Source='file'", or any string with a "Jet OLEDB:" key)
// opened as SQLite with CDate registered, or a server database reached through ODBC in one of
// three shapes: "Data Source=host[,port];Initial Catalog=db;User ID=..;Password=..",
// "UID=..;PWD=..;Database=db;Server=host[,port]" or "SERVER=..;UID=..;PWD=..;DATABASE=..".
// `provider` stands for the connection's provider property when the string names none.
// Failures raise numbered errors: 0x80040E37 for a missing table, 0x80040E2F for an
// integrity violation, 0x80004005 for a connection that cannot be opened or is lost,
// 0x80040E14 for any other failing statement; a password of the connection string that the
// driver quotes in its description is masked.
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
    DatabaseConnection(std::string name, bool fileDatabase);
    std::string name_;
    bool fileDatabase_;
    // A file database's own folder: the only place its statements may attach files from.
    std::string attachFolder_;
};

} // namespace pelvar
