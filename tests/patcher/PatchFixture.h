#pragma once

#include "CommandLine.h"
#include "DownloadFixture.h"
#include "environment/Surfaces.h"
#include "patcher/PatchRun.h"
#include "patcher/Wizard.h"
#include "platform/files/Files.h"
#include "platform/text/Text.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pelvar::test {

// The wizard's surface, every value kept for the test to read.
class RecordingWizard : public WizardSurface {
  public:
    float value = 0;
    std::vector<std::string> statuses;
    float progress() const override { return value; }
    void setProgress(float v) override { value = v; }
    void setProgressVisible(bool) override {}
    void setFileSize(const std::string&) override {}
    void setComplete(const std::string& text) override { statuses.push_back(text); }
    void setStatus(const std::string& text) override { statuses.push_back(text); }
    void setCancelEnabled(bool) override {}
    void setNextEnabled(bool) override {}
};

// An installed Point of Sale product in a sandbox: its folder (PatchRoot) from the registry,
// set-up type known, an ACCESS security database, the wizard loaded for it.
class PatchFixture : public DownloadFixture {
  public:
    PatchFixture() : run(state) {
        std::filesystem::create_directories(product());
        registry.write("Software\\Pelvar\\POS", "PELVARAPPPATH", product());
        registry.write("Software\\Pelvar\\POS", "SERVERTYPE", "ACCESS");
        registry.write("Software\\Pelvar\\SetupType", "SetupType", "Server");
        // A security database without companies: the final task records the level.
        useSecurityDatabase();
        state.mainWindow = nullptr;
        state.wizard = &wizard;
        run.edition = Edition::Pos;
        LoadWizard(run);
        std::filesystem::create_directories(run.PatchFolder);
    }

    std::string product() const { return dir / "product"; }
    std::string inProduct(const std::string& relative) const { return product() + "/" + relative; }
    std::string progressFile() const { return inProduct("Process3.log"); }
    std::vector<std::string> lines(const std::string& path) const {
        return files::fileExists(path) ? files::readLines(path) : Texts{};
    }
    // An unpacked patch in PatchFolder, listed for the steps.
    void unpacked(const std::string& name,
                  const std::vector<std::pair<std::string, std::string>>& entries) {
        for (const auto& [file, content] : entries) {
            writeFile(run.PatchFolder + "/" + name + "/" + file, content);
        }
        run.PatchFolders.push_back(name);
    }
    // The built command line against this sandbox.
    CliRun cli(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--root", root(), "--app-folder", appFolder()});
        return runLiveupdate(args);
    }
    bool shown(const std::string& text) const {
        const auto all = prompter.texts();
        return std::find(all.begin(), all.end(), text) != all.end();
    }

    RecordingWizard wizard;
    PatchRun run;
};

class PatchTest : public ::testing::Test, public PatchFixture {};

// A packing-list record line.
inline std::string packingRecord(const std::string& base, const std::string& sub,
                                 const std::string& file, const std::string& component) {
    return "1-#-" + base + "-#-" + sub + "-#-" + file + "-#-" + component + "-GO-\r\n";
}

} // namespace pelvar::test
