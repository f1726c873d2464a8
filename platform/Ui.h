#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

// Modal boxes, the beep and the shell. Each goes through a replaceable hook so
// that tests can record what the user would see; a recorder may run the event
// loop while "its box is open" to reproduce what a nested loop allows.
namespace ui {

// A modal message box captioned with the application title. Returns when the
// user has closed it. Boxes and prompts show their text as plain text: it may
// come from the server or from a file, and must never be read as markup.
void ShowMessage(const QString &text);

// The box in which an error that escaped a handler is reported; the event loop
// goes on after it.
void ShowError(const QString &text);

// ShowError once the running handler has returned. A box opened inside a
// timer's handler would hold that timer until the box closed (a timer does not
// fire again from inside its own handler); opened afterwards, its loop keeps
// every timer, the inbound drain among them, running.
void ShowErrorAfterHandler(const QString &text);

// The system beep of a refused action.
void Beep();

// Asks the desktop to open a web address or a mailto: link. The result is not
// looked at.
void OpenUrl(const QUrl &url);

// A one-line prompt; true and the entered text when the user confirms.
bool InputQuery(const QString &caption, const QString &prompt, QString &value);

// Asks the application to end once the running handler returns (the event
// loop, nested ones included, then ends with exit code 0). No window's close
// handler runs.
void RequestTermination();

// Whether termination has been asked for (since the current hooks were
// installed). Work still queued is left alone once it has.
bool TerminationRequested();

// Whether the desktop offers a notification area for the tray icon. Where it
// does not, nothing may hide the main window, or the user could not get it back.
bool HasNotificationArea();

// The hooks; an empty function means the real desktop service.
struct Hooks {
    std::function<void(const QString &)> message;
    std::function<void(const QString &)> error;
    std::function<void()> beep;
    std::function<void(const QUrl &)> openUrl;
    std::function<bool(const QString &caption, const QString &prompt, QString &value)> inputQuery;
    std::function<bool()> hasNotificationArea;
    std::function<void()> terminate;
};

// Installs hooks for the lifetime of the object and restores the previous ones,
// with no termination asked for in between.
class ScopedHooks {
public:
    explicit ScopedHooks(Hooks hooks);
    ~ScopedHooks();
    ScopedHooks(const ScopedHooks &) = delete;
    ScopedHooks &operator=(const ScopedHooks &) = delete;

private:
    Hooks m_previous;
    bool m_previousTermination;
};

} // namespace ui
