#include "platform/db/Database.h"

#include "platform/base/CrashPoint.h"
#include "platform/text/DateText.h"
#include "platform/files/Files.h"
#include "platform/base/RunTimeError.h"
#include "platform/text/Text.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
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
// name): no password of the connection string leaves here.
std::string masked(std::string text, const std::vector<std::string>& secrets) {
    for (const auto& secret : secrets) {
        if (!secret.empty()) {
            text = text::replaceAll(std::move(text), secret, "****");
        }
    }
    return text;
}

[[noreturn]] void raiseSqlError(const QSqlError& error, const std::vector<std::string>& secrets) {
    const std::string text = masked(describe(error), secrets);
    const std::string all = text::lower(text + " " + s(error.nativeErrorCode()));
    std::int64_t number = err::Unspecified;
    if (text::contains(all, "no such table") || text::contains(all, "42p01") ||
        text::contains(all, "invalid object name") ||
        (text::contains(all, "relation") && text::contains(all, "does not exist"))) {
        number = err::TableNotFound;
    } else if (text::contains(all, "unique constraint") || text::contains(all, "23505") ||
               text::contains(all, "duplicate key") || text::contains(all, "primary key") ||
               text::contains(all, "constraint failed")) {
        number = err::IntegrityViolation;
    }
    throw RunTimeError(number, text, "Database");
}

std::string nextConnectionName() {
    static std::atomic<int> counter{0};
    return "pelvar-db-" + std::to_string(++counter);
}

constexpr const char* PasswordKeys[] = {"password", "pwd", "jet oledb:database password"};

std::vector<std::string> passwordsOf(const std::map<std::string, std::string>& keys) {
    std::vector<std::string> secrets;
    for (const char* key : PasswordKeys) {
        const auto it = keys.find(key);
        if (it != keys.end() && !it->second.empty()) {
            secrets.push_back(it->second);
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
    std::string odbc = "Driver={" + config.odbcDriver + "};Server=" + host + ";";
    if (!port.empty()) {
        odbc += "Port=" + port + ";";
    }
    odbc += "Database=" + firstOf(keys, {"initial catalog", "database"}) +
            ";Uid=" + firstOf(keys, {"user id", "uid"}) +
            ";Pwd=" + firstOf(keys, {"password", "pwd"}) + ";";
    return odbc;
}

// Access's CDate for the statements the patch steps build: a date text ("M/D/YYYY" or
// "YYYY-MM-DD", optionally with a time) becomes "YYYY-MM-DD"; anything else gives NULL.
void cdate(sqlite3_context* context, int, sqlite3_value** argv) {
    const unsigned char* raw = sqlite3_value_text(argv[0]);
    const auto date = raw ? datetext::parse(reinterpret_cast<const char*>(raw)) : std::nullopt;
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

std::map<std::string, std::string> parseConnectionString(const std::string& connectionString) {
    std::map<std::string, std::string> keys;
    std::string piece;
    bool quoted = false;
    auto flush = [&] {
        const auto at = piece.find('=');
        if (at != std::string::npos) {
            std::string value = text::trim(piece.substr(at + 1));
            if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') {
                value = value.substr(1, value.size() - 2);
            }
            keys[text::lower(text::trim(piece.substr(0, at)))] = value;
        }
        piece.clear();
    };
    for (char c : connectionString) {
        if (c == '\'') {
            quoted = !quoted;
        }
        if (c == ';' && !quoted) {
            flush();
        } else {
            piece += c;
        }
    }
    flush();
    return keys;
}

std::string maskPasswords(const std::string& connectionString) {
    std::string out;
    for (const auto& piece : text::splitAll(connectionString, ';')) {
        const auto at = piece.find('=');
        const std::string key =
            at == std::string::npos ? "" : text::lower(text::trim(piece.substr(0, at)));
        bool secret = false;
        for (const char* k : PasswordKeys) {
            secret = secret || key == k;
        }
        out += secret ? piece.substr(0, at + 1) + "****" : piece;
        out += ';';
    }
    if (!out.empty()) {
        out.pop_back();
    }
    // The same text under another key (a user name equal to the password) goes too.
    return masked(out, passwordsOf(parseConnectionString(connectionString)));
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
    const std::vector<std::string> secrets = passwordsOf(keys);
    std::unique_ptr<DatabaseConnection> connection(
        new DatabaseConnection(name, fileDatabase, secrets));

    QSqlDatabase db;
    if (fileDatabase) {
        const std::string file =
            text::replaceAll(keys.count("data source") ? keys.at("data source") : "", "\\", "/");
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
        raiseSqlError(db.lastError(), secrets);
    }
    if (fileDatabase) {
        registerAccessFunctions(db, secrets);
        // Queries name tables with their owner ("dbo.Table"): make that owner the file itself.
        QSqlQuery attach(db);
        attach.prepare("ATTACH DATABASE ? AS dbo");
        attach.addBindValue(db.databaseName());
        if (!attach.exec()) {
            raiseSqlError(attach.lastError(), secrets);
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

DatabaseConnection::DatabaseConnection(std::string name, bool fileDatabase,
                                       std::vector<std::string> secrets)
    : name_(std::move(name)), fileDatabase_(fileDatabase), secrets_(std::move(secrets)) {}

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

void bindAll(QSqlQuery& query, const std::string& sql, const std::vector<std::string>& parameters,
             const std::vector<std::string>& secrets) {
    if (!query.prepare(q(sql))) {
        raiseSqlError(query.lastError(), secrets);
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
        raiseSqlError(query.lastError(), secrets_);
    }
    return readRows(query);
}

Recordset DatabaseConnection::query(const std::string& sql,
                                    const std::vector<std::string>& parameters) {
    QSqlQuery query(QSqlDatabase::database(q(name_), false));
    query.setForwardOnly(true);
    bindAll(query, sql, parameters, secrets_);
    if (!query.exec()) {
        raiseSqlError(query.lastError(), secrets_);
    }
    return readRows(query);
}

void DatabaseConnection::execute(const std::string& sql,
                                 const std::vector<std::string>& parameters) {
    QSqlQuery query(QSqlDatabase::database(q(name_), false));
    bindAll(query, sql, parameters, secrets_);
    if (!query.exec()) {
        raiseSqlError(query.lastError(), secrets_);
    }
}

void DatabaseConnection::execute(const std::string& sql) {
    QSqlQuery query(QSqlDatabase::database(q(name_), false));
    if (!query.exec(q(sql))) {
        raiseSqlError(query.lastError(), secrets_);
    }
    crashPoint("sql:" + sql);
}

} // namespace pelvar
