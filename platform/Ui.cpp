#include "platform/Ui.h"

#include "platform/AppTitle.h"

#include <QApplication>
#include <QDesktopServices>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTimer>

namespace ui {

namespace {

Hooks &CurrentHooks()
{
    static Hooks hooks;
    return hooks;
}

bool &TerminationFlag()
{
    static bool requested = false;
    return requested;
}

// Lines of a message or prompt are joined by a CR, which a label does not
// break at.
QString AsLabelLines(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
}

void ShowBox(QMessageBox::Icon icon, const QString &text)
{
    QMessageBox box(icon, ApplicationTitle(), AsLabelLines(text), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

void ShowMessage(const QString &text)
{
    if (const auto &hook = CurrentHooks().message)
        return hook(text);
    ShowBox(QMessageBox::NoIcon, text);
}

void ShowError(const QString &text)
{
    if (const auto &hook = CurrentHooks().error)
        return hook(text);
    ShowBox(QMessageBox::Critical, text);
}

void ShowErrorAfterHandler(const QString &text)
{
    QTimer::singleShot(0, QCoreApplication::instance(), [text] { ShowError(text); });
}

void Beep()
{
    if (const auto &hook = CurrentHooks().beep)
        return hook();
    QApplication::beep();
}

void OpenUrl(const QUrl &url)
{
    if (const auto &hook = CurrentHooks().openUrl)
        return hook(url);
    QDesktopServices::openUrl(url);
}

bool InputQuery(const QString &caption, const QString &prompt, QString &value)
{
    if (const auto &hook = CurrentHooks().inputQuery)
        return hook(caption, prompt, value);
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(caption);
    dialog.setLabelText(AsLabelLines(prompt));
    dialog.setTextValue(value);
    if (auto *label = dialog.findChild<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = dialog.textValue();
    return true;
}

void RequestTermination()
{
    TerminationFlag() = true;
    if (const auto &hook = CurrentHooks().terminate)
        return hook();
    QCoreApplication::exit(0);
}

bool HasNotificationArea()
{
    if (const auto &hook = CurrentHooks().hasNotificationArea)
        return hook();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TerminationRequested()
{
    return TerminationFlag();
}

ScopedHooks::ScopedHooks(Hooks hooks)
    : m_previous(std::exchange(CurrentHooks(), std::move(hooks))),
      m_previousTermination(std::exchange(TerminationFlag(), false))
{
}

ScopedHooks::~ScopedHooks()
{
    CurrentHooks() = std::move(m_previous);
    TerminationFlag() = m_previousTermination;
}

} // namespace ui
