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
QIcon ApplicationIcon();

} // namespace pictures
