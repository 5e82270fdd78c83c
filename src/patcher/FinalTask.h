#pragma once

#include "platform/text/DateText.h"

#include <string>

namespace pelvar {

// The values of one VAPatchDtls row, texts as read (they are quoted when the row is built).
struct PatchRow {
    std::string compCode, companyName, patchVersion;
    std::string patchDate; // the update-information entry's date field, as written there
    datetext::LocalDateTime today, businessDate;
    std::string productVersion; // already formatted "###0.0"
    std::string lookupNumbers;  // GenLookup numbers joined with "#"
    std::string scriptName;
};

// "INSERT INTO VAPatchDtls VALUES(...)" with the dates for the product database type.
std::string PatchRowStatement(const PatchRow& row, bool accessProduct);

} // namespace pelvar
