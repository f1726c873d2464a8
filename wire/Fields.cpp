#include "wire/Fields.h"

#include "wire/Cp932.h"

#include <array>

#include <charconv>

namespace {

// TAB, CR and LF: the bytes at which a field may end.
constexpr auto SeparatorBytes = [] {
    std::array<bool, 256> table{};
    table['\t'] = table['\r'] = table['\n'] = true;
    return table;
}();

} // namespace

// One pass over the frame. Fields end at a TAB that is not the second byte of
// a double-byte character, and also at CR LF, a lone CR or a lone LF. A TAB
// at the very end adds no field; a line break there adds an empty one. Only
// at a TAB are the lead bytes before it counted, back to the field's start,
// so every byte is looked at about once.
FieldSpanList FieldSpans(QByteArrayView frame)
{
    const qsizetype size = frame.size();
    const char *data = frame.data();
    FieldSpanList spans;
    bool endedByTab = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        if (!SeparatorBytes[byte])
            continue;
        const bool tab = byte == '\t';
        if (tab && cp932::IsTrailByteAt(frame, i, start))
            continue; // the second byte of a double-byte character
        spans.push_back({start, i - start});
        if (byte == '\r' && i + 1 < size && data[i + 1] == '\n')
            ++i;
        start = i + 1;
        endedByTab = tab;
    }
    if (start < size || (size > 0 && !endedByTab))
        spans.push_back({start, size - start});
    return spans;
}

QByteArrayList SplitFields(QByteArrayView frame)
{
    const FieldSpanList spans = FieldSpans(frame);
    QByteArrayList fields;
    fields.reserve(spans.size());
    for (const FieldSpan &span : spans)
        fields.append(frame.sliced(span.start, span.length).toByteArray());
    return fields;
}

QByteArray CleanFieldText(QByteArrayView text, qsizetype limit)
{
    const QByteArrayView kept = text.first(std::clamp<qsizetype>(limit, 0, text.size()));
    // TABs go before CR LF pairs are cancelled, so CR TAB LF cannot close up
    // into a frame delimiter. Cancelling against the end of the output removes
    // pairs that only meet once an inner pair is gone, as repeated removal would.
    QByteArray clean;
    clean.reserve(kept.size());
    for (char byte : kept) {
        if (byte == '\t')
            continue;
        if (byte == '\n' && clean.endsWith('\r'))
            clean.chop(1);
        else
            clean.append(byte);
    }
    const qsizetype last = clean.size() - 1;
    if (last >= 0 && cp932::IsLeadByte(static_cast<unsigned char>(clean[last])) &&
        !cp932::IsTrailByteAt(clean, last))
        clean.chop(1);
    return clean;
}

std::optional<int> ParseDecimal(QByteArrayView text)
{
    const char *begin = text.data();
    const char *end = begin + text.size();
    const bool plus = begin != end && *begin == '+';
    if (plus)
        ++begin;
    if (begin == end || (*begin == '-' && (plus || begin + 1 == end)))
        return std::nullopt;
    int value = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}
