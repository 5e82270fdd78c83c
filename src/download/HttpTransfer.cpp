#include "download/HttpTransfer.h"

#include "download/DownloadSession.h"
#include "download/DownloadWalk.h"
#include "download/SignedLocation.h"
#include "download/TransferProgress.h"
#include "download/UpdateInformation.h"
#include "environment/AppState.h"
#include "environment/EndHostProcess.h"
#include "environment/FileText.h"
#include "environment/RegistrySettings.h"
#include "environment/Surfaces.h"
#include "environment/UpdateLog.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/files/SandboxPaths.h"
#include "platform/host/Host.h"
#include "platform/host/Prompter.h"
#include "platform/net/InternetClient.h"
#include "platform/text/PlainName.h"
#include "platform/text/Text.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>

namespace pelvar {
namespace {

const char* const HttpTitle = "HTTP Download";

} // namespace

std::string agentName() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("liveupdate") : exe.filename().string();
}

namespace {

int shownSelector(const AppState& state) {
    const auto edition = shownEdition(state);
    return edition ? editionSelector(*edition) : 0;
}

// The patch number of an archive name "POS_a_b_c_05.zip": the fifth "_" piece without its
// extension; "00" for other shapes.
std::string archivePatchNumber(const std::string& name) {
    const auto pieces = text::splitText(name, "_");
    if (pieces.size() != 5) {
        return "00";
    }
    const std::string& last = pieces[4];
    if (last.size() < 4) {
        raise(err::InvalidProcedureCall);
    }
    const std::string number = last.substr(0, last.size() - 4);
    return number.empty() ? "00" : number;
}

// The installed patch number: the fourth part of a four-part version, else "00".
std::string installedPatchNumber(const AppState& state) {
    const RegistryStore& registry = state.services.registry;
    std::string version = ReadSetting(registry, "PatchVer", shownSelector(state));
    if (state.inWizardContext() && version.empty()) {
        const Edition edition = shownEdition(state).value_or(Edition::Pos);
        version = ReadSetting(registry, editionCode(edition), keysel::LiveUpdate);
    }
    const auto parts = text::splitText(version, ".");
    return parts.size() == 4 ? parts[3] : std::string("00");
}

// Sets a progress bar, refusing values outside its range with error 380.
void setBarValue(ProgressSurface* bar, float value) {
    if (!bar) {
        return;
    }
    if (value < 0 || value > 100) {
        raise(err::InvalidPropertyValue);
    }
    bar->setProgress(value);
}

// The error a failed fetch raises, as the transfer's handler reports it.
[[noreturn]] void raiseTransferError(const TransferResult& result, const std::string& localPath) {
    const char* source = "HTTPGetFile";
    if (result.systemError == neterr::RedirectRefused || result.systemError == neterr::TlsFailure ||
        (result.bytes == 0 && result.responseNumber == 0 && result.localError == 0)) {
        // Nothing answered at that address, or it only led elsewhere than the web.
        throw RunTimeError(err::InternetFailure,
                           "An error occurred calling InternetOpenUrl function", source);
    }
    switch (result.localError) {
    case 0:
        break;
    case ENOSPC:
        raise(err::DiskFull, source);
    case EFBIG:
        throw RunTimeError(neterr::ConnectionAborted,
                           "The file is larger than the size limit for downloads", source);
    default:
        raiseFromErrno(result.localError, localPath);
    }
    if (result.systemError == neterr::Timeout) {
        throw RunTimeError(neterr::Timeout, "The operation timed out", source);
    }
    throw RunTimeError(neterr::ConnectionAborted,
                       "The connection with the server was terminated abnormally", source);
}

// The reason phrases of the answers a patch server gives most.
std::string reasonPhrase(long status) {
    static const std::map<long, const char*> phrases{{400, "Bad Request"},
                                                     {401, "Unauthorized"},
                                                     {403, "Forbidden"},
                                                     {404, "Not Found"},
                                                     {407, "Proxy Authentication Required"},
                                                     {410, "Gone"},
                                                     {429, "Too Many Requests"},
                                                     {500, "Internal Server Error"},
                                                     {502, "Bad Gateway"},
                                                     {503, "Service Unavailable"},
                                                     {504, "Gateway Timeout"}};
    const auto found = phrases.find(status);
    return found == phrases.end() ? std::string() : found->second;
}

// What the screen is told about a fetch whose answer was not the file: the transfer stores an
// error page under the file's name, which the log alone would not explain.
void reportAnswer(AppState& state, const std::string& url, const std::string& localPath,
                  const TransferResult& result) {
    if (result.responseNumber >= 400) {
        const std::string phrase = reasonPhrase(result.responseNumber);
        state.Summary.problem(url + " answered " + std::to_string(result.responseNumber) +
                              (phrase.empty() ? "" : " " + phrase) +
                              (result.ok ? "; its body was stored as " + localPath : ""));
    } else if (!result.ok && result.systemError == neterr::CannotConnect) {
        state.Summary.problem(url + ": the connection was refused (no server answers there)");
    } else if (!result.ok && result.systemError == neterr::NameNotResolved) {
        state.Summary.problem(url + ": the host name could not be resolved");
    }
}

class HttpTransfer {
  public:
    explicit HttpTransfer(DownloadWalk& walk) : walk_(walk), state_(walk.state) {}
    void run();

