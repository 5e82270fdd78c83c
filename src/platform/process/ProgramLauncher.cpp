#include "platform/process/ProgramLauncher.h"

#include "platform/files/Files.h"
#include "platform/files/SandboxPaths.h"
#include "platform/process/BatchRunner.h"
#include "platform/process/RunnerQueue.h"
#include "platform/text/Text.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace pelvar {
namespace {

std::vector<std::string> splitCommandLine(const std::string& commandLine) {
    // The program ends at ".exe"/".bat" (paths may hold blanks); the rest is one argument.
    const std::string lowered = text::lower(commandLine);
    for (const char* ext : {".exe", ".bat"}) {
        const auto at = lowered.find(ext);
        if (at != std::string::npos) {
            const auto end = at + 4;
            std::vector<std::string> parts{text::trim(commandLine.substr(0, end))};
            const std::string rest = text::trim(commandLine.substr(end));
            if (!rest.empty()) {
                parts.push_back(rest);
            }
            return parts;
        }
    }
    std::vector<std::string> parts;
    for (auto& piece : text::splitAll(text::trim(commandLine), ' ')) {
        if (!piece.empty()) {
            parts.push_back(piece);
        }
    }
    return parts;
}

} // namespace

ProgramLauncher::ProgramLauncher(std::string appFolder, std::string sandboxRoot)
    : appFolder_(std::move(appFolder)), sandboxRoot_(std::move(sandboxRoot)) {}

std::vector<std::string> ProgramLauncher::batchRunner(const std::string& commandLine) const {
    const std::string trimmed = text::trim(commandLine);
    const std::string lowered = text::lower(trimmed);
    const bool regsvr = text::startsWith(lowered, "regsvr32 ");
    const bool batchFile = !regsvr && text::endsWith(lowered, ".bat");
    if (!regsvr && !batchFile) {
        return {};
    }
    const char* configured = std::getenv("PELVAR_BATCH_RUNNER");
    std::vector<std::string> parts{configured && *configured
                                       ? std::string(configured)
                                       : files::join(executableFolder(), "liveupdate")};
    if (!sandboxRoot_.empty()) {
        parts.insert(parts.end(), {"--root", sandboxRoot_});
    }
    parts.emplace_back("run-batch");
    if (regsvr) {
        parts.insert(parts.end(), {"--line", trimmed});
    } else {
        parts.push_back(text::replaceAll(trimmed, "\\", "/"));
    }
    return parts;
}

std::vector<std::string> ProgramLauncher::resolve(const std::string& commandLine) const {
    if (auto runner = batchRunner(commandLine); !runner.empty()) {
        return runner;
    }
    auto parts = splitCommandLine(text::replaceAll(commandLine, "\\", "/"));
    if (parts.empty()) {
        return parts;
    }
    std::string program = parts.front();
    const std::string base = std::filesystem::path(program).filename().string();
    if (text::equalsIgnoringCase(base, "notepad.exe")) {
        const char* viewer = std::getenv("PELVAR_TEXT_VIEWER");
        parts.front() = viewer && *viewer ? viewer : "xdg-open";
        return parts;
    }
    if (text::endsWith(text::lower(program), ".exe")) {
        program = program.substr(0, program.size() - 4);
        // Our programs sit in the component's folder in a build or demo tree; installed,
        // the component's folder holds settings only and they sit beside this executable.
        const std::string name = std::filesystem::path(program).filename().string();
        for (const std::string& folder : {appFolder_, executableFolder()}) {
            if (files::fileExists(program)) {
                break;
            }
            if (files::fileExists(files::join(folder, name))) {
                program = files::join(folder, name);
            }
        }
    }
    parts.front() = program;
    return parts;
}

std::string ProgramLauncher::runnerFolder(const std::string& commandLine) {
    const std::string trimmed = text::trim(commandLine);
    std::string file = text::replaceAll(trimmed, "\\", "/");
    if (const auto command = batch::parseLine(trimmed);
        command && (command->kind == batch::Command::Register ||
                    command->kind == batch::Command::Unregister)) {
        file = command->argument;
    }
    return std::filesystem::path(file).parent_path().string();
}

bool ProgramLauncher::waitForRunners(const std::string& folder,
                                     const std::function<void()>& idle) const {
    return runners::waitForRunners(folder, runners::DefaultWait, idle);
}

bool ProgramLauncher::start(const std::string& commandLine, bool hidden,
                            const Environment& environment) const {
    auto parts = resolve(commandLine);
    if (parts.empty()) {
        return false;
    }
    // The batch runner works on absolute paths; the component's folder may not exist for it.
    const bool runner = !batchRunner(commandLine).empty();
    const std::string folder = runner ? runnerFolder(commandLine) : std::string();
    const auto ticket =
        folder.empty() || folder.front() != '/' ? std::nullopt : runners::Ticket::take(folder);
    if (runner) {
        if (!ticket) {
            return false;
        }
        if (!ticket->previous().empty()) {
            const auto at = std::find(parts.begin(), parts.end(), "run-batch");
            parts.insert(at + 1, {"--after-lock", ticket->previous()});
        }
    }
    QStringList arguments;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        arguments << QString::fromLocal8Bit(parts[i].c_str());
    }
    QProcess process;
    process.setProgram(QString::fromLocal8Bit(parts.front().c_str()));
    process.setArguments(arguments);
    if (!runner) {
        process.setWorkingDirectory(QString::fromLocal8Bit(appFolder_.c_str()));
    }
    if (hidden) {
        // A hidden window shows nothing; errors still reach standard error.
        process.setStandardOutputFile(QProcess::nullDevice());
    }
    if (!environment.empty()) {
        QProcessEnvironment childEnvironment = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] : environment) {
            childEnvironment.insert(QString::fromStdString(name), QString::fromStdString(value));
        }
        process.setProcessEnvironment(childEnvironment);
    }
    if (ticket) {
        // The runner holds its ticket's lock from its first instant on, for as long as it runs.
        ticket->handOver();
    }
    return process.startDetached();
}

} // namespace pelvar
