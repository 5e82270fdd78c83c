#include "patcher/ArchiveTrust.h"

#include "download/LocationListing.h"
#include "download/SignedInformation.h"
#include "download/TrustStore.h"
#include "environment/AppState.h"
#include "environment/EndHostProcess.h"
#include "environment/UpdateLog.h"
#include "patcher/PatchFiles.h"
#include "patcher/PatchRun.h"
#include "platform/base/Limits.h"
#include "platform/base/RunStopped.h"
#include "platform/base/RunTimeError.h"
#include "platform/crypto/MinisignSignature.h"
#include "platform/crypto/Sha256.h"
#include "platform/files/Files.h"
#include "platform/files/ScratchFiles.h"
#include "platform/host/Prompter.h"
#include "platform/text/PlainName.h"
#include "platform/text/Text.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelvar {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t CopyChunk = 1 << 20;
const char* const HashesMark = "\tsha256:";

std::string baseName(const std::string& archive) {
    return fs::path(archive).stem().string();
}

// The bytes of a file, bounded; empty when it is missing or over the cap.
std::string boundedBytes(const std::string& path, long long cap) {
    if (!files::fileExists(path)) {
        return {};
    }
    try {
        return files::readAllBounded(path, cap);
    } catch (const std::exception&) {
        return {};
    }
}

// The names of the edition's settings locations, read without disturbing the run's state.
std::vector<std::string> settingsLocationNames(AppState& state, Edition edition) {
    const LocationRecord location = state.DownloadLocation;
    const std::string folder = state.DownloadFolder;
    const std::string operation = state.CurrentOperation;
    LocationList list(edition);
    ListLocations(state, list);
    state.DownloadLocation = location;
    state.DownloadFolder = folder;
    state.CurrentOperation = operation;
    return list.rowNames();
}

// PatchTemp must be writable by this user alone: a copy verified there stays as verified.
bool ownPrivateFolder(const std::string& folder) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid()) {
        return false;
    }
    return (info.st_mode & (S_IWGRP | S_IWOTH)) == 0 ||
           ::chmod(folder.c_str(), info.st_mode & 0755) == 0;
}

// Writes bytes into a new mode-600 file and gives it its name.
bool writePrivate(const std::string& path, const std::string& bytes) {
    const scratch::CreatedFile created = scratch::createUniqueFile(path, "");
    if (created.fd < 0) {
        return false;
    }
    ::fchmod(created.fd, 0600);
    const bool written =
        ::write(created.fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    ::close(created.fd);
    if (!written || std::rename(created.path.c_str(), path.c_str()) != 0) {
        ::unlink(created.path.c_str());
        return false;
    }
    return true;
}

// Copies source into a new mode-600 file beside target, hashing the bytes on the way; no
// more than `cap` + 1 bytes are read. The copy gets target's name only when `accept` says so.
struct HashedCopy {
    bool copied = false;
    long long size = 0;
    std::string sha256;
};
template <typename Accept>
HashedCopy copyHashed(const std::string& source, const std::string& target, long long cap,
                      Accept accept) {
    HashedCopy result;
    const int in = ::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) {
        return result;
    }
    const scratch::CreatedFile out = scratch::createUniqueFile(target, "");
    if (out.fd < 0) {
        ::close(in);
        return result;
    }
    ::fchmod(out.fd, 0600);
    crypto::Sha256 hasher;
    std::vector<char> chunk(CopyChunk);
    bool sound = true;
    while (sound && result.size <= cap) {
        const ssize_t got = ::read(in, chunk.data(), chunk.size());
        if (got <= 0) {
            sound = got == 0;
            break;
        }
        hasher.update(chunk.data(), static_cast<std::size_t>(got));
        result.size += got;
        sound = ::write(out.fd, chunk.data(), static_cast<std::size_t>(got)) == got;
    }
    ::close(in);
    sound = ::close(out.fd) == 0 && sound;
    result.sha256 = hasher.hexDigest();
    if (sound && accept(result) && std::rename(out.path.c_str(), target.c_str()) == 0) {
        result.copied = true;
    } else {
        ::unlink(out.path.c_str());
    }
    return result;
}

// A refused archive is deleted and stops the run as a damaged one does.
[[noreturn]] void refuseArchive(PatchRun& run, const std::string& folder, const std::string& name,
                                const std::string& why) {
    AppState& state = run.state;
    LogWrite(state, "Archive " + name + " refused: " + why + ".");
    for (const auto& path : {files::join(folder, name), files::join(run.PatchFolder, name)}) {
        if (files::fileExists(path)) {
            files::deleteFile(path);
        }
    }
    LogWrite(state, "The downloaded file " + name +
                        " is either empty or corrupted. Please check the connectivity to the "
                        "download location and retry.");
    state.RunFailed = true;
    state.services.prompter.show("The downloaded file " + name +
                                     " is either empty or corrupted.\n\nPlease check the "
                                     "connectivity to the download location and retry.",
                                 box::Critical, state.AppTitle);
    EndHostProcess(state);
    throw RunStopped();
}

} // namespace

