#pragma once

#include "Sandbox.h"
#include "Servers.h"
#include "ZipFiles.h"
#include "download/DownloadRun.h"
#include "download/DownloadWalk.h"
#include "environment/Surfaces.h"

#include <string>
#include <utility>
#include <vector>

namespace pelvar::test {

// The main window as the engine writes it: every value kept for the test to read.
class RecordingSurface : public MainSurface, public MainWindowControls {
  public:
    std::optional<Edition> edition = Edition::Pos;
    float value = 0;
    std::vector<std::string> statuses;
    std::string fileSize;
    bool buttonsEnabled = true;

    std::optional<Edition> chosenEdition() const override { return edition; }
    float progress() const override { return value; }
    void setProgress(float v) override { value = v; }
    void setProgressVisible(bool) override {}
    void setFileSize(const std::string& text) override { fileSize = text; }
    void setStatus(const std::string& text) override { statuses.push_back(text); }
    void setButtonsEnabled(bool enabled) override { buttonsEnabled = enabled; }
    void setBusyPointer(bool) override {}
};

// A sandboxed installation with a published patch site: folders served over HTTP ("www")
// and FTP ("ftp"), the component's settings and location files, and a SQLite security
// database reached through the registry.
class DownloadFixture : public Sandbox {
  public:
    DownloadFixture();

    std::string www() const { return dir / "www"; }
    std::string ftpRoot() const { return dir / "ftp"; }
    std::string securityDatabase() const { return dir / "Security.mdb"; }

    // A location file: fields in file order (Product .. ActiveFtp), scrambled.
    void writeLocation(const std::string& name, const std::vector<std::string>& fields);
    void httpLocation(const std::string& name, const std::string& url,
                      const std::string& product = "Point of Sale");
    void ftpLocation(const std::string& name, int port, const std::string& folder,
                     const std::string& user, const std::string& password, bool active,
                     const std::string& product = "Point of Sale");
    // The edition's settings file listing these location files.
    void writeSettings(const std::string& edition, const std::vector<std::string>& locationFiles);

    // An update-information file of 5-field lines, each entry scrambled.
    static void publish(const std::string& path, const std::vector<std::string>& entries);
    // A zip archive with (name, content) entries.
    static void makeZip(const std::string& path, const ZipEntries& entries) {
        test::makeZip(path, entries);
    }
    static void makePatch(const std::string& path) { makeZip(path, {{"readme.txt", "patch"}}); }

    // Points the edition's connection data at the SQLite security database and creates it
    // with the given extra statements.
    void useSecurityDatabase(const std::string& statements = {});

    std::string downloaded(const std::string& name) const { return downloads() + "/" + name; }
    bool logHas(const std::string& message) const;

    RecordingSurface surface;
    DownloadWalk walk{state};
};

} // namespace pelvar::test