  private:
    void fetchArchive(const std::string& name);
    void fetchCustomFiles();
    void fetchPatchFiles();
    void stepProgress(std::size_t count);

    DownloadWalk& walk_;
    AppState& state_;
    std::string workFolder_;
};

} // namespace

// The address files are fetched below. The location editor stores an HTTP address with its
// port appended ("http://host/patches:8080", Port "8080"): taken literally, the port would be
// part of the path and the request would go to port 80. The port goes after the host instead.
std::string httpBaseAddress(const LocationRecord& location) {
    std::string address = location.Location;
    const std::string& port = location.Port;
    if (port.empty() || port.find_first_not_of("0123456789") != std::string::npos) {
        return address;
    }
    if (text::endsWith(address, ":" + port)) {
        address.resize(address.size() - port.size() - 1);
    }
    const auto scheme = address.find("://");
    const auto hostStart = scheme == std::string::npos ? 0 : scheme + 3;
    const auto hostEnd = std::min(address.find('/', hostStart), address.size());
    const std::string host = address.substr(hostStart, hostEnd - hostStart);
    const auto bracket = host.rfind(']'); // an IPv6 address holds colons of its own
    if (host.find(':', bracket == std::string::npos ? 0 : bracket) == std::string::npos) {
        address.insert(hostEnd, ":" + port);
    }
    return address;
}

namespace {

void HttpTransfer::run() {
    const std::string location = httpBaseAddress(state_.DownloadLocation);
    const std::string& description = state_.DownloadLocation.Description;
    workFolder_ = state_.DownloadFolder;
    requireDownloadFolder(state_);
    LogWrite(state_, "Checking Updates to Download.");
    showStatus(state_, "Please wait! Checking Updates to download...");
    state_.services.host.processEvents();

    if (!isPlainFileName("Pelvar9_" + description + ".dat")) {
        raise(err::BadFileNameOrNumber, "StartHTTP");
    }
    // A fetch that fails raises its error, which ends the transfer in StartHTTP.
    const SignedOutcome outcome =
        fetchSignedInformation(walk_, [&](const std::string& remote, const std::string& local) {
            // An error page in place of a signature is no signature.
            long status = 0;
            HTTPGetFile(walk_, location + "/" + remote, local, {}, &status);
            if (status >= 400 && files::fileExists(local)) {
                files::deleteFile(local);
            }
            return status < 400;
        });
    if (outcome == SignedOutcome::Refused) {
        return;
    }
    if (outcome == SignedOutcome::Unsigned) {
        for (const char* extension : {".dat", ".P9Q"}) {
            const std::string local =
                files::join(workFolder_, "Pelvar9_" + description + extension);
            if (files::fileExists(local)) {
                files::deleteFile(local);
            }
            HTTPGetFile(walk_, location + "/" + "Pelvar9_" + description + extension, local);
        }
        ReadUpdateInformation(state_);
    }
    if (!state_.CustomPatchFiles.empty()) {
        fetchCustomFiles();
    }
    if (state_.PatchFiles.empty()) {
        walk_.PatchesReady = walk_.PatchesDownloaded;
        return;
    }
    fetchPatchFiles();
    walk_.PatchesReady = true;
}

void HttpTransfer::fetchArchive(const std::string& name) {
    walk_.CurrentPatchFile = name;
    showStatus(state_, "Please wait! Downloading File " + name);
    state_.services.host.processEvents();
    LogWrite(state_, "Downloading File: " + name);
    // A transfer that breaks off raises its error: StartHTTP shows it and the run reports errors.
    // A refused archive is logged and not recorded as downloaded.
    if (!HTTPGetFile(walk_, httpBaseAddress(state_.DownloadLocation) + "/" + name,
                     files::join(workFolder_, name), signedContentOf(walk_, name), nullptr, true)) {
        return;
    }
    AppendLineToFile(state_, "File Downloaded " + name,
                     files::join(state_.DownloadFolder, "DownloadedPatchList.ini"));
    state_.Summary.fetched.push_back(name);
}

void HttpTransfer::fetchCustomFiles() {
    const std::string applied = text::right(
        ReadSetting(state_.services.registry, "CustPatchVer", shownSelector(state_)), 2);
    const std::vector<std::string> names = state_.CustomPatchFiles; // a copy, as below
    for (const auto& name : names) {
        const std::string number = name.size() >= 6 ? name.substr(name.size() - 6, 2) : name;
        if (number <= applied) {
            LogWrite(state_, "Patch " + name +
                                 " is already patched.Skiped downloading the same file again.");
            continue;
        }
        if (archiveAlreadyPresent(walk_, name, workFolder_ + "/" + name)) {
            LogWrite(state_, "Skiped Downloading File: " + name);
            continue;
        }
        fetchArchive(name);
    }
    walk_.PatchesReady = true;
    walk_.PatchesDownloaded = true;
    showStatus(state_, "Please wait...");
}

void HttpTransfer::stepProgress(std::size_t count) {
    const float n = static_cast<float>(count);
    for (ProgressSurface* bar : {static_cast<ProgressSurface*>(state_.mainWindow),
                                 static_cast<ProgressSurface*>(state_.wizard)}) {
        if (!bar) {
            continue;
        }
        const float value = bar->progress();
        const float next =
            count > 1 ? value + (100 - value) / (n - 1) - 5 : value + (100 - value) - 5;
        try {
            setBarValue(bar, next);
        } catch (const RunTimeError& e) {
            if (e.number() != err::InvalidPropertyValue) {
                throw;
            }
            // A value out of range is not applied; the transfer goes on.
        }
    }
}

void HttpTransfer::fetchPatchFiles() {
    // A copy: the walk does not depend on state the fetches change.
    const std::vector<std::string> names = state_.PatchFiles;
    for (const auto& name : names) {
        stepProgress(names.size());
        walk_.CurrentPatchFile = name;
        const long long patch = text::toInteger(archivePatchNumber(name));
        const long long installed = text::toInteger(installedPatchNumber(state_));
        if (patch <= installed) {
            LogWrite(state_,
                     "Patch " + name +
                         " is already downloaded and patched.Skipped downloading the same.");
            state_.Summary.skipped.push_back(name);
            walk_.PatchesDownloaded = false;
            continue;
        }
        walk_.PatchesDownloaded = true;
        if (archiveAlreadyPresent(walk_, name, workFolder_ + "/" + name)) {
            LogWrite(state_, "Skiped Downloading File: " + name);
        } else {
            fetchArchive(name);
        }
        if (state_.inWizardContext()) {
            WriteSetting(state_.services.registry,
                         patchVerValue(state_.edition.value_or(Edition::Pos)), name,
                         keysel::LiveUpdate);
        }
    }
}

} // namespace

