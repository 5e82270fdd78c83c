#include "cli/RegCommands.h"

#include "cli/CliContext.h"
#include "environment/RegistrySettings.h"
#include "platform/ComponentRegistry.h"

#include <iostream>
#include <memory>

namespace pelvar::cli {
namespace {

struct RegArguments {
    std::string key;
    std::string name;
    std::string value;
};

} // namespace

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
        if (!WriteRegString(context.registry(), args->key, args->name, args->value)) {
            std::cerr << "liveupdate: cannot write " << context.paths().registryFile() << '\n';
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
}

} // namespace pelvar::cli
