#include "cli/PublishCommand.h"

#include "cli/EditionOption.h"
#include "cli/SecretKeyPassword.h"
#include "download/TrustedComment.h"
#include "platform/crypto/MinisignSignature.h"
#include "platform/crypto/Sha256.h"
#include "platform/files/Files.h"
#include "platform/text/PlainName.h"
#include "platform/text/Text.h"
#include "settings/ScrambleLine.h"

#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sys/stat.h>

namespace pelvar::cli {
namespace {

constexpr long long MaxKeyFileBytes = 4096;

struct PublishOptions {
    Edition edition = Edition::Pos;
    std::string name;
    std::string keyFile;
    std::string passwordFile;
    std::string out;
    std::int64_t serial = -1;
    int expiresInDays = 30;
    std::vector<std::string> archives;
};

struct Archive {
    std::string path;
    std::string name;
    std::string release;
    std::string date;
};

// M/D/YYYY of the file's modification date, as the update-information entries carry dates.
std::string modificationDate(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return {};
    }
    std::tm parts{};
    localtime_r(&info.st_mtime, &parts);
    return std::to_string(parts.tm_mon + 1) + "/" + std::to_string(parts.tm_mday) + "/" +
           std::to_string(parts.tm_year + 1900);
}

// ARCHIVE:RELEASE[:DATE]; the archive path itself holds no ":".
Archive parseArchiveArgument(const std::string& argument) {
    const auto pieces = text::splitAll(argument, ':');
    if (pieces.size() < 2 || pieces.size() > 3 || pieces[0].empty() || pieces[1].empty()) {
        throw std::runtime_error("'" + argument + "' is not ARCHIVE:RELEASE[:DATE]");
    }
    Archive archive{pieces[0], std::filesystem::path(pieces[0]).filename().string(), pieces[1],
                    pieces.size() == 3 ? pieces[2] : modificationDate(pieces[0])};
    if (!isPlainFileName(archive.name) || !files::fileExists(archive.path)) {
        throw std::runtime_error("no archive file " + archive.path);
    }
    if (archive.release.find_first_of(" :\r\n") != std::string::npos ||
        archive.date.find_first_of(" :\r\n") != std::string::npos) {
        throw std::runtime_error("release and date may hold no blank or ':': " + argument);
    }
    return archive;
}

bool isCustomArchive(const std::string& name) {
    return text::startsWith(name, "POSSECAU") || text::startsWith(name, "POSAPPAU");
}

// One entry: sha256= and size= of the archive, two empty fields, the scrambled entry text.
std::string entryLine(const Archive& archive) {
    const crypto::FileDigest digest = crypto::sha256OfFile(archive.path);
    if (!digest.ok) {
        throw std::runtime_error("cannot read " + archive.path);
    }
    return "sha256=" + digest.sha256 + ":size=" + std::to_string(digest.size) +
           ":::" + ScrambleLine(archive.name + ":" + archive.date + ":" + archive.release) + "\r\n";
}

void publish(const PublishOptions& options) {
    if (!isPlainFileName("Pelvar9_" + options.name + ".dat")) {
        throw std::runtime_error("the location name cannot be part of a file name");
    }
    const std::string keyText = files::readAllBounded(options.keyFile, MaxKeyFileBytes);
    const std::string password = crypto::secretKeyIsEncrypted(keyText)
                                     ? secretKeyPassword(options.passwordFile)
                                     : std::string();
    const crypto::SecretKeyResult key = crypto::parseSecretKey(keyText, password);
    if (!key.key) {
        throw std::runtime_error(options.keyFile + ": " + key.error);
    }

    std::vector<Archive> archives;
    for (const auto& argument : options.archives) {
        archives.push_back(parseArchiveArgument(argument));
    }
    std::string dat = "// Pelvar 9 updates of " + options.name + "\r\n";
    std::string p9q = "// Pelvar 9 custom updates of " + options.name + "\r\n";
    for (const auto& archive : archives) {
        (isCustomArchive(archive.name) ? p9q : dat) += entryLine(archive);
    }

    TrustedComment comment;
    comment.edition = editionCode(options.edition);
    comment.name = options.name;
    const std::int64_t now = std::time(nullptr);
    comment.serial = options.serial >= 0 ? options.serial : now;
    comment.expires = now + static_cast<std::int64_t>(options.expiresInDays) * 86400;
    comment.p9qSha256 = crypto::sha256OfBytes(p9q);
    const std::string trusted = formatTrustedComment(comment);

    if (!files::folderExists(options.out)) {
        std::filesystem::create_directories(options.out);
    }
    for (const auto& archive : archives) {
        const std::string target = files::join(options.out, archive.name);
        std::error_code ec;
        if (!std::filesystem::equivalent(archive.path, target, ec)) {
            std::filesystem::copy_file(archive.path, target,
                                       std::filesystem::copy_options::overwrite_existing);
        }
    }
    const std::string base = files::join(options.out, "Pelvar9_" + options.name);
    files::writeAll(base + ".dat", dat);
    files::writeAll(base + ".P9Q", p9q);
    // The signatures last: a location being refreshed is never served new signatures over
    // old lists.
    files::writeAll(base + ".dat.minisig", crypto::signMessage(*key.key, dat, trusted));
    files::writeAll(base + ".P9Q.minisig", crypto::signMessage(*key.key, p9q, trusted));
    std::cout << "Published " << archives.size() << " archive(s) to " << options.out
              << " signed by key " << crypto::keyIdText(key.key->id) << ": " << trusted << '\n';
}

} // namespace

void addPublishCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<PublishOptions>();
    auto* command = app.add_subcommand(
        "publish", "Write the signed update-information files (Pelvar9_NAME.dat and .P9Q with "
                   "their .minisig signatures) and the archives into a folder that a download "
                   "location serves");
    addEditionOption(command, options->edition);
    command->add_option("--name", options->name, "The download location's name")->required();
    command->add_option("--key", options->keyFile, "minisign secret key file (minisign -G)")
        ->required();
    command->add_option("--password-file", options->passwordFile,
                        "Read the secret key's password from this file instead of the terminal");
    command->add_option("--out", options->out, "Folder to write into")->required();
    command
        ->add_option("--serial", options->serial,
                     "Serial number (default: the current Unix time); must grow with every "
                     "publication")
        ->check(CLI::NonNegativeNumber);
    command->add_option("--expires-in", options->expiresInDays, "Days until expiry (default 30)")
        ->check(CLI::Range(1, 3650));
    command->add_option("archives", options->archives, "ARCHIVE:RELEASE[:DATE] (DATE as M/D/YYYY)")
        ->required();
    command->callback([options, &exitCode] {
        try {
            publish(*options);
        } catch (const std::exception& e) {
            std::cerr << "liveupdate publish: " << e.what() << '\n';
            exitCode = 1;
        }
    });
}

} // namespace pelvar::cli
