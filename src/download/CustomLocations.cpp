#include "download/CustomLocations.h"

#include "download/DownloadSession.h"
#include "download/DownloadWalk.h"
#include "download/FtpTransfer.h"
#include "download/HttpTransfer.h"
#include "environment/AppState.h"
#include "environment/FileText.h"
#include "environment/Surfaces.h"
#include "environment/UpdateLog.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/host/Host.h"
#include "platform/text/Text.h"

namespace pelvar {
namespace {

bool isTrue(const std::optional<std::string>& value) {
    if (!value) {
        return false;
    }
    const std::string v = text::lower(text::trim(*value));
    return v == "1" || v == "-1" || v == "true" || v == "yes";
}

// Splits "host/dir/patches[/]" into the host part ("host/dir") and the folder ("patches").
// An address without a folder has no valid host part: error 5.
std::pair<std::string, std::string> splitFtpAddress(std::string address) {
    if (!text::endsWith(address, "/")) {
        address += "/";
    }
    const auto pieces = text::splitAll(address, '/');
    std::string folder;
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
        if (!it->empty()) {
            folder = *it;
            break;
        }
    }
    const long long hostLength =
        static_cast<long long>(address.size()) - static_cast<long long>(folder.size()) - 2;
    if (hostLength < 0) {
        raise(err::InvalidProcedureCall);
    }
    return {address.substr(0, static_cast<std::size_t>(hostLength)), folder};
}

// The fields every custom location shares; the caller adds what its type needs.
LocationRecord customLocation(const AppState& state, const Recordset& rows, std::size_t r,
                              const std::string& address) {
    LocationRecord location;
    location.Product = editionText(shownEdition(state));
    location.Description = rows.text(r, "CustmPatchName");
    location.DownloadType = rows.text(r, "DownLoadType");
    location.Location = address;
    location.ConnectToProxy = "0";
    return location;
}

void fetchRow(DownloadWalk& walk, const Recordset& rows, std::size_t r) {
    AppState& state = walk.state;
    const std::string kind = text::upper(rows.text(r, "DownLoadType"));
    const std::string address = rows.text(r, "LocationAddress");
    if (kind == "FTP") {
        LogWrite(state, "Download Type is FTP.");
        const auto [host, folder] = splitFtpAddress(address);
        state.DownloadLocation.Location = host;
        // The check loads configured locations into DownloadLocation: fill it afterwards.
        if (!IsNewCustomAddress(state, host)) {
            return;
        }
        LocationRecord location = customLocation(state, rows, r, host);
        location.FolderLocation = "/" + folder + "/";
        location.Port = rows.text(r, "PortNo");
        location.UserName = rows.text(r, "UserName");
        location.Password = rows.text(r, "Password");
        location.ActiveFtp = isTrue(rows.value(r, "ActiveFtp")) ? "YES" : "NO";
        state.DownloadLocation = location;
        LogWrite(state, "Call Start FTP to download the Patches from FTP Location.");
        StartFTP(walk);
    } else if (kind == "HTTP") {
        LogWrite(state, "Download Type is HTTP.");
        state.DownloadLocation.Location = address;
        if (!IsNewCustomAddress(state, address)) {
            return;
        }
        state.DownloadLocation = customLocation(state, rows, r, address);
        LogWrite(state, "Call StartHTTP to download the Patches from HTTP Location.");
        StartHTTP(walk);
    }
}

} // namespace

void DownloadFromCustomLocations(DownloadWalk& walk) {
    AppState& state = walk.state;
    try {
        auto connection =
            DatabaseConnection::open(state.SecurityConnectionString, state.services.database);
        LogWrite(state, "Check any record exists in the table CustomPatchLocationDtls table.");
        Recordset rows;
        try {
            rows = connection->query("SELECT * FROM CustomPatchLocationDtls WHERE ActiveFlag=1");
        } catch (const RunTimeError& e) {
            if (e.number() == err::TableNotFound) {
                LogWrite(state, "CustomPatchLocationDtls table does not exist. Exit from the "
                                "Custom patch Downloading.");
                return;
            }
            throw;
        }
        if (rows.size() < 1) {
            LogWrite(state, "There is no record in CustomPatchLocationDtls table. Exit from the "
                            "Custom patch Downloading.");
            return;
        }
        LogWrite(state, "There is a record in CustomPatchLocationDtls table.");
        // Signed mode holds custom locations to stricter rules than settings locations.
        struct PassFlag {
            bool& flag;
            ~PassFlag() { flag = false; }
        } pass{walk.CustomLocationPass};
        walk.CustomLocationPass = true;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            fetchRow(walk, rows, r);
        }
        walk.PatchesDownloaded = true;
    } catch (const RunTimeError&) {
        // Any other error ends the pass without a message.
    }
}

bool IsNewCustomAddress(AppState& state, const std::string& address) {
    bool isNew = false;
    const auto lines = files::readLines(files::join(state.AppFolder, "POSDownloadSettings.config"));
    for (const auto& line : lines) {
        const auto kv = text::splitKeyValue(line);
        if (kv.key == "Download File") {
            LoadDownloadLocation(state, kv.value);
            isNew = state.DownloadLocation.Location != address;
        }
    }
    return isNew;
}

} // namespace pelvar
