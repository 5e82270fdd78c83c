#include "ui/main/QtPrompter.h"

#include "ui/main/QtText.h"

#include <QApplication>
#include <QMessageBox>

namespace pelvar {
namespace {

QMessageBox::StandardButtons buttonsOf(int code) {
    switch (code & 0x7) {
    case 1:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case 2:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case 3:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case box::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case 5:
        return QMessageBox::Retry | QMessageBox::Cancel;
    default:
        return QMessageBox::Ok;
    }
}

QMessageBox::Icon iconOf(int code) {
    switch (code & 0x70) {
    case box::Critical:
        return QMessageBox::Critical;
    case box::Question:
        return QMessageBox::Question;
    case box::Exclamation:
        return QMessageBox::Warning;
    case box::Information:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int answerOf(int clicked) {
    switch (clicked) {
    case QMessageBox::Cancel:
        return 2;
    case QMessageBox::Abort:
        return 3;
    case QMessageBox::Retry:
        return 4;
    case QMessageBox::Ignore:
        return 5;
    case QMessageBox::Yes:
        return box::AnswerYes;
    case QMessageBox::No:
        return box::AnswerNo;
    default:
        return box::AnswerOk;
    }
}

} // namespace

int QtPrompter::show(const std::string& text, int buttons, const std::string& title) {
    QMessageBox message(iconOf(buttons), qtText(title.empty() ? defaultTitle_ : title),
                        qtText(text), buttonsOf(buttons), QApplication::activeWindow());
    return answerOf(message.exec());
}

} // namespace pelvar
