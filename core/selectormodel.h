#pragma once

#include <optional>

namespace tvl {

// What the task selector keeps beside its entries: the entry with unsaved edits (the
// pending task), edits left on screen after a refused save, and an entry remembered while
// a save moves entries. A saved task's entry moves to where its line went in the task
// file (before hidden lines), and a new task dropped unsaved leaves the selector; every
// index held here follows such moves, so it names the same task afterwards.
class SelectorModel {
public:
    // The pending entry; -1 for none.
    int pending() const { return m_pending; }
    bool hasPending() const { return m_pending >= 0; }
    void setPending(int entry) { m_pending = entry < 0 ? -1 : entry; }
    void clearPending() { m_pending = -1; }

    // Edits stay on screen after the save question's save was refused, though nothing is
    // pending any more.
    bool refusedEdits() const { return m_refusedEdits; }
    void setRefusedEdits(bool on) { m_refusedEdits = on; }

    // The editor shows something that is not in the task file: the minute timer must not
    // load another task over it.
    bool editsOnScreen() const { return hasPending() || m_refusedEdits; }

    // The entry picked when the save question came; it follows the moves of the save.
    void remember(int entry) { m_remembered = entry; }
    std::optional<int> remembered() const { return m_remembered; }
    // The remembered entry, forgotten; -1 when none was remembered or it was removed.
    int takeRemembered();

    // Entry `from` moves to `to`; the pending and remembered entries follow it. Returns
    // where the entry at `current` is afterwards.
    int moveEntry(int from, int to, int current);
    // Entry `entry` leaves; those after it move up, one that named it becomes -1. Returns
    // where the entry at `current` is afterwards.
    int removeEntry(int entry, int current);

    // Where `index` is after entry `from` moved to `to`.
    static int followMove(int index, int from, int to);
    // Where `index` is after entry `removed` left; -1 when it was that entry.
    static int followRemoval(int index, int removed);

private:
    int m_pending = -1;
    bool m_refusedEdits = false;
    std::optional<int> m_remembered;
};

}  // namespace tvl
