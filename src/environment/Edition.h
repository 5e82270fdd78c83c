#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pelvar {

// The two products the component updates. Texts are made from it only where they are written,
// logged or shown.
enum class Edition { Pos, Ho };

// "POS" / "HO": command lines, registry value prefixes, file-name prefixes.
const char* editionCode(Edition edition);
// "Point of Sale" / "Head Office": the product list, location files, messages.
const char* editionText(Edition edition);
// The same, empty without an edition.
std::string editionText(std::optional<Edition> edition);
// "Pelvar 9 POS" / "Pelvar 9 HO".
const char* productName(Edition edition);
// The registry key selector of the edition's product key.
int editionSelector(Edition edition);
// LiveUpdate key values: "POSDownloadPath" / "HODownloadPath", "POSPatchVer" / "HOPatchVer".
std::string downloadPathValue(Edition edition);
std::string patchVerValue(Edition edition);

// Exactly "POS" or "HO".
std::optional<Edition> editionFromCode(std::string_view code);
// Exactly "Point of Sale" or "Head Office".
std::optional<Edition> editionFromText(std::string_view text);
// A code or a display text as a person types it: any case, blanks around allowed.
std::optional<Edition> editionFromTyped(std::string_view typed);

} // namespace pelvar
