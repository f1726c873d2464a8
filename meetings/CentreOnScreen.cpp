#include "meetings/CentreOnScreen.h"

#include <QScreen>
#include <QWidget>

void CentreOnScreen(QWidget *window)
{
    if (const QScreen *where = window->screen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(where->availableGeometry().center());
        window->move(frame.topLeft());
    }
}
