#include "settings/SettingsFile.h"

#include "ClientFixture.h"
#include "FileModesApply.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

// The file's mode bits, without those that name the running user.
QFileDevice::Permissions Mode(const QString &path)
{
    return QFileInfo(path).permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

TEST(SettingsFile, MissingFileGivesDefaults)
{
    ClientFixture fixture;
    const TUserSettings s = ReadUserSettings();
    EXPECT_EQ(s.UserId, "");
    EXPECT_EQ(s.Password, "");
    EXPECT_EQ(s.CorpIndex, 0);
    EXPECT_FALSE(s.RememberPassword);
    EXPECT_EQ(QRect(s.FormLeft, s.FormTop, s.FormWidth, s.FormHeight), QRect(0, 0, 230, 510));
    EXPECT_EQ(s.Host, "127.0.0.1");
    EXPECT_EQ(s.Port, 9002);
}

TEST(SettingsFile, ValuesThatDoNotParseKeepTheirDefaults)
{
    const struct {
        QByteArray memory;
        bool remembered;
    } memoryCases[] = {{"1", true}, {"2", true}, {"-1", true}, {"0", false}, {"abc", false}, {"", false}};
    for (const auto &c : memoryCases) {
        ClientFixture fixture;
        fixture.writeUserIni("[USER]\r\nPWDMEMORY=" + c.memory + "\r\n");
        EXPECT_EQ(ReadUserSettings().RememberPassword, c.remembered) << c.memory.toStdString();
    }

    ClientFixture fixture;
    fixture.writeUserIni("\xFF\xFE garbage\n[USER]\nID=\x8E\x52\x93\x63\nCORP=x1\n[MFORM]\nLEFT=99999999999\n"
                         "TOP=-5\nWIDTH=\nHEIGHT=abc\n[SYSTEM]\nHOST=10.1.2.3\nPORT=70000\n");
    const TUserSettings s = ReadUserSettings();
    EXPECT_EQ(s.UserId, "\x8E\x52\x93\x63");
    EXPECT_EQ(s.CorpIndex, 0);
    EXPECT_EQ(s.FormLeft, 0);
    EXPECT_EQ(s.FormTop, -5);
    EXPECT_EQ(s.FormWidth, 230);
    EXPECT_EQ(s.FormHeight, 510);
    EXPECT_EQ(s.Host, "10.1.2.3");
    EXPECT_EQ(s.Port, 9002);
}

TEST(SettingsFile, UserSectionIsWrittenInOrderAndForgetsThePassword)
{
    ClientFixture fixture;
    fixture.writeUserIni("[SYSTEM]\r\nTYPE=free\r\n[USER]\r\nPWD=old secret\r\nEXTRA=kept\r\n");
    TUserSettings s;
    s.UserId = "u01";
    s.CorpIndex = 2;
    s.Password = "new secret";
    s.RememberPassword = false;
    SaveUserSection(s);
    EXPECT_EQ(fixture.readUserIni(),
              "[SYSTEM]\r\nTYPE=free\r\n[USER]\r\nPWD=\r\nEXTRA=kept\r\nID=u01\r\nCORP=2\r\nPWDMEMORY=0\r\n");

    s.RememberPassword = true;
    SaveUserSection(s);
    const TUserSettings read = ReadUserSettings();
    EXPECT_EQ(read.Password, "new secret");
    EXPECT_TRUE(read.RememberPassword);
}

TEST(SettingsFile, NewFileIsPrivateAndBoundsAreWritten)
{
    ClientFixture fixture;
    SaveFormBounds(QRect(10, 20, 300, 400));
    EXPECT_EQ(fixture.readUserIni(), "[MFORM]\r\nLEFT=10\r\nTOP=20\r\nWIDTH=300\r\nHEIGHT=400\r\n");
    const auto permissions = QFileInfo(UserIniPath()).permissions();
    EXPECT_FALSE(permissions & (QFileDevice::ReadGroup | QFileDevice::ReadOther));
}

TEST(SettingsFile, ExistingFileIsWrittenEvenInAReadOnlyFolderAndAPasswordMakesItPrivate)
{
    const QFileDevice::Permissions shared = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ReadGroup | QFileDevice::ReadOther;
    const QFileDevice::Permissions readOnlyFolder = QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                    QFileDevice::ReadGroup | QFileDevice::ExeGroup;
    for (const bool folderWritable : {true, false}) {
        ClientFixture fixture;
        fixture.writeUserIni("; kept\r\n[MFORM]\r\nLEFT=1\r\n");
        QFile::setPermissions(UserIniPath(), shared);
        const QString folder = fixture.dir();
        const auto folderMode = QFileInfo(folder).permissions();
        if (!folderWritable)
            QFile::setPermissions(folder, readOnlyFolder);
        {
            FileModesApply modes;
            SaveFormBounds(QRect(3, 4, 230, 510));
            EXPECT_EQ(Mode(UserIniPath()), shared) << folderWritable;

            TUserSettings s;
            s.UserId = "u01";
            s.Password = "secret";
            s.RememberPassword = true;
            SaveUserSection(s);
        }
        QFile::setPermissions(folder, folderMode);
        EXPECT_EQ(fixture.readUserIni(), "; kept\r\n[MFORM]\r\nLEFT=3\r\nTOP=4\r\nWIDTH=230\r\nHEIGHT=510\r\n"
                                         "[USER]\r\nID=u01\r\nCORP=0\r\nPWDMEMORY=1\r\nPWD=secret\r\n")
            << folderWritable;
        EXPECT_EQ(Mode(UserIniPath()), QFileDevice::ReadOwner | QFileDevice::WriteOwner) << folderWritable;
        EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("user.ini")}) << folderWritable;
    }
}

