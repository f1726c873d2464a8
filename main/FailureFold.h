#pragma once

#include <QtGlobal>

#include <utility>

// Folds the boxes of failing frames. A broken or hostile server can send
// thousands of frames that fail; the user sees the first few one by one, and
// every further failure while one of their boxes is still open is counted into
// one summary, shown when the last of them closes.
class FailureFold {
public:
    static constexpr int ShownBoxes = 5;

    // A failure: true when its box is to be shown, false when it is folded.
    bool admit()
    {
        if (m_shown < ShownBoxes) {
            ++m_shown;
            return true;
        }
        ++m_folded;
        return false;
    }
    void boxOpened() { ++m_open; }
    // The count for a summary box (0: none) once no box is open any more. The
    // summary is itself one of the boxes; the run of failures ends when the
    // last box closes with nothing folded.
    qsizetype boxClosed()
    {
        if (--m_open > 0)
            return 0;
        const qsizetype folded = std::exchange(m_folded, 0);
        if (folded == 0)
            m_shown = 0;
        return folded;
    }

private:
    int m_shown = 0;      // boxes shown in the current run of failures
    qsizetype m_folded = 0;
    int m_open = 0;
};
