#include "patcher/StatementJournal.h"

#include "platform/text/Text.h"

#include <algorithm>
#include <charconv>

namespace pelvar {

void StatementJournal::resumeFrom(const std::string& lastRecord) {
    saved_.reset();
    for (const int step : {5, 6}) {
        const std::string marker = "Step" + std::to_string(step) + "Statements:";
        if (!text::startsWith(lastRecord, marker)) {
            continue;
        }
        const std::string rest = lastRecord.substr(marker.size());
        const auto colon = rest.find(':');
        Saved saved{step, 0, colon == std::string::npos ? "" : rest.substr(colon + 1)};
        const char* end = rest.data() + (colon == std::string::npos ? rest.size() : colon);
        const auto [at, ec] = std::from_chars(rest.data(), end, saved.count);
        if (ec == std::errc() && at == end && saved.count >= 0 && !saved.unit.empty()) {
            saved_ = saved;
        }
    }
}

bool StatementJournal::beginStep(int step, const std::vector<std::string>& units) {
    step_ = step;
    unit_.clear();
    count_ = 0;
    reached_ = false;
    if (saved_ && saved_->step != step) {
        saved_.reset();
    }
    if (saved_ && std::find(units.begin(), units.end(), saved_->unit) == units.end()) {
        saved_.reset();
        return false;
    }
    return true;
}

void StatementJournal::enterUnit(const std::string& unit) {
    if (saved_ && reached_ && unit != unit_) {
        saved_.reset(); // past the recorded unit: everything runs
    }
    unit_ = unit;
    count_ = 0;
    reached_ = reached_ || (saved_ && unit == saved_->unit);
}

bool StatementJournal::ranBefore() {
    ++count_;
    if (!saved_) {
        return false;
    }
    return !reached_ || count_ <= saved_->count;
}

std::string StatementJournal::record() const {
    return "Step" + std::to_string(step_) + "Statements:" + std::to_string(count_) + ":" + unit_;
}

} // namespace pelvar
