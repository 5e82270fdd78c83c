#pragma once

#include "platform/crypto/MinisignKeys.h"
#include "platform/files/SandboxPaths.h"

#include <string>
#include <vector>

namespace pelvar {

// The keys an installation trusts: minisign ".pub" files in <root>/etc/pelvar/trusted-keys,
// and "<KEYID>.names" files listing the custom-location names each key may sign. A marker
// file written when the first key is added keeps the installation in signed mode: while it
// exists, a keys folder that is missing, empty, unreadable or writable by others refuses
// every location instead of quietly falling back to unsigned updates.
struct TrustedKey {
    crypto::PublicKey key;
    std::string file;
};

struct TrustState {
    enum class Mode { Unsigned, Signed, Broken };
    Mode mode = Mode::Unsigned;
    std::vector<TrustedKey> keys;
    std::string problem; // why a Broken state refuses everything
};

std::string trustedKeysFolder(const SandboxPaths& paths);
std::string signedModeMarker(const SandboxPaths& paths);

TrustState loadTrust(const SandboxPaths& paths);

// The trusted key with that id, or nullptr.
const TrustedKey* findKey(const TrustState& trust, const crypto::KeyId& id);

// Whether the key may sign the custom location of that name: listed, one name a line, in
// "<KEYID>.names", a file owned by root (or by the running user) that no one else may write.
bool keyMaySignCustomName(const SandboxPaths& paths, const crypto::KeyId& id,
                          const std::string& name);

} // namespace pelvar
