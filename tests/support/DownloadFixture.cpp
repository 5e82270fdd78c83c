#include "DownloadFixture.h"

#include "environment/Connections.h"
#include "platform/files/Files.h"
#include "settings/ScrambleLine.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace pelvar::test {

DownloadFixture::DownloadFixture() {
    std::filesystem::create_directories(www());
    std::filesystem::create_directories(ftpRoot());
    state.mainWindow = &surface;
    state.edition = Edition::Pos;
}

void DownloadFixture::writeLocation(const std::string& name,
                                    const std::vector<std::string>& fields) {
    std::string bytes;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        bytes += ScrambleLine(locationFileKeys()[k] + fields[k]) + "\r\n";
    }
    writeFile(appFolder() + "/" + name, bytes);
}

void DownloadFixture::httpLocation(const std::string& name, const std::string& url,
                                   const std::string& product) {
    writeLocation(name + ".ini", {product, name, "HTTP", url, "", "", "", "", "0", "", "", "NO"});
}

void DownloadFixture::ftpLocation(const std::string& name, int port, const std::string& folder,
                                  const std::string& user, const std::string& password, bool active,
                                  const std::string& product) {
    writeLocation(name + ".ini",
                  {product, name, "FTP", "ftp://127.0.0.1", folder, std::to_string(port), user,
                   password, "0", "", "", active ? "YES" : "NO"});
}

void DownloadFixture::writeSettings(const std::string& edition,
                                    const std::vector<std::string>& locationFiles) {
    std::string bytes = "Download path=" + downloads() + "\r\n";
    for (const auto& file : locationFiles) {
        bytes += "Download File=" + file + "\r\n";
    }
    const std::string name =
        edition == "Head Office" ? "HODownloadSettings.config" : "POSDownloadSettings.config";
    writeFile(appFolder() + "/" + name, bytes);
}

void DownloadFixture::publish(const std::string& path, const std::vector<std::string>& entries) {
    std::string bytes = "// published for the tests\r\n\r\n";
    for (const auto& entry : entries) {
        bytes += "PELVAR:9:x:y:" + ScrambleLine(entry) + "\r\n";
    }
    writeFile(path, bytes);
}

void DownloadFixture::useSecurityDatabase(const std::string& statements) {
    sqlite(securityDatabase(), "CREATE TABLE VaCompany (CompCode TEXT, Nm TEXT);" + statements);
    for (const char* key : {"Software\\Pelvar\\POS", "Software\\Pelvar\\ENTERPRISE"}) {
        registry.write(key, "SERVERTYPE", "ACCESS");
        registry.write(key, "PROVIDER", "Microsoft.Jet.OLEDB.4.0");
        registry.write(key, "VASECDBPATH", dir.path());
        registry.write(key, "VASECDBNAME", "Security.mdb");
    }
    registry.write("Software\\Pelvar\\SetupType", "SetupType", "Server");
    if (!LoadConnectionData(state, state.edition)) {
        throw std::runtime_error("no connection data");
    }
}

bool DownloadFixture::logHas(const std::string& message) const {
    const auto messages = logMessages();
    return std::find(messages.begin(), messages.end(), message) != messages.end();
}

} // namespace pelvar::test
