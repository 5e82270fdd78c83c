#include "cli/LocationsCommands.h"

#include "cli/CliContext.h"
#include "cli/EditionOption.h"
#include "download/DownloadSession.h"
#include "download/LocationListing.h"
#include "platform/files/Files.h"
#include "platform/host/Prompter.h"
#include "platform/text/Text.h"
#include "settings/LocationEntry.h"
#include "settings/SettingsFiles.h"

#include <iostream>
#include <memory>
#include <optional>

namespace pelvar::cli {
namespace {

struct LocationArguments {
    Edition edition = Edition::Pos;
    std::string name;
    std::optional<std::string> type;
    std::optional<std::string> address;
    std::optional<std::string> port;
    std::optional<std::string> user;
    std::optional<std::string> password;
    std::optional<std::string> confirm;
    bool activeFtp = false;
    bool passiveFtp = false;
    bool proxy = false;
    bool noProxy = false;
    std::optional<std::string> proxyAddress;
    std::optional<std::string> proxyPort;
    std::string folder;
};

// The settings window of an edition as the command line sees it: state, edition and list.
struct SettingsView {
    SettingsView(const GlobalOptions& options, Edition chosen)
        : context(options), edition(chosen), list(chosen) {
        AppState& state = context.state();
        // Stands for the main window's edition list: its registry copy of the folder wins.
        state.edition = chosen;
        ListLocations(state, list);
        list.setDownloadPath(state.DownloadFolder);
    }

    int rowOf(const std::string& name) const {
        for (std::size_t i = 0; i < list.rows.size(); ++i) {
            if (list.rows[i].Description == name) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    CliContext context;
    Edition edition;
    LocationList list;
};

void addEntryOptions(CLI::App* command, LocationArguments& a) {
    command->add_option("--type", a.type, "HTTP or FTP (adding: HTTP unless given)")
        ->transform(
            CLI::CheckedTransformer({{"http", "HTTP"}, {"ftp", "FTP"}, {"", ""}}, CLI::ignore_case)
                .description("TYPE"));
    command->add_option("--address", a.address, "HTTP or FTP address (host and path)");
    command->add_option("--port", a.port, "Remote port");
    command->add_option("--user", a.user, "FTP user name");
    command->add_option("--password", a.password, "FTP password");
    command->add_option("--confirm-password", a.confirm,
                        "Confirmation of the password (default: the password)");
    auto* active = command->add_flag("--active-ftp", a.activeFtp, "Active-mode FTP");
    command->add_flag("--passive-ftp", a.passiveFtp, "Passive-mode FTP")->excludes(active);
    auto* proxy = command->add_flag("--proxy", a.proxy, "Connect through a proxy server");
    auto* noProxy = command->add_flag("--no-proxy", a.noProxy, "No proxy server");
    noProxy->excludes(proxy);
    noProxy->excludes(command->add_option("--proxy-address", a.proxyAddress, "Proxy address"));
    noProxy->excludes(command->add_option("--proxy-port", a.proxyPort, "Proxy port"));
}

// Lays the given options over the editor's boxes as the user would type them.
void applyEntryOptions(const LocationArguments& a, LocationEntry& e) {
    const std::string typeBefore = e.type;
    e.type = a.type.value_or(e.type);
    if (e.type == "FTP" && typeBefore != "FTP") {
        e.activeFtp = true; // choosing FTP in the editor ticks Active FTP
    }
    e.remoteHost = a.address.value_or(e.remoteHost);
    e.remotePort = a.port.value_or(e.remotePort);
    e.userName = a.user.value_or(e.userName);
    if (a.password) {
        e.password = *a.password;
        e.confPassword = a.confirm.value_or(*a.password);
    } else if (a.confirm) {
        e.confPassword = *a.confirm;
    }
    if (a.activeFtp || a.passiveFtp) {
        e.activeFtp = a.activeFtp;
    }
    if (a.proxy || a.proxyAddress || a.proxyPort) {
        e.proxy = true;
    }
    if (a.noProxy) {
        e.proxy = false;
    }
    e.proxyAddress = a.proxyAddress.value_or(e.proxyAddress);
    e.proxyPort = a.proxyPort.value_or(e.proxyPort);
}

int notListed(const SettingsView& view, const std::string& name) {
    std::cerr << "liveupdate: \"" << name << "\" is not a download location of "
              << editionText(view.edition) << '\n';
    return 1;
}

// The settings window's grid captions its port column "Proxy Server"; here each column says
// what it holds.
void printList(const SettingsView& view) {
    std::cout << "Download path=" << view.list.path << '\n';
    std::cout << "Location Name\tDownload Using\tFrom Location\tPort\tUser Name\tPassword\tProxy "
                 "Server\n";
    for (const auto& l : view.list.rows) {
        std::cout << l.Description << '\t' << l.DownloadType << '\t' << l.Location
                  << l.FolderLocation << '\t' << l.Port << '\t' << l.UserName << '\t'
                  << std::string(l.Password.size(), '*') << '\t'
                  << (l.ConnectToProxy == "1" ? l.ProxyAddress + ":" + l.ProxyPort : "") << '\n';
    }
}

// The record as saved, line by line as the location file holds it, the password masked.
void printSaved(AppState& state, const std::string& name) {
    state.DownloadLocation.clear();
    LoadDownloadLocation(state, name + ".ini");
    const LocationRecord& l = state.DownloadLocation;
    std::cout << "Saved " << files::join(state.AppFolder, name + ".ini")
              << ":\nProduct=" << l.Product << "\nDescription=" << l.Description
              << "\nDownload Type=" << l.DownloadType << "\nLocation=" << l.Location
              << "\nFolder Location =" << l.FolderLocation << "\nPort=" << l.Port
              << "\nUser Name =" << l.UserName
              << "\nPassword =" << std::string(l.Password.size(), '*')
              << "\nConnectToProxy=" << l.ConnectToProxy << "\nProxy Address=" << l.ProxyAddress
              << "\nProxy Port=" << l.ProxyPort << "\nActive FTP=" << l.ActiveFtp << '\n';
}

// Saves the entry; prints the record saved. Exit code 0 when saved, else 1.
int save(AppState& state, const LocationEntry& entry, bool modifying) {
    if (!SaveLocation(state, entry, modifying).ok) {
        return 1;
    }
    printSaved(state, entry.name);
    return 0;
}

} // namespace

void addLocationsCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto a = std::make_shared<LocationArguments>();
    auto* locations =
        app.add_subcommand("locations", "List and edit an edition's download locations and folder");
    locations->require_subcommand(1);

