#pragma once

#include <QByteArray>
#include <QByteArrayList>

#include <stdexcept>

// A frame that a handler cannot use: a field it needs is missing or not a
// number. The handler stops at once; the drain reports the text and goes on.
class FrameError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error; // the text is UTF-8
};

// The fields of one inbound frame as its handler reads them. Every handler
// reads through field() and intField(), so every malformed frame fails alike.
class FieldList {
public:
    explicit FieldList(QByteArrayList fields) : m_fields(std::move(fields)) {}

    qsizetype size() const { return m_fields.size(); }
    const QByteArray &code() const { return m_fields.front(); }

    // Field i, or FrameError naming the code and the field.
    const QByteArray &field(qsizetype i) const;
    // Field i as a decimal number, or FrameError.
    int intField(qsizetype i) const;
    // Field i, or the empty text when the frame is shorter.
    QByteArray fieldOr(qsizetype i) const { return m_fields.value(i); }

    const QByteArrayList &all() const { return m_fields; }

private:
    QByteArrayList m_fields;
};
