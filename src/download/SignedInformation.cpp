#include "download/SignedInformation.h"

#include "download/TrustedComment.h"
#include "platform/crypto/MinisignSignature.h"
#include "platform/crypto/Sha256.h"
#include "platform/text/Text.h"
#include "settings/ScrambleLine.h"

#include <algorithm>

namespace pelvar {
namespace {

SignedCheck refused(const std::string& why) {
    SignedCheck check;
    check.refusal = why;
    return check;
}

bool lowerHex64(const std::string& text) {
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// Adds the sha256= and size= of every entry of one file; false (with why) when an entry
// lacks them.
bool collectArchives(const std::string& fileText, const std::string& fileName,
                     std::map<std::string, ExpectedContent>& archives, std::string& why) {
    for (std::string line : text::splitAll(fileText, '\n')) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (text::trim(line).empty() || text::startsWith(line, "//")) {
            continue;
        }
        const auto fields = text::splitAll(line, ':');
        const std::string entry = fields.size() == 5 ? ScrambleLine(fields[4]) : std::string();
        const std::string name = text::trim(entry.substr(0, entry.find(':')));
        if (fields.size() != 5 || !text::startsWith(fields[0], "sha256=") ||
            !text::startsWith(fields[1], "size=")) {
            why = "an entry of " + fileName + " carries no sha256= and size=";
            return false;
        }
        const std::string hash = fields[0].substr(7);
        const std::string size = fields[1].substr(5);
        if (!lowerHex64(hash) || size.empty() || size.size() > 15 ||
            size.find_first_not_of("0123456789") != std::string::npos) {
            why = "the sha256= or size= of " + name + " in " + fileName + " is not valid";
            return false;
        }
        archives[name] = ExpectedContent{std::stoll(size), hash};
    }
    return true;
}

} // namespace

SignedCheck checkSignedInformation(const SandboxPaths& paths, const TrustState& trust,
                                   const SerialStore& serials, const SignedCheckContext& context,
                                   const SignedFiles& files) {
    if (trust.mode == TrustState::Mode::Broken) {
        return refused(trust.problem);
    }
    const std::string datName = "Pelvar9_" + context.name + ".dat";
    const std::string p9qName = "Pelvar9_" + context.name + ".P9Q";
    if (files.datSignature.empty() || files.p9qSignature.empty()) {
        return refused("no signature (" + (files.datSignature.empty() ? datName : p9qName) +
                       ".minisig)");
    }
    const auto datSig = crypto::parseSignature(files.datSignature);
    const auto p9qSig = crypto::parseSignature(files.p9qSignature);
    if (!datSig.signature || !p9qSig.signature) {
        return refused("the signature of " + (datSig.signature ? p9qName : datName) + " is " +
                       (datSig.signature ? p9qSig.error : datSig.error));
    }
    const crypto::Signature& sig = *datSig.signature;
    const TrustedKey* key = findKey(trust, sig.keyId);
    if (!key || p9qSig.signature->keyId != sig.keyId) {
        const auto& unknown = key ? p9qSig.signature->keyId : sig.keyId;
        return refused("signed by unknown key " + crypto::keyIdText(unknown));
    }
    if (!crypto::verifySignature(key->key, sig, files.dat)) {
        return refused("the signature of " + datName + " does not verify");
    }
    if (!crypto::verifySignature(key->key, *p9qSig.signature, files.p9q)) {
        return refused("the signature of " + p9qName + " does not verify");
    }
    const auto comment = parseTrustedComment(sig.trustedComment);
    if (!comment || p9qSig.signature->trustedComment != sig.trustedComment) {
        return refused("the trusted comment \"" + sig.trustedComment + "\" is not valid");
    }
    if (comment->edition != context.edition || comment->name != context.name) {
        return refused("wrong location: signed for edition " + comment->edition + " location " +
                       comment->name + ", not edition " + context.edition + " location " +
                       context.name);
    }
    if (crypto::sha256OfBytes(files.p9q) != comment->p9qSha256) {
        return refused(p9qName + " is not the one signed with " + datName);
    }
    const std::string keyId = crypto::keyIdText(sig.keyId);
    if (context.customLocation) {
        if (std::find(context.settingsNames.begin(), context.settingsNames.end(), context.name) !=
            context.settingsNames.end()) {
            return refused("custom location " + context.name +
                           " has the name of a settings location");
        }
        if (!keyMaySignCustomName(paths, sig.keyId, context.name)) {
            return refused("custom location " + context.name + " is not listed in " + keyId +
                           ".names");
        }
    }
    const std::string digest =
        crypto::sha256OfBytes(files.dat + "\n" + files.p9q + "\n" + sig.trustedComment);
    if (const auto stored = serials.find(context.edition, context.name, keyId)) {
        if (comment->serial < stored->serial) {
            return refused("serial " + std::to_string(comment->serial) + " below " +
                           std::to_string(stored->serial));
        }
        if (comment->serial == stored->serial && digest != stored->digest) {
            return refused("serial " + std::to_string(comment->serial) +
                           " was already accepted for other files");
        }
    }
    if (context.checkExpiry && !context.ignoreExpiry && comment->expires <= context.now) {
        return refused("expired on " + utcTimeText(comment->expires) + " (local UTC time " +
                       utcTimeText(context.now) + ")");
    }
    SignedCheck check;
    std::string why;
    if (!collectArchives(files.dat, datName, check.archives, why) ||
        !collectArchives(files.p9q, p9qName, check.archives, why)) {
        return refused(why);
    }
    check.accepted = true;
    check.keyId = keyId;
    check.serial = comment->serial;
    check.digest = digest;
    return check;
}

} // namespace pelvar