bool CopySignedInformationFiles(PatchRun& run, const std::string& folder) {
    AppState& state = run.state;
    const TrustState trust = loadTrust(state.services.paths);
    run.SignedArchivesOnly = trust.mode != TrustState::Mode::Unsigned;
    run.SignedArchives.clear();
    if (!run.SignedArchivesOnly) {
        return false;
    }
    if (!ownPrivateFolder(run.PatchFolder)) {
        LogWrite(state,
                 "Update information refused: " + run.PatchFolder + " may be written by others.");
        return true;
    }
    SignedCheckContext context;
    context.edition = editionCode(run.edition);
    context.settingsNames = settingsLocationNames(state, run.edition);
    context.checkExpiry = false;
    const SerialStore serials(state.services.paths);
    for (const auto& file : patchfiles::filesIn(folder)) {
        if (!text::startsWith(file, "Pelvar9_") || !text::endsWith(file, ".dat")) {
            continue;
        }
        context.name = file.substr(8, file.size() - 12);
        context.customLocation =
            std::find(context.settingsNames.begin(), context.settingsNames.end(), context.name) ==
            context.settingsNames.end();
        const std::string base = files::join(folder, "Pelvar9_" + context.name);
        const SignedFiles bytes{boundedBytes(base + ".dat", limits::InfoFileBytes),
                                boundedBytes(base + ".P9Q", limits::InfoFileBytes),
                                boundedBytes(base + ".dat.minisig", crypto::MaxSignatureFileBytes),
                                boundedBytes(base + ".P9Q.minisig", crypto::MaxSignatureFileBytes)};
        const SignedCheck check =
            checkSignedInformation(state.services.paths, trust, serials, context, bytes);
        if (!check.accepted) {
            LogWrite(state,
                     "Update information of " + context.name + " ignored: " + check.refusal + ".");
            continue;
        }
        // Custom entries may stand in either file: both go to the reader, as verified.
        const std::string joined =
            bytes.dat + (bytes.dat.empty() || bytes.dat.back() == '\n' ? "" : "\r\n") + bytes.p9q;
        if (!writePrivate(files::join(run.PatchFolder, file), joined)) {
            raise(err::PermissionDenied, "CopyInformationFiles");
        }
        for (const auto& [name, entry] : check.archives) {
            run.SignedArchives[name] = entry;
        }
    }
    return true;
}

void CopyTrustedArchive(PatchRun& run, const std::string& folder, const std::string& name) {
    const std::string source = files::join(folder, name);
    if (!run.SignedArchivesOnly) {
        patchfiles::CopyToFolder(source, run.PatchFolder, true);
        return;
    }
    if (!files::fileExists(source)) {
        raise(err::FileNotFound, "CopyTrustedArchive");
    }
    // Unpacked again from the verified copy, never reused.
    std::error_code ec;
    fs::remove_all(files::join(run.PatchFolder, baseName(name)), ec);
    const auto entry = run.SignedArchives.find(name);
    if (entry == run.SignedArchives.end()) {
        refuseArchive(run, folder, name, "no signed entry names it");
    }
    const ExpectedContent& expected = entry->second;
    const HashedCopy copy = copyHashed(
        source, files::join(run.PatchFolder, name), expected.size, [&](const HashedCopy& c) {
            return c.size == expected.size && c.sha256 == expected.sha256;
        });
    if (copy.copied) {
        run.ArchiveHashes[baseName(name)] = expected.sha256;
        return;
    }
    refuseArchive(run, folder, name,
                  copy.size != expected.size
                      ? "size " + std::to_string(copy.size) + " instead of the signed " +
                            std::to_string(expected.size)
                      : "SHA-256 " + copy.sha256 + " instead of the signed " + expected.sha256);
}

std::string ArchiveHashesRecord(const PatchRun& run) {
    if (!run.SignedArchivesOnly) {
        return {};
    }
    std::string record = HashesMark;
    for (const auto& folder : run.PatchFolders) {
        const auto found = run.ArchiveHashes.find(folder);
        if (found != run.ArchiveHashes.end()) {
            record += folder + "=" + found->second + ":";
        }
    }
    return record;
}

std::string TakeArchiveHashes(PatchRun& run, const std::string& line) {
    const auto at = line.find(HashesMark);
    run.ArchiveHashes.clear();
    if (at == std::string::npos) {
        return line;
    }
    for (const auto& item :
         text::splitText(line.substr(at + std::string(HashesMark).size()), ":")) {
        const auto equals = item.find('=');
        if (equals != std::string::npos) {
            run.ArchiveHashes[item.substr(0, equals)] = item.substr(equals + 1);
        }
    }
    return line.substr(0, at);
}

bool ResumedFolderTrusted(PatchRun& run, const std::string& folder, const std::string& archive) {
    if (loadTrust(run.state.services.paths).mode == TrustState::Mode::Unsigned) {
        return true;
    }
    const auto recorded = run.ArchiveHashes.find(folder);
    if (recorded == run.ArchiveHashes.end()) {
        LogWrite(run.state, "No update was applied: the interrupted run recorded no verified "
                            "archive hash for the patch " +
                                folder + ".");
        return false;
    }
    if (archive.empty()) {
        return true;
    }
    const crypto::FileDigest digest = crypto::sha256OfFile(archive);
    if (digest.ok && digest.sha256 == recorded->second) {
        return true;
    }
    LogWrite(run.state, "No update was applied: the archive of the patch " + folder +
                            " is not the one the interrupted run verified.");
    return false;
}

} // namespace pelvar
