#include "ClientFixture.h"

#include <QFile>

ClientFixture::ClientFixture() : m_previousDir(QDir::currentPath())
{
    QDir::setCurrent(m_dir.path());
    ui::Hooks hooks;
    hooks.message = [this](const QString &text) {
        messages.append(text);
        if (whileBoxOpen)
            whileBoxOpen();
    };
    hooks.error = [this](const QString &text) {
        errors.append(text);
        if (whileBoxOpen)
            whileBoxOpen();
    };
    hooks.beep = [this] { ++beeps; };
    hooks.openUrl = [this](const QUrl &url) { opened.append(url); };
    hooks.terminate = [this] { ++terminations; };
    hooks.hasNotificationArea = [] { return true; };
    m_recorders = hooks;
    m_hooks = std::make_unique<ui::ScopedHooks>(std::move(hooks));
}

void ClientFixture::forgetTermination()
{
    m_hooks.reset();
    m_hooks = std::make_unique<ui::ScopedHooks>(m_recorders);
}

ClientFixture::~ClientFixture()
{
    m_hooks.reset();
    QDir::setCurrent(m_previousDir);
}

void ClientFixture::writeUserIni(const QByteArray &bytes) const
{
    QFile file(m_dir.filePath(QStringLiteral("user.ini")));
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

QByteArray ClientFixture::readUserIni() const
{
    QFile file(m_dir.filePath(QStringLiteral("user.ini")));
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}
