#pragma once

class QWidget;

// Moves a window whose frame reaches past its screen's free area (the screen
// less panels and docks) back inside it, as far as it fits. A window that
// grows downwards near the bottom of the screen would otherwise hide its
// buttons below the edge.
void KeepOnScreen(QWidget *window);
