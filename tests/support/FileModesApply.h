#pragma once

// While alive, file modes bind this thread even when the tests run as root:
// the capabilities that let root read and write past them are dropped from
// its effective set, and given back afterwards. For anyone else it changes
// nothing.
class FileModesApply {
public:
    FileModesApply();
    ~FileModesApply();
    FileModesApply(const FileModesApply &) = delete;
    FileModesApply &operator=(const FileModesApply &) = delete;

private:
    bool m_dropped = false;
    unsigned m_effective[2] = {};
};
