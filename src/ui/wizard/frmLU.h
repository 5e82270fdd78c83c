#pragma once

#include "environment/Surfaces.h"

#include <QDialog>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

namespace pelvar {

struct AppState;
struct PatchRun;

// The update wizard: check for updates (download, then apply) or skip them. In the scheduled
// run it only shows that the download is under way, runs it from Timer1 and ends the host.
// The patch work lives in the patcher core; the window forwards its events there and shows
// what the core writes through WizardSurface.
class frmLU : public QDialog, public WizardSurface {
    Q_OBJECT

  public:
    // `run.edition` and `run.Scheduled` must be set before the window loads.
    explicit frmLU(PatchRun& run, QWidget* parent = nullptr);
    ~frmLU() override;

    // Caption, heading, the scheduled layout and the core's load. Errors reach the caller.
    void Form_Load();

    // True once a handler ended the host and the window closed because of it (hosts whose
    // ending unwinds instead of ending the process at once).
    bool hostEnded() const { return hostEnded_; }

    // WizardSurface
    float progress() const override { return progress_; }
    void setProgress(float value) override;
    void setProgressVisible(bool visible) override;
    void setFileSize(const std::string& text) override;
    void setComplete(const std::string& text) override;
    void setStatus(const std::string& text) override;
    void setCancelEnabled(bool enabled) override;
    void setNextEnabled(bool enabled) override;

    QLabel* lblLU;
    QRadioButton* optChkUpdates;
    QLabel* lblChkUpdates;
    QRadioButton* optSkipUpdates;
    QLabel* lblSkipUpdates;
    QLabel* lblComplete;
    QLabel* lblStatus;
    QLabel* lblDFileSize;
    QProgressBar* ProgressBar1;
    QPushButton* cmdNext;
    QPushButton* cmdCancel;
    QTimer* Timer1;

  public slots:
    void cmdNext_Click();
    void cmdCancel_Click();
    void Timer1_Timer();

    // The window does not close while a run is under way (it yields to the event loop).
    void reject() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Runs an event handler so that nothing escapes into the event loop.
    void handle(const std::function<void()>& handler);

    PatchRun& run_;
    AppState& state_;
    float progress_ = 0;
    bool hostEnded_ = false;
    bool busy_ = false;
};

} // namespace pelvar
