#pragma once

#include "wire/FrameSender.h"

#include <QByteArrayList>

// Stands in for the main window's send: keeps every frame, in order.
class FrameRecorder : public FrameSender {
public:
    void SendFrame(const QByteArray &frame) override { frames.append(frame); }
    QByteArrayList frames;
};
