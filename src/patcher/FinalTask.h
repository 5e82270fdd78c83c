#pragma once

#include "platform/text/DateText.h"

#include <string>

namespace pelvar {

// The patch version of a patch file or update-information name: base name without folder,
// extension and edition prefix ("POS_" for Point of Sale, "HO_" for Head Office), with
// every "_" turned into ".".
std::string PatchVersionOf(const std::string& patchFile, bool headOffice);

// The values of one VAPatchDtls row, texts as read (they are quoted when the row is built).
struct PatchRow {
    std::string compCode, companyName, patchVersion;
    std::string patchDate; // the update-information entry's date field, as written there
    datetext::LocalDateTime today, businessDate;
    std::string productVersion; // already formatted "###0.0"
    std::string lookupNumbers;  // GenLookup numbers joined with "#"
    std::string scriptName;
    bool flag1 = false, flag2 = false, flag3 = false;
};

// "INSERT INTO VAPatchDtls VALUES(...)" with the dates for the product database type.
std::string PatchRowStatement(const PatchRow& row, bool accessProduct);

// A version text as a number formatted "###0.0" (its leading number; "0.0" when none).
std::string VersionNumberText(const std::string& version);

} // namespace pelvar
