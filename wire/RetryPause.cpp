#include "wire/RetryPause.h"

#include <algorithm>

void RetryPause::failed(Clock::time_point now)
{
    m_pause = m_pause.count() == 0 ? m_first : std::min(m_pause * 2, m_longest);
    m_until = now + m_pause;
}

void RetryPause::reset()
{
    m_pause = std::chrono::milliseconds{0};
    m_until = {};
}
