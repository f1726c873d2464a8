#pragma once

class QWidget;

// Places the window, frame included, in the middle of its screen's free area.
void CentreOnScreen(QWidget *window);
