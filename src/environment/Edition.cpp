#include "environment/Edition.h"

#include "environment/RegistrySettings.h"
#include "platform/text/Text.h"

namespace pelvar {

const char* editionCode(Edition edition) {
    return edition == Edition::Ho ? "HO" : "POS";
}

const char* editionText(Edition edition) {
    return edition == Edition::Ho ? "Head Office" : "Point of Sale";
}

std::string editionText(std::optional<Edition> edition) {
    return edition ? editionText(*edition) : "";
}

const char* productName(Edition edition) {
    return edition == Edition::Ho ? "Pelvar 9 HO" : "Pelvar 9 POS";
}

int editionSelector(Edition edition) {
    return edition == Edition::Ho ? keysel::Enterprise : keysel::Pos;
}

std::string downloadPathValue(Edition edition) {
    return std::string(editionCode(edition)) + "DownloadPath";
}

std::string patchVerValue(Edition edition) {
    return std::string(editionCode(edition)) + "PatchVer";
}

std::optional<Edition> editionFromCode(std::string_view code) {
    for (const Edition e : {Edition::Pos, Edition::Ho}) {
        if (code == editionCode(e)) {
            return e;
        }
    }
    return std::nullopt;
}

std::optional<Edition> editionFromText(std::string_view text) {
    for (const Edition e : {Edition::Pos, Edition::Ho}) {
        if (text == editionText(e)) {
            return e;
        }
    }
    return std::nullopt;
}

std::optional<Edition> editionFromTyped(std::string_view typed) {
    const std::string upper = text::upper(text::trim(typed));
    for (const Edition e : {Edition::Pos, Edition::Ho}) {
        if (upper == editionCode(e) || upper == text::upper(editionText(e))) {
            return e;
        }
    }
    return std::nullopt;
}

} // namespace pelvar
