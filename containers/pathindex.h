#pragma once

#include "containers/rowindex.h"

#include <QHash>
#include <QString>

#include <algorithm>

// Which rows of a list hold which paths, so that "is this path listed?" does not scan
// the list. A row's path is its item's folder and fileName, read from the rows
// themselves through itemAt(row): a row costs 11 to 21 bytes here however long its path.
// Two rows may hold one path (a batch can leave them so). Paths are equal when their
// folders and names are, with A-Z taken as a-z on Windows.
class PathIndex
{
public:
    // The first row found that holds folder + fileName, or -1.
    template <typename ItemAt>
    qsizetype find(const QString &folder, const QString &fileName, const ItemAt &itemAt) const
    {
        return m_rows.find(hashOf(folder, fileName), [&](qsizetype row) {
            const auto &item = itemAt(row);
            return sameText(item.fileName, fileName) && sameText(item.folder, folder);
        });
    }
    template <typename Item, typename ItemAt>
    bool contains(const Item &item, const ItemAt &itemAt) const
    {
        return find(item.folder, item.fileName, itemAt) >= 0;
    }
    // Lists row for item's path unless a row holds that path already; returns whether
    // it was new.
    template <typename Item, typename ItemAt>
    bool insertIfNew(qsizetype row, const Item &item, const ItemAt &itemAt)
    {
        if (contains(item, itemAt))
            return false;
        insert(row, item);
        return true;
    }
    // Lists row for item's path, also when another row holds it.
    template <typename Item>
    void insert(qsizetype row, const Item &item)
    {
        m_rows.insert(row, hashOf(item.folder, item.fileName));
    }
    // Takes row, listed for item's path, out; another row on the same path stays.
    template <typename Item>
    bool remove(qsizetype row, const Item &item)
    {
        return m_rows.remove(row, hashOf(item.folder, item.fileName));
    }
    // Makes room for count more rows at once.
    void reserve(qsizetype count) { m_rows.reserve(count); }
    // The rows were moved or removed: newRowOf[old row] is the new row, or -1.
    void renumber(const QList<int> &newRowOf) { m_rows.renumber(newRowOf); }
    void clear()
    {
        m_rows.clear();
        m_lastFolder = QString();
    }
    qsizetype size() const { return m_rows.size(); }

private:
    static size_t textHash(const QString &text, size_t seed)
    {
#ifdef Q_OS_WIN
        QString folded = text;
        for (QChar &c : folded) {
            if (c.unicode() >= u'A' && c.unicode() <= u'Z')
                c = QChar(char16_t(c.unicode() + (u'a' - u'A')));
        }
        return qHash(QStringView(folded), seed);
#else
        return qHash(QStringView(text), seed);
#endif
    }

    static bool sameText(const QString &a, const QString &b)
    {
        if (a.constData() == b.constData() && a.size() == b.size())
            return true;
#ifdef Q_OS_WIN
        const auto lower = [](QChar c) {
            const char16_t u = c.unicode();
            return u >= u'A' && u <= u'Z' ? char16_t(u + (u'a' - u'A')) : u;
        };
        return a.size() == b.size() &&
               std::equal(a.cbegin(), a.cend(), b.cbegin(),
                          [&](QChar x, QChar y) { return lower(x) == lower(y); });
#else
        return a == b;
#endif
    }

    quint32 hashOf(const QString &folder, const QString &fileName) const
    {
        // Rows of one folder mostly come together and share its text: its hash is kept.
        if (folder.constData() != m_lastFolder.constData() ||
            folder.size() != m_lastFolder.size()) {
            m_lastFolder = folder;
            m_lastFolderHash = textHash(folder, 0);
        }
        const size_t hash = textHash(fileName, m_lastFolderHash);
        return quint32(quint64(hash) ^ (quint64(hash) >> 32));
    }

    RowIndex m_rows;
    mutable QString m_lastFolder;
    mutable size_t m_lastFolderHash = 0;
};
