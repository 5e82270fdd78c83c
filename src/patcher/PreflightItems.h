#pragma once

#include "patcher/Preflight.h"

#include <string>

namespace pelvar {

struct AppState;

namespace preflight {

// Counts the items and whether all passed.
class Tally {
  public:
    explicit Tally(PreflightReport& report) : report_(report) {}
    void operator()(const std::string& name, bool ok, const std::string& detail) {
        allOk_ = allOk_ && ok;
        report_.item(name, ok, detail);
    }
    bool allOk() const { return allOk_; }

  private:
    PreflightReport& report_;
    bool allOk_ = true;
};

// Every database a run opens: the security database (when `loaded`, the connection settings
// were found), each company by both connection strings, and for Head Office each
// replication database of each company.
void checkDatabases(AppState& state, bool loaded, bool headOffice, Tally& tally);

// Every download location of the edition's settings file answers: an HTTP location's
// update-information file (HEAD), an FTP location's login.
void checkLocations(AppState& state, Edition edition, Tally& tally);

} // namespace preflight
} // namespace pelvar
