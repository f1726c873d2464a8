#include "server/AccountImport.h"

#include "server/AccountFields.h"
#include "server/AccountStore.h"

#include <QString>

#include <variant>

namespace {

// The account of one line, or the reason it cannot be one. Every cell is
// trimmed, the password too.
std::variant<Account, QString> ParseLine(const QString &line, QByteArray *password)
{
    const QStringList cells = line.split(QLatin1Char('\t'));
    if (cells.size() < 6)
        return QStringLiteral("6 TAB-separated fields expected, found %1").arg(cells.size());
    AccountTexts texts;
    for (size_t i = 0; i < texts.size(); ++i)
        texts[i] = cells[static_cast<qsizetype>(i)].trimmed();
    return CheckAccountTexts(texts, FieldNumbers, password);
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
