#include "download/MainWindowLoad.h"

#include "environment/AppState.h"
#include "environment/Connections.h"
#include "environment/PatchVersion.h"
#include "environment/RegistrySettings.h"
#include "platform/base/RunTimeError.h"
#include "platform/db/Database.h"
#include "platform/text/Text.h"

namespace pelvar {
namespace {

// Head Office first, so the connection data left in force afterwards is Point of Sale's.
constexpr Edition MigrationOrder[] = {Edition::Ho, Edition::Pos};

// "HO_9_1_2.ZIP" -> "9.1.2". A name too short to carry the extension is the same
// invalid-argument error the product has always raised for it.
std::string versionFromArchiveName(const std::string& archive, bool headOffice) {
    std::string version = patchVersionOfName(archive, headOffice);
    if (version.size() < 4) {
        raise(err::InvalidProcedureCall, "MigratePatchVersions");
    }
    version.resize(version.size() - 4);
    return version;
}

void migrateEdition(AppState& state, Edition edition) {
    RegistryStore& registry = state.services.registry;
    const int selector = editionSelector(edition);
    const std::string patchVer = ReadSetting(registry, "PatchVer", selector);
    if (!patchVer.empty() && text::right(patchVer, 2) != "00") {
        LoadConnectionData(state, edition);
        return;
    }
    std::string version;
    // The last downloaded archive's name, else a version stored as is.
    const std::string archive = ReadSetting(registry, patchVerValue(edition), keysel::LiveUpdate);
    if (!archive.empty()) {
        version = versionFromArchiveName(archive, edition == Edition::Ho);
    } else {
        version = ReadSetting(registry, editionCode(edition), keysel::LiveUpdate);
        if (version.empty()) {
            return;
        }
    }
    WriteSetting(registry, "PatchVer", version, selector);
    LoadConnectionData(state, edition);
    RecordPatchHistory(state, version);
}

} // namespace

void PrepareMainWindowState(AppState& state) {
    state.AppTitle = "Pelvar 9 LiveUpdate";
    state.AppFolder = state.services.paths.appFolder;
}

EditionLabels ReadEditionLabels(AppState& state, std::optional<Edition> edition) {
    EditionLabels labels;
    if (!edition) {
        return labels;
    }
    state.edition = edition;
    const int selector = editionSelector(*edition);
    const RegistryStore& registry = state.services.registry;
    const std::string patchVer = ReadSetting(registry, "PatchVer", selector);
    const std::string lastUpdated = ReadSetting(registry, "LastUpdated", selector);
    labels.known = true;
    labels.patchNo = patchVer.empty() ? "N/A" : patchVer;
    labels.lastUpdated = text::trim(lastUpdated).empty() ? "N/A" : lastUpdated;
    return labels;
}

void MigratePatchVersions(AppState& state) {
    if (state.RunMode == InstallationMode) {
        return;
    }
    for (const auto& edition : MigrationOrder) {
        migrateEdition(state, edition);
    }
}

void RecordPatchHistory(AppState& state, const std::string& version) {
    std::string nodeId = ReadSetting(state.services.registry, "NodeId", keysel::NodeInfo);
    if (nodeId.empty()) {
        nodeId = "N/A";
    }
    if (!OpenSecurityDatabase(state, FailureLogging::UnspecifiedOnly)) {
        return;
    }
    // A row that is already there means this version was recorded before: stop quietly.
    // Anything else only costs the one statement.
    Recordset companies;
    try {
        companies = state.SecurityConnection->query("SELECT * FROM VaCompany");
    } catch (const RunTimeError& e) {
        if (e.number() == err::IntegrityViolation) {
            return;
        }
    }
    for (std::size_t row = 0; row < companies.size(); ++row) {
        try {
            // Company names, the node id and the version are data, bound as such: a quote in
            // a company's name must not end the statement.
            state.SecurityConnection->execute(
                "INSERT INTO VAPatchDtls (CompCd,CompanyNm,NodeId,PatchVersion,OtherRmks)"
                "VALUES (?,?,?,?,'')",
                {companies.text(row, "CompCode"), companies.text(row, "Nm"), nodeId, version});
        } catch (const RunTimeError& e) {
            if (e.number() == err::IntegrityViolation) {
                return;
            }
        }
    }
}

void PrepareSettingsOpen(AppState& state, std::optional<Edition> edition) {
    state.CurrentOperation = " ";
    if (edition) {
        state.edition = edition;
        state.SettingsCaption = std::string(productName(*edition)) + " LiveUpdate Settings";
    }
}

} // namespace pelvar
