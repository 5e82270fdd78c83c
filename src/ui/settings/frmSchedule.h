#pragma once

#include "settings/ScheduleSettings.h"

#include <QDialog>
#include <memory>

class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;

namespace pelvar {

struct AppState;
class TaskScheduler;

// Schedules the unattended download of the edition: the schedule file records what was
// saved, the scheduler's task is what runs.
class frmSchedule : public QDialog {
    Q_OBJECT

  public:
    explicit frmSchedule(AppState& state, QWidget* parent = nullptr);
    ~frmSchedule() override;

    void Form_Load();
    // The window's values: the schedule file as read when the window opened.
    const ScheduleValues& openedWith() const { return opened_; }

    QLabel* lblProductType;
    QLabel* lblProductName;
    QLabel* Label5;
    QDateEdit* DTStartDate;
    QLabel* Label6;
    QTimeEdit* DTStartTime;
    QLabel* Label1;
    QComboBox* cmbFrequency;
    QGroupBox* Frame1;
    QLabel* Label8;
    QLineEdit* txtAccount;
    QLabel* Label9;
    QLineEdit* txtPassword;
    QPushButton* cmdOk;
    QPushButton* Command2;
    QPushButton* cmdExit;

  public slots:
    void cmdOk_Click();
    void Command2_Click();
    void cmdExit_Click();

  private:
    // Created on first use and kept while the window lives.
    TaskScheduler& scheduler();

    AppState& state_;
    ScheduleValues opened_;
    std::unique_ptr<TaskScheduler> scheduler_;
};

} // namespace pelvar
