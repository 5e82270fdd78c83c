#include "platform/db/Database.h"

#include "platform/base/CrashPoint.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/files/SandboxPaths.h"
#include "platform/files/WindowsPath.h"
#include "platform/text/DateText.h"
#include "platform/text/Text.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <sqlite3.h>

namespace pelvar {
namespace {

QString q(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), qsizetype(s.size()));
}
std::string s(const QString& q) {
    return q.toLocal8Bit().toStdString();
}

// One line: callers write the description into the update log, and drivers (psqlODBC among
// them) end or split their messages with line breaks.
std::string describe(const QSqlError& error) {
    QString text = error.databaseText();
    if (text.trimmed().isEmpty()) {
        text = error.text();
    }
    text = text.simplified();
    return text.isEmpty() ? std::string("Unspecified error") : s(text);
}

// Drivers may quote what they were given (a user name equal to the password, a database
// name): a password standing in quotes or braces, or as the whole text, is masked. Anywhere
// else it is left alone, so a short password does not blank out words and paths.
std::string masked(std::string text, const std::vector<std::string>& secrets) {
    for (const auto& secret : secrets) {
        if (secret.empty()) {
            continue;
        }
        if (text == secret) {
            return "****";
        }
        for (const auto& [open, close] :
             {std::pair<char, char>{'"', '"'}, {'\'', '\''}, {'`', '`'}, {'{', '}'}, {'[', ']'}}) {
            text = text::replaceAll(std::move(text), open + secret + close,
                                    std::string(1, open) + "****" + close);
        }
    }
    return text;
}

// The number a driver error stands for: a missing table and an integrity violation have their
// own; a connection that cannot be made or was lost is the generic provider failure; any other
// failure of a statement is an error in the command. Read from the driver's own text, before
// any masking changes it.
[[noreturn]] void raiseDatabaseError(const std::string& text, const std::string& nativeCode,
                                     std::int64_t otherwise,
                                     const std::vector<std::string>& secrets) {
    const std::string all = text::lower(text + " " + nativeCode);
    std::int64_t number = otherwise;
    if (text::contains(all, "no such table") || text::contains(all, "42p01") ||
        text::contains(all, "invalid object name") ||
        (text::contains(all, "relation") && text::contains(all, "does not exist"))) {
        number = err::TableNotFound;
    } else if (text::contains(all, "unique constraint") || text::contains(all, "23505") ||
               text::contains(all, "duplicate key") || text::contains(all, "primary key") ||
               text::contains(all, "constraint failed")) {
        number = err::IntegrityViolation;
    }
    throw RunTimeError(number, masked(text, secrets), "Database");
}

// A statement's error describes the statement; only an open quotes the connection's values.
[[noreturn]] void raiseStatementError(const QSqlError& error) {
    raiseDatabaseError(
        describe(error), s(error.nativeErrorCode()),
        error.type() == QSqlError::ConnectionError ? err::Unspecified : err::CommandError, {});
}

[[noreturn]] void raiseOpenError(const QSqlError& error, const std::vector<std::string>& secrets) {
    raiseDatabaseError(describe(error), s(error.nativeErrorCode()), err::Unspecified, secrets);
}

std::string nextConnectionName() {
    static std::atomic<int> counter{0};
    return "pelvar-db-" + std::to_string(++counter);
}

constexpr const char* PasswordKeys[] = {"password", "pwd", "jet oledb:database password"};

