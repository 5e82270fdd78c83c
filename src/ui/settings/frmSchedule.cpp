#include "ui/settings/frmSchedule.h"

#include "environment/AppState.h"
#include "platform/schedule/CronTaskScheduler.h"
#include "settings/SettingsFiles.h"
#include "ui/main/QtText.h"
#include "ui/settings/WindowHandler.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace pelvar {
namespace {

QLabel* label(const char* text, QWidget* parent) {
    return new QLabel(QString::fromLatin1(text), parent);
}

datetext::LocalDateTime dateOf(const QDate& d) {
    datetext::LocalDateTime l;
    l.year = d.year();
    l.month = d.month();
    l.day = d.day();
    return l;
}

datetext::LocalDateTime timeOf(const QTime& t) {
    datetext::LocalDateTime l;
    l.hour = t.hour();
    l.minute = t.minute();
    l.second = t.second();
    return l;
}

} // namespace

frmSchedule::frmSchedule(AppState& state, QWidget* parent) : QDialog(parent), state_(state) {
    setObjectName("frmSchedule");
    setWindowTitle("Schedule your Download");

    lblProductType = label("Product :", this);
    lblProductName = label("", this);
    Label5 = label("Starting Date", this);
    DTStartDate = new QDateEdit(this);
    DTStartDate->setCalendarPopup(true);
    DTStartDate->setDisplayFormat("M/d/yyyy");
    Label6 = label("Starting Time", this);
    DTStartTime = new QTimeEdit(this);
    DTStartTime->setDisplayFormat("h:mm:ss AP");
    Label1 = label("Frequency of Download", this);
    cmbFrequency = new QComboBox(this);

    Frame1 = new QGroupBox(this);
    Label8 = label("Windows User Name", Frame1);
    txtAccount = new QLineEdit(Frame1);
    Label9 = label("Password", Frame1);
    txtPassword = new QLineEdit(Frame1);
    txtPassword->setEchoMode(QLineEdit::Password);
    auto* account = new QGridLayout(Frame1);
    account->addWidget(Label8, 0, 0);
    account->addWidget(txtAccount, 0, 1);
    account->addWidget(Label9, 1, 0);
    account->addWidget(txtPassword, 1, 1);

    cmdOk = new QPushButton("&Ok", this);
    Command2 = new QPushButton("&Turn off", this);
    cmdExit = new QPushButton("&Close", this);
    for (QPushButton* b : {cmdOk, Command2, cmdExit}) {
        b->setAutoDefault(false);
    }

    auto* grid = new QGridLayout;
    grid->addWidget(lblProductType, 0, 0);
    grid->addWidget(lblProductName, 0, 1);
    grid->addWidget(Label5, 1, 0);
    grid->addWidget(DTStartDate, 1, 1);
    grid->addWidget(Label6, 2, 0);
    grid->addWidget(DTStartTime, 2, 1);
    grid->addWidget(Label1, 3, 0);
    grid->addWidget(cmbFrequency, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOk);
    buttons->addWidget(Command2);
    buttons->addWidget(cmdExit);
    auto* page = new QVBoxLayout(this);
    page->addLayout(grid);
    page->addWidget(Frame1);
    page->addLayout(buttons);

    connect(cmdOk, &QPushButton::clicked, this, &frmSchedule::cmdOk_Click);
    connect(Command2, &QPushButton::clicked, this, &frmSchedule::Command2_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmSchedule::cmdExit_Click);
}

frmSchedule::~frmSchedule() = default;

TaskScheduler& frmSchedule::scheduler() {
    if (!scheduler_) {
        scheduler_ = std::make_unique<CronTaskScheduler>(state_.services.paths.schedulerFolder());
    }
    return *scheduler_;
}

void frmSchedule::Form_Load() {
    runHandler([this] {
        cmbFrequency->clear();
        cmbFrequency->addItems({"Once", "Daily", "Weekly", "Monthly"});
        if (state_.edition) {
            lblProductName->setText(qtText(editionText(*state_.edition)));
            opened_ = ReadScheduleFile(state_, scheduleFileName(*state_.edition));
        }
        const auto now = datetext::now();
        const auto date =
            opened_.startDate.empty() ? std::optional(now) : datetext::parse(opened_.startDate);
        const auto time =
            opened_.startDate.empty() ? std::optional(now) : datetext::parseTime(opened_.startTime);
        const auto shown = date.value_or(now);
        const auto at = time.value_or(now);
        DTStartDate->setDate(QDate(shown.year, shown.month, shown.day));
        DTStartTime->setTime(QTime(at.hour, at.minute, at.second));
        cmbFrequency->setCurrentText(opened_.startDate.empty() ? "Daily"
                                                               : qtText(opened_.frequency));
    });
}

void frmSchedule::cmdOk_Click() {
    runHandler([this] {
        ScheduleEntry entry;
        entry.edition = state_.edition;
        entry.productLabel = stdText(lblProductName->text());
        entry.startDate = dateOf(DTStartDate->date());
        entry.startTime = timeOf(DTStartTime->time());
        entry.frequency = stdText(cmbFrequency->currentText());
        entry.account = stdText(txtAccount->text());
        entry.password = stdText(txtPassword->text());
        switch (SaveSchedule(state_, scheduler(), entry, opened_)) {
        case ScheduleSaved::Kept:
        case ScheduleSaved::Created:
            done(QDialog::Accepted);
            break;
        case ScheduleSaved::AccountMissing:
            txtAccount->setFocus();
            break;
        case ScheduleSaved::Failed:
        case ScheduleSaved::NoEdition:
            break;
        }
    });
}

void frmSchedule::Command2_Click() {
    runHandler([this] {
        if (TurnOffSchedule(state_, scheduler(), state_.edition)) {
            done(QDialog::Accepted);
        }
    });
}

void frmSchedule::cmdExit_Click() {
    done(QDialog::Rejected);
}

} // namespace pelvar
