#pragma once

#include <QIcon>
#include <QList>
#include <QPixmap>

// The pictures the windows show, loaded from the compiled-in resources.
namespace pictures {

QPixmap BackImage();        // the main window's background while the tree is hidden
QPixmap LogonBanner();      // 280 x 60, logon dialog
QPixmap AboutBanner();      // 280 x 60, about box
QList<QPixmap> ImageList1(); // six 16 x 16 state images, index = node state
QList<QPixmap> ImageSrvState(); // 0 not connected, 1 connected
QPixmap OwnStatePicture(int state); // 32 x 32 square of an own state: 3 green, 2 red, 4 black

// A picture for screens of the given density: above 1, its "@2x" file (twice
// the pixels, the same size on screen) where there is one. The state and
// own-state pictures have them.
QPixmap PictureAt(const QString &path, qreal devicePixelRatio);
QIcon ApplicationIcon();

} // namespace pictures
