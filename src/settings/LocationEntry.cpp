#include "settings/LocationEntry.h"

#include "environment/AppState.h"
#include "environment/FileText.h"
#include "platform/files/Files.h"
#include "platform/host/Prompter.h"
#include "platform/text/Text.h"
#include "settings/SettingsFiles.h"

namespace pelvar {
namespace {

constexpr std::size_t SchemeLength = 7; // "http://"; an address no longer has no host

EntryCheck refuse(EntryCheck check, const char* message, EntryControl focus) {
    check.ok = false;
    check.ValidatedLocation.clear();
    check.ValidatedFolder.clear();
    check.message = message;
    check.focus = focus;
    return check;
}

} // namespace

EntryCheck ValidateEntry(const LocationEntry& input) {
    EntryCheck check;
    check.entry = input;
    LocationEntry& e = check.entry;
    if (e.type.empty()) {
        return refuse(check, "Select the Patch Update media", EntryControl::cmbDownLdType);
    }

    // The scheme may be typed anywhere, in any case; the address keeps the text as typed.
    const std::string typed = text::lower(text::trim(e.remoteHost));
    std::string address;
    if (e.type == "HTTP") {
        // "https://" is kept as typed: prefixing "http://" would make "http://https://...".
        const bool schemed = text::contains(typed, "http://") || text::contains(typed, "https://");
        address = schemed ? e.remoteHost : "http://" + e.remoteHost;
    } else if (e.type == "FTP") {
        address = text::contains(typed, "ftp://") ? e.remoteHost : "ftp://" + e.remoteHost;
    }
    const std::string lowered = text::lower(address);
    const bool secure = text::contains(lowered, "https://");
    if (secure || text::contains(lowered, "http://")) {
        // An FTP entry whose text names an http:// address would store no location at all.
        if (address.size() <= SchemeLength + (secure ? 1 : 0) || e.type != "HTTP") {
            return refuse(check, "Invalid Web Address", EntryControl::txtRemoteHost);
        }
        check.ValidatedLocation = address + (e.remotePort.empty() ? "" : ":" + e.remotePort);
        check.ValidatedFolder.clear();
    } else if (const auto scheme = lowered.find("ftp://"); scheme != std::string::npos) {
        // The folder runs from the first "/" after the host; the download engine needs one,
        // so an address without a folder is refused.
        const std::size_t slash = address.find('/', scheme + 6);
        if (address.size() <= SchemeLength || slash == std::string::npos ||
            slash + 1 == address.size()) {
            return refuse(check, "Invalid Web Address", EntryControl::txtRemoteHost);
        }
        check.ValidatedLocation = address.substr(0, slash);
        check.ValidatedFolder = address.substr(slash);
    } else {
        return refuse(check, "Invalid Web Address", EntryControl::txtRemoteHost);
    }

    // A confirmation that differs only by surrounding blanks still matches.
    if (text::trim(e.password) != text::trim(e.confPassword)) {
        return refuse(check, "Passwords do not match.", EntryControl::txtConfPassword);
    }
    const bool hasHost = !text::trim(e.remoteHost).empty();
    if (hasHost && !e.remotePort.empty() && !text::isNumeric(e.remotePort)) {
        e.remotePort.clear();
        return refuse(check, "Invalid Remote Port No.", EntryControl::txtRemotePort);
    }
    if (!hasHost) {
        e.remotePort.clear();
    }
    if (e.proxy) {
        if (text::trim(e.proxyAddress).empty()) {
            return refuse(check, "Please Enter Proxy Server Address.", EntryControl::txtProxy);
        }
        if (!e.proxyPort.empty() && !text::isNumeric(e.proxyPort)) {
            e.proxyPort.clear();
            return refuse(check, "Invalid Remote Port No.", EntryControl::txtproxyPort);
        }
    } else {
        e.proxyAddress.clear();
        e.proxyPort.clear();
    }
    if (!hasHost) {
        return refuse(check, "Please Enter Web Server Address.", EntryControl::txtRemoteHost);
    }
    check.ok = true;
    return check;
}

LocationRecord locationFromEntry(const EntryCheck& check) {
    const LocationEntry& e = check.entry;
    LocationRecord l;
    l.Product = e.edition;
    l.Description = e.name;
    l.DownloadType = e.type;
    l.Location = check.ValidatedLocation;
    l.FolderLocation = check.ValidatedFolder;
    l.Port = e.remotePort;
    l.UserName = e.userName;
    l.Password = e.password;
    l.ConnectToProxy = e.proxy ? "1" : "0";
    l.ProxyAddress = e.proxyAddress;
    l.ProxyPort = e.proxyPort;
    l.ActiveFtp = e.activeFtp ? "YES" : "NO";
    return l;
}

LocationEntry entryFromLocation(const LocationRecord& location, const std::string& edition) {
    LocationEntry e;
    e.edition = edition;
    e.name = location.Description;
    e.type = location.DownloadType;
    e.remoteHost = location.Location + location.FolderLocation;
    e.remotePort = location.Port;
    e.proxy = location.ConnectToProxy == "1";
    e.proxyAddress = location.ProxyAddress;
    e.proxyPort = location.ProxyPort;
    if (location.DownloadType == "FTP") {
        e.userName = location.UserName;
        e.password = location.Password;
        e.confPassword = location.Password;
        e.activeFtp = location.ActiveFtp == "YES";
    }
    return e;
}

EntryCheck SaveLocation(AppState& state, const LocationEntry& entry, bool modify) {
    state.DownloadLocation.clear();
    EntryCheck check = ValidateEntry(entry);
    if (!check.ok) {
        state.services.prompter.show(check.message, box::Information, state.AppTitle);
        return check;
    }
    const std::string fileName = entry.name + ".ini";
    if (!modify && files::fileExists(files::join(state.AppFolder, fileName))) {
        check = refuse(check,
                       "This Download Location already exist, Enter a diffrent download location "
                       "name",
                       EntryControl::txtLocCaption);
        check.title = "Pelvar 9 LiveUpdate";
        check.entry.name.clear();
        state.services.prompter.show(check.message, box::Information, check.title);
        return check;
    }
    WriteLocationFile(state, fileName, locationFromEntry(check));
    if (!modify) {
        if (const auto edition = editionFromText(entry.edition)) {
            const std::string settings = settingsFileName(*edition);
            const std::string path = files::join(state.AppFolder, settings);
            // Readers take line 1 as the folder: a first location must not land there.
            if (!files::fileExists(path)) {
                WriteFileText(state, "Download path=" + state.DownloadFolder, settings);
            }
            AppendLineToFile(state, "Download File=" + fileName, path);
        }
    }
    return check;
}

} // namespace pelvar
