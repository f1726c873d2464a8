#include "platform/GuardedApplication.h"

#include "platform/Ui.h"

#include <exception>

bool GuardedApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        ui::ShowErrorAfterHandler(QString::fromUtf8(error.what()));
    }
    return false;
}
