#pragma once

#include <sys/types.h>

#include <vector>

// What /proc tells of the server under load: CPU seconds (user + system, all
// threads), resident memory now and at its peak (VmHWM). Without a process
// id every reading is absent. Of several processes (the nodes of a cluster,
// say) the readings are sums, and cpuEach() tells them apart.
struct ProcessSample {
    bool valid = false;
    double cpuSeconds = 0;
    double rssMb = 0;
    double peakRssMb = 0;
};

class ProcessProbe {
public:
    explicit ProcessProbe(pid_t pid) : ProcessProbe(std::vector<pid_t>{pid}) {}
    explicit ProcessProbe(std::vector<pid_t> pids);
    ProcessSample sample() const;
    // CPU seconds of each process, in the order given.
    std::vector<double> cpuEach() const;
    size_t count() const { return m_pids.size(); }
    bool active() const { return !m_pids.empty(); }

private:
    std::vector<pid_t> m_pids; // those above 0
};
