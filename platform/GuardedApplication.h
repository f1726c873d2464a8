#pragma once

#include <QApplication>

// The application object. An error that escapes an event handler is shown in
// the error box once the handler has unwound, and the event loop goes on,
// instead of unwinding through the toolkit and ending the program.
class GuardedApplication : public QApplication {
    Q_OBJECT
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override;
};
