#include "ui/wizard/frmLU.h"

#include "environment/AppState.h"
#include "environment/EndHostProcess.h"
#include "patcher/PatchRun.h"
#include "patcher/Wizard.h"
#include "patcher/WizardProgress.h"
#include "platform/base/RunTimeError.h"
#include "platform/host/Host.h"
#include "platform/host/Prompter.h"
#include "ui/main/QtText.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace pelvar {
namespace {

// The scheduled run starts its download once the window has been painted.
constexpr int TimerIntervalMs = 500;

QLabel* plainLabel(const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

// An option's explanation sits indented under its button, as in an installer's wizard page.
QLayout* explained(QRadioButton* option, QLabel* explanation) {
    auto* column = new QVBoxLayout;
    column->addWidget(option);
    auto* indented = new QHBoxLayout;
    indented->addSpacing(22);
    indented->addWidget(explanation, 1);
    column->addLayout(indented);
    return column;
}

} // namespace

frmLU::frmLU(PatchRun& run, QWidget* parent) : QDialog(parent), run_(run), state_(run.state) {
    setObjectName("frmLU");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    lblLU = plainLabel("", this);
    QFont heading = lblLU->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.3);
    lblLU->setFont(heading);

    optChkUpdates = new QRadioButton("&Check for Updates", this);
    lblChkUpdates = plainLabel(
        "Installation will look for updates available in the default download location. If "
        "available, will download the same and update the required files. It is recommended to "
        "select this option.",
        this);
    optSkipUpdates = new QRadioButton("&Skip Updates", this);
    lblSkipUpdates = plainLabel("This option will complete the installation without looking for "
                                "updates. However, the updates can be done later.",
                                this);

    lblComplete = plainLabel("", this);
    lblComplete->setVisible(false);
    lblStatus = plainLabel("", this);
    // Status texts pad with blanks so that the file name starts on a line of its own.
    lblStatus->setMinimumHeight(lblStatus->fontMetrics().lineSpacing() * 2);
    lblDFileSize = plainLabel("", this);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    // Hidden until work starts: the bar is a busy indicator, not a measure.
    ProgressBar1->setVisible(false);

    cmdNext = new QPushButton("&Next >", this);
    cmdCancel = new QPushButton("&Skip Updates", this);
    for (QPushButton* b : {cmdNext, cmdCancel}) {
        b->setAutoDefault(false);
    }
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(cmdNext);
    buttonRow->addWidget(cmdCancel);

    auto* page = new QVBoxLayout(this);
    page->addWidget(lblLU);
    page->addSpacing(8);
    page->addLayout(explained(optChkUpdates, lblChkUpdates));
    page->addSpacing(4);
    page->addLayout(explained(optSkipUpdates, lblSkipUpdates));
    page->addSpacing(8);
    page->addWidget(lblComplete);
    page->addWidget(ProgressBar1);
    page->addWidget(lblDFileSize);
    page->addWidget(lblStatus);
    page->addStretch(1);
    page->addLayout(buttonRow);
    setMinimumWidth(480);

    Timer1 = new QTimer(this);
    Timer1->setInterval(TimerIntervalMs);

    connect(cmdNext, &QPushButton::clicked, this, &frmLU::cmdNext_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmLU::cmdCancel_Click);
    connect(Timer1, &QTimer::timeout, this, &frmLU::Timer1_Timer);

    state_.wizard = this;
}

frmLU::~frmLU() {
    if (state_.wizard == this) {
        state_.wizard = nullptr;
    }
}

void frmLU::Form_Load() {
    setWindowTitle(qtText(WizardCaption(run_.edition)));
    lblLU->setText(qtText(WizardHeading(run_.edition)));
    LoadWizard(run_);
    if (run_.Scheduled) {
        cmdNext->setVisible(false);
        cmdCancel->setVisible(false);
        lblLU->setVisible(false);
        lblComplete->setVisible(true);
    }
    // The timer fires once the window runs its event loop; outside the scheduled run its first
    // tick switches it off.
    Timer1->start();
}

void frmLU::cmdNext_Click() {
    if (busy_) {
        return;
    }
    handle([this] {
        if (optChkUpdates->isChecked()) {
            // Nothing may start a second run while this one yields to the event loop.
            busy_ = true;
            setNextEnabled(false);
            setCancelEnabled(false);
            ProgressBar1->setVisible(true);
            CheckForUpdates(run_);
            EndHostProcess(state_);
        } else if (optSkipUpdates->isChecked()) {
            EndHostProcess(state_);
        }
    });
    if (busy_ && !hostEnded_) {
        // The host did not end (no window to end it by): leave the window usable.
        busy_ = false;
        setNextEnabled(true);
        setCancelEnabled(true);
    }
}

void frmLU::cmdCancel_Click() {
    if (busy_) {
        return;
    }
    handle([this] { EndHostProcess(state_); });
}

void frmLU::Timer1_Timer() {
    if (!run_.Scheduled) {
        Timer1->stop();
        return;
    }
    // One download per start: the run ends the host when it is done.
    Timer1->stop();
    busy_ = true;
    handle([this] {
        setProgressVisible(true);
        RunScheduledDownload(run_);
        setComplete("All updates for Pelvar 9 is downloaded");
        setProgress(100);
        EndHostProcess(state_);
    });
    busy_ = false;
}

void frmLU::handle(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const RunStopped&) {
        // The host ends by unwinding (the tests' host); the window goes with it, and the
        // executable passes the ending on once the modal loop has returned.
        hostEnded_ = true;
        done(QDialog::Rejected);
    } catch (const RunTimeError& e) {
        ShowStepError(state_, e.number(), e.description());
    } catch (const std::exception& e) {
        state_.services.prompter.show(e.what(), box::Information, state_.AppTitle);
    }
}

void frmLU::reject() {
    if (busy_) {
        return;
    }
    QDialog::reject();
}

void frmLU::keyPressEvent(QKeyEvent* event) {
    // Escape would close the window in the middle of a run; it closes by its buttons only.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmLU::setProgress(float value) {
    progress_ = value;
    ProgressBar1->setValue(int(value));
}

void frmLU::setProgressVisible(bool visible) {
    ProgressBar1->setVisible(visible);
}

void frmLU::setFileSize(const std::string& text) {
    lblDFileSize->setText(qtText(text));
}

void frmLU::setComplete(const std::string& text) {
    lblComplete->setText(qtText(text));
}

void frmLU::setStatus(const std::string& text) {
    lblStatus->setText(qtText(text));
}

void frmLU::setCancelEnabled(bool enabled) {
    cmdCancel->setEnabled(enabled);
}

void frmLU::setNextEnabled(bool enabled) {
    cmdNext->setEnabled(enabled);
}

} // namespace pelvar
