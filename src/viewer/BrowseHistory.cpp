#include "viewer/BrowseHistory.h"

#include <algorithm>

void BrowseHistory::Record(int p)
{
    if (m_history[m_pos] == p)
        return;
    if (m_pos == Slots - 1) {
        std::copy(m_history.begin() + 1, m_history.end(), m_history.begin());
        m_history[Slots - 1] = 0;
        m_pos = Slots - 2;
    }
    std::fill(m_history.begin() + m_pos + 1, m_history.end(), 0);
    m_history[++m_pos] = p;
}
