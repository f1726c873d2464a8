// What CleanFieldText promises: at most the limit, no TAB, no CR LF pair, no
// lead byte left without its second byte, and cleaning twice changes nothing.
#include "wire/Cp932.h"
#include "wire/Fields.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const qsizetype limit = data[0]; // 0 to 255 bytes
    const QByteArrayView text(reinterpret_cast<const char *>(data) + 1, static_cast<qsizetype>(size) - 1);
    const QByteArray clean = CleanFieldText(text, limit);
    if (clean.size() > limit || clean.contains('\t') || clean.contains("\r\n"))
        std::abort();
    if (!clean.isEmpty() && cp932::IsTrailByteAt(clean, clean.size()))
        std::abort(); // the last byte opens a character whose second byte is gone
    if (CleanFieldText(clean, limit) != clean)
        std::abort();
    return 0;
}
