#pragma once

#include <functional>

class QWidget;

// Asks the desktop to draw the user's eye to a window (a flashing task-bar
// entry), as a line arriving in a room the user is not looking at does. Tests
// put a recorder in its place for as long as a ScopedAttentionHook lives.
void AskForAttention(QWidget *window);

class ScopedAttentionHook {
public:
    explicit ScopedAttentionHook(std::function<void(QWidget *)> hook);
    ~ScopedAttentionHook();
    ScopedAttentionHook(const ScopedAttentionHook &) = delete;
    ScopedAttentionHook &operator=(const ScopedAttentionHook &) = delete;

private:
    std::function<void(QWidget *)> m_previous;
};
