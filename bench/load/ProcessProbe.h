#pragma once

#include <sys/types.h>

// What /proc tells of the server under load: CPU seconds (user + system, all
// threads), resident memory now and at its peak (VmHWM). Without a process
// id every reading is absent.
struct ProcessSample {
    bool valid = false;
    double cpuSeconds = 0;
    double rssMb = 0;
    double peakRssMb = 0;
};

class ProcessProbe {
public:
    explicit ProcessProbe(pid_t pid) : m_pid(pid) {}
    ProcessSample sample() const;
    bool active() const { return m_pid > 0; }

private:
    pid_t m_pid;
};
