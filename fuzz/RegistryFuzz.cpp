// The registry stand-in's INI text and the registry export files: nothing the parsers are
// given may crash them, and a value stored into any file must read back exactly, also after
// the file was written out and read again; an export file must round-trip its entries.
#include "FuzzSupport.h"
#include "platform/registry/RegistryExport.h"
#include "platform/registry/RegistryIni.h"

#include <cstdlib>
#include <string_view>

using namespace pelvar;

namespace {

// Key names as the store passes them on: no empty part, no "\" or "/".
regini::KeyParts keyFrom(std::string_view text) {
    regini::KeyParts parts;
    std::string part;
    for (const char c : text) {
        if (c == '\\' || c == '/') {
            if (!part.empty()) {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) {
        parts.push_back(part);
    }
    return parts;
}

void checkIni(std::string_view input) {
    const auto doc = regini::Document::parse(input);
    const std::string once = doc.serialize();
    FUZZ_REQUIRE(regini::Document::parse(once).serialize() == once);
    doc.strayLines();

    // The input's first three NUL-separated pieces name a key, a value name and a value.
    std::string_view rest = input;
    std::string_view pieces[3];
    for (auto& piece : pieces) {
        const auto at = rest.find('\0');
        piece = rest.substr(0, at);
        rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + 1);
    }
    const auto key = keyFrom(pieces[0]);
    const std::string name(pieces[1]);
    const std::string value(pieces[2]);
    if (name.empty()) {
        return;
    }
    auto changed = regini::Document::parse(rest);
    changed.set(key, name, value);
    FUZZ_REQUIRE(changed.find(key, name) == std::optional<std::optional<std::string>>(value));
    auto reread = regini::Document::parse(changed.serialize());
    FUZZ_REQUIRE(reread.find(key, name) == std::optional<std::optional<std::string>>(value));
    FUZZ_REQUIRE(reread.remove(key, name));
}

void checkExport(std::string_view input) {
    const auto parsed = regfile::parse(input);
    if (parsed.error) {
        return;
    }
    std::vector<regfile::KeyValues> keys;
    for (const auto& entry : parsed.entries) {
        if (entry.value) {
            keys.push_back({entry.key, {{entry.name, *entry.value}}});
        }
    }
    for (const auto format : {regfile::Format::Regedit4, regfile::Format::Unicode}) {
        std::vector<std::string> notes;
        const auto written = regfile::write(keys, format, notes);
        const auto back = regfile::parse(written);
        FUZZ_REQUIRE(!back.error);
        if (!notes.empty()) {
            continue; // values an export cannot hold were left out
        }
        // Text that is not UTF-8 cannot survive UTF-16; the local code page keeps bytes.
        bool exact = format == regfile::Format::Regedit4;
        if (!exact) {
            exact = true;
            for (const auto& k : keys) {
                for (const auto& [n, v] : k.values) {
                    const std::string all = k.key + n + v;
                    exact = exact && regfile::utf16leToUtf8(regfile::utf8ToUtf16le(all)) == all;
                }
            }
        }
        if (!exact) {
            continue;
        }
        FUZZ_REQUIRE(back.entries.size() == keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i) {
            FUZZ_REQUIRE(back.entries[i].key == keys[i].key);
            FUZZ_REQUIRE(back.entries[i].name == keys[i].values[0].first);
            FUZZ_REQUIRE(back.entries[i].value == keys[i].values[0].second);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkIni(input);
    checkExport(input);
    return 0;
}

std::vector<std::string> fuzzSeeds() {
    std::vector<std::string> seeds;
    regini::Document doc;
    doc.set({"Software", "Pelvar", "POS"}, "PatchVer", "9.0.1.05");
    doc.set({"Software", "Pelvar", "POS"}, "PASSWORD", " a;b,c=\"d\"\\e ");
    doc.set({"Software", "Pelvar", "LUInfo"}, "POSDownloadPath", "C:\\Pelvar\\Downloads");
    doc.set({"General"}, "@odd", "line\nbreak\x01");
    seeds.push_back(doc.serialize());
    seeds.push_back(std::string("Software\\Pelvar\\POS\0PatchVer\0", 30) + "9.0.1.06\0" +
                    doc.serialize());
    seeds.push_back("; by hand\n[Software]\nPelvar\\POS\\USER-INF1=1,sa\nno equals here\n"
                    "Pelvar\\POS\\Blob=@ByteArray(abc)\n");
    std::vector<std::string> notes;
    const std::vector<regfile::KeyValues> keys = {
        {"Software\\Pelvar\\POS", {{"PatchVer", "9.0.1.05"}, {"PASSWORD", "a;b\\\"c\""}}},
        {"Software\\Pelvar\\HO", {{"Name", "Caf\xC3\xA9"}}}};
    seeds.push_back(regfile::write(keys, regfile::Format::Unicode, notes));
    seeds.push_back(regfile::write(keys, regfile::Format::Regedit4, notes) +
                    "\"Bin\"=hex:01,02,\\\n  03\n\"Gone\"=-\n@=\"default\"\n"
                    "[-HKEY_LOCAL_MACHINE\\Software\\Old]\n[HKEY_CURRENT_USER\\X]\n\"a\"=\"b\"\n");
    return seeds;
}
