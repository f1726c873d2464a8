#pragma once

#include "wire/Fields.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>

#include <stdexcept>

// A frame that a handler cannot use: a field it needs is missing or not a
// number. The handler stops at once; the drain reports the text and goes on.
class FrameError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error; // the text is UTF-8
};

// The fields of one inbound frame as its handler reads them. Every handler
// reads through field(), view() and intField(), so every malformed frame fails
// alike. The frame is kept whole and a field is copied only when asked for.
class FieldList {
public:
    // The fields of a frame, split as the wire splits them.
    explicit FieldList(QByteArray frame);
    // Fields given one by one.
    explicit FieldList(const QByteArrayList &fields);

    qsizetype size() const { return m_spans.size(); }
    // Field 0; the empty text for a frame without fields.
    QByteArrayView code() const { return size() > 0 ? view(0) : QByteArrayView(); }

    // Field i, or FrameError naming the code and the field.
    QByteArray field(qsizetype i) const { return view(i).toByteArray(); }
    QByteArrayView view(qsizetype i) const;
    // Field i as a decimal number, or FrameError.
    int intField(qsizetype i) const;
    // Field i, or the empty text when the frame is shorter.
    QByteArray fieldOr(qsizetype i) const { return i >= 0 && i < size() ? field(i) : QByteArray(); }

    QByteArrayList all() const;

private:
    QByteArray m_text;
    FieldSpanList m_spans;
};
