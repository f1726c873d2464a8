#include "resources/Pictures.h"

#include <QGuiApplication>

namespace pictures {

QPixmap PictureAt(const QString &path, qreal devicePixelRatio)
{
    if (devicePixelRatio > 1.0) {
        QString dense = path;
        dense.insert(dense.lastIndexOf(QLatin1Char('.')), QStringLiteral("@2x"));
        QPixmap picture(dense);
        if (!picture.isNull()) {
            picture.setDevicePixelRatio(2.0);
            return picture;
        }
    }
    return QPixmap(path);
}

namespace {

// The picture for the density of the screens the program draws on.
QPixmap Picture(const QString &path)
{
    const auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    return PictureAt(path, app ? app->devicePixelRatio() : 1.0);
}

} // namespace

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
        images.append(Picture(QStringLiteral(":/images/state%1.png").arg(i)));
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
        return Picture(QStringLiteral(":/images/own-state-away.png"));
    case 4:
        return Picture(QStringLiteral(":/images/own-state-busy.png"));
    default:
        return Picture(QStringLiteral(":/images/own-state-available.png"));
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
