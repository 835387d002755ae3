#pragma once

#include "engine/renameitem.h"

#include <QList>
#include <QString>

// Which rows of a list hold which paths, so that "is this path listed?" does not scan
// the list. A table of row numbers, each placed by a hash of its row's path; the texts
// are read from the rows themselves, so a row costs 11 to 21 bytes here however long
// its path. Two rows may hold one path (a batch can leave them so). Paths are equal
// when their folders and names are, with A-Z taken as a-z on Windows (see pathKey).
class ListedRows
{
public:
    // The first row found that holds folder + fileName, or -1; itemAt(row) gives the
    // item of a listed row.
    template <typename ItemAt>
    qsizetype find(const QString &folder, const QString &fileName, const ItemAt &itemAt) const
    {
        if (m_slots.isEmpty())
            return -1;
        const quint32 hash = pathHash(folder, fileName);
        const qsizetype mask = m_slots.size() - 1;
        for (qsizetype at = hash & mask;; at = (at + 1) & mask) {
            const Slot &slot = m_slots.at(at);
            if (slot.row == EmptySlot)
                return -1;
            if (slot.hash == hash && holds(itemAt(slot.row), folder, fileName))
                return slot.row;
        }
    }
    // Lists row for item's path unless a row holds that path already; returns whether
    // it was new.
    template <typename ItemAt>
    bool insertIfNew(qsizetype row, const RenameItem &item, const ItemAt &itemAt)
    {
        if (find(item.folder, item.fileName, itemAt) >= 0)
            return false;
        insert(row, item);
        return true;
    }
    // Lists row for item's path, also when another row holds it.
    void insert(qsizetype row, const RenameItem &item);
    // Makes room for count more rows at once.
    void reserve(qsizetype count);
    // The rows were moved or removed: newRowOf[old row] is the new row, or -1.
    void renumber(const QList<int> &newRowOf);
    void clear();

private:
    static constexpr quint32 EmptySlot = ~quint32(0);
    struct Slot
    {
        quint32 row = EmptySlot;
        quint32 hash = 0;
    };

    quint32 pathHash(const QString &folder, const QString &fileName) const;
    static bool holds(const RenameItem &item, const QString &folder, const QString &fileName);
    void place(quint32 row, quint32 hash);
    void resize(qsizetype slotCount);

    QList<Slot> m_slots; // a power of two in size, at most three quarters used
    qsizetype m_used = 0;
    // The hash of the last folder looked at, which the next row mostly shares.
    mutable QString m_lastFolder;
    mutable size_t m_lastFolderHash = 0;
};
