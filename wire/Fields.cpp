#include "wire/Fields.h"

#include "wire/Cp932.h"

#include <array>

#include <charconv>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// TAB, CR and LF: the bytes at which a field may end.
constexpr auto SeparatorBytes = [] {
    std::array<bool, 256> table{};
    table['\t'] = table['\r'] = table['\n'] = true;
    return table;
}();

// The first TAB, CR or LF at or after `from`, or `size` when there is none.
// Sixteen bytes at a time where the processor allows: most bytes of a frame
// are field text.
qsizetype FindSeparator(const char *data, qsizetype from, qsizetype size)
{
    qsizetype i = from;
#ifdef __SSE2__
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= size; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, tab), _mm_cmpeq_epi8(block, cr)),
                                          _mm_cmpeq_epi8(block, lf));
        if (const int mask = _mm_movemask_epi8(hits))
            return i + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    for (; i < size; ++i)
        if (SeparatorBytes[static_cast<unsigned char>(data[i])])
            return i;
    return size;
}

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
    for (qsizetype i = FindSeparator(data, 0, size); i < size; i = FindSeparator(data, i + 1, size)) {
        const bool tab = data[i] == '\t';
        if (tab && cp932::IsTrailByteAt(frame, i, start))
            continue; // the second byte of a double-byte character
        spans.push_back({start, i - start});
        if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n')
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
