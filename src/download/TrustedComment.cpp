#include "download/TrustedComment.h"

#include "platform/text/Text.h"

#include <algorithm>
#include <cctype>
#include <ctime>

namespace pelvar {
namespace {

bool allDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

bool lowerHex(const std::string& text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// "key=value" with exactly that key; the value may not be empty.
std::optional<std::string> field(const std::string& piece, const std::string& key) {
    if (piece.size() <= key.size() + 1 || piece.compare(0, key.size() + 1, key + "=") != 0) {
        return std::nullopt;
    }
    return piece.substr(key.size() + 1);
}

} // namespace

std::string utcTimeText(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&t, &parts);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return buffer;
}

std::optional<std::int64_t> parseUtcTime(const std::string& text) {
    // Digits where digits belong, the separators in place, nothing else.
    static const std::string Shape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != Shape.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < Shape.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
        if (Shape[i] == 'd' ? !digit : text[i] != Shape[i]) {
            return std::nullopt;
        }
    }
    std::tm parts{};
    parts.tm_year = std::stoi(text.substr(0, 4)) - 1900;
    parts.tm_mon = std::stoi(text.substr(5, 2)) - 1;
    parts.tm_mday = std::stoi(text.substr(8, 2));
    parts.tm_hour = std::stoi(text.substr(11, 2));
    parts.tm_min = std::stoi(text.substr(14, 2));
    parts.tm_sec = std::stoi(text.substr(17, 2));
    const std::int64_t seconds = timegm(&parts);
    // A date that does not exist (February 30th) would be normalised: refuse it instead.
    if (utcTimeText(seconds) != text) {
        return std::nullopt;
    }
    return seconds;
}

std::optional<TrustedComment> parseTrustedComment(const std::string& line) {
    const auto pieces = text::splitAll(line, ' ');
    if (pieces.size() != 5) {
        return std::nullopt;
    }
    const auto edition = field(pieces[0], "edition");
    const auto name = field(pieces[1], "name");
    const auto serial = field(pieces[2], "serial");
    const auto expires = field(pieces[3], "expires");
    const auto p9q = field(pieces[4], "p9q");
    if (!edition || (*edition != "POS" && *edition != "HO") || !name || !serial ||
        !allDigits(*serial) || serial->size() > 18 || !expires || !p9q || !lowerHex(*p9q)) {
        return std::nullopt;
    }
    const auto expiry = parseUtcTime(*expires);
    if (!expiry) {
        return std::nullopt;
    }
    TrustedComment comment;
    comment.edition = *edition;
    comment.name = text::replaceAll(*name, "%20", " ");
    comment.serial = std::stoll(*serial);
    comment.expires = *expiry;
    comment.p9qSha256 = *p9q;
    // One spelling only: a name that does not come back the same way is refused.
    if (formatTrustedComment(comment) != line) {
        return std::nullopt;
    }
    return comment;
}

std::string formatTrustedComment(const TrustedComment& comment) {
    return "edition=" + comment.edition + " name=" + text::replaceAll(comment.name, " ", "%20") +
           " serial=" + std::to_string(comment.serial) +
           " expires=" + utcTimeText(comment.expires) + " p9q=" + comment.p9qSha256;
}

} // namespace pelvar
