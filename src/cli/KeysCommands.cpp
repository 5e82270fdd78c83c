#include "cli/KeysCommands.h"

#include "cli/EditionOption.h"
#include "download/SerialStore.h"
#include "download/TrustStore.h"
#include "platform/files/Files.h"
#include "platform/files/SandboxPaths.h"
#include "platform/text/Text.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <sys/stat.h>

namespace pelvar::cli {
namespace {

namespace fs = std::filesystem;
constexpr long long MaxKeyFileBytes = 4096;

struct KeysOptions {
    std::string file;
    std::vector<std::string> customNames;
    std::string keyId;
    std::string edition;
    std::string name;
};

SandboxPaths pathsOf(const GlobalOptions& options) {
    return SandboxPaths::fromEnvironment(options.root, options.appFolder);
}

// A folder only its owner may write, as the trust store demands.
void ownerOnlyFolder(const std::string& folder) {
    fs::create_directories(folder);
    ::chmod(folder.c_str(), 0755);
}

void addKey(const SandboxPaths& paths, const KeysOptions& options) {
    const std::string text = files::readAllBounded(options.file, MaxKeyFileBytes);
    const auto key = crypto::parsePublicKey(text);
    if (!key) {
        throw std::runtime_error(options.file + " is not a minisign public key");
    }
    const std::string folder = trustedKeysFolder(paths);
    ownerOnlyFolder(fs::path(folder).parent_path().string());
    ownerOnlyFolder(folder);
    const std::string id = crypto::keyIdText(key->id);
    const std::string target = files::join(folder, id + ".pub");
    files::writeAll(target, crypto::publicKeyFileText(*key));
    ::chmod(target.c_str(), 0644);
    if (!options.customNames.empty()) {
        std::string names;
        for (const auto& name : options.customNames) {
            names += name + "\n";
        }
        const std::string namesFile = files::join(folder, id + ".names");
        files::writeAll(namesFile, names);
        ::chmod(namesFile.c_str(), 0644);
    }
    // From now on a keys folder that goes missing refuses updates instead of trusting all.
    files::writeAll(signedModeMarker(paths), "signed updates required\n");
    ::chmod(signedModeMarker(paths).c_str(), 0644);
    std::cout << "Trusted key " << id << " (" << target << ")\n";
}

int listKeys(const SandboxPaths& paths) {
    const TrustState trust = loadTrust(paths);
    if (trust.mode == TrustState::Mode::Broken) {
        std::cerr << "liveupdate keys: " << trust.problem << " (every location is refused)\n";
        return 1;
    }
    for (const auto& key : trust.keys) {
        std::cout << crypto::keyIdText(key.key.id) << "  " << key.file << '\n';
    }
    if (trust.keys.empty()) {
        std::cout << "No trusted key: updates are not signed.\n";
    }
    return 0;
}

// A key id as typed: hex digits in either case, with or without leading zeros, written the way
// the key files are named. Anything else is no key id (and never becomes a path).
std::optional<std::string> canonicalKeyId(const std::string& typed) {
    if (typed.empty() || typed.size() > 32 ||
        typed.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return std::nullopt;
    }
    std::string id = text::upper(typed);
    id.erase(0, std::min(id.find_first_not_of('0'), id.size() - 1));
    return id.size() <= 16 ? std::optional<std::string>(id) : std::nullopt;
}

int removeKey(const SandboxPaths& paths, const std::string& typedId) {
    const auto canonical = canonicalKeyId(typedId);
    if (!canonical) {
        std::cerr << "liveupdate keys: " << typedId << " is not a key id (16 hex digits)\n";
        return 2;
    }
    const std::string& keyId = *canonical;
    const std::string base = files::join(trustedKeysFolder(paths), keyId);
    if (!files::fileExists(base + ".pub")) {
        std::cerr << "liveupdate keys: no trusted key " << keyId << '\n';
        return 1;
    }
    files::deleteFile(base + ".pub");
    if (files::fileExists(base + ".names")) {
        files::deleteFile(base + ".names");
    }
    SerialStore(paths).dropKey(keyId);
    std::cout << "Removed key " << keyId << '\n';
    return 0;
}

// Back to unsigned updates: the marker goes and the keys folder is set aside, not deleted.
void disable(const SandboxPaths& paths) {
    const std::string folder = trustedKeysFolder(paths);
    if (files::fileExists(signedModeMarker(paths))) {
        files::deleteFile(signedModeMarker(paths));
    }
    if (files::folderExists(folder)) {
        const std::string aside = folder + ".disabled";
        fs::remove_all(aside);
        fs::rename(folder, aside);
        std::cout << "Signed updates disabled; the keys were moved to " << aside << '\n';
    } else {
        std::cout << "Signed updates disabled.\n";
    }
}

} // namespace

void addKeysCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto o = std::make_shared<KeysOptions>();
    auto* keys = app.add_subcommand("keys", "The public keys trusted for signed updates");
    keys->require_subcommand(1);

    auto* add = keys->add_subcommand("add", "Trust a minisign public key (.pub file); from then "
                                            "on every location must be signed");
    add->add_option("file", o->file, "minisign .pub file")->required();
    add->add_option("--custom-name", o->customNames,
                    "A custom location name (security database) this key may sign");
    auto* list = keys->add_subcommand("list", "List the trusted keys (key id, file)");
    auto* remove = keys->add_subcommand("remove", "Stop trusting a key; drops its serials");
    remove->add_option("keyid", o->keyId, "16 hex digits as minisign prints them")->required();
    auto* disable_ = keys->add_subcommand("disable", "Return to unsigned updates");
    auto* reset = keys->add_subcommand(
        "reset-serial", "Forget the highest serial accepted for a location (any key)");
    reset->add_option("edition", o->edition, "POS or HO")
        ->required()
        ->transform(CLI::IsMember({"POS", "HO"}, CLI::ignore_case));
    reset->add_option("name", o->name, "The location name")->required();

    auto guarded = [&exitCode](const std::function<int()>& body) {
        try {
            exitCode = body();
        } catch (const std::exception& e) {
            std::cerr << "liveupdate keys: " << e.what() << '\n';
            exitCode = 1;
        }
    };
    add->callback([o, &options, guarded] {
        guarded([&] {
            addKey(pathsOf(options), *o);
            return 0;
        });
    });
    list->callback([&options, guarded] { guarded([&] { return listKeys(pathsOf(options)); }); });
    remove->callback(
        [o, &options, guarded] { guarded([&] { return removeKey(pathsOf(options), o->keyId); }); });
    disable_->callback([&options, guarded] {
        guarded([&] {
            disable(pathsOf(options));
            return 0;
        });
    });
    reset->callback([o, &options, guarded] {
        guarded([&] {
            const int dropped = SerialStore(pathsOf(options)).dropLocation(o->edition, o->name);
            std::cout << "Dropped " << dropped << " serial record(s) of " << o->edition << " "
                      << o->name << '\n';
            return 0;
        });
    });
}

} // namespace pelvar::cli
