#pragma once

#include <array>

/**
 * @short The browse history of the main window: the last ten row positions shown (1-based),
 * with the current slot. Shared by both lists; the steps back and forth use FromHistory so
 * that a row reached by a step is not recorded again.
 */
class BrowseHistory
{
public:
    static constexpr int Slots = 10;

    /** @short Records row position @p p after the current slot, dropping the forward part. */
    void Record(int p);
    /**
     * @short A step back (@p direction -1) or forward (+1): the recorded position of the
     * neighbouring slot, or 0 when that slot is empty or out of range (the current slot stays).
     * A position beyond @p rowCount (the list was refilled with fewer rows) is stepped over:
     * the slot becomes current, but 0 is returned. A position returned sets FromHistory.
     */
    int Step(int direction, int rowCount);
    int At(int slot) const { return m_history.at(slot); }
    int Pos() const { return m_pos; }
    void SetPos(int pos) { m_pos = pos; }
    bool FromHistory = false;

private:
    std::array<int, Slots> m_history{};
    int m_pos = 0;
};
