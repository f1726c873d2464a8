#include "wire/FieldList.h"

#include "wire/Cp932.h"
#include "wire/Fields.h"

#include <QString>

namespace {

QString Shown(QByteArrayView bytes)
{
    constexpr qsizetype shownBytes = 40; // a 1 MiB field must not become a 1 MiB box
    QString text = cp932::ToUnicode(bytes.first(std::min(bytes.size(), shownBytes)));
    return bytes.size() > shownBytes ? text + QStringLiteral("…") : text;
}

} // namespace

FieldList::FieldList(QByteArray frame) : m_text(std::move(frame)), m_spans(FieldSpans(m_text)) {}

FieldList::FieldList(const QByteArrayList &fields)
{
    for (const QByteArray &field : fields) {
        m_spans.push_back({m_text.size(), field.size()});
        m_text.append(field);
    }
}

QByteArrayView FieldList::view(qsizetype i) const
{
    if (i < 0 || i >= size())
        throw FrameError(QStringLiteral("%1 の %2 番目のフィールドがありません")
                             .arg(Shown(code()))
                             .arg(i)
                             .toStdString());
    const FieldSpan &span = m_spans[i];
    return QByteArrayView(m_text).sliced(span.start, span.length);
}

int FieldList::intField(qsizetype i) const
{
    const QByteArrayView text = view(i);
    if (const auto value = ParseDecimal(text))
        return *value;
    throw FrameError(QStringLiteral("%1 の %2 番目のフィールド '%3' は数値ではありません")
                         .arg(Shown(code()))
                         .arg(i)
                         .arg(Shown(text))
                         .toStdString());
}

QByteArrayList FieldList::all() const
{
    QByteArrayList fields;
    for (qsizetype i = 0; i < size(); ++i)
        fields.append(field(i));
    return fields;
}
