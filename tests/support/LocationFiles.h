#pragma once

#include "Sandbox.h"
#include "TempDir.h"
#include "environment/LocationRecord.h"
#include "platform/files/Files.h"
#include "settings/ScrambleLine.h"

#include <string>
#include <vector>

namespace pelvar::test {

// A location file as the installer ships one: the twelve key texts written out here, each
// line scrambled, CR LF line ends.
inline std::string locationFileBytes(const LocationRecord& l) {
    static const char* const keys[] = {
        "Product=",          "Description=",   "Download Type=", "Location=",
        "Folder Location =", "Port=",          "User Name =",    "Password =",
        "ConnectToProxy=",   "Proxy Address=", "Proxy Port=",    "Active FTP="};
    std::string bytes;
    for (int k = 1; k <= LocationRecord::FieldCount; ++k) {
        bytes += ScrambleLine(keys[k - 1] + l.field(k)) + "\r\n";
    }
    return bytes;
}

inline LocationRecord location(const std::string& edition, const std::string& name,
                               const std::string& type, const std::string& address,
                               const std::string& folder = {}, const std::string& password = {}) {
    LocationRecord l;
    l.Product = edition;
    l.Description = name;
    l.DownloadType = type;
    l.Location = address;
    l.FolderLocation = folder;
    l.UserName = password.empty() ? "" : "patches";
    l.Password = password;
    l.ConnectToProxy = "0";
    l.ActiveFtp = type == "FTP" ? "YES" : "NO";
    return l;
}

// Writes the location files and a settings file listing them, in order.
inline void installLocations(const Sandbox& box, const std::string& settingsFile,
                             const std::string& downloadPath,
                             const std::vector<LocationRecord>& locations) {
    std::string settings = "Download path=" + downloadPath + "\r\n";
    for (const auto& l : locations) {
        writeFile(box.appFolder() + "/" + l.Description + ".ini", locationFileBytes(l));
        settings += "Download File=" + l.Description + ".ini\r\n";
    }
    writeFile(box.appFolder() + "/" + settingsFile, settings);
}

// The lines of a location file, unscrambled.
inline std::vector<std::string> unscrambledLines(const std::string& path) {
    std::vector<std::string> lines;
    for (const auto& line : files::readLines(path)) {
        lines.push_back(ScrambleLine(line));
    }
    return lines;
}

} // namespace pelvar::test
