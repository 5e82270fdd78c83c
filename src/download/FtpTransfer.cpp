#include "download/FtpTransfer.h"

#include "download/DownloadSession.h"
#include "download/DownloadWalk.h"
#include "download/SignedLocation.h"
#include "download/TransferProgress.h"
#include "download/UpdateInformation.h"
#include "environment/AppState.h"
#include "environment/FileText.h"
#include "environment/Surfaces.h"
#include "environment/UpdateLog.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/host/Host.h"
#include "platform/host/Prompter.h"
#include "platform/net/InternetClient.h"
#include "platform/text/PlainName.h"
#include "platform/text/Text.h"

namespace pelvar {
namespace {

constexpr int MaxPort = 65535;

// The port as the login takes it: empty is the FTP default, text that is no number is an
// error of the walk.
int loginPort(const std::string& port) {
    if (port.empty()) {
        return 0;
    }
    const long long value = text::toInteger(port);
    if (value < 0 || value > MaxPort) {
        raise(err::Overflow);
    }
    return static_cast<int>(value);
}

class FtpTransfer {
  public:
    explicit FtpTransfer(DownloadWalk& walk)
        : walk_(walk), state_(walk.state), progress_(walk.state) {}

    void run();

  private:
    void connect();
    void checkAndDownload();
    // Fetches every name of the list not yet in the download folder. The list is a copy: the
    // walk does not depend on state the fetches change.
    void fetchList(std::vector<std::string> names, bool nudgeAfterFetch);
    TransferResult getFile(const std::string& remote, const std::string& local,
                           const ExpectedContent& expected = {}, bool resumable = false);
    void nudgeProgress();
    void reportFailedFetch(const std::string& name, const TransferResult& result);

