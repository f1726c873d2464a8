#include "FileModesApply.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Capabilities are per thread; the raw calls need no library.
bool Capabilities(__user_cap_data_struct (&data)[2], bool set)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(set ? SYS_capset : SYS_capget, &header, data) == 0;
}

constexpr unsigned Bit(int capability)
{
    return 1u << capability;
}

} // namespace

FileModesApply::FileModesApply()
{
    __user_cap_data_struct data[2] = {};
    if (geteuid() != 0 || !Capabilities(data, false))
        return;
    m_effective[0] = data[0].effective;
    m_effective[1] = data[1].effective;
    data[0].effective &= ~(Bit(CAP_DAC_OVERRIDE) | Bit(CAP_DAC_READ_SEARCH) | Bit(CAP_FOWNER));
    m_dropped = Capabilities(data, true);
}

FileModesApply::~FileModesApply()
{
    if (!m_dropped)
        return;
    __user_cap_data_struct data[2] = {};
    if (!Capabilities(data, false))
        return;
    data[0].effective = m_effective[0];
    data[1].effective = m_effective[1];
    Capabilities(data, true);
}
