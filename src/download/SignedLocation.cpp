#include "download/SignedLocation.h"

#include "download/DownloadWalk.h"
#include "download/SignedInformation.h"
#include "download/UpdateInformation.h"
#include "environment/AppState.h"
#include "environment/UpdateLog.h"
#include "platform/base/Limits.h"
#include "platform/crypto/MinisignSignature.h"
#include "platform/crypto/Sha256.h"
#include "platform/files/Files.h"
#include "platform/host/Prompter.h"

#include <ctime>

namespace pelvar {
namespace {

// The local file's bytes, bounded; empty when missing. A signature file over its cap reads as
// one that does not parse.
std::string localBytes(const std::string& path, long long cap) {
    if (!files::fileExists(path)) {
        return {};
    }
    try {
        return files::readAllBounded(path, cap);
    } catch (const std::exception&) {
        return std::string(static_cast<std::size_t>(cap) + 1, ' ');
    }
}

void deleteIfPresent(const std::string& path) {
    if (files::fileExists(path)) {
        files::deleteFile(path);
    }
}

} // namespace

SignedOutcome fetchSignedInformation(DownloadWalk& walk, const InformationFetch& fetch) {
    AppState& state = walk.state;
    const std::string& name = state.DownloadLocation.Description;
    const TrustState trust = loadTrust(state.services.paths);
    walk.SignedArchives.clear();
    walk.SignedLocation = false;
    if (trust.mode == TrustState::Mode::Unsigned) {
        LogWrite(state, "Update information of " + name + " is not signed.");
        return SignedOutcome::Unsigned;
    }
    if (!walk.CustomLocationPass) {
        walk.SettingsLocationNames.push_back(name);
    }
    // Both files and both signatures fresh from the server: nothing left from an earlier run
    // may stand in for a file the server did not send.
    const std::string base = files::join(state.DownloadFolder, "Pelvar9_" + name);
    const char* const names[] = {".dat", ".P9Q", ".dat.minisig", ".P9Q.minisig"};
    for (const char* extension : names) {
        deleteIfPresent(base + extension);
    }
    for (const char* extension : names) {
        fetch("Pelvar9_" + name + extension, base + extension);
    }
    SignedFiles signedFiles{localBytes(base + ".dat", limits::InfoFileBytes),
                            localBytes(base + ".P9Q", limits::InfoFileBytes),
                            localBytes(base + ".dat.minisig", crypto::MaxSignatureFileBytes),
                            localBytes(base + ".P9Q.minisig", crypto::MaxSignatureFileBytes)};
    SignedCheckContext context;
    const auto edition = editionFromText(state.DownloadLocation.Product);
    context.edition = edition ? editionCode(*edition) : "";
    context.name = name;
    context.customLocation = walk.CustomLocationPass;
    context.settingsNames = walk.SettingsLocationNames;
    context.now = std::time(nullptr);
    context.ignoreExpiry = walk.IgnoreExpiry;
    if (walk.IgnoreExpiry) {
        LogWrite(state, "Expiry of the update information of " + name +
                            " is ignored for this run (--ignore-expiry).");
    }
    const SerialStore serials(state.services.paths);
    const SignedCheck check =
        checkSignedInformation(state.services.paths, trust, serials, context, signedFiles);
    if (!check.accepted) {
        LogWrite(state, "Update information of " + name + " refused: " + check.refusal + ".");
        state.Summary.problem("Update information of " + name + " refused: " + check.refusal);
        for (const char* extension : names) {
            deleteIfPresent(base + extension);
        }
        state.RunFailed = true;
        state.services.prompter.show("Updates Information Tampered", box::Information,
                                     state.AppTitle);
        return SignedOutcome::Refused;
    }
    serials.record(context.edition, name, check.keyId, {check.serial, check.digest});
    LogWrite(state, "Update information of " + name + " is signed by key " + check.keyId +
                        ", serial " + std::to_string(check.serial) + ".");
    walk.SignedArchives = check.archives;
    walk.SignedLocation = true;
    ReadUpdateInformationFrom(state, signedFiles.dat, signedFiles.p9q);
    return SignedOutcome::Accepted;
}

} // namespace pelvar

namespace pelvar {

ExpectedContent signedContentOf(const DownloadWalk& walk, const std::string& name) {
    const auto found = walk.SignedArchives.find(name);
    return found == walk.SignedArchives.end() ? ExpectedContent{} : found->second;
}

bool archiveAlreadyPresent(DownloadWalk& walk, const std::string& name, const std::string& path) {
    AppState& state = walk.state;
    if (walk.SignedLocation && !walk.SignedArchives.contains(name)) {
        // A name left in the lists by an earlier location: this location never signed it, so
        // it is neither fetched from here unhashed nor taken for a bad copy.
        LogWrite(state, "Archive " + name + " is not listed in the signed update information of " +
                            state.DownloadLocation.Description + ".");
        return true;
    }
    if (!files::fileExists(path)) {
        return false;
    }
    const ExpectedContent expected = signedContentOf(walk, name);
    if (!walk.SignedLocation) {
        return true;
    }
    const crypto::FileDigest digest = crypto::sha256OfFile(path);
    if (digest.ok && digest.size == expected.size && digest.sha256 == expected.sha256) {
        return true;
    }
    LogWrite(state, "Archive " + name +
                        " in the download folder does not match its signed entry; fetching it "
                        "again.");
    files::deleteFile(path);
    return false;
}

void reportRefusedArchive(DownloadWalk& walk, const std::string& name, const std::string& why) {
    AppState& state = walk.state;
    LogWrite(state, "Archive " + name + " refused: " + why + ".");
    state.Summary.problem("Archive " + name + " refused: " + why);
    state.RunFailed = true;
    ++walk.TransferFailures;
}

} // namespace pelvar
