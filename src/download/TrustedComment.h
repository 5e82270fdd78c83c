#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pelvar {

// What a publisher signs beside the update-information files, as one line:
// "edition=E name=N serial=S expires=T p9q=H", single blanks, in this order. N is the
// location name with each blank written "%20", S a decimal number, T "YYYY-MM-DDTHH:MM:SSZ",
// H the lower-case hex SHA-256 of the ".P9Q" file.
struct TrustedComment {
    std::string edition; // "POS" or "HO"
    std::string name;    // the location name, blanks as blanks
    std::int64_t serial = 0;
    std::int64_t expires = 0; // seconds since 1970, UTC
    std::string p9qSha256;
};

// Nothing for any line that is not exactly of that shape.
std::optional<TrustedComment> parseTrustedComment(const std::string& line);
std::string formatTrustedComment(const TrustedComment& comment);

// "YYYY-MM-DDTHH:MM:SSZ" for seconds since 1970 and back; nothing for another shape.
std::string utcTimeText(std::int64_t seconds);
std::optional<std::int64_t> parseUtcTime(const std::string& text);

} // namespace pelvar
