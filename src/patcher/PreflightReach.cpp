#include "download/DownloadSession.h"
#include "download/HttpTransfer.h"
#include "environment/AppState.h"
#include "patcher/CompanyConnections.h"
#include "patcher/PreflightItems.h"
#include "platform/base/RunTimeError.h"
#include "platform/db/Database.h"
#include "platform/files/Files.h"
#include "platform/net/InternetClient.h"
#include "platform/text/Text.h"
#include "settings/SettingsFiles.h"

namespace pelvar::preflight {
namespace {

void checkReplicationDatabases(AppState& state, DatabaseConnection& company, Tally& tally) {
    Recordset rooms;
    try {
        rooms = company.query(companydb::ShowroomQuery);
    } catch (const RunTimeError& error) {
        tally("replication databases", false, error.description());
        return;
    }
    for (std::size_t i = 0; i < rooms.size(); ++i) {
        const std::string name = "replication database " + text::trim(rooms.text(i, "DbName"));
        try {
            DatabaseConnection::open(companydb::replicationConnection(rooms, i, true),
                                     state.services.database);
            tally(name, true, "opens");
        } catch (const RunTimeError& error) {
            tally(name, false, error.description());
        }
    }
}

// Both forms a run opens a company with must reach it.
void checkCompanies(AppState& state, DatabaseConnection& security, bool headOffice, Tally& tally) {
    const Recordset companies = security.query("SELECT * FROM VaCompany");
    for (std::size_t r = 0; r < companies.size(); ++r) {
        const std::string name = "company " + companies.text(r, "Nm") + " (" +
                                 text::trim(companies.text(r, "DbName")) + ")";
        const std::string provider = text::trim(companies.text(r, "DbProvider"));
        std::unique_ptr<DatabaseConnection> opened;
        std::string problem;
        for (const auto& [form, connection] :
             {std::pair{"script connection", companydb::scriptConnection(companies, r)},
              std::pair{"record connection", companydb::recordConnection(companies, r)}}) {
            try {
                opened = DatabaseConnection::open(connection, state.services.database, provider);
            } catch (const RunTimeError& error) {
                problem = std::string(form) + ": " + error.description();
                opened.reset();
                break;
            }
        }
        tally(name, problem.empty(), problem.empty() ? "opens" : problem);
        if (opened && headOffice) {
            checkReplicationDatabases(state, *opened, tally);
        }
    }
}

} // namespace

void checkDatabases(AppState& state, bool loaded, bool headOffice, Tally& tally) {
    if (!loaded) {
        tally("security database", false, "no set-up type in the system file or the registry");
        return;
    }
    std::unique_ptr<DatabaseConnection> security;
    try {
        security =
            DatabaseConnection::open(state.SecurityConnectionString, state.services.database);
        security->query("SELECT * FROM VaCompany");
    } catch (const RunTimeError& error) {
        tally("security database", false, error.description());
        return;
    }
    tally("security database", true, "opens; VaCompany readable");
    try {
        checkCompanies(state, *security, headOffice, tally);
    } catch (const RunTimeError& error) {
        tally("company databases", false, error.description());
    }
}

namespace {

// An address may carry "user:password@" before its host; the report shows it without.
std::string withoutCredentials(const std::string& url) {
    const auto scheme = url.find("://");
    const auto hostStart = scheme == std::string::npos ? 0 : scheme + 3;
    const auto at = url.find('@', hostStart);
    if (at == std::string::npos || at > url.find('/', hostStart)) {
        return url;
    }
    return url.substr(0, hostStart) + "****@" + url.substr(at + 1);
}

void checkLocation(AppState& state, Edition edition, const std::string& file, Tally& tally) {
    state.DownloadLocation.clear();
    LoadDownloadLocation(state, file);
    const LocationRecord& location = state.DownloadLocation;
    if (editionFromText(location.Product) != edition) {
        return;
    }
    const std::string name = "location " + file;
    if (location.DownloadType == "HTTP") {
        const std::string url =
            httpBaseAddress(location) + "/Pelvar9_" + location.Description + ".dat";
        const TransferResult head = httpHead(url, agentName());
        const std::string shown = withoutCredentials(url);
        const std::string answer =
            head.responseNumber > 0
                ? "answered " + std::to_string(head.responseNumber)
                : "cannot be reached (" + std::to_string(head.systemError) + ")";
        tally(name, head.ok, shown + " " + answer);
    } else if (location.DownloadType == "FTP") {
        const std::string host = text::replaceAll(text::trim(location.Location), "ftp://", "");
        const std::string port = text::trim(location.Port);
        FtpClient client;
        const TransferResult login =
            client.login(host, text::isNumeric(port) ? static_cast<int>(text::toInteger(port)) : 0,
                         text::trim(location.UserName), text::trim(location.Password),
                         location.ActiveFtp == "YES");
        client.close();
        const std::string who = "login as " + text::trim(location.UserName) + " at " + host;
        tally(name, login.ok,
              login.ok ? who + " succeeded"
                       : who + " failed: " +
                             (login.serverResponse.empty()
                                  ? "no answer (" + std::to_string(login.systemError) + ")"
                                  : login.serverResponse));
    }
}

} // namespace

void checkLocations(AppState& state, Edition edition, Tally& tally) {
    const std::string settings = files::join(state.AppFolder, settingsFileName(edition));
    if (!files::fileExists(settings)) {
        return;
    }
    const auto lines = files::readLines(settings);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto kv = text::splitKeyValue(lines[i]);
        if (kv.key == "Current Version") {
            break;
        }
        if (!kv.value.empty()) {
            checkLocation(state, edition, kv.value, tally);
        }
    }
    state.DownloadLocation.clear();
}

} // namespace pelvar::preflight
