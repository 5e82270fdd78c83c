#pragma once

#include "download/SerialStore.h"
#include "download/TrustStore.h"
#include "platform/net/InternetClient.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace pelvar {

// The bytes of one location's update-information files and their signatures, as fetched.
struct SignedFiles {
    std::string dat, p9q, datSignature, p9qSignature;
};

// Who is asking: the edition ("POS" or "HO"), the location's name, whether it comes from the
// security database (then its name must be listed for the key and differ from every settings
// location's name), the clock, and whether expiry is waived for this run.
struct SignedCheckContext {
    std::string edition;
    std::string name;
    bool customLocation = false;
    std::vector<std::string> settingsNames;
    std::int64_t now = 0;
    bool ignoreExpiry = false;
    bool checkExpiry = true; // apply re-checks without it, so that a crashed run resumes
};

// Accepted: the signed size and hash of every listed archive, and the serial to record.
// Refused: why, as the update log says it.
struct SignedCheck {
    bool accepted = false;
    std::string refusal;
    std::map<std::string, ExpectedContent> archives;
    std::string keyId;
    std::int64_t serial = 0;
    std::string digest;
};

SignedCheck checkSignedInformation(const SandboxPaths& paths, const TrustState& trust,
                                   const SerialStore& serials, const SignedCheckContext& context,
                                   const SignedFiles& files);

} // namespace pelvar
