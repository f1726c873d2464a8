#include "server/AccountFields.h"

#include "wire/Cp932.h"
#include "wire/Fields.h"

#include <optional>

namespace {

// The logon dialog's own limits for the id and the password.
constexpr qsizetype MaxIdBytes = 10;
constexpr qsizetype MaxPasswordBytes = 50;
constexpr qsizetype MaxNameBytes = 50;
constexpr qsizetype MaxMailBytes = 128;

enum Field { Id, Corp, Password, Name, Mail, Department };

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

} // namespace

const FieldLabels FieldNumbers = {QStringLiteral("field 1"), QStringLiteral("field 2"), QStringLiteral("field 3"),
                                  QStringLiteral("field 4"), QStringLiteral("field 5"), QStringLiteral("field 6")};
const FieldLabels FieldNames = {QStringLiteral("the user id"),      QStringLiteral("the corporate index"),
                                QStringLiteral("the password"),     QStringLiteral("the display name"),
                                QStringLiteral("the mail address"), QStringLiteral("the department")};

std::variant<Account, QString> CheckAccountTexts(const AccountTexts &texts, const FieldLabels &labels,
                                                 QByteArray *password)
{
    std::array<QByteArray, 6> bytes;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const QString text = i == Password ? texts[i] : texts[i].trimmed();
        // A CR or any other control character would travel inside a frame,
        // where the client splits a field at a lone CR or LF.
        if (const QChar *control = ControlCharacter(text))
            return QStringLiteral("%1 holds the control character U+%2")
                .arg(labels[i])
                .arg(control->unicode(), 4, 16, QLatin1Char('0'));
        auto converted = ToCp932(text);
        if (!converted)
            return QStringLiteral("%1 has characters that code page 932 cannot hold").arg(labels[i]);
        bytes[i] = *converted;
    }
    const auto corp = ParseDecimal(bytes[Corp]);
    if (bytes[Id].isEmpty() || bytes[Id].size() > MaxIdBytes)
        return QStringLiteral("the user id must have 1 to %1 bytes").arg(MaxIdBytes);
    if (!corp || *corp < 0)
        return QStringLiteral("the corporate index is not a number from 0");
    if (bytes[Password].isEmpty() || bytes[Password].size() > MaxPasswordBytes)
        return QStringLiteral("the password must have 1 to %1 bytes").arg(MaxPasswordBytes);
    if (bytes[Name].isEmpty() || bytes[Name].size() > MaxNameBytes)
        return QStringLiteral("the display name must have 1 to %1 bytes").arg(MaxNameBytes);
    // The department names the account's group in the company list.
    if (bytes[Department].isEmpty() || bytes[Department].size() > MaxNameBytes)
        return QStringLiteral("the department must have 1 to %1 bytes").arg(MaxNameBytes);
    if (bytes[Mail].size() > MaxMailBytes)
        return QStringLiteral("the mail address is longer than %1 bytes").arg(MaxMailBytes);
    *password = bytes[Password];
    return Account{bytes[Id], *corp, {}, bytes[Name], bytes[Mail], bytes[Department], false, 0};
}
