#include "platform/ShellOpen.h"

#include "platform/Ui.h"
#include "wire/Cp932.h"

#include <QUrl>

void ShellOpen(QByteArrayView target)
{
    const QString text = cp932::ToUnicode(target).trimmed();
    static const QString mailto = QStringLiteral("mailto:");
    QUrl url;
    if (text.startsWith(mailto, Qt::CaseInsensitive)) {
        // The address is the path of the link, so "?", "#" or a second scheme
        // in it stays part of the address.
        url.setScheme(QStringLiteral("mailto"));
        url.setPath(text.mid(mailto.size()), QUrl::DecodedMode);
    } else {
        url = QUrl(text, QUrl::StrictMode);
        if (url.scheme() != u"http" && url.scheme() != u"https")
            return;
    }
    if (url.isValid())
        ui::OpenUrl(url);
}
