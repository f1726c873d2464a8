#include "main/members/ListLines.h"

#include <algorithm>

void ListLines::append(QByteArrayView line)
{
    m_text.append(line);
    m_ends.push_back(m_text.size());
}

void ListLines::appendTabbed(std::span<const QByteArrayView> fields)
{
    qsizetype size = 0;
    for (const QByteArrayView field : fields)
        size += field.size() + 1;
    const qsizetype start = m_text.size();
    m_text.resize(start + size);
    char *out = m_text.data() + start;
    for (const QByteArrayView field : fields) {
        out = std::copy(field.begin(), field.end(), out);
        *out++ = '\t';
    }
    m_ends.push_back(m_text.size());
}

void ListLines::clear()
{
    m_text = QByteArray();
    std::vector<qsizetype>().swap(m_ends);
}

void ListLines::squeeze()
{
    m_text.squeeze();
    m_ends.shrink_to_fit();
}

QByteArrayView ListLines::at(qsizetype i) const
{
    const qsizetype start = i == 0 ? 0 : m_ends[size_t(i - 1)];
    return QByteArrayView(m_text).sliced(start, m_ends[size_t(i)] - start);
}
