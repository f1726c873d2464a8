#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>

#include <optional>

#include <QVarLengthArray>

// Where one field lies in its frame.
struct FieldSpan {
    qsizetype start;
    qsizetype length;
};

// Room for the fields of any ordinary frame without a separate allocation.
using FieldSpanList = QVarLengthArray<FieldSpan, 12>;

// The fields of a frame, field 0 (the code) first. A TAB that respects
// double-byte characters separates fields; a trailing TAB adds no field; a lone
// CR or LF inside a field splits it as well. FieldSpans only says where they
// lie, so reading a frame needs no copy of its fields.
FieldSpanList FieldSpans(QByteArrayView frame);
QByteArrayList SplitFields(QByteArrayView frame);

// Makes text fit to be a field value: cut to `limit` bytes, TABs and CR LF
// pairs removed, a lead byte left dangling by the cut dropped.
QByteArray CleanFieldText(QByteArrayView text, qsizetype limit);

// A decimal number as the wire writes it: an optional sign, then digits, in
// the range of a 32-bit signed integer. Anything else is not a number.
std::optional<int> ParseDecimal(QByteArrayView text);
