#include "wire/FieldList.h"

#include "wire/Cp932.h"
#include "wire/Fields.h"

#include <QString>

namespace {

QString Shown(const QByteArray &bytes)
{
    constexpr qsizetype shownBytes = 40; // a 1 MiB field must not become a 1 MiB box
    QString text = cp932::ToUnicode(bytes.first(std::min(bytes.size(), shownBytes)));
    return bytes.size() > shownBytes ? text + QStringLiteral("…") : text;
}

} // namespace

const QByteArray &FieldList::field(qsizetype i) const
{
    if (i < 0 || i >= m_fields.size())
        throw FrameError(QStringLiteral("%1 の %2 番目のフィールドがありません")
                             .arg(Shown(code()))
                             .arg(i)
                             .toStdString());
    return m_fields[i];
}

int FieldList::intField(qsizetype i) const
{
    const QByteArray &text = field(i);
    if (const auto value = ParseDecimal(text))
        return *value;
    throw FrameError(QStringLiteral("%1 の %2 番目のフィールド '%3' は数値ではありません")
                         .arg(Shown(code()))
                         .arg(i)
                         .arg(Shown(text))
                         .toStdString());
}
