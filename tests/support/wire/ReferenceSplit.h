#pragma once

#include "wire/Cp932.h"

#include <QByteArray>
#include <QByteArrayList>

// For tests and fuzzing, the field split written plainly, so that the fast
// one can be checked against it. The fields as the service defines them, in two steps: every separating TAB
// becomes CR LF (and CR LF follows a non-empty remainder), then the text is
// read line by line, a line ending at CR LF, a lone CR or a lone LF.
inline QByteArrayList ReferenceSplit(const QByteArray &frame)
{
    QByteArray lines;
    bool odd = false;
    qsizetype piece = 0;
    for (qsizetype i = 0; i < frame.size(); ++i) {
        const auto byte = static_cast<unsigned char>(frame[i]);
        if (byte == '\t' && !odd) {
            lines += frame.mid(piece, i - piece) + "\r\n";
            piece = i + 1;
        }
        odd = cp932::IsLeadByte(byte) && !odd;
    }
    if (piece < frame.size())
        lines += frame.mid(piece) + "\r\n";
    QByteArrayList fields;
    qsizetype start = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i] != '\r' && lines[i] != '\n')
            continue;
        fields.append(lines.mid(start, i - start));
        if (lines[i] == '\r' && i + 1 < lines.size() && lines[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    return fields;
}
