#include "patcher/PackingList.h"

#include "environment/AppState.h"
#include "environment/EndHostProcess.h"
#include "patcher/PatchFiles.h"
#include "patcher/PatchRun.h"
#include "platform/files/Files.h"
#include "platform/host/Host.h"
#include "platform/host/Prompter.h"
#include "platform/text/Text.h"

namespace pelvar {
namespace {

// Fields are trimmed of blanks only: a line break stays part of its field, so a "Y" followed
// by the line break before a "-GO-" on the next line is no "Y".
std::string trimField(const std::string& s) {
    return text::trim(s);
}

bool sameField(const std::string& a, const std::string& b) {
    return text::upper(trimField(a)) == text::upper(trimField(b));
}

// A folder or file name with a control character could add lines to the registration batch
// files; the CR LF that ends a record stands in its first field, never in these.
bool wellFormed(const PackingRecord& record) {
    if (record.fields.size() < 5) {
        return false;
    }
    for (std::size_t n = 2; n <= 4; ++n) {
        for (const unsigned char c : record.field(n)) {
            if (c < 0x20 || c == 0x7F) {
                return false;
            }
        }
    }
    return true;
}

bool blankPiece(const std::string& s) {
    return s.find_first_not_of(" \t\r\n") == std::string::npos;
}

} // namespace

std::vector<PackingRecord> parsePackingList(const std::string& text) {
    std::vector<PackingRecord> records;
    for (const auto& piece : text::splitText(text, "-GO-")) {
        if (blankPiece(piece)) {
            continue;
        }
        PackingRecord record;
        std::size_t start = 0;
        while (true) {
            const auto at = piece.find("-#-", start);
            record.fields.push_back(trimField(piece.substr(start, at - start)));
            if (at == std::string::npos) {
                break;
            }
            start = at + 3;
        }
        record.wellFormed = wellFormed(record);
        records.push_back(std::move(record));
    }
    return records;
}

PackingIndex::PackingIndex(std::vector<PackingRecord> records) : records_(std::move(records)) {
    for (std::size_t i = 0; i < records_.size(); ++i) {
        if (!records_[i].wellFormed) {
            wellFormed_ = false;
            continue;
        }
        byName_.try_emplace(text::upper(trimField(records_[i].field(4))), i);
    }
}

const PackingRecord* PackingIndex::find(const std::string& fileName) const {
    const auto found = byName_.find(text::upper(trimField(fileName)));
    return found == byName_.end() ? nullptr : &records_[found->second];
}

std::optional<PackingRecord> findRecord(PatchRun& run, const PackingIndex& index,
                                        const std::string& fileName) {
    if (!index.wellFormed()) {
        StopOnCorruptPackingList(run);
    }
    if (const PackingRecord* record = index.find(fileName)) {
        return *record;
    }
    return std::nullopt;
}

std::optional<PackingRecord> findRecord(PatchRun& run, const std::vector<PackingRecord>& records,
                                        const std::string& fileName) {
    return findRecord(run, PackingIndex(records), fileName);
}

std::optional<std::string> destinationOf(const PatchRun& run, const PackingRecord& record,
                                         bool* viaDrive) {
    if (viaDrive) {
        *viaDrive = false;
    }
    const std::string base = patchfiles::nativeRelative(record.field(2));
    const std::string sub = patchfiles::nativeRelative(record.field(3));
    if (!patchfiles::isSafeRelative(base) || !patchfiles::isSafeRelative(sub)) {
        return std::nullopt;
    }
    const std::string& root = run.PatchRoot;
    if (sameField(record.field(2), record.field(3))) {
        return root;
    }
    if (text::upper(trimField(record.field(3))) == "APPPATH\\") {
        return base.empty() ? root : files::join(root, base);
    }
    for (char drive : {'C', 'D'}) {
        const std::string driveBase = files::join(patchfiles::driveRoot(run, drive), base);
        if (files::folderExists(driveBase)) {
            if (viaDrive) {
                *viaDrive = true;
            }
            return sub.empty() ? driveBase : files::join(driveBase, sub);
        }
    }
    return std::nullopt;
}

std::string destinationMissingText(const PackingRecord& record) {
    return "The Specified Destination folder " + record.field(2) + record.field(3) +
           record.field(4) + " mentioned in the packing list is not available. ";
}

void AddRegistrationLines(PatchRun& run, const std::string& folder, const std::string& fileName) {
    if (!run.BatchHeaderWritten) {
        files::appendLine(run.UnregBatch, "@echo off");
        files::appendLine(run.UnregBatch, "Echo Please wait! Un-Registering Components...");
        files::appendLine(run.RegBatch, "@echo off");
        files::appendLine(run.RegBatch, "Echo Please wait! Registering Components...");
        run.BatchHeaderWritten = true;
    }
    std::string base = folder;
    while (base.size() > 1 && (base.back() == '/' || base.back() == '\\')) {
        base.pop_back();
    }
    const std::string path = files::join(base, fileName);
    const std::string ext = text::upper(text::right(fileName, 3));
    std::string unreg;
    std::string reg;
    if (ext == "EXE") {
        unreg = path + " /UNREGSERVER";
        reg = path + " /REGSERVER";
    } else if (ext == "OCX" || ext == "DLL") {
        unreg = "REGSVR32 " + path + " /U /S";
        reg = "REGSVR32 " + path + " /S";
    }
    files::appendLine(run.UnregBatch, unreg);
    files::appendLine(run.RegBatch, reg);
    run.state.Summary.componentsRegistered += reg.empty() ? 0 : 1;
}

void FindInPackingList(PatchRun& run, const std::string& packingListPath,
                       const std::string& fileName) {
    if (files::fileExists(packingListPath)) {
        FindInPackingList(run,
                          PackingIndex(parsePackingList(patchfiles::readBounded(packingListPath))),
                          fileName);
    }
}

void FindInPackingList(PatchRun& run, const PackingIndex& index, const std::string& fileName) {
    const auto record = findRecord(run, index, fileName);
    if (!record || text::upper(record->field(5)) != "Y") {
        return;
    }
    const auto folder = destinationOf(run, *record);
    if (!folder) {
        run.state.services.prompter.show(destinationMissingText(*record), box::Information,
                                         run.state.AppTitle);
        return;
    }
    AddRegistrationLines(run, *folder, fileName);
}

void StopOnCorruptPackingList(PatchRun& run) {
    run.state.RunFailed = true;
    run.state.services.prompter.show(
        "The information mentioned in the Packing List is not proper or corrupted. Please "
        "correct the Packing List.ini and try again.",
        box::Information, run.state.AppTitle);
    EndHostProcess(run.state);
    throw RunStopped();
}

} // namespace pelvar
