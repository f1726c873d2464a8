#include "settings/SettingsFile.h"
#include "settings/UserIniFolder.h"

#include "ClientFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

namespace {

// Points the XDG variables into a throwaway folder and puts them back after.
class XdgFolders : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"}) {
            m_saved.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        }
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path(QStringLiteral("home/.config"))));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(path(QStringLiteral("site1")) + QLatin1Char(':') +
                                                     path(QStringLiteral("site2"))));
    }
    void TearDown() override
    {
        UseCurrentFolder();
        for (const auto &[name, value, set] : m_saved)
            set ? qputenv(name, value) : qunsetenv(name);
    }
    QString path(const QString &relative) const { return m_root.filePath(relative); }
    void write(const QString &relative, const QByteArray &bytes) const
    {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile file(path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    ClientFixture fixture; // the current folder, empty
    QTemporaryDir m_root;
    struct Saved {
        const char *name;
        QByteArray value;
        bool set;
    };
    QList<Saved> m_saved;
};

TEST_F(XdgFolders, TheConfigFolderIsMadeForTheUserAloneAndHoldsTheSettings)
{
    QString error;
    ASSERT_TRUE(UseConfigFolder(&error)) << error.toStdString();
    const QString folder = path(QStringLiteral("home/.config/vantrel-im"));
    EXPECT_EQ(UserIniPath(), folder + QStringLiteral("/user.ini"));
    struct stat info = {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "user.ini may hold a password";

    TUserSettings settings;
    settings.UserId = "u01";
    SaveUserSection(settings);
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/user.ini")));
    EXPECT_FALSE(QFileInfo::exists(fixture.dir() + QStringLiteral("/user.ini"))) << "the current folder is left alone";
    EXPECT_EQ(ReadUserSettings().UserId, "u01");

    UseCurrentFolder();
    EXPECT_EQ(UserIniPath(), QDir::currentPath() + QStringLiteral("/user.ini"));
}

TEST_F(XdgFolders, AConfigFolderThatCannotBeMadeIsRefusedWithItsPath)
{
    write(QStringLiteral("home/.config/vantrel-im"), "a file, not a folder");
    QString error;
    EXPECT_FALSE(UseConfigFolder(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("vantrel-im"))) << error.toStdString();
    EXPECT_EQ(UserIniPath(), QDir::currentPath() + QStringLiteral("/user.ini"));
}

TEST_F(XdgFolders, TheAdministratorsServerFillsInOnlyTheSystemKeysTheUserLacks)
{
    // The first folder of XDG_CONFIG_DIRS that has the file counts.
    write(QStringLiteral("site2/vantrel-im/user.ini"),
          "[SYSTEM]\r\nHOST=im.example.co.jp\r\nPORT=9100\r\nTYPE=FREE\r\n[USER]\r\nID=admin\r\nPWD=x\r\n");
    EXPECT_EQ(SystemIniPath(), path(QStringLiteral("site2/vantrel-im/user.ini")));

    TUserSettings s = ReadUserSettings();
    EXPECT_EQ(s.Host, "im.example.co.jp");
    EXPECT_EQ(s.Port, 9100);
    EXPECT_TRUE(s.isFreeService());
    EXPECT_EQ(s.UserId, "") << "only [SYSTEM] is read from the administrator's file";
    EXPECT_EQ(s.Password, "");

    fixture.writeUserIni("[SYSTEM]\r\nPORT=9200\r\n");
    s = ReadUserSettings();
    EXPECT_EQ(s.Host, "im.example.co.jp");
    EXPECT_EQ(s.Port, 9200) << "the user's own value wins";

    // A logon that keeps the server writes none, so the administrator's
    // default keeps counting; one to another server writes both keys.
    s.UserId = "u01";
    SaveUserSection(s);
    EXPECT_FALSE(fixture.readUserIni().contains("HOST")) << fixture.readUserIni().toStdString();
    s.Host = "10.0.0.5";
    SaveUserSection(s);
    const TUserSettings saved = ReadUserSettings();
    EXPECT_EQ(saved.Host, "10.0.0.5");
    EXPECT_EQ(saved.Port, 9200);
}

TEST_F(XdgFolders, AUserIniThatIsNotTheClientsOwnGivesDefaultsAndIsNeverWritten)
{
    QString error;
    ASSERT_TRUE(UseConfigFolder(&error)) << error.toStdString();
    const QString ini = UserIniPath();
    const QString elsewhere = path(QStringLiteral("elsewhere.ini"));
    const QByteArray theirs = "[USER]\r\nID=someone\r\n";
    const QByteArray junk = QByteArray(10 << 20, 'x') + "\n[USER]\nID=junk\n";
    const struct {
        const char *what;
        std::function<void()> make;
    } cases[] = {
        {"a symlink to another file", [&] { write(QStringLiteral("elsewhere.ini"), theirs);
                                            QFile::link(elsewhere, ini); }},
        {"a dangling symlink", [&] { QFile::remove(elsewhere); QFile::link(elsewhere, ini); }},
        {"10 MB of junk", [&] { QFile::remove(elsewhere);
                                write(QStringLiteral("home/.config/vantrel-im/user.ini"), junk); }},
    };
    for (const auto &c : cases) {
        QFile::remove(ini);
        c.make();
        const QByteArray before = QFile::exists(elsewhere) ? theirs : QByteArray();
        EXPECT_EQ(ReadUserSettings().UserId, "") << c.what;
        TUserSettings settings;
        settings.UserId = "u01";
        try {
            SaveUserSection(settings);
        } catch (const std::exception &) {
            // told once that the file is left alone
        }
        QFile target(elsewhere);
        EXPECT_EQ(target.open(QIODevice::ReadOnly) ? target.readAll() : QByteArray(), before) << c.what;
        if (!QFileInfo(ini).isSymLink()) {
            QFile file(ini);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.size(), junk.size()) << c.what;
        }
    }
}

} // namespace
