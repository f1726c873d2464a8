#include "server/Directory.h"

#include <cstring>

namespace {

// Each account's texts are stored as three sizes and then the three texts.
using TextSize = quint32;
constexpr qsizetype TextHeader = 3 * sizeof(TextSize);

void AppendSize(QByteArray &texts, qsizetype size)
{
    const TextSize value = TextSize(size);
    texts.append(reinterpret_cast<const char *>(&value), sizeof value);
}

TextSize SizeAt(const char *at)
{
    TextSize value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

} // namespace

Directory::Directory(QList<Account> accounts) : m_accounts(std::move(accounts))
{
    m_byId.reserve(m_accounts.size());
    m_departmentOf.reserve(m_accounts.size());
    for (qsizetype i = 0; i < m_accounts.size(); ++i) {
        const Account &account = m_accounts[i];
        m_byId.insert(account.id, i);
        int number = m_departmentNumbers.value(account.department, -1);
        if (number < 0) {
            number = int(m_departments.size());
            m_departmentNumbers.insert(account.department, number);
            m_departments.append(account.department);
        }
        m_departmentOf.append(number);
    }

    QList<QList<qsizetype>> members(m_departments.size());
    qsizetype textBytes = 0;
    for (qsizetype i = 0; i < m_accounts.size(); ++i) {
        const Account &account = m_accounts[i];
        members[m_departmentOf[i]].append(i);
        textBytes += TextHeader + account.id.size() + account.displayName.size() + account.mail.size();
    }
    m_texts.reserve(textBytes);
    m_textAt.resize(m_accounts.size());
    for (const QList<qsizetype> &department : members)
        for (const qsizetype i : department) {
            const Account &account = m_accounts[i];
            m_textAt[i] = m_texts.size();
            AppendSize(m_texts, account.id.size());
            AppendSize(m_texts, account.displayName.size());
            AppendSize(m_texts, account.mail.size());
            m_texts.append(account.id).append(account.displayName).append(account.mail);
        }
}

const Account *Directory::find(const QByteArray &id) const
{
    const auto it = m_byId.constFind(id);
    return it == m_byId.constEnd() ? nullptr : &m_accounts[*it];
}

AccountText Directory::text(qsizetype index) const
{
    const char *at = m_texts.constData() + m_textAt[index];
    const TextSize idSize = SizeAt(at);
    const TextSize nameSize = SizeAt(at + sizeof(TextSize));
    const TextSize mailSize = SizeAt(at + 2 * sizeof(TextSize));
    const char *id = at + TextHeader;
    return {QByteArrayView(id, idSize), QByteArrayView(id + idSize, nameSize),
            QByteArrayView(id + idSize + nameSize, mailSize)};
}
