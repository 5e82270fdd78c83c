#include "ui/main/QtHost.h"

#include "ui/main/QtText.h"

#include <QApplication>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

namespace pelvar {

bool QtHost::hasWindowTitled(const std::string& title) const {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return false;
    }
    const QString wanted = qtText(title);
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isWindow() && widget->isVisible() && widget->windowTitle() == wanted) {
            return true;
        }
    }
    return false;
}

void QtHost::terminate() {
    // Output already written by the component should still reach its reader.
    std::fflush(nullptr);
    std::_Exit(0);
}

void QtHost::processEvents() {
    if (QCoreApplication::instance()) {
        QCoreApplication::processEvents();
    }
}

} // namespace pelvar
