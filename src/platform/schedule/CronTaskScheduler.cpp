#include "platform/schedule/CronTaskScheduler.h"

#include "platform/base/RunTimeError.h"
#include "platform/files/Files.h"
#include "platform/text/Text.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace pelvar {
namespace {

std::string shellQuoted(const std::string& s) {
    return "'" + text::replaceAll(s, "'", "'\\''") + "'";
}

// The values of the set bits of a mask, counted from `first`, as a cron list ("1,3,5").
std::string bitList(int mask, int bits, int first) {
    std::string list;
    for (int i = 0; i < bits; ++i) {
        if (mask & (1 << i)) {
            list += (list.empty() ? "" : ",") + std::to_string(first + i);
        }
    }
    return list;
}

std::string yyyymmdd(const datetext::LocalDateTime& t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", t.year, t.month, t.day);
    return buf;
}

// cron.d accepts only such names; others (like our temporary file) are skipped by cron.
bool isEntryName(const std::string& name) {
    return !name.empty() && name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstu"
                                                   "vwxyz0123456789_-") == std::string::npos;
}

} // namespace

std::string cronEntry(const ScheduledTask& task) {
    using Trigger = ScheduledTask::Trigger;
    const auto& b = task.begin;
    std::string dayOfMonth = "*";
    std::string month = "*";
    std::string weekday = "*";
    switch (task.trigger) {
    case Trigger::Once:
        // cron has no year field: the line would fire on this date every year, so the date
        // guard below lets only the first one through. The stale entry stays listed, as a
        // spent one-time task does, until the schedule is saved anew or turned off.
        dayOfMonth = std::to_string(b.day);
        month = std::to_string(b.month);
        break;
    case Trigger::Daily:
        break;
    case Trigger::Weekly:
        weekday = bitList(task.weekdays, 7, 0);
        if (weekday.empty()) {
            weekday = std::to_string(datetext::weekday(b));
        }
        break;
    case Trigger::Monthly:
        dayOfMonth = std::to_string(task.monthDay);
        month = (task.months & 0xFFF) == 0xFFF ? "*" : bitList(task.months, 12, 1);
        break;
    }

    // Nothing runs before the begin date. cron turns a bare "%" into a line break.
    std::string command = std::string("[ \"$(date +%Y%m%d)\" ") +
                          (task.trigger == Trigger::Once ? "=" : "-ge") + " " + yyyymmdd(b) + " ]";
    if (task.flags & ScheduledTask::FlagRunOnlyIfLoggedOn) {
        command += " && who | grep -q " + shellQuoted("^" + task.account + " ");
    }
    command += " && cd " + shellQuoted(task.workingDirectory) + " && exec ";
    if (!task.environment.empty()) {
        command += "env ";
        for (const auto& [name, value] : task.environment) {
            command += shellQuoted(name + "=" + value) + " ";
        }
    }
    command += shellQuoted(task.application);
    if (!task.parameters.empty()) {
        command += " " + shellQuoted(task.parameters);
    }
    command = text::replaceAll(command, "%", "\\%");

    // cron needs no password: the account's own rights apply, so none is written down.
    std::string entry = "# " + task.name + ": " + task.comment + "\n";
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%X", task.flags);
    entry += "# Written by Pelvar 9 LiveUpdate (flags " + std::string(flags) +
             "); saving the schedule replaces it, turning it off removes it.\n";
    entry += std::to_string(b.minute) + " " + std::to_string(b.hour) + " " + dayOfMonth + " " +
             month + " " + weekday + " " + task.account + " " + command + "\n";
    return entry;
}

std::optional<std::string> cronEntryProgram(const std::string& entry) {
    for (const auto& line : text::splitAll(entry, '\n')) {
        if (line.empty() || line.front() == '#') {
            continue;
        }
        auto at = line.find(" && exec ");
        if (at == std::string::npos) {
            continue;
        }
        // Shell words in single quotes, as shellQuoted writes them; cron's "\%" is a "%".
        const std::string rest = text::replaceAll(line.substr(at + 9), "\\%", "%");
        std::vector<std::string> words;
        std::string word;
        bool inWord = false;
        for (std::size_t i = 0; i < rest.size(); ++i) {
            const char c = rest[i];
            if (c == '\'') {
                const auto close = rest.find('\'', i + 1);
                if (close == std::string::npos) {
                    return std::nullopt;
                }
                word += rest.substr(i + 1, close - i - 1);
                i = close;
                inWord = true;
            } else if (c == '\\' && i + 1 < rest.size()) {
                word += rest[++i];
                inWord = true;
            } else if (c == ' ') {
                if (inWord) {
                    words.push_back(word);
                }
                word.clear();
                inWord = false;
            } else {
                word += c;
                inWord = true;
            }
        }
        if (inWord) {
            words.push_back(word);
        }
        std::size_t k = 0;
        if (k < words.size() && words[k] == "env") {
            ++k;
            while (k < words.size() && words[k].find('=') != std::string::npos) {
                ++k;
            }
        }
        if (k < words.size()) {
            return words[k];
        }
    }
    return std::nullopt;
}

std::optional<std::string> CronTaskScheduler::programOf(const std::string& name) {
    for (const auto& listed : taskNames()) {
        if (text::equalsIgnoringCase(listed, name)) {
            try {
                // An entry is a few lines; a cap keeps a stray large file from being read whole.
                return cronEntryProgram(files::readAllBounded(files::join(folder_, listed), 65536));
            } catch (const RunTimeError&) {
                return std::nullopt;
            }
        }
    }
    return std::nullopt;
}

std::vector<std::string> CronTaskScheduler::taskNames() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(folder_, ec)) {
        const std::string name = item.path().filename().string();
        if (item.is_regular_file(ec) && isEntryName(name)) {
            names.push_back(name);
        }
    }
    return names;
}

void CronTaskScheduler::saveTask(const ScheduledTask& task) {
    if (task.account.empty() || ::getpwnam(task.account.c_str()) == nullptr) {
        throw RunTimeError(err::AccountNotFound,
                           "No mapping between account names and security IDs was done.");
    }
    if (!isEntryName(task.name)) {
        raise(err::BadFileNameOrNumber, task.name);
    }
    std::error_code ec;
    fs::create_directories(folder_, ec);
    // Written beside and renamed over, so cron never reads half an entry.
    const std::string path = files::join(folder_, task.name);
    const std::string temporary = path + ".new";
    files::writeAll(temporary, cronEntry(task));
    ::chmod(temporary.c_str(), 0644); // cron skips entries others may write to
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        std::remove(temporary.c_str());
        raiseFromErrno(error, path);
    }
}

void CronTaskScheduler::deleteTask(const std::string& name) {
    for (const auto& listed : taskNames()) {
        if (text::equalsIgnoringCase(listed, name)) {
            files::deleteFile(files::join(folder_, listed));
        }
    }
}

} // namespace pelvar
