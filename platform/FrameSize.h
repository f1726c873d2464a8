#pragma once

#include <QSize>

class QWidget;

// Sizes a top-level window by its outer frame, title bar and borders
// included. The frame's thickness is known only once the window manager has
// framed the shown window, so the window is sized by `outer` now and corrected
// once, when a frame first shows up around it.
void ResizeFrameTo(QWidget *window, QSize outer);
