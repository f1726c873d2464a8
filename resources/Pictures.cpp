#include "resources/Pictures.h"

namespace pictures {

QPixmap BackImage()
{
    return QPixmap(QStringLiteral(":/images/back.jpg"));
}

QPixmap LogonBanner()
{
    return QPixmap(QStringLiteral(":/images/logon-banner.jpg"));
}

QPixmap AboutBanner()
{
    return QPixmap(QStringLiteral(":/images/about-banner.jpg"));
}

QList<QPixmap> ImageList1()
{
    QList<QPixmap> images;
    for (int i = 0; i < 6; ++i)
        images.append(QPixmap(QStringLiteral(":/images/state%1.png").arg(i)));
    return images;
}

QList<QPixmap> ImageSrvState()
{
    return {QPixmap(QStringLiteral(":/images/server-offline.png")),
            QPixmap(QStringLiteral(":/images/server-online.png"))};
}

QPixmap OwnStatePicture(int state)
{
    switch (state) {
    case 2:
        return QPixmap(QStringLiteral(":/images/own-state-away.png"));
    case 4:
        return QPixmap(QStringLiteral(":/images/own-state-busy.png"));
    default:
        return QPixmap(QStringLiteral(":/images/own-state-available.png"));
    }
}

QIcon ApplicationIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/vantrel-im-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace pictures
