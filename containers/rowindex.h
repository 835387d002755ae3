#pragma once

#include <QList>
#include <QtGlobal>

#include <algorithm>
#include <bit>
#include <utility>
#include <vector>

// Row numbers placed by their keys' hashes, so that a look-up by key does not scan the
// rows. Open addressing with linear probing over a power-of-two array of slots, at most
// three quarters used. The keys are not kept here: they stay in the caller's rows, and a
// look-up compares them through matches(row). A slot keeps its row's 32-bit hash, so a
// look past other rows rarely reads their keys, and growing never needs a key again.
// Several rows may have one key.
class RowIndex
{
public:
    // The first row placed under hash for which matches(row) holds, or -1.
    template <typename Matches>
    qsizetype find(quint32 hash, const Matches &matches) const
    {
        if (m_slots.empty())
            return -1;
        for (size_t at = hash & m_mask;; at = (at + 1) & m_mask) {
            const Slot &slot = m_slots[at];
            if (slot.row == EmptySlot)
                return -1;
            if (slot.hash == hash && matches(qsizetype(slot.row)))
                return qsizetype(slot.row);
        }
    }

    // Places row under hash, also when another row has the same key.
    void insert(qsizetype row, quint32 hash)
    {
        reserve(1);
        place({quint32(row), hash});
        ++m_used;
    }

    // Takes row, placed under hash, out again; returns whether it was there. The slots
    // after it in its run move back where their hashes allow, so that no look-up for
    // them stops early at the hole (no tombstones to clear up later).
    bool remove(qsizetype row, quint32 hash)
    {
        if (m_slots.empty())
            return false;
        size_t hole = hash & m_mask;
        while (m_slots[hole].row != quint32(row) || m_slots[hole].hash != hash) {
            if (m_slots[hole].row == EmptySlot)
                return false;
            hole = (hole + 1) & m_mask;
        }
        for (size_t next = (hole + 1) & m_mask; m_slots[next].row != EmptySlot;
             next = (next + 1) & m_mask) {
            // A slot may fill the hole when the hole lies between its home and it.
            const size_t home = m_slots[next].hash & m_mask;
            if (((next - home) & m_mask) >= ((next - hole) & m_mask)) {
                m_slots[hole] = m_slots[next];
                hole = next;
            }
        }
        m_slots[hole] = Slot();
        --m_used;
        return true;
    }

    // Makes room for count more rows without growing on the way.
    void reserve(qsizetype count)
    {
        const qsizetype needed = (m_used + count) * 4 / 3 + 1;
        if (needed > qsizetype(m_slots.size()))
            rehash(size_t(std::bit_ceil(quint64(std::max<qsizetype>(needed, 16)))));
    }

    // The rows were moved or removed: newRowOf[old row] is the new row, or -1.
    void renumber(const QList<int> &newRowOf)
    {
        std::vector<Slot> old = std::exchange(m_slots, std::vector<Slot>(m_slots.size()));
        m_used = 0;
        for (const Slot &slot : old) {
            if (slot.row == EmptySlot)
                continue;
            const int row = newRowOf.at(slot.row);
            if (row >= 0) {
                place({quint32(row), slot.hash});
                ++m_used;
            }
        }
    }

    void clear()
    {
        m_slots = std::vector<Slot>();
        m_mask = 0;
        m_used = 0;
    }

    qsizetype size() const { return m_used; }
    // The length of the slot array; a hash's slot is hash modulo this.
    qsizetype slotCount() const { return qsizetype(m_slots.size()); }

private:
    static constexpr quint32 EmptySlot = ~quint32(0);
    struct Slot
    {
        quint32 row = EmptySlot;
        quint32 hash = 0;
    };

    void place(Slot slot)
    {
        size_t at = slot.hash & m_mask;
        while (m_slots[at].row != EmptySlot)
            at = (at + 1) & m_mask;
        m_slots[at] = slot;
    }

    void rehash(size_t slotCount)
    {
        std::vector<Slot> old = std::exchange(m_slots, std::vector<Slot>(slotCount));
        m_mask = slotCount - 1;
        for (const Slot &slot : old) {
            if (slot.row != EmptySlot)
                place(slot);
        }
    }

    std::vector<Slot> m_slots;
    size_t m_mask = 0;
    qsizetype m_used = 0;
};
