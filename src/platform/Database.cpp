#include "platform/Database.h"

#include "platform/Files.h"
#include "platform/RunTimeError.h"
#include "platform/Text.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <atomic>
#include <cstdlib>

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

[[noreturn]] void raiseSqlError(const QSqlError& error) {
    const std::string text = describe(error);
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

std::string serverConnectionText(const std::map<std::string, std::string>& keys,
                                 const DatabaseConfig& config) {
    auto get = [&](const char* k) {
        const auto it = keys.find(k);
        return it == keys.end() ? std::string() : it->second;
    };
    std::string host = get("data source");
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
    odbc += "Database=" + get("initial catalog") + ";Uid=" + get("user id") +
            ";Pwd=" + get("password") + ";";
    return odbc;
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

std::unique_ptr<DatabaseConnection> DatabaseConnection::open(const std::string& connectionString,
                                                             const DatabaseConfig& config) {
    const auto keys = parseConnectionString(connectionString);
    const auto provider = keys.count("provider") ? text::lower(keys.at("provider")) : "";
    const bool fileDatabase = text::contains(provider, "jet");
    const std::string name = nextConnectionName();
    std::unique_ptr<DatabaseConnection> connection(new DatabaseConnection(name, fileDatabase));

    QSqlDatabase db;
    if (fileDatabase) {
        const std::string file = keys.count("data source") ? keys.at("data source") : "";
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
        raiseSqlError(db.lastError());
    }
    if (fileDatabase) {
        // Queries name tables with their owner ("dbo.Table"): make that owner the file itself.
        QSqlQuery attach(db);
        attach.prepare("ATTACH DATABASE ? AS dbo");
        attach.addBindValue(db.databaseName());
        if (!attach.exec()) {
            raiseSqlError(attach.lastError());
        }
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
        raiseSqlError(query.lastError());
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
        raiseSqlError(query.lastError());
    }
    return readRows(query);
}

Recordset DatabaseConnection::query(const std::string& sql,
                                    const std::vector<std::string>& parameters) {
    QSqlQuery query(QSqlDatabase::database(q(name_), false));
    query.setForwardOnly(true);
    bindAll(query, sql, parameters);
    if (!query.exec()) {
        raiseSqlError(query.lastError());
    }
    return readRows(query);
}

void DatabaseConnection::execute(const std::string& sql,
                                 const std::vector<std::string>& parameters) {
    QSqlQuery query(QSqlDatabase::database(q(name_), false));
    bindAll(query, sql, parameters);
    if (!query.exec()) {
        raiseSqlError(query.lastError());
    }
}

void DatabaseConnection::execute(const std::string& sql) {
    QSqlQuery query(QSqlDatabase::database(q(name_), false));
    if (!query.exec(q(sql))) {
        raiseSqlError(query.lastError());
    }
}

} // namespace pelvar
