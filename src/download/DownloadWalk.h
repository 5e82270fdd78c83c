#pragma once

#include "platform/net/InternetClient.h"

#include <map>
#include <string>
#include <vector>

namespace pelvar {

struct AppState;

// The download's own values, beside the shared AppState. Whoever starts downloads owns one for
// as long as it may start them (the main window, the wizard's run, an unattended run, a
// command), so counts and flags carry from one download to the next within it.
struct DownloadWalk {
    explicit DownloadWalk(AppState& s) : state(s) {}

    AppState& state;

    std::string CurrentPatchFile;
    bool PatchesDownloaded = false;
    bool PatchesReady = false;
    int FtpConnectFailures = 0;
    // The FTP session of the transfer under way; an extended-error report closes it.
    bool FtpHandlesOpen = false;
    // Files whose transfer broke off: the outcome then reports errors.
    int TransferFailures = 0;

    // Signed updates: whether the current location's update information was verified, and
    // the signed size and SHA-256 of each archive it lists; whether this run passes expired
    // files (an admin's one-off); whether the walk is in the custom-location pass, and the
    // settings locations it met.
    bool SignedLocation = false;
    std::map<std::string, ExpectedContent> SignedArchives;
    bool IgnoreExpiry = false;
    bool CustomLocationPass = false;
    std::vector<std::string> SettingsLocationNames;
};

} // namespace pelvar
