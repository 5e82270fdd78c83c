#pragma once

#include "platform/text/DateText.h"

#include <string>

namespace pelvar {

// The values of one VAPatchDtls row, texts as read (they are bound as they are).
struct PatchRow {
    std::string compCode, companyName, patchVersion;
    std::string patchDate; // the update-information entry's date field, as written there
    datetext::LocalDateTime today, businessDate;
    std::string productVersion; // already formatted "###0.0"
    std::string lookupNumbers;  // GenLookup numbers joined with "#"
    std::string scriptName;
};

class DatabaseConnection;

// Inserts one VAPatchDtls row, values bound as parameters, dates as "YYYY-MM-DD" (an entry
// date that is no date is today); the remarks stay empty and the three flags 0.
void insertPatchRow(DatabaseConnection& db, const PatchRow& row);

} // namespace pelvar
