#include "server/AccountImport.h"

#include "server/AccountStore.h"
#include "wire/Cp932.h"
#include "wire/Fields.h"

#include <QString>

#include <array>
#include <optional>
#include <variant>

namespace {

// The logon dialog's own limits for the id and the password.
constexpr qsizetype MaxIdBytes = 10;
constexpr qsizetype MaxPasswordBytes = 50;
constexpr qsizetype MaxNameBytes = 50;
constexpr qsizetype MaxMailBytes = 128;

// The cp932 bytes of the text, or nothing when cp932 cannot hold a character.
std::optional<QByteArray> ToCp932(const QString &text)
{
    QByteArray bytes = cp932::FromUnicode(text);
    if (cp932::ToUnicode(bytes) != text)
        return std::nullopt;
    return bytes;
}

const QChar *ControlCharacter(const QString &text)
{
    for (const QChar &c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return &c;
    return nullptr;
}

// The account of one line, or the reason it cannot be one.
std::variant<Account, QString> ParseLine(const QString &line, QByteArray *password)
{
    const QStringList cells = line.split(QLatin1Char('\t'));
    if (cells.size() < 6)
        return QStringLiteral("6 TAB-separated fields expected, found %1").arg(cells.size());
    std::array<QByteArray, 6> bytes;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const QString cell = cells[static_cast<qsizetype>(i)].trimmed();
        // A CR or any other control character would travel inside a frame,
        // where the client splits a field at a lone CR or LF.
        if (const QChar *control = ControlCharacter(cell))
            return QStringLiteral("field %1 holds the control character U+%2")
                .arg(i + 1)
                .arg(control->unicode(), 4, 16, QLatin1Char('0'));
        auto converted = ToCp932(cell);
        if (!converted)
            return QStringLiteral("field %1 has characters that code page 932 cannot hold").arg(i + 1);
        bytes[i] = *converted;
    }
    const auto corp = ParseDecimal(bytes[1]);
    if (bytes[0].isEmpty() || bytes[0].size() > MaxIdBytes)
        return QStringLiteral("the user id must have 1 to %1 bytes").arg(MaxIdBytes);
    if (!corp || *corp < 0)
        return QStringLiteral("the corporate index is not a number from 0");
    if (bytes[2].isEmpty() || bytes[2].size() > MaxPasswordBytes)
        return QStringLiteral("the password must have 1 to %1 bytes").arg(MaxPasswordBytes);
    if (bytes[3].isEmpty() || bytes[3].size() > MaxNameBytes)
        return QStringLiteral("the display name must have 1 to %1 bytes").arg(MaxNameBytes);
    // The department names the account's group in the company list.
    if (bytes[5].isEmpty() || bytes[5].size() > MaxNameBytes)
        return QStringLiteral("the department must have 1 to %1 bytes").arg(MaxNameBytes);
    if (bytes[4].size() > MaxMailBytes)
        return QStringLiteral("the mail address is longer than %1 bytes").arg(MaxMailBytes);
    *password = bytes[2];
    return Account{bytes[0], *corp, {}, bytes[3], bytes[4], bytes[5]};
}

} // namespace

ImportReport ImportAccounts(AccountStore &store, const QByteArray &utf8Tsv, HashCost cost)
{
    ImportReport report;
    const QStringList lines = QString::fromUtf8(utf8Tsv).split(QLatin1Char('\n'));
    store.transaction();
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        QByteArray password;
        auto parsed = ParseLine(line, &password);
        if (auto *reason = std::get_if<QString>(&parsed)) {
            report.skipped.append(QStringLiteral("line %1: %2").arg(n + 1).arg(*reason));
            continue;
        }
        Account account = std::get<Account>(std::move(parsed));
        const auto hash = HashPassword(password, cost);
        if (!hash) {
            report.skipped.append(QStringLiteral("line %1: the password could not be hashed").arg(n + 1));
            continue;
        }
        account.passwordHash = *hash;
        if (!store.upsertAccount(account)) {
            report.skipped.append(QStringLiteral("line %1: %2").arg(n + 1).arg(store.lastError()));
            continue;
        }
        ++report.written;
    }
    store.commit();
    return report;
}