bool isPasswordKey(const std::string& key) {
    for (const char* k : PasswordKeys) {
        if (key == k) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> passwordsOf(const std::vector<ConnectionPart>& parts) {
    std::vector<std::string> secrets;
    for (const auto& part : parts) {
        if (isPasswordKey(part.key) && !part.value.empty()) {
            secrets.push_back(part.value);
        }
    }
    return secrets;
}

// The first of several spellings a connection string may use for one thing.
std::string firstOf(const std::map<std::string, std::string>& keys,
                    std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const auto it = keys.find(name);
        if (it != keys.end()) {
            return it->second;
        }
    }
    return {};
}

std::string serverConnectionText(const std::map<std::string, std::string>& keys,
                                 const DatabaseConfig& config) {
    std::string host = firstOf(keys, {"data source", "server"});
    std::string port;
    for (char sep : {',', ':'}) {
        const auto at = host.find(sep);
        if (at != std::string::npos) {
            port = text::trim(host.substr(at + 1));
            host = text::trim(host.substr(0, at));
            break;
        }
    }
    // Values holding a separator or a brace travel in braces, so they reach the driver whole.
    const auto value = [](const std::string& v) {
        const bool plain = v.find_first_of(";{}") == std::string::npos &&
                           (v.empty() || (v.front() != ' ' && v.back() != ' '));
        return plain ? v : "{" + text::replaceAll(v, "}", "}}") + "}";
    };
    std::string odbc = "Driver={" + config.odbcDriver + "};Server=" + value(host) + ";";
    if (!port.empty()) {
        odbc += "Port=" + value(port) + ";";
    }
    odbc += "Database=" + value(firstOf(keys, {"initial catalog", "database"})) +
            ";Uid=" + value(firstOf(keys, {"user id", "uid"})) +
            ";Pwd=" + value(firstOf(keys, {"password", "pwd"})) + ";";
    return odbc;
}

// Access's CDate for the statements the patch steps build: a date text ("M/D/YYYY", "D/M/YYYY"
// when the day comes first, or "YYYY-MM-DD", optionally with a time) becomes "YYYY-MM-DD";
// anything else gives NULL.
void cdate(sqlite3_context* context, int, sqlite3_value** argv) {
    const unsigned char* raw = sqlite3_value_text(argv[0]);
    const auto date = raw ? datetext::coerce(reinterpret_cast<const char*>(raw)) : std::nullopt;
    if (!date) {
        sqlite3_result_null(context);
        return;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date->year % 10000, date->month % 100,
                  date->day % 100);
    sqlite3_result_text(context, text, -1, SQLITE_TRANSIENT);
}

sqlite3* sqliteHandleOf(const QSqlDatabase& db) {
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
        return *static_cast<sqlite3* const*>(handle.constData());
    }
    return nullptr;
}

// Patch scripts run with the rights of the update. A statement that attaches a file outside the
// database's own folder could create or read files anywhere, so it is refused like any other
// failing statement ("not authorized").
int attachOnlyBeside(void* folder, int action, const char* file, const char*, const char*,
                     const char*) {
    if (action != SQLITE_ATTACH || file == nullptr || *file == '\0' ||
        std::string(file) == ":memory:") {
        return SQLITE_OK;
    }
    std::error_code ec;
    const auto target = std::filesystem::weakly_canonical(file, ec);
    const bool beside = !ec && target.parent_path() == *static_cast<const std::string*>(folder);
    return beside ? SQLITE_OK : SQLITE_DENY;
}

void registerAccessFunctions(const QSqlDatabase& db, const std::vector<std::string>& secrets) {
    sqlite3* sqliteHandle = sqliteHandleOf(db);
    // SQLite compares function names ignoring case, so this is also Cdate.
    if (!sqliteHandle ||
        sqlite3_create_function_v2(sqliteHandle, "CDate", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                   nullptr, cdate, nullptr, nullptr, nullptr) != SQLITE_OK) {
        throw RunTimeError(err::Unspecified, masked("Cannot register CDate.", secrets), "Database");
    }
}

} // namespace

DatabaseConfig DatabaseConfig::fromEnvironment() {
    DatabaseConfig config;
    if (const char* driver = std::getenv("PELVAR_ODBC_DRIVER"); driver && *driver) {
        config.odbcDriver = driver;
    }
    return config;
}

std::optional<std::string> Recordset::value(std::size_t row, const std::string& column) const {
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (text::equalsIgnoringCase(columns[c], column)) {
            return rows.at(row).at(c);
        }
    }
    return std::nullopt;
}

std::string Recordset::text(std::size_t row, const std::string& column) const {
    return value(row, column).value_or(std::string());
}

