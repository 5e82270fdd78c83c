#include "cli/RegCommands.h"

#include "cli/CliContext.h"
#include "environment/RegistrySettings.h"
#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/registry/ComponentRegistry.h"
#include "platform/registry/RegistryExport.h"

#include <iostream>
#include <memory>

namespace pelvar::cli {
namespace {

struct RegArguments {
    std::string key;
    std::string name;
    std::string value;
    std::string file;
    bool regedit4 = false;
};

// Lines of the file that the store keeps but cannot read: an admin should know about them.
void warnAboutStrayLines(const IniRegistryStore& store) {
    for (const auto& line : store.strayLines()) {
        std::cerr << "liveupdate: " << store.file() << ", " << line
                  << " (not NAME=VALUE; kept, but not read)\n";
    }
}

// Export files are small; a cap keeps a wrong file name (a disk image) from being read whole.
constexpr long long MaxExportFileBytes = 16 * 1024 * 1024;

void addImportExport(CLI::App& reg, const std::shared_ptr<RegArguments>& args,
                     const GlobalOptions& options, int& exitCode) {
    auto* import = reg.add_subcommand(
        "import", "Store the string values of a Windows registry export file (.reg)");
    import->add_option("FILE", args->file, "Export file (Unicode or REGEDIT4)")->required();
    import->callback([args, &options, &exitCode] {
        CliContext context(options);
    std::string bytes;
    try {
        bytes = files::readAllBounded(args->file, MaxExportFileBytes);
    } catch (const RunTimeError& e) {
        std::cerr << "liveupdate: cannot read " << args->file << ": " << e.description() << '\n';
        exitCode = 1;
        return;
    }
    const auto parsed = regfile::parse(bytes);
    if (parsed.error) {
        std::cerr << "liveupdate: " << args->file << ": " << *parsed.error << '\n';
        exitCode = 1;
        return;
    }
    IniRegistryStore store(context.paths().registryFile());
    const auto report = regfile::import(store, parsed);
    for (const auto& note : report.notes) {
        std::cerr << "liveupdate: " << args->file << ", " << note << '\n';
    }
    std::cout << report.stored << " value(s) stored, " << report.removed << " removed\n";
    exitCode = report.ok() ? 0 : 1;
});

auto* exp = reg.add_subcommand(
    "export", "Write a key and the keys below it as a Windows registry export file");
exp->add_option("KEY", args->key, "Key path, e.g. Software\\Pelvar")->required();
exp->add_option("FILE", args->file, "File to write (standard output when left out)");
exp->add_flag("--regedit4", args->regedit4,
              "Write the older REGEDIT4 form (local code page) instead of UTF-16LE");
exp->callback([args, &options, &exitCode] {
    CliContext context(options);
    IniRegistryStore store(context.paths().registryFile());
    std::vector<std::string> notes;
    const std::string bytes = regfile::exportKey(
        store, args->key, args->regedit4 ? regfile::Format::Regedit4 : regfile::Format::Unicode,
        notes);
    for (const auto& note : notes) {
        std::cerr << "liveupdate: " << note << '\n';
    }
    if (!store.lastError().empty()) {
        std::cerr << "liveupdate: " << store.lastError() << '\n';
        exitCode = 1;
        return;
    }
    try {
        if (args->file.empty()) {
            std::cout.write(bytes.data(), std::streamsize(bytes.size()));
            std::cout.flush();
        } else {
            files::writeAll(args->file, bytes, files::Access::Private);
        }
    } catch (const RunTimeError& e) {
        std::cerr << "liveupdate: cannot write " << args->file << ": " << e.description() << '\n';
        exitCode = 1;
        return;
    }
    exitCode = notes.empty() ? 0 : 1;
});
} // namespace

} // namespace pelvar::cli

void addRegCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto args = std::make_shared<RegArguments>();
    auto* reg = app.add_subcommand("reg", "Read and write the product's registry values");
    reg->require_subcommand(1);
    const char* keyHelp = "Key path, e.g. Software\\Pelvar\\POS (an HKLM\\ prefix is accepted)";

    auto* get = reg->add_subcommand("get", "Print a value (absent values print empty, exit 1)");
    get->add_option("KEY", args->key, keyHelp)->required();
    get->add_option("NAME", args->name, "Value name (not case-sensitive)")->required();
    get->callback([args, &options, &exitCode] {
        CliContext context(options);
        // The same rules as the product: missing, non-string, over-long and "--Not String--"
        // values all read as empty.
        std::string value = ReadRegString(context.registry(), args->key, args->name);
        if (value == "--Not String--") {
            value.clear();
        }
        std::cout << value << '\n';
        exitCode = value.empty() ? 1 : 0;
    });

    auto* set = reg->add_subcommand("set", "Store a string value (empty is stored as a blank)");
    set->add_option("KEY", args->key, keyHelp)->required();
    set->add_option("NAME", args->name, "Value name")->required();
    set->add_option("VALUE", args->value, "Text to store")->required();
    set->callback([args, &options, &exitCode] {
        CliContext context(options);
        IniRegistryStore store(context.paths().registryFile());
        warnAboutStrayLines(store);
        if (!WriteRegString(store, args->key, args->name, args->value)) {
            std::cerr << "liveupdate: cannot store " << args->name << " under " << args->key
                      << " in " << store.file() << ": " << store.lastError() << '\n';
            exitCode = 1;
        }
    });

    auto* del = reg->add_subcommand("delete", "Remove a value");
    del->add_option("KEY", args->key, keyHelp)->required();
    del->add_option("NAME", args->name, "Value name")->required();
    del->callback([args, &options, &exitCode] {
        CliContext context(options);
        if (!context.registry().remove(args->key, args->name)) {
            std::cerr << "liveupdate: no value " << args->name << " under " << args->key << '\n';
            exitCode = 1;
        }
    });

    auto* list = reg->add_subcommand(
        "list", "List the values of a key as NAME=VALUE; without a key, the registered components");
    list->add_option("KEY", args->key, keyHelp);
    list->callback([args, &options] {
        CliContext context(options);
        const std::string key = args->key.empty() ? components::ComponentsKey : args->key;
        for (const auto& [name, value] : context.registry().list(key)) {
            std::cout << name << '=' << value.value_or("(not a string)") << '\n';
        }
    });

    addImportExport(*reg, args, options, exitCode);
}

} // namespace pelvar::cli
