#include "wire/Fields.h"

#include "wire/Cp932.h"

#include <charconv>

namespace {

// The frame with every field-separating TAB turned into CR LF and a CR LF after
// the last field, as the field list is then read line by line.
QByteArray FieldsAsLines(QByteArrayView frame)
{
    QByteArray lines;
    lines.reserve(frame.size() + 2);
    bool oddLeadRun = false;
    qsizetype pieceStart = 0;
    for (qsizetype i = 0; i < frame.size(); ++i) {
        const auto byte = static_cast<unsigned char>(frame[i]);
        if (byte == '\t' && !oddLeadRun) {
            lines.append(frame.sliced(pieceStart, i - pieceStart)).append("\r\n");
            pieceStart = i + 1;
        }
        oddLeadRun = cp932::IsLeadByte(byte) && !oddLeadRun;
    }
    if (pieceStart < frame.size())
        lines.append(frame.sliced(pieceStart)).append("\r\n");
    return lines;
}

} // namespace

QByteArrayList SplitFields(QByteArrayView frame)
{
    const QByteArray lines = FieldsAsLines(frame);
    QByteArrayList fields;
    qsizetype start = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const char byte = lines[i];
        if (byte != '\r' && byte != '\n')
            continue;
        fields.append(lines.sliced(start, i - start));
        if (byte == '\r' && i + 1 < lines.size() && lines[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < lines.size())
        fields.append(lines.sliced(start));
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
