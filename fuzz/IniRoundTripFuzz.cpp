// Any file survives being read and written unchanged, and setting a key
// changes that key alone: it reads back as set, and every other key of the
// file reads as before.
#include "settings/IniDocument.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Keys the program reads; a fuzzed file may hold them or not.
constexpr QByteArrayView Keys[][2] = {
    {"SYSTEM", "HOST"}, {"SYSTEM", "PORT"}, {"USER", "ID"}, {"USER", "PWD"}, {"MFORM", "LEFT"},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const QByteArrayView input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const auto which = static_cast<unsigned char>(input[0]) % std::size(Keys);
    // The new value: plain printable bytes, as the program writes them.
    QByteArray value;
    for (char c : input.sliced(1, std::min<qsizetype>(8, input.size() - 1)))
        value.append(static_cast<char>('a' + static_cast<unsigned char>(c) % 26));
    const QByteArrayView file = input.sliced(1);

    IniDocument document = IniDocument::Parse(file);
    if (document.toBytes() != file)
        std::abort();
    QByteArray before[std::size(Keys)];
    for (size_t k = 0; k < std::size(Keys); ++k)
        before[k] = document.value(Keys[k][0], Keys[k][1]);

    document.setValue(Keys[which][0], Keys[which][1], value);
    const IniDocument reread = IniDocument::Parse(document.toBytes());
    for (size_t k = 0; k < std::size(Keys); ++k) {
        const QByteArray expected = k == which ? value : before[k];
        if (reread.value(Keys[k][0], Keys[k][1]) != expected)
            std::abort();
    }
    return 0;
}
