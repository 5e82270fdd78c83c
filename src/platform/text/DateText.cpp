#include "platform/text/DateText.h"

#include "platform/text/Text.h"

#include <cstdio>
#include <ctime>
#include <regex>

namespace pelvar::datetext {
namespace {

bool validDate(int y, int m, int d) {
    if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1) {
        return false;
    }
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= days[m - 1] + ((m == 2 && leap) ? 1 : 0);
}

} // namespace

LocalDateTime toLocal(Clock::time_point t) {
    const std::time_t tt = Clock::to_time_t(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

LocalDateTime now() {
    return toLocal(Clock::now());
}

std::string shortDate(const LocalDateTime& t) {
    return std::to_string(t.month) + "/" + std::to_string(t.day) + "/" + std::to_string(t.year);
}

std::string longTime(const LocalDateTime& t) {
    const int h12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", h12, t.minute, t.second,
                  t.hour < 12 ? "AM" : "PM");
    return buf;
}

std::string generalDate(const LocalDateTime& t) {
    if (t.hour == 0 && t.minute == 0 && t.second == 0) {
        return shortDate(t);
    }
    return shortDate(t) + " " + longTime(t);
}

std::optional<LocalDateTime> parseTime(const std::string& text) {
    static const std::regex re(R"(^\s*(\d{1,2}):(\d{2})(?::(\d{2}))?\s*([AaPp][Mm])?\s*$)");
    std::smatch m;
    if (!std::regex_match(text, m, re)) {
        return std::nullopt;
    }
    LocalDateTime t;
    t.hour = std::stoi(m[1]);
    t.minute = std::stoi(m[2]);
    t.second = m[3].matched ? std::stoi(m[3]) : 0;
    if (m[4].matched) {
        if (t.hour < 1 || t.hour > 12) {
            return std::nullopt;
        }
        const bool pm = std::toupper(static_cast<unsigned char>(m[4].str()[0])) == 'P';
        t.hour = (t.hour % 12) + (pm ? 12 : 0);
    }
    if (t.hour > 23 || t.minute > 59 || t.second > 59) {
        return std::nullopt;
    }
    return t;
}

std::optional<LocalDateTime> parse(const std::string& text) {
    static const std::regex us(R"(^\s*(\d{1,2})/(\d{1,2})/(\d{4})(?:\s+(.*))?$)");
    static const std::regex iso(R"(^\s*(\d{4})-(\d{1,2})-(\d{1,2})(?:[ T](.*))?$)");
    std::smatch m;
    LocalDateTime t;
    if (std::regex_match(text, m, us)) {
        t.month = std::stoi(m[1]);
        t.day = std::stoi(m[2]);
        t.year = std::stoi(m[3]);
    } else if (std::regex_match(text, m, iso)) {
        t.year = std::stoi(m[1]);
        t.month = std::stoi(m[2]);
        t.day = std::stoi(m[3]);
    } else {
        return std::nullopt;
    }
    if (!validDate(t.year, t.month, t.day)) {
        return std::nullopt;
    }
    if (m[4].matched && !text::trim(m[4].str()).empty()) {
        // Drivers hand timestamps over with fractions of a second and, for some types, a zone
        // ("00:00:00.000", "00:00:00.5+01"); the date part is what the callers read.
        static const std::regex stamp(
            R"(^\s*(\d{1,2}:\d{2}:\d{2})\.\d{1,9}\s*(?:Z|[+-]\d{2}(?::?\d{2})?)?\s*$)");
        std::smatch f;
        const std::string timeText = m[4].str();
        const auto time =
            std::regex_match(timeText, f, stamp) ? parseTime(f[1]) : parseTime(timeText);
        if (!time) {
            return std::nullopt;
        }
        t.hour = time->hour;
        t.minute = time->minute;
        t.second = time->second;
    }
    return t;
}

std::optional<LocalDateTime> coerce(const std::string& text) {
    if (auto date = parse(text)) {
        return date;
    }
    static const std::regex dayFirst(R"(^\s*(\d{1,2})/(\d{1,2})/(\d{4})\s*$)");
    std::smatch m;
    if (!std::regex_match(text, m, dayFirst) || std::stoi(m[1]) <= 12) {
        return std::nullopt;
    }
    LocalDateTime t;
    t.day = std::stoi(m[1]);
    t.month = std::stoi(m[2]);
    t.year = std::stoi(m[3]);
    return validDate(t.year, t.month, t.day) ? std::optional<LocalDateTime>(t) : std::nullopt;
}

int weekday(const LocalDateTime& t) {
    // Sakamoto's method.
    static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    int y = t.year - (t.month < 3 ? 1 : 0);
    return (y + y / 4 - y / 100 + y / 400 + offsets[t.month - 1] + t.day) % 7;
}

} // namespace pelvar::datetext
