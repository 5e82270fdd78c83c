#pragma once

#include "CommandLine.h"
#include "Sandbox.h"
#include "ZipFiles.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace pelvar::test {

// An installed product ("product", with its Temp3) beside the sandbox's download folder,
// applied by the built `liveupdate --yes apply --no-download` as a user would run it.
class Installation : public Sandbox {
  public:
    Installation();

    std::string product() const { return dir / "product"; }

    // Registry values of one edition key (a keysel selector); PELVARAPPPATH is the product.
    void settings(int selector, const std::vector<std::pair<std::string, std::string>>& values);
    // A file security database (security.db, its VaCompany table and then `sql`) and the edition
    // settings that point at it, with the installed patch level.
    void securityDatabase(int selector, const std::string& patchVersion,
                          const std::string& sql = {});
    // A patch archive in the download folder.
    void patch(const std::string& archive, const ZipEntries& entries) const;
    // The update-information file Pelvar9_<name>.dat, entries scrambled in the fifth field.
    void information(const std::string& name, const std::vector<std::string>& entries) const;
    // Points the edition ("POS" or "HO") at the download folder and applies what it holds.
    CliRun apply(const std::string& edition) const;

    std::vector<std::string> systemFileLines(int edition) const;
    // Whether the log holds these lines in this order (others may come between).
    ::testing::AssertionResult logHasInOrder(const std::vector<std::string>& expected) const;
};

} // namespace pelvar::test
