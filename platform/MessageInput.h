#pragma once

#include <functional>

class QTextEdit;
class QWidget;

// The input box of a message: plain text, a vertical scroll bar, Tab leaves
// the box. Its key presses and releases go to the window's handlers; a press
// the handler consumes never reaches the box (Enter sends instead of breaking
// the line). A conversion confirmed in an input method arrives as a commit,
// not as a key press, so its Enter never reaches the handler.
struct MessageInputHandlers {
    std::function<void(bool &consumed, int key)> keyDown;
    std::function<void()> keyUp; // may be empty
};

QTextEdit *NewMessageInput(QWidget *parent, MessageInputHandlers handlers);
