#pragma once

#include <QElapsedTimer>

// How much time opening windows may take before the event loop must run
// again. Opening a window costs milliseconds; a burst of thousands would
// otherwise hold the program for as many seconds, and the events that each
// new window posts would pile up unhandled.
//
// A turn may open a few windows within a few milliseconds; the next turn
// then also draws them for the first time, which costs more than making them.
class OpeningPace {
public:
    static constexpr qint64 BudgetMs = 20;
    static constexpr int WindowsPerTurn = 4;

    // The event loop has run: a new turn starts with the whole budget.
    void startTurn()
    {
        m_turn.invalidate();
        m_opened = 0;
    }
    // Whether this turn's budget allows opening one more window, and if so
    // counts it; the clock starts at the turn's first question.
    bool mayOpen()
    {
        if (!m_turn.isValid())
            m_turn.start();
        if (m_opened >= WindowsPerTurn || m_turn.elapsed() >= BudgetMs)
            return false;
        ++m_opened;
        return true;
    }

private:
    QElapsedTimer m_turn;
    int m_opened = 0;
};