std::vector<ConnectionPart> splitConnectionString(const std::string& cs) {
    std::vector<ConnectionPart> parts;
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t at = 0;
    const std::size_t n = cs.size();
    while (at < n) {
        const std::size_t start = at;
        const std::size_t equals = cs.find('=', at);
        const std::size_t semicolon = cs.find(';', at);
        if (equals == std::string::npos || (semicolon != std::string::npos && semicolon < equals)) {
            // A piece without "=" is no key: it can only be the rest of a value that held a
            // ";" without quotes, so it stays with that value.
            const std::size_t end = semicolon == std::string::npos ? n : semicolon;
            if (!parts.empty() && !text::trim(cs.substr(start, end - start)).empty()) {
                ConnectionPart& last = parts.back();
                last.value += cs.substr(last.valueEnd, end - last.valueEnd);
                last.valueEnd = end;
                while (last.valueEnd > last.valueBegin && blank(cs[last.valueEnd - 1])) {
                    --last.valueEnd;
                }
                last.value = text::trim(last.value);
            }
            at = end + 1;
            continue;
        }
        ConnectionPart part;
        part.key = text::lower(text::trim(cs.substr(start, equals - start)));
        at = equals + 1;
        while (at < n && blank(cs[at])) {
            ++at;
        }
        part.valueBegin = at;
        const char first = at < n ? cs[at] : '\0';
        if (first == '\'' || first == '"' || first == '{') {
            // Quoted or braced: a doubled closing character stands for itself.
            const char close = first == '{' ? '}' : first;
            ++at;
            while (at < n) {
                if (cs[at] == close) {
                    if (at + 1 < n && cs[at + 1] == close) {
                        part.value += close;
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                part.value += cs[at++];
            }
            part.valueEnd = at;
            while (at < n && cs[at] != ';') {
                ++at;
            }
        } else {
            const std::size_t end = semicolon == std::string::npos ? n : semicolon;
            part.valueEnd = end;
            while (part.valueEnd > part.valueBegin && blank(cs[part.valueEnd - 1])) {
                --part.valueEnd;
            }
            part.value = cs.substr(part.valueBegin, part.valueEnd - part.valueBegin);
            at = end;
        }
        ++at;
        if (!part.key.empty()) {
            parts.push_back(std::move(part));
        }
    }
    return parts;
}

std::map<std::string, std::string> parseConnectionString(const std::string& connectionString) {
    std::map<std::string, std::string> keys;
    for (auto& part : splitConnectionString(connectionString)) {
        keys[part.key] = std::move(part.value);
    }
    return keys;
}

std::string maskPasswords(const std::string& connectionString) {
    const auto parts = splitConnectionString(connectionString);
    const auto secrets = passwordsOf(parts);
    std::string out = connectionString;
    // From the end, so that the positions before each replaced value stay valid. A value equal
    // to a password under another key (a user name used as the password) goes too.
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        const bool secret = isPasswordKey(it->key) ||
                            (!it->value.empty() &&
                             std::find(secrets.begin(), secrets.end(), it->value) != secrets.end());
        if (secret && it->valueEnd > it->valueBegin) {
            out.replace(it->valueBegin, it->valueEnd - it->valueBegin, "****");
        }
    }
    return out;
}

std::unique_ptr<DatabaseConnection> DatabaseConnection::open(const std::string& connectionString,
                                                             const DatabaseConfig& config,
                                                             const std::string& providerProperty) {
    const auto keys = parseConnectionString(connectionString);
    const auto provider =
        text::lower(keys.count("provider") ? keys.at("provider") : providerProperty);
    bool fileDatabase = text::contains(provider, "jet");
    for (const auto& [key, value] : keys) {
        fileDatabase = fileDatabase || text::startsWith(key, "jet oledb:");
    }
    const std::string name = nextConnectionName();
    const std::vector<std::string> secrets = passwordsOf(splitConnectionString(connectionString));
    std::unique_ptr<DatabaseConnection> connection(new DatabaseConnection(name, fileDatabase));

    QSqlDatabase db;
    if (fileDatabase) {
        SandboxPaths paths;
        paths.root = config.sandboxRoot;
        std::string file;
        try {
            file = nativePath(paths, keys.count("data source") ? keys.at("data source") : "",
                              "The database file");
        } catch (const RunTimeError& e) {
            throw RunTimeError(err::Unspecified, e.description(), "Database");
        }
        if (!files::fileExists(file)) {
            throw RunTimeError(err::Unspecified, "Could not find file '" + file + "'.", "Database");
        }
        db = QSqlDatabase::addDatabase("QSQLITE", q(name));
        db.setDatabaseName(q(file));
    } else {
        db = QSqlDatabase::addDatabase("QODBC", q(name));
        db.setDatabaseName(q(serverConnectionText(keys, config)));
        db.setConnectOptions("SQL_ATTR_LOGIN_TIMEOUT=5;SQL_ATTR_CONNECTION_TIMEOUT=5");
    }
    if (!db.isValid()) {
        throw RunTimeError(err::Unspecified, "Provider cannot be found.", "Database");
    }
    if (!db.open()) {
        raiseOpenError(db.lastError(), secrets);
    }
    if (fileDatabase) {
        registerAccessFunctions(db, secrets);
        // Queries name tables with their owner ("dbo.Table"): make that owner the file itself.
        QSqlQuery attach(db);
        attach.prepare("ATTACH DATABASE ? AS dbo");
        attach.addBindValue(db.databaseName());
        if (!attach.exec()) {
            raiseOpenError(attach.lastError(), secrets);
        }
        std::error_code ec;
        connection->attachFolder_ =
            std::filesystem::weakly_canonical(db.databaseName().toStdString(), ec)
                .parent_path()
                .string();
        sqlite3* handle = sqliteHandleOf(db);
        sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
        sqlite3_set_authorizer(handle, attachOnlyBeside, &connection->attachFolder_);
    }
    return connection;
}

DatabaseConnection::DatabaseConnection(std::string name, bool fileDatabase)
    : name_(std::move(name)), fileDatabase_(fileDatabase) {}

DatabaseConnection::~DatabaseConnection() {
    {
        QSqlDatabase db = QSqlDatabase::database(q(name_), false);
        if (db.isOpen()) {
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(q(name_));
}

namespace {

Recordset readRows(QSqlQuery& query) {
    Recordset result;
    const QSqlRecord record = query.record();
    for (int c = 0; c < record.count(); ++c) {
        result.columns.push_back(s(record.fieldName(c)));
    }
    while (query.next()) {
        std::vector<std::optional<std::string>> row;
        for (int c = 0; c < record.count(); ++c) {
            const QVariant v = query.value(c);
            row.push_back(v.isNull() ? std::nullopt : std::optional<std::string>(s(v.toString())));
        }
        result.rows.push_back(std::move(row));
    }
    return result;
}

void bindAll(QSqlQuery& query, const std::string& sql, const std::vector<std::string>& parameters) {
    if (!query.prepare(q(sql))) {
        raiseStatementError(query.lastError());
    }
    for (const auto& value : parameters) {
        query.addBindValue(q(value));
    }
}

} // namespace

Recordset DatabaseConnection::query(const std::string& sql) {
    QSqlQuery query(QSqlDatabase::database(q(name_), false));
    query.setForwardOnly(true);
    if (!query.exec(q(sql))) {
        raiseStatementError(query.lastError());
    }
    return readRows(query);
}

Recordset DatabaseConnection::query(const std::string& sql,
                                    const std::vector<std::string>& parameters) {
    QSqlQuery query(QSqlDatabase::database(q(name_), false));
    query.setForwardOnly(true);
    bindAll(query, sql, parameters);
    if (!query.exec()) {
        raiseStatementError(query.lastError());
    }
    return readRows(query);
}

void DatabaseConnection::execute(const std::string& sql,
                                 const std::vector<std::string>& parameters) {
    QSqlQuery query(QSqlDatabase::database(q(name_), false));
    bindAll(query, sql, parameters);
    if (!query.exec()) {
        raiseStatementError(query.lastError());
    }
}

void DatabaseConnection::execute(const std::string& sql) {
    const QSqlDatabase db = QSqlDatabase::database(q(name_), false);
    if (fileDatabase_) {
        // The file database runs every statement of the text, as a server runs a batch; Qt's
        // driver would take the first one only and fail on the rest.
        sqlite3* handle = sqliteHandleOf(db);
        char* message = nullptr;
        if (handle && sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message ? message : sqlite3_errmsg(handle);
            sqlite3_free(message);
            raiseDatabaseError(text, {}, err::CommandError, {});
        }
        if (handle) {
            crashPoint("sql:" + sql);
            return;
        }
    }
    QSqlQuery query(db);
    if (!query.exec(q(sql))) {
        raiseStatementError(query.lastError());
    }
    crashPoint("sql:" + sql);
}

} // namespace pelvar
