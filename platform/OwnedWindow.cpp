#include "platform/OwnedWindow.h"

#include <QObject>
#include <QWidget>

void MakeOwnedTopLevel(QWidget *window, QObject *owner)
{
    // No parent: a parented window is transient for it, and window managers
    // leave transients out of the task bar.
    window->setParent(nullptr);
    window->setWindowFlag(Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    // Deleted at once rather than later: when the owner is the main window
    // going away at the program's end, no event loop is left to run a
    // deferred delete. The connection dies with the window if it closes first.
    QObject::connect(owner, &QObject::destroyed, window, [window] { delete window; });
}
