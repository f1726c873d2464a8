#pragma once

#include <array>
#include <string_view>

// Every code the server sends, once, in the order the dispatcher tests them.
// The handler table of the main window is built from this list.
#define VANTREL_INBOUND_CODES(X) \
    X("000", Proc000)            \
    X("001", Proc001)            \
    X("002", Proc002)            \
    X("LSETS", ProcLSETS)        \
    X("LSETD", ProcLSETD)        \
    X("LSETE", ProcLSETE)        \
    X("UADD", ProcUADD)          \
    X("UDEL", ProcUDEL)          \
    X("MSG", ProcMSG)            \
    X("MSI", ProcMSI)            \
    X("STC", ProcSTC)            \
    X("MRM", ProcMRM)            \
    X("MRJ", ProcMRJ)            \
    X("MRD", ProcMRD)            \
    X("AMS", ProcAMS)

namespace inbound {

#define VANTREL_CODE_TEXT(code, handler) std::string_view(code),
inline constexpr std::array Codes{VANTREL_INBOUND_CODES(VANTREL_CODE_TEXT)};
#undef VANTREL_CODE_TEXT

constexpr bool AllDistinct()
{
    for (std::size_t i = 0; i < Codes.size(); ++i)
        for (std::size_t j = i + 1; j < Codes.size(); ++j)
            if (Codes[i] == Codes[j])
                return false;
    return true;
}
static_assert(AllDistinct(), "an inbound code is listed twice");

} // namespace inbound
