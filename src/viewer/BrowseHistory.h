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
    int At(int slot) const { return m_history.at(slot); }
    int Pos() const { return m_pos; }
    void SetPos(int pos) { m_pos = pos; }
    bool FromHistory = false;

private:
    std::array<int, Slots> m_history{};
    int m_pos = 0;
};
