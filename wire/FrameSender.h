#pragma once

#include <QByteArray>

// Whatever can put a frame on the wire. The main window is the one real sender;
// the windows it opens (conversations, rooms, dialogs) get it at construction,
// so they need not know the main window, and tests can hand them a recorder.
class FrameSender {
public:
    // Writes the frame (without its CR LF); dropped silently while not connected.
    virtual void SendFrame(const QByteArray &frame) = 0;

protected:
    ~FrameSender() = default;
};
