#include "filelist/listedrows.h"

#include "engine/asciitext.h"

#include <QHash>

#include <bit>

namespace {

size_t textHash(const QString &text, size_t seed)
{
#ifdef Q_OS_WIN
    return qHash(QStringView(pathKey(text)), seed);
#else
    return qHash(QStringView(text), seed);
#endif
}

bool sameText(const QString &a, const QString &b)
{
    if (a.constData() == b.constData() && a.size() == b.size())
        return true;
#ifdef Q_OS_WIN
    return equalsAsciiCaseless(a, b);
#else
    return a == b;
#endif
}

} // namespace

quint32 ListedRows::pathHash(const QString &folder, const QString &fileName) const
{
    if (folder.constData() != m_lastFolder.constData() || folder.size() != m_lastFolder.size()) {
        m_lastFolder = folder;
        m_lastFolderHash = textHash(folder, 0);
    }
    const size_t hash = textHash(fileName, m_lastFolderHash);
    return quint32(hash ^ (hash >> 32));
}

bool ListedRows::holds(const RenameItem &item, const QString &folder, const QString &fileName)
{
    return sameText(item.fileName, fileName) && sameText(item.folder, folder);
}

void ListedRows::insert(qsizetype row, const RenameItem &item)
{
    reserve(1);
    place(quint32(row), pathHash(item.folder, item.fileName));
    ++m_used;
}

void ListedRows::place(quint32 row, quint32 hash)
{
    const qsizetype mask = m_slots.size() - 1;
    qsizetype at = hash & mask;
    while (m_slots.at(at).row != EmptySlot)
        at = (at + 1) & mask;
    m_slots[at] = {row, hash};
}

void ListedRows::reserve(qsizetype count)
{
    // At most three quarters used: a slot holds its row's hash, so a look past
    // other rows rarely reads their paths.
    const qsizetype needed = (m_used + count) * 4 / 3 + 1;
    if (needed > m_slots.size())
        resize(qsizetype(std::bit_ceil(quint64(std::max<qsizetype>(needed, 16)))));
}

void ListedRows::resize(qsizetype slotCount)
{
    QList<Slot> old = std::exchange(m_slots, QList<Slot>(slotCount));
    for (const Slot &slot : std::as_const(old)) {
        if (slot.row != EmptySlot)
            place(slot.row, slot.hash);
    }
}

void ListedRows::renumber(const QList<int> &newRowOf)
{
    QList<Slot> old = std::exchange(m_slots, QList<Slot>(m_slots.size()));
    m_used = 0;
    for (const Slot &slot : std::as_const(old)) {
        if (slot.row == EmptySlot)
            continue;
        const int row = newRowOf.at(slot.row);
        if (row >= 0) {
            place(quint32(row), slot.hash);
            ++m_used;
        }
    }
}

void ListedRows::clear()
{
    m_slots = QList<Slot>();
    m_used = 0;
    m_lastFolder = QString();
}