    auto* list = locations->add_subcommand("list", "Show the download folder and the locations");
    addEditionOption(list, a->edition);
    list->callback([a, &options, &exitCode] {
        // Without its folder there is nothing to list: an empty list would look like a
        // component with no locations.
        const std::string folder = CliContext(options).state().AppFolder;
        if (!files::folderExists(folder)) {
            std::cerr << "liveupdate: the component folder " << folder
                      << " does not exist (--app-folder, PELVAR_APP_FOLDER)\n";
            exitCode = 1;
            return;
        }
        printList(SettingsView(options, a->edition));
    });

    auto* add = locations->add_subcommand("add", "Add a download location");
    addEditionOption(add, a->edition);
    add->add_option("--name", a->name, "Location name (also its file name)")->required();
    addEntryOptions(add, *a);
    add->callback([a, &options, &exitCode] {
        CliContext context(options);
        AppState& state = context.state();
        state.edition = a->edition;
        LocationEntry entry;
        entry.edition = editionText(a->edition);
        entry.name = a->name;
        entry.type = "HTTP"; // what the editor shows when it opens for adding
        applyEntryOptions(*a, entry);
        exitCode = save(state, entry, false);
    });

    auto* modify = locations->add_subcommand("modify", "Change a download location");
    addEditionOption(modify, a->edition);
    modify->add_option("--name", a->name, "Location name")->required();
    addEntryOptions(modify, *a);
    modify->callback([a, &options, &exitCode] {
        SettingsView view(options, a->edition);
        if (view.rowOf(a->name) < 0) {
            exitCode = notListed(view, a->name);
            return;
        }
        AppState& state = view.context.state();
        const std::string locationFile = a->name + ".ini";
        if (const auto refusal = modifyRefusal(locationFile)) {
            state.services.prompter.show(*refusal, box::Information, DownloaderTitle);
            exitCode = 1;
            return;
        }
        state.DownloadLocation.clear();
        LoadDownloadLocation(state, locationFile);
        LocationEntry entry = entryFromLocation(state.DownloadLocation, editionText(view.edition));
        applyEntryOptions(*a, entry);
        exitCode = save(state, entry, true);
    });

    auto* del = locations->add_subcommand("delete", "Delete a download location");
    addEditionOption(del, a->edition);
    del->add_option("--name", a->name, "Location name")->required();
    del->callback([a, &options, &exitCode] {
        SettingsView view(options, a->edition);
        const int row = view.rowOf(a->name);
        if (row < 0) {
            exitCode = notListed(view, a->name);
            return;
        }
        std::vector<std::string> rows = view.list.rowNames();
        exitCode =
            DeleteLocation(view.context.state(), view.edition, view.list.path, rows, row) ? 0 : 1;
    });

    auto* folder = locations->add_subcommand("folder", "Save the local download folder");
    addEditionOption(folder, a->edition);
    folder->add_option("PATH", a->folder, "An existing folder")->required();
    folder->callback([a, &options, &exitCode] {
        SettingsView view(options, a->edition);
        exitCode = SaveDownloadSettings(view.context.state(), view.edition, view.edition, a->folder,
                                        view.list.rowNames())
                       ? 0
                       : 1;
    });
}

} // namespace pelvar::cli
