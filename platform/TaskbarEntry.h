#pragma once

class QWidget;

// Whether a top-level window has a task-bar button of its own. The window
// stays a normal window (minimise button, window switching) either way; on
// X11 the wish becomes the window manager's skip-taskbar state, now if the
// window is shown and again at every showing. Elsewhere it is only recorded.
void SetSkipsTaskbar(QWidget *window, bool skip);
bool SkipsTaskbar(const QWidget *window);
