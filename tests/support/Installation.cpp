#include "Installation.h"

#include "environment/RegistrySettings.h"
#include "environment/SystemFile.h"
#include "platform/text/Text.h"
#include "settings/ScrambleLine.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace pelvar::test {

Installation::Installation() {
    std::filesystem::create_directories(product() + "/Temp3");
    WriteSetting(registry, "SetupType", "1", keysel::SetupType);
}

void Installation::settings(int selector,
                            const std::vector<std::pair<std::string, std::string>>& values) {
    WriteSetting(registry, "PELVARAPPPATH", product(), selector);
    for (const auto& [name, value] : values) {
        WriteSetting(registry, name, value, selector);
    }
}

void Installation::securityDatabase(int selector, const std::string& patchVersion,
                                    const std::string& sql) {
    sqlite(dir / "security.db", "CREATE TABLE VaCompany (CompCode, Nm, DbProvider, DbType, DbPath, "
                                "DbName, DbPassWd, DbUserName, DBServer);" +
                                    sql);
    settings(selector, {{"SERVERTYPE", "ACCESS"},
                        {"VASECDBPATH", dir.path()},
                        {"VASECDBNAME", "security.db"},
                        {"PROVIDER", "Microsoft.Jet.OLEDB.4.0"},
                        {"PatchVer", patchVersion}});
}

void Installation::patch(const std::string& archive, const ZipEntries& entries) const {
    makeZip(downloads() + "/" + archive, entries);
}

void Installation::information(const std::string& name,
                               const std::vector<std::string>& entries) const {
    std::string body;
    for (const auto& entry : entries) {
        body += "1:2:3:4:" + ScrambleLine(entry) + "\r\n";
    }
    writeFile(downloads() + "/Pelvar9_" + name + ".dat", body);
}

CliRun Installation::apply(const std::string& edition) const {
    writeFile(appFolder() + "/" + edition + "DownloadSettings.config",
              "Download path=" + downloads() + "\r\n");
    return runLiveupdate({"--root", root(), "--app-folder", appFolder(), "--yes", "apply",
                          "--edition", edition, "--no-download"});
}

std::vector<std::string> Installation::systemFileLines(int edition) const {
    return text::splitText(readFile(systemFilePath(paths, edition)), "\r\n");
}

::testing::AssertionResult
Installation::logHasInOrder(const std::vector<std::string>& expected) const {
    const auto log = logMessages();
    auto at = log.begin();
    for (const auto& line : expected) {
        at = std::find(at, log.end(), line);
        if (at == log.end()) {
            return ::testing::AssertionFailure() << "missing in order: " << line << "\n"
                                                 << logText();
        }
        ++at;
    }
    return ::testing::AssertionSuccess();
}

} // namespace pelvar::test
