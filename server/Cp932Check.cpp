#include "server/Cp932Check.h"

#include "wire/Cp932.h"

bool IsWellFormedCp932(QByteArrayView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (cp932::IsLeadByte(byte)) {
            if (++i == text.size())
                return false;
            const auto trail = static_cast<unsigned char>(text[i]);
            if (trail < 0x40 || trail == 0x7F || trail > 0xFC)
                return false;
        } else if (byte == 0x00 || byte == 0x80 || byte == 0xA0 || byte >= 0xFD) {
            return false;
        }
    }
    return true;
}
