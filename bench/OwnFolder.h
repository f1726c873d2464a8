#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>

// While it lives, the program works in a fresh folder of its own, so a main
// window made by a benchmark reads and writes no real user.ini.
class OwnFolder {
public:
    OwnFolder() : m_previous(QDir::currentPath()) { QDir::setCurrent(m_folder.path()); }
    ~OwnFolder() { QDir::setCurrent(m_previous); }
    OwnFolder(const OwnFolder &) = delete;
    OwnFolder &operator=(const OwnFolder &) = delete;

private:
    QTemporaryDir m_folder;
    QString m_previous;
};