TEST(SettingsFile, AwkwardPasswordsReadBackExactly)
{
    for (const QByteArray password : {" lead", "trail ", "\ttab", "\"quoted\"", "'single'", "end\"", "in \"side\" ok",
                                      "\x93\xFA\x96\x7B \x8C\xEA", "\""}) {
        ClientFixture fixture;
        TUserSettings s;
        s.UserId = "u01";
        s.Password = password;
        s.RememberPassword = true;
        SaveUserSection(s);
        EXPECT_EQ(ReadUserSettings().Password, password) << password.toStdString();
    }
    // Ordinary values are written as they are, as other readers expect them.
    ClientFixture fixture;
    TUserSettings s;
    s.UserId = "u01";
    s.Password = "in \"side\" ok";
    s.RememberPassword = true;
    SaveUserSection(s);
    EXPECT_TRUE(fixture.readUserIni().contains("\r\nID=u01\r\n"));
    EXPECT_TRUE(fixture.readUserIni().contains("\r\nPWD=in \"side\" ok\r\n"));
}

TEST(SettingsFile, UnreadableFileIsNeverOverwrittenAndSaidSoOnce)
{
    ClientFixture fixture;
    const QByteArray kept = "[SYSTEM]\r\nHOST=10.0.0.1\r\n; a note\r\n[USER]\r\nID=old\r\nPWD=old\r\n";
    fixture.writeUserIni(kept);
    QFile::setPermissions(UserIniPath(), QFileDevice::WriteOwner);
    TUserSettings s;
    s.UserId = "u01";
    s.Password = "new";
    s.RememberPassword = true;
    {
        FileModesApply modes;
        EXPECT_EQ(ReadUserSettings().UserId, "");
        try {
            SaveUserSection(s);
            FAIL() << "the user is told";
        } catch (const SettingsUnreadableError &error) {
            EXPECT_EQ(QString::fromUtf8(error.what()),
                      UserIniPath() + QStringLiteral(" を読み込めないため、設定を保存しません"));
        }
        // Said once: later saves are skipped quietly.
        EXPECT_NO_THROW(SaveUserSection(s));
        EXPECT_NO_THROW(SaveFormBounds(QRect(1, 2, 3, 4)));
    }
    QFile::setPermissions(UserIniPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(fixture.readUserIni(), kept);
}

TEST(SettingsFile, RefusedWriteNamesThePath)
{
    // A folder where the file should be refuses the write even for root.
    ClientFixture fixture;
    QDir(fixture.dir()).mkdir(QStringLiteral("user.ini"));
    try {
        SaveFormBounds(QRect(5, 5, 100, 100));
        FAIL() << "the write was refused";
    } catch (const SettingsWriteError &error) {
        EXPECT_EQ(QString::fromUtf8(error.what()), UserIniPath() + QStringLiteral(" に書き込めません"));
    }
    EXPECT_TRUE(QFileInfo(UserIniPath()).isDir());
}

} // namespace
