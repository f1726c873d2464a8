#include "settings/SettingsFile.h"

#include "settings/IniDocument.h"
#include "settings/UserIniFolder.h"
#include "wire/Fields.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <optional>

QString UserIniPath()
{
    return UserIniFolder() + QStringLiteral("/user.ini");
}

SettingsWriteError::SettingsWriteError(const QString &path)
    : std::runtime_error(QStringLiteral("%1 に書き込めません").arg(path).toStdString())
{
}

SettingsUnreadableError::SettingsUnreadableError(const QString &path)
    : std::runtime_error(
          QStringLiteral("%1 を読み込めないため、設定を保存しません").arg(path).toStdString())
{
}

namespace {

// user.ini holds a few hundred bytes; a file far larger is not one.
constexpr qint64 MaxFileBytes = 1 << 20;

// In the configuration folder user.ini must be the client's own file: a
// symlink there, dangling or not, would lead the writes into another one.
bool IsForeignLink(const QFileInfo &info)
{
    return UsesConfigFolder() && info.isSymLink();
}

// A file that exists but cannot be read gives nothing, like a missing one.
std::optional<IniDocument> ReadDocument(const QString &path)
{
    QFile file(path);
    if (IsForeignLink(QFileInfo(path)) || !file.open(QIODevice::ReadOnly) || file.size() > MaxFileBytes)
        return std::nullopt;
    return IniDocument::Parse(file.readAll());
}

// Rewriting a file that could not be read would keep only the key written:
// every other key and line would be lost. Such a file is left alone, and the
// user is told once per file.
void RefuseToOverwriteUnread(const QString &path)
{
    static QSet<QString> told;
    if (told.contains(path))
        return;
    told.insert(path);
    throw SettingsUnreadableError(path);
}

// The file's readers strip blanks around a value and one pair of enclosing
// quotes; a value that would lose either is written in double quotes, so that
// it reads back exactly (a password " pw" or "\"pw\"").
QByteArray Quoted(const QByteArray &value)
{
    if (value.isEmpty())
        return value;
    auto loses = [](char c) { return c == ' ' || c == '\t' || c == '"' || c == '\''; };
    if (!loses(value.front()) && !loses(value.back()))
        return value;
    return '"' + value + '"';
}

int IntOr(const IniDocument &doc, const char *section, const char *key, int fallback)
{
    return ParseDecimal(doc.value(section, key)).value_or(fallback);
}

// The password lives in this file in plain text.
bool HoldsPassword(const IniDocument &doc)
{
    return !doc.value("USER", "PWD").isEmpty();
}

// Like the desktop's own profile writer, each key is a complete write of the
// file. The new file replaces the old one only once it is whole, so a failed
// write never leaves half a file; where the folder refuses the temporary file
// beside it (a shared or managed install) a writable user.ini is rewritten in
// place instead. A new file, and any file that holds a password, is readable
// by its owner alone.
void WriteValue(const char *section, const char *key, const QByteArray &value)
{
    const QString path = UserIniPath();
    const QFileInfo info(path);
    const bool exists = info.exists();
    std::optional<IniDocument> read = ReadDocument(path);
    if ((!read && exists && info.isFile()) || IsForeignLink(info))
        return RefuseToOverwriteUnread(path);
    IniDocument doc = read.value_or(IniDocument());
    doc.setValue(section, key, Quoted(value));
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

    // The file is made private before anything is written to it: rewritten in
    // place, it is already truncated once open, and must not be left so.
    const bool writable = !exists || info.isWritable();
    bool ok = writable && (!exists || !HoldsPassword(doc) || QFile::setPermissions(path, ownerOnly));

    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    ok = ok && file.open(QIODevice::WriteOnly);
    if (ok && !exists)
        ok = file.setPermissions(ownerOnly);
    ok = ok && file.write(doc.toBytes()) >= 0 && file.commit();
    if (!ok)
        throw SettingsWriteError(path);
}

} // namespace

TUserSettings ReadUserSettings()
{
    const IniDocument doc = ReadDocument(UserIniPath()).value_or(IniDocument());
    // The administrator's [SYSTEM] values fill in what the user's file lacks.
    const QString sitePath = SystemIniPath();
    const IniDocument site = sitePath.isEmpty() ? IniDocument() : ReadDocument(sitePath).value_or(IniDocument());
    auto system = [&](const char *key) {
        const QByteArray own = doc.value("SYSTEM", key);
        return own.isEmpty() ? site.value("SYSTEM", key) : own;
    };
    TUserSettings s;
    s.ServiceType = system("TYPE");
    if (const QByteArray host = system("HOST"); !host.isEmpty())
        s.Host = host;
    if (const int port = ParseDecimal(system("PORT")).value_or(0); port > 0 && port <= 65535)
        s.Port = static_cast<quint16>(port);
    s.Tls = ParseDecimal(system("TLS")).value_or(0) != 0;
    s.CaFile = system("CAFILE");
    s.UserId = doc.value("USER", "ID");
    s.CorpIndex = IntOr(doc, "USER", "CORP", 0);
    s.Password = doc.value("USER", "PWD");
    s.RememberPassword = IntOr(doc, "USER", "PWDMEMORY", 0) != 0;
    s.FormLeft = IntOr(doc, "MFORM", "LEFT", 0);
    s.FormTop = IntOr(doc, "MFORM", "TOP", 0);
    s.FormWidth = IntOr(doc, "MFORM", "WIDTH", 230);
    s.FormHeight = IntOr(doc, "MFORM", "HEIGHT", 510);
    return s;
}

void SaveUserSection(const TUserSettings &settings)
{
    // The server is written only when the user chose another one than the
    // file gives, so that an administrator's default keeps counting.
    const TUserSettings stored = ReadUserSettings();
    WriteValue("USER", "ID", settings.UserId);
    WriteValue("USER", "CORP", QByteArray::number(settings.CorpIndex));
    WriteValue("USER", "PWDMEMORY", settings.RememberPassword ? "1" : "0");
    WriteValue("USER", "PWD", settings.RememberPassword ? settings.Password : QByteArray());
    if (settings.Host != stored.Host || settings.Port != stored.Port) {
        WriteValue("SYSTEM", "HOST", settings.Host);
        WriteValue("SYSTEM", "PORT", QByteArray::number(settings.Port));
    }
}

void SaveFormBounds(const QRect &bounds)
{
    WriteValue("MFORM", "LEFT", QByteArray::number(bounds.left()));
    WriteValue("MFORM", "TOP", QByteArray::number(bounds.top()));
    WriteValue("MFORM", "WIDTH", QByteArray::number(bounds.width()));
    WriteValue("MFORM", "HEIGHT", QByteArray::number(bounds.height()));
}
