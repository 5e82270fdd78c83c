#pragma once

#include "environment/LocationRecord.h"

#include <string>

namespace pelvar {

struct AppState;

// What the location editor's boxes hold.
struct LocationEntry {
    std::string edition; // lblProductName: "Point of Sale" or "Head Office"
    std::string name;    // txtLocCaption, also the file name
    std::string type;    // cmbDownLdType: "HTTP", "FTP", or empty when none is chosen
    std::string remoteHost;
    std::string remotePort;
    std::string userName;
    std::string password;
    std::string confPassword;
    bool activeFtp = false;
    bool proxy = false; // chkProxyServer
    std::string proxyAddress;
    std::string proxyPort;
};

// The editor control a failed check puts the focus on.
enum class EntryControl {
    None,
    cmbDownLdType,
    txtLocCaption,
    txtRemoteHost,
    txtRemotePort,
    txtConfPassword,
    txtProxy,
    txtproxyPort
};

// The outcome of checking (and saving) an entry.
struct EntryCheck {
    bool ok = false;
    std::string ValidatedLocation; // the Location line
    std::string ValidatedFolder;   // the Folder Location line
    std::string message;           // why it failed, shown with the Information icon
    std::string title;             // of that box; empty for AppTitle
    EntryControl focus = EntryControl::None;
    // The boxes as the check leaves them: a bad port emptied, the proxy boxes emptied when
    // no proxy is used, the name emptied when it is taken.
    LocationEntry entry;
};

// Checks an entry and works out the stored address parts. HTTP: the address with "http://"
// added when missing, then ":" + port when one is given; no folder. FTP: the address with
// "ftp://" added when missing, cut at the first "/" after the host into location and folder.
EntryCheck ValidateEntry(const LocationEntry& entry);

// The location file's record for a checked entry.
LocationRecord locationFromEntry(const EntryCheck& check);

// The boxes of the editor opened to modify `location` of `edition`.
LocationEntry entryFromLocation(const LocationRecord& location, const std::string& edition);

// Clears DownloadLocation, checks the entry (showing its refusal) and writes the location
// file. Adding refuses a name whose file exists and registers a new one in the edition's
// settings file. `ok` is the editor's LocationSaved.
EntryCheck SaveLocation(AppState& state, const LocationEntry& entry, bool modify);

} // namespace pelvar
