#pragma once

#include "download/DownloadRun.h"
#include "download/DownloadWalk.h"
#include "environment/Surfaces.h"
#include "platform/zip/ZipArchive.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace pelvar {

struct AppState;

// The downloader's main window: pick an edition, see its installed patch and last download,
// download, open the settings, or leave. The engine writes its progress through MainSurface;
// the download run drives the buttons through MainWindowControls.
class frmMain : public QDialog, public MainSurface, public MainWindowControls {
    Q_OBJECT

  public:
    explicit frmMain(AppState& state, QWidget* parent = nullptr);
    ~frmMain() override;

    // The window's load: texts, edition list, labels and the patch-version migration.
    // Errors reach the caller.
    void Form_Load();
    // Refreshes the labels for the edition shown in cmbProdType.
    void SetLables();

    // Opens the settings window; does nothing until one is plugged in.
    std::function<void()> settingsOpener = [] {};

    // True once a handler ended the host and the window closed because of it (hosts whose
    // ending unwinds instead of ending the process at once).
    bool hostEnded() const { return hostEnded_; }

    // MainSurface
    float progress() const override { return progress_; }
    void setProgress(float value) override;
    void setProgressVisible(bool visible) override;
    void setFileSize(const std::string& text) override;
    std::optional<Edition> chosenEdition() const override;
    void setStatus(const std::string& text) override;

    // MainWindowControls
    void setButtonsEnabled(bool enabled) override;
    void setBusyPointer(bool busy) override;
    void resetPointer() override;

    QComboBox* cmbProdType;
    QLabel* lblProductnm;
    QLabel* lblPatchNo;
    QLabel* lblLasupdateddt;
    QLabel* lblLastUpdated;
    QGroupBox* fmeProductInfo;
    QGroupBox* fmeLUEngineInfo;
    QLabel* lblEngineVer;
    QLabel* lblEngineVersion;
    QLabel* lblHdr;
    QLabel* lblDescr;
    QPushButton* cmdDownload;
    QPushButton* cmdSettings;
    QPushButton* cmdExit;
    QProgressBar* ProgressBar1;
    QLabel* lblLocation;
    QLabel* lblDFileSize;
    QLabel* lblStatus;
    ZipArchive xZip;

  public slots:
    void cmbProdType_Click();
    void cmdDownload_Click();
    void cmdSettings_Click();
    void cmdExit_Click();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Runs an event handler so that nothing escapes into the event loop.
    void handle(const std::function<void()>& handler);

    AppState& state_;
    // The downloads of this window: their counts and flags last as long as it does.
    DownloadWalk walk_;
    float progress_ = 0;
    bool hostEnded_ = false;
};

} // namespace pelvar
