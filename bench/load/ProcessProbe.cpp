#include "ProcessProbe.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

bool ReadFile(const std::string &path, std::string &text)
{
    FILE *file = std::fopen(path.c_str(), "re");
    if (!file)
        return false;
    char buffer[4096];
    text.clear();
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    std::fclose(file);
    return true;
}

// "VmRSS:     1234 kB" -> megabytes
double StatusMb(const std::string &status, const char *key)
{
    const size_t at = status.find(key);
    if (at == std::string::npos)
        return 0;
    return std::strtod(status.c_str() + at + std::strlen(key), nullptr) / 1024.0;
}

ProcessSample SampleOne(pid_t pid)
{
    ProcessSample result;
    const std::string dir = "/proc/" + std::to_string(pid);
    std::string stat;
    std::string status;
    if (!ReadFile(dir + "/stat", stat) || !ReadFile(dir + "/status", status))
        return result;
    // The command name in parentheses may hold blanks: fields count from its end.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return result;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    // After ")": state (3), ppid ... utime is field 14, stime 15.
    if (std::sscanf(stat.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
                    &stime) != 2)
        return result;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    result.valid = true;
    result.cpuSeconds = static_cast<double>(utime + stime) / ticks;
    result.rssMb = StatusMb(status, "VmRSS:");
    result.peakRssMb = StatusMb(status, "VmHWM:");
    return result;
}

} // namespace

ProcessProbe::ProcessProbe(std::vector<pid_t> pids)
{
    for (pid_t pid : pids)
        if (pid > 0)
            m_pids.push_back(pid);
}

ProcessSample ProcessProbe::sample() const
{
    ProcessSample sum;
    for (pid_t pid : m_pids) {
        const ProcessSample one = SampleOne(pid);
        if (!one.valid)
            return {};
        sum.valid = true;
        sum.cpuSeconds += one.cpuSeconds;
        sum.rssMb += one.rssMb;
        sum.peakRssMb += one.peakRssMb;
    }
    return sum;
}

std::vector<double> ProcessProbe::cpuEach() const
{
    std::vector<double> each;
    for (pid_t pid : m_pids)
        each.push_back(SampleOne(pid).cpuSeconds);
    return each;
}
