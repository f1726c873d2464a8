#pragma once

#include "platform/Ui.h"

#include <QByteArray>
#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <functional>
#include <memory>

// Runs a test in a fresh current directory (user.ini lives there) and records
// every box, beep, shell request and termination instead of showing it.
class ClientFixture {
public:
    ClientFixture();
    ~ClientFixture();

    QString dir() const { return m_dir.path(); }
    // Forgets a termination asked for, as a new start of the program would.
    void forgetTermination();
    void writeUserIni(const QByteArray &bytes) const;
    QByteArray readUserIni() const;

    QStringList messages;   // message boxes, in order
    QStringList errors;     // error boxes of failing handlers
    int beeps = 0;
    QList<QUrl> opened;
    int terminations = 0;
    // Runs while a box is "open", to reproduce what its nested loop allows.
    std::function<void()> whileBoxOpen;

private:
    QTemporaryDir m_dir;
    QString m_previousDir;
    ui::Hooks m_recorders;
    std::unique_ptr<ui::ScopedHooks> m_hooks;
};
