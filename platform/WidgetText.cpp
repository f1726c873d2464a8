#include "platform/WidgetText.h"

#include "wire/Cp932.h"

#include <QRegularExpression>

QString ToWidgetText(const QByteArray &cp932Bytes)
{
    return cp932::ToUnicode(cp932Bytes);
}

QByteArray FromWidgetText(const QString &text)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n|\u2028|\u2029"));
    QString normalized = text;
    normalized.replace(lineBreak, QStringLiteral("\r\n"));
    return cp932::FromUnicode(normalized);
}

QString ToLabelText(const QByteArray &cp932Bytes, qsizetype maxBytes)
{
    if (cp932Bytes.size() <= maxBytes)
        return ToWidgetText(cp932Bytes);
    qsizetype cut = maxBytes;
    if (cp932::IsTrailByteAt(cp932Bytes, cut))
        --cut; // the character would lose its second byte
    return cp932::ToUnicode(QByteArrayView(cp932Bytes).first(cut)) + QStringLiteral("…");
}