    DownloadWalk& walk_;
    AppState& state_;
    TransferProgress progress_;
    FtpClient client_;
    bool connected_ = false;
};

void FtpTransfer::run() {
    requireDownloadFolder(state_);
    showStatus(state_, "Please wait!");
    AdvanceProgress(state_, 4, 30);
    state_.services.host.processEvents();
    LogWrite(state_, "Connecting to FTP Site");
    walk_.FtpHandlesOpen = true;
    connect();
    if (connected_) {
        checkAndDownload();
        AdvanceProgress(state_, 4, 30);
    }
    showStatus(state_, "Please wait!");
    state_.services.host.processEvents();
    client_.close();
    walk_.FtpHandlesOpen = false;
}

void FtpTransfer::connect() {
    const LocationRecord& location = state_.DownloadLocation;
    const std::string host = text::replaceAll(text::trim(location.Location), "ftp://", "");
    LogWrite(state_, "Connecting to FTP Site: " + location.Location);
    showStatus(state_, "Please wait! Connecting to Server " + text::trim(location.Location));
    AdvanceProgress(state_, 4, 30);
    state_.services.host.processEvents();

    const TransferResult login =
        client_.login(host, loginPort(location.Port), text::trim(location.UserName),
                      text::trim(location.Password), location.ActiveFtp == "YES");
    if (!login.ok) {
        LogWrite(state_, "Connecting to FTP Site: " + text::trim(location.Location) + " : Failed");
        state_.Summary.problem(
            "FTP " + host + ":" + std::to_string(loginPort(location.Port)) + ": " +
            (login.systemError == neterr::CannotConnect ? "the connection was refused"
             : login.serverResponse.empty()             ? "the login failed"
                                            : "the login failed: " + login.serverResponse));
        state_.services.prompter.show("Failed to download the patches from " + location.Location +
                                          ".\r\nCheck the corresponding download settings and "
                                          "try again.",
                                      box::Exclamation, state_.AppTitle);
        ShowTransferError(walk_, login.systemError, "FTP Connect", login.serverResponse,
                          login.responseNumber);
        ++walk_.FtpConnectFailures;
        return;
    }
    LogWrite(state_, "Connecting to FTP Site: " + text::trim(location.Location) + " : Success");
    connected_ = true;
    showStatus(state_, "Please wait! Connecting...");
    AdvanceProgress(state_, 4, 30);
}

TransferResult FtpTransfer::getFile(const std::string& remote, const std::string& local,
                                    const ExpectedContent& expected, bool resumable) {
    if (!walk_.FtpHandlesOpen) {
        client_.close();
    }
    return client_.getFile(remote, local, progress_.callback(), expected, resumable);
}

void FtpTransfer::checkAndDownload() {
    const LocationRecord& location = state_.DownloadLocation;
    LogWrite(state_, "Checking Updates to Download.");
    showStatus(state_, "Please wait! Checking Updates to download...");
    state_.services.host.processEvents();

    const std::string infoName = "Pelvar9_" + location.Description + ".dat";
    if (!isPlainFileName(infoName)) {
        state_.RunFailed = true;
        raise(err::BadFileNameOrNumber, "FtpCheckAndDownload");
    }
    const SignedOutcome outcome =
        fetchSignedInformation(walk_, [&](const std::string& remote, const std::string& local) {
            return getFile(location.FolderLocation + "/" + remote, local).ok;
        });
    if (outcome == SignedOutcome::Refused) {
        return;
    }
    if (outcome == SignedOutcome::Unsigned) {
        const TransferResult info = getFile(location.FolderLocation + "/" + infoName,
                                            files::join(state_.DownloadFolder, infoName));
        if (!info.ok) {
            reportFailedFetch(infoName, info);
            return;
        }
        ReadUpdateInformation(state_);
    }
    if (!state_.CustomPatchFiles.empty()) {
        fetchList(state_.CustomPatchFiles, false);
        walk_.PatchesReady = true;
        showStatus(state_, "Please wait...");
    }
    if (state_.PatchFiles.empty()) {
        walk_.PatchesReady = false;
        walk_.PatchesDownloaded = true;
        return;
    }
    fetchList(state_.PatchFiles, true);
    walk_.PatchesReady = true;
}

void FtpTransfer::fetchList(std::vector<std::string> names, bool nudgeAfterFetch) {
    for (const auto& name : names) {
        walk_.CurrentPatchFile = name;
        const std::string local = files::join(state_.DownloadFolder, name);
        if (archiveAlreadyPresent(walk_, name, local)) {
            LogWrite(state_, "Skiped Downloading File: " + name);
            continue;
        }
        showStatus(state_, "Please wait! Downloading File " + name);
        if (!nudgeAfterFetch) {
            AdvanceProgress(state_, 2, 30);
        }
        LogWrite(state_, "Downloading File: " + name);
        const TransferResult fetched = getFile(state_.DownloadLocation.FolderLocation + "/" + name,
                                               local, signedContentOf(walk_, name), true);
        AppendLineToFile(state_, "File Downloaded " + name,
                         files::join(state_.DownloadFolder, "DownloadedPatchList.ini"));
        if (nudgeAfterFetch) {
            nudgeProgress();
        }
        if (!fetched.ok && !fetched.contentRefused.empty()) {
            reportRefusedArchive(walk_, name, fetched.contentRefused);
        } else if (!fetched.ok) {
            reportFailedFetch(name, fetched);
        } else {
            state_.Summary.fetched.push_back(name);
        }
    }
}

// A server reply goes through the extended-error report; a transfer that broke off without
// one (dropped connection, stall, full disk) is logged, as nothing else would say it.
void FtpTransfer::reportFailedFetch(const std::string& name, const TransferResult& result) {
    ++walk_.TransferFailures;
    state_.Summary.problem(
        name + " could not be fetched" +
        (result.serverResponse.empty() ? std::string() : ": " + result.serverResponse));
    if (result.systemError == neterr::ExtendedError) {
        ShowTransferError(walk_, result.systemError, "FtpGetFile", result.serverResponse,
                          result.responseNumber);
        return;
    }
    LogWrite(state_, "Failed Downloading File: " + name);
}

void FtpTransfer::nudgeProgress() {
    ProgressSurface* bar =
        state_.inWizardContext() ? static_cast<ProgressSurface*>(state_.wizard) : state_.mainWindow;
    if (!bar) {
        return;
    }
    const float value = bar->progress();
    if (value + 2 < 100) {
        bar->setProgress(value + 2);
    } else {
        bar->setProgress(value - 20);
        bar->setProgress(value - 18);
    }
}

} // namespace

void StartFTP(DownloadWalk& walk) {
    FtpTransfer transfer(walk);
    transfer.run();
}

} // namespace pelvar
