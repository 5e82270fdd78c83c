#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pelvar {

// Where the script statements of step 5 or 6 stand, so that a run killed inside a step does not
// run that step's statements twice. After each statement the step appends the record
// "Step<N>Statements:<count>:<unit>": <count> statements of the unit (the security database, or
// one company with its menu scripts and replication databases) have run. A resumed step passes
// over the units before that one and the first <count> statements of it. Only the statement
// under way when the run was killed can run twice: its commit and its record are not one write.
class StatementJournal {
  public:
    // The last progress record of an interrupted run; any other record passes nothing over.
    void resumeFrom(const std::string& lastRecord);

    // Whether the run resumes inside that step, after some of its statements ran.
    bool resumesInside(int step) const { return saved_ && saved_->step == step; }

    // A step starts with its units in run order. Only the step the record names passes
    // statements over, and only when the recorded unit is among these; false when it is not
    // (everything then runs again).
    bool beginStep(int step, const std::vector<std::string>& units);
    // The step moves on to the next unit.
    void enterUnit(const std::string& unit);

    // Counts the next statement: true when the interrupted run ran it already.
    bool ranBefore();
    // The record to append once the statement counted last has run.
    std::string record() const;

  private:
    struct Saved {
        int step = 0;
        long long count = 0;
        std::string unit;
    };
    std::optional<Saved> saved_;
    int step_ = 0;
    std::string unit_;
    long long count_ = 0;
    bool reached_ = false; // the recorded unit has started
};

} // namespace pelvar
