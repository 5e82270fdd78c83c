#pragma once

#include "environment/Edition.h"

#include <optional>
#include <string>

namespace pelvar {

struct LocationRecord;

// The controls the download engine and the verification write. Each window implements
// its surface; the command line has one that prints progress lines.

// A progress bar with a file-size label.
class ProgressSurface {
  public:
    virtual ~ProgressSurface() = default;
    virtual float progress() const = 0;
    virtual void setProgress(float value) = 0;
    virtual void setProgressVisible(bool visible) = 0;
    virtual void setFileSize(const std::string& text) = 0; // lblDFileSize
};

// The downloader main window: edition list, status label.
class MainSurface : public ProgressSurface {
  public:
    virtual std::optional<Edition> chosenEdition() const = 0; // cmbProdType
    virtual void setStatus(const std::string& text) = 0;      // lblStatus
    // The window's mouse pointer back to the default before a box that ends the busy time.
    virtual void resetPointer() {}
};

// The update wizard while it runs a download.
class WizardSurface : public ProgressSurface {
  public:
    virtual void setComplete(const std::string& text) = 0; // lblComplete
    virtual void setStatus(const std::string& text) = 0;   // the wizard's status label
    virtual void setCancelEnabled(bool enabled) = 0;       // cmdCancel
    virtual void setNextEnabled(bool enabled) = 0;         // cmdNext
};

// The settings window, filled by the settings-file walk in listing mode.
class SettingsSurface {
  public:
    virtual ~SettingsSurface() = default;
    virtual std::string productName() const = 0; // lblProductName
    virtual void addLocationRow(const LocationRecord& location) = 0;
    virtual std::string downloadPath() const = 0; // txtDownloadPath
    virtual void setDownloadPath(const std::string& text) = 0;
};

} // namespace pelvar
