#include "wire/Cp932.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace cp932 {

bool IsTrailByteAt(QByteArrayView text, qsizetype pos, qsizetype begin)
{
    qsizetype run = 0;
    for (qsizetype i = pos - 1; i >= begin && IsLeadByte(static_cast<unsigned char>(text[i])); --i)
        ++run;
    return run % 2 == 1;
}

namespace {

// An iconv descriptor, opened once per thread and direction: opening one costs
// far more than converting a name, and names are converted on every repaint.
class Converter {
public:
    Converter(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (valid())
            iconv_close(m_cd);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    // The descriptor, back in its initial state.
    iconv_t reset()
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        return m_cd;
    }

private:
    iconv_t m_cd;
};

// One conversion; `replacement` stands in for every input sequence that
// cannot be converted, and conversion goes on after it.
template <typename Skip>
std::vector<char> Convert(Converter &converter, QByteArrayView input, QByteArrayView replacement,
                          Skip skipBadInput)
{
    std::vector<char> out;
    if (!converter.valid())
        return out;
    iconv_t cd = converter.reset();
    out.resize(static_cast<size_t>(input.size()) * 2 + 16);
    char *in = const_cast<char *>(input.data());
    size_t inLeft = static_cast<size_t>(input.size());
    size_t used = 0;
    while (inLeft > 0) {
        char *outPtr = out.data() + used;
        size_t outLeft = out.size() - used;
        size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        used = out.size() - outLeft;
        if (rc != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else { // EILSEQ or EINVAL: an input sequence that cannot be converted
            if (out.size() - used < static_cast<size_t>(replacement.size()))
                out.resize(out.size() * 2 + static_cast<size_t>(replacement.size()));
            std::copy(replacement.begin(), replacement.end(), out.begin() + static_cast<std::ptrdiff_t>(used));
            used += static_cast<size_t>(replacement.size());
            size_t skip = skipBadInput(in, inLeft);
            in += skip;
            inLeft -= skip;
        }
    }
    out.resize(used);
    return out;
}

} // namespace

QString ToUnicode(QByteArrayView bytes)
{
    static const char16_t replacement = 0xFFFD;
    thread_local Converter toUtf16("UTF-16LE", "CP932");
    const auto out = Convert(toUtf16, bytes,
                             QByteArrayView(reinterpret_cast<const char *>(&replacement), 2),
                             [](const char *, size_t) -> size_t { return 1; });
    return QString(reinterpret_cast<const QChar *>(out.data()), static_cast<qsizetype>(out.size() / 2));
}

QByteArray FromUnicode(const QString &text)
{
    const QByteArrayView utf16(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    // Skip one UTF-16 unit, or a whole surrogate pair, per character cp932 lacks.
    thread_local Converter toCp932("CP932", "UTF-16LE");
    const auto out = Convert(toCp932, utf16, "?", [](const char *in, size_t left) -> size_t {
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(in[0]) |
                                                (static_cast<unsigned char>(in[1]) << 8));
        return (QChar::isHighSurrogate(unit) && left >= 4) ? 4 : 2;
    });
    return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

} // namespace cp932
