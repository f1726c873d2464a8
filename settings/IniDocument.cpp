#include "settings/IniDocument.h"

#include <optional>

namespace {

QByteArrayView Trimmed(QByteArrayView text)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.isEmpty() && blank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && blank(text.back()))
        text.chop(1);
    return text;
}

bool SameName(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// "[name]" gives name; anything else is not a section header.
std::optional<QByteArrayView> SectionName(QByteArrayView line)
{
    const QByteArrayView text = Trimmed(line);
    if (!text.startsWith('['))
        return std::nullopt;
    const qsizetype close = text.indexOf(']');
    return Trimmed(close < 0 ? text.sliced(1) : text.sliced(1, close - 1));
}

std::optional<std::pair<QByteArrayView, QByteArrayView>> KeyAndValue(QByteArrayView line)
{
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return std::nullopt;
    return std::pair{Trimmed(line.first(eq)), Trimmed(line.sliced(eq + 1))};
}

} // namespace

IniDocument IniDocument::Parse(QByteArrayView bytes)
{
    IniDocument doc;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype lf = bytes.indexOf('\n', start);
        if (lf < 0) {
            doc.m_lines.append({bytes.sliced(start).toByteArray(), {}});
            break;
        }
        const bool crlf = lf > start && bytes[lf - 1] == '\r';
        const qsizetype textEnd = crlf ? lf - 1 : lf;
        doc.m_lines.append({bytes.sliced(start, textEnd - start).toByteArray(), crlf ? "\r\n" : "\n"});
        start = lf + 1;
    }
    return doc;
}

QByteArray IniDocument::toBytes() const
{
    QByteArray bytes;
    for (const Line &line : m_lines)
        bytes.append(line.text).append(line.end);
    return bytes;
}

qsizetype IniDocument::findSection(QByteArrayView section) const
{
    for (qsizetype i = 0; i < m_lines.size(); ++i)
        if (const auto name = SectionName(m_lines[i].text); name && SameName(*name, section))
            return i;
    return -1;
}

qsizetype IniDocument::endOfSection(qsizetype sectionLine) const
{
    qsizetype i = sectionLine + 1;
    while (i < m_lines.size() && !SectionName(m_lines[i].text))
        ++i;
    return i;
}

qsizetype IniDocument::findKey(qsizetype sectionLine, QByteArrayView key) const
{
    const qsizetype end = endOfSection(sectionLine);
    for (qsizetype i = sectionLine + 1; i < end; ++i)
        if (const auto kv = KeyAndValue(m_lines[i].text); kv && SameName(kv->first, key))
            return i;
    return -1;
}

QByteArray IniDocument::value(QByteArrayView section, QByteArrayView key) const
{
    const qsizetype sectionLine = findSection(section);
    if (sectionLine < 0)
        return {};
    const qsizetype keyLine = findKey(sectionLine, key);
    if (keyLine < 0)
        return {};
    QByteArrayView value = KeyAndValue(m_lines[keyLine].text)->second;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.sliced(1, value.size() - 2);
    return value.toByteArray();
}

QByteArray IniDocument::newLineEnd() const
{
    for (const Line &line : m_lines)
        if (!line.end.isEmpty())
            return line.end;
    return "\r\n";
}

void IniDocument::setValue(QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    const QByteArray text = key.toByteArray() + '=' + value.toByteArray();
    const QByteArray end = newLineEnd();
    qsizetype sectionLine = findSection(section);
    if (sectionLine < 0) {
        if (!m_lines.isEmpty() && m_lines.last().end.isEmpty())
            m_lines.last().end = end;
        m_lines.append({'[' + section.toByteArray() + ']', end});
        m_lines.append({text, end});
        return;
    }
    if (const qsizetype keyLine = findKey(sectionLine, key); keyLine >= 0) {
        m_lines[keyLine].text = text;
        return;
    }
    // After the section's last non-blank line, so blank lines between sections stay.
    qsizetype insertAt = endOfSection(sectionLine);
    while (insertAt > sectionLine + 1 && Trimmed(m_lines[insertAt - 1].text).isEmpty())
        --insertAt;
    if (m_lines[insertAt - 1].end.isEmpty())
        m_lines[insertAt - 1].end = end;
    m_lines.insert(insertAt, {text, end});
}
