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