bool HTTPGetFile(DownloadWalk& walk, const std::string& url, const std::string& localPath,
                 const ExpectedContent& expected, long* status, bool resumable) {
    AppState& state = walk.state;
    const std::string caption = "Please wait! Downloading file " + walk.CurrentPatchFile +
                                " from " + state.DownloadLocation.Location;
    showStatus(state, caption);
    if (state.wizard) {
        state.wizard->setComplete(caption);
    }
    state.services.host.processEvents();
    if (url.empty() || localPath.empty()) {
        raise(err::InvalidProcedureCall);
    }
    TransferProgress progress(state);
    const TransferResult result =
        httpGetFile(url, localPath, agentName(), progress.callback(), expected, resumable);
    state.services.host.processEvents();
    if (status) {
        *status = result.responseNumber;
    }
    reportAnswer(state, url, localPath, result);
    if (!result.tlsError.empty()) {
        LogWrite(state, "Secure connection to " + url + " failed: " + result.tlsError);
    }
    if (!result.ok && !result.contentRefused.empty()) {
        reportRefusedArchive(walk, walk.CurrentPatchFile, result.contentRefused);
        return false;
    }
    if (!result.ok) {
        raiseTransferError(result, localPath);
    }
    return true;
}

void StartHTTP(DownloadWalk& walk) {
    AppState& state = walk.state;
    try {
        HttpTransfer transfer(walk);
        transfer.run();
    } catch (const RunTimeError& e) {
        state.RunFailed = true;
        Prompter& prompter = state.services.prompter;
        if (e.number() == err::InternetFailure) {
            prompter.show("Could not able to download the patches from the HTTP location : " +
                              state.DownloadLocation.Location + " ",
                          box::Exclamation, HttpTitle);
            EndHostProcess(state);
        } else if (e.number() == err::InvalidProcedureCall) {
            prompter.show("No patches are available in the download location", box::Exclamation,
                          HttpTitle);
            EndHostProcess(state);
        } else {
            ++walk.TransferFailures;
            // The box shows the description alone; the summary names what it was about.
            state.Summary.problem(e.description() + " (" + e.numberText() + ")" +
                                  (e.source().empty() ? "" : ": " + e.source()));
            prompter.show(e.description(), box::Exclamation, HttpTitle);
        }
    }
}

} // namespace pelvar
