#include "environment/Connections.h"

#include "environment/AppState.h"
#include "environment/RegistrySettings.h"
#include "environment/UpdateLog.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/WindowsPath.h"

namespace pelvar {
namespace {

// System file first, registry of the edition's key second.
std::string lookup(const AppState& state, const std::string& fromFile, const std::string& name,
                   int selector) {
    return fromFile.empty() ? ReadSetting(state.services.registry, name, selector) : fromFile;
}

// The product folder as this machine reaches it. A value that cannot be one leaves it empty,
// which stops a patch run before it writes anything; the log says why.
std::string productFolder(const AppState& state, const std::string& value) {
    try {
        return nativePath(state.services.paths, value, "PELVARAPPPATH");
    } catch (const RunTimeError& e) {
        try {
            LogWrite(state, e.description());
        } catch (const RunTimeError&) {
            // Without a log the empty folder still stops the run.
        }
        return {};
    }
}

} // namespace

bool LoadConnectionData(AppState& state, std::optional<Edition> edition) {
    try {
        LoadPelvarDatFileInfo(state.DatFileInfo, state.services.paths);
        const Edition chosen = edition.value_or(Edition::Pos);
        const bool headOffice = chosen == Edition::Ho;
        const SystemRecord& file = headOffice ? state.DatFileInfo.Ho : state.DatFileInfo.Pos;
        const int selector = editionSelector(chosen);
        const RegistryStore& registry = state.services.registry;

        const std::string databaseType = lookup(state, file.ServerType, "SERVERTYPE", selector);
        std::string setupType = file.SetupType;
        if (setupType.empty()) {
            setupType = ReadSetting(registry, "SetupType", keysel::SetupType);
        }
        if (setupType.empty()) {
            return false;
        }
        state.DatabaseType = databaseType;
        state.ProductAppPath =
            productFolder(state, lookup(state, file.PelvarAppPath, "PELVARAPPPATH", selector));

        if (state.DatabaseType == "ACCESS") {
            const std::string databaseFile = ReadSetting(registry, "VASECDBPATH", selector) + "/" +
                                             ReadSetting(registry, "VASECDBNAME", selector);
            const std::string password = ReadSetting(registry, "VASECDBPASSWORD", selector);
            const std::string provider = headOffice
                                             ? std::string("Microsoft.Jet.OLEDB.3.51;")
                                             : ReadSetting(registry, "PROVIDER", selector) + ";";
            state.SecurityConnectionString =
                "Provider=" + provider + "Persist Security Info=False;Data Source='" +
                databaseFile + "';Jet OLEDB:Database Password= '" + password + "' ";
        } else {
            const std::string server = lookup(state, file.ServerId, "SERVERID", selector);
            const std::string catalog = lookup(state, file.SecurityDb, "VASEC-DB", selector);
            const std::string password = lookup(state, file.Password, "PASSWORD", selector);
            std::string user = file.UserInf1;
            if (user.empty()) {
                const std::string userInf2 = ReadSetting(registry, "USER-INF2", selector);
                user = userInf2.empty() ? userInf2 : userInf2.substr(1);
            }
            state.SecurityConnectionString = "Provider=SQLOLEDB.1;Password=" + password +
                                             ";Persist Security Info=True;User ID=" + user +
                                             ";Data Source=" + server +
                                             ";Initial Catalog=" + catalog;
        }
        CreateSystemFileFromRegistry(state.DatFileInfo, state.services.paths, registry,
                                     headOffice ? "2" : "1");
        return true;
    } catch (const RunTimeError&) {
        return false;
    }
}

bool OpenSecurityDatabase(AppState& state, FailureLogging logging) {
    bool opened = false;
    try {
        LogWrite(state, "Creating Connection with Secutity Database.");
        state.SecurityConnection.reset();
        state.SecurityConnection =
            DatabaseConnection::open(state.SecurityConnectionString, state.services.database);
        opened = true;
        state.SecurityConnection->query("SELECT * FROM Vacompany");
        LogWrite(state, "Connection with Secutity Database Success.");
        return opened;
    } catch (const RunTimeError& e) {
        if (logging == FailureLogging::Always || e.number() == err::Unspecified) {
            try {
                LogWrite(state, "Connection with Secutity Database Failed." + e.description() +
                                    e.numberText());
            } catch (const RunTimeError&) {
                // A log that cannot be written must not turn a false result into an error.
            }
        }
        return false;
    }
}

} // namespace pelvar
