#include "download/TrustStore.h"

#include "platform/files/Files.h"
#include "platform/text/Text.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace pelvar {
namespace {

constexpr long long MaxKeyFileBytes = 4096;
constexpr long long MaxNamesFileBytes = 65536;

// Owned by root or by the running user, and writable by no one else.
bool safelyOwned(const struct stat& info) {
    return (info.st_uid == 0 || info.st_uid == ::geteuid()) &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

TrustState broken(const std::string& problem) {
    TrustState state;
    state.mode = TrustState::Mode::Broken;
    state.problem = problem;
    return state;
}

} // namespace

std::string trustedKeysFolder(const SandboxPaths& paths) {
    return paths.under("etc/pelvar/trusted-keys");
}

std::string signedModeMarker(const SandboxPaths& paths) {
    return paths.under("etc/pelvar/signed-updates");
}

TrustState loadTrust(const SandboxPaths& paths) {
    const std::string folder = trustedKeysFolder(paths);
    const bool marker = files::fileExists(signedModeMarker(paths));
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return marker ? broken("the trusted keys folder " + folder + " is missing") : TrustState{};
    }
    if (!safelyOwned(info)) {
        return broken("the trusted keys folder " + folder + " may be written by others");
    }
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (entry.path().extension() == ".pub") {
            names.push_back(entry.path().string());
        }
    }
    if (ec) {
        return broken("the trusted keys folder " + folder + " cannot be read");
    }
    std::sort(names.begin(), names.end());
    if (names.empty()) {
        return marker ? broken("no trusted key in " + folder) : TrustState{};
    }
    TrustState state;
    state.mode = TrustState::Mode::Signed;
    for (const auto& file : names) {
        struct stat keyInfo {};
        if (::lstat(file.c_str(), &keyInfo) != 0 || !S_ISREG(keyInfo.st_mode) ||
            !safelyOwned(keyInfo)) {
            return broken("the trusted key " + file + " may be written by others");
        }
        std::optional<crypto::PublicKey> key;
        try {
            key = crypto::parsePublicKey(files::readAllBounded(file, MaxKeyFileBytes));
        } catch (const std::exception&) {
        }
        if (!key) {
            return broken("the trusted key " + file + " does not parse");
        }
        state.keys.push_back({*key, file});
    }
    return state;
}

const TrustedKey* findKey(const TrustState& trust, const crypto::KeyId& id) {
    for (const auto& key : trust.keys) {
        if (key.key.id == id) {
            return &key;
        }
    }
    return nullptr;
}

bool keyMaySignCustomName(const SandboxPaths& paths, const crypto::KeyId& id,
                          const std::string& name) {
    const std::string file =
        files::join(trustedKeysFolder(paths), crypto::keyIdText(id) + ".names");
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || !safelyOwned(info)) {
        return false;
    }
    try {
        for (const auto& line :
             text::splitAll(files::readAllBounded(file, MaxNamesFileBytes), '\n')) {
            std::string listed = line;
            if (!listed.empty() && listed.back() == '\r') {
                listed.pop_back();
            }
            if (!listed.empty() && listed == name) {
                return true;
            }
        }
    } catch (const std::exception&) {
    }
    return false;
}

} // namespace pelvar
