#pragma once

#include <chrono>
#include <optional>
#include <string>

// Dates and times as text in the system's formats: short date "M/D/YYYY", long time
// "h:mm:ss AM", general date = short date, a blank, long time (time left out at midnight).
namespace pelvar::datetext {

using Clock = std::chrono::system_clock;

struct LocalDateTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
};

LocalDateTime toLocal(Clock::time_point t);
LocalDateTime now();

std::string shortDate(const LocalDateTime& t);
std::string longTime(const LocalDateTime& t);
std::string generalDate(const LocalDateTime& t);

// Reads "M/D/YYYY", "YYYY-MM-DD" and either followed by a time ("h:mm[:ss] [AM|PM]" or
// "HH:MM[:SS]", seconds with a fraction and a zone as drivers write timestamps; "T" may stand
// for the blank after an ISO date). Nothing when the text is not a valid date.
std::optional<LocalDateTime> parse(const std::string& text);
std::optional<LocalDateTime> parseTime(const std::string& text);

// A text converted to a date the way the platform's date conversion does: what `parse` reads,
// and also "D/M/YYYY" when the first number cannot be a month ("31/12/2026" is 31 December).
std::optional<LocalDateTime> coerce(const std::string& text);

// 0 = Sunday .. 6 = Saturday.
int weekday(const LocalDateTime& t);

} // namespace pelvar::datetext
