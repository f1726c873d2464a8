// The one-pass field split agrees with the plain two-step definition, and
// the spans it gives lie inside the frame.
#include "wire/Fields.h"
#include "wire/ReferenceSplit.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray frame(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    for (const FieldSpan &span : FieldSpans(frame))
        if (span.start < 0 || span.length < 0 || span.start + span.length > frame.size())
            std::abort();
    if (SplitFields(frame) != ReferenceSplit(frame))
        std::abort();
    return 0;
}
