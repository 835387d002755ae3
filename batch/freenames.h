#pragma once

#include <QHash>
#include <QString>

// The names a batch gives a file whose own is taken: numbered ones ("photo (2).jpg") and
// hidden stepping stones (".tessaly-3") that a file waits under within its folder. Each
// is the first of its series that the caller finds free.
//
// A series is the numbered names of one base and extension in one folder, or the
// stones of one folder. A search resumes where the last search of its series stopped
// instead of counting from 1 again, which keeps a thousand files numbered into one name
// linear rather than quadratic. Every number below that point was found taken; as long
// as a taken name stays taken (a plan only ever adds claims), the answer is still the
// first free number. Where names can free up (the disk while a batch runs), the answer
// is a free number, no longer always the lowest.
class FreeNames
{
public:
    // The first "base (n)ext" (n from 1) in folder for which taken(name) is false.
    // folder is any text that tells the caller's folders apart (a path, an index).
    template <typename Taken>
    QString numbered(QStringView folder, QStringView base, QStringView ext, Taken taken)
    {
        qint64 &found = m_takenFound[seriesKey(u'n', folder, base, ext)];
        for (;; ++found) {
            QString name = numberedName(base, found + 1, ext);
            if (!taken(name))
                return name;
        }
    }

    // The first ".tessaly-n" (n from 1) in folder for which taken(name) is false.
    template <typename Taken>
    QString steppingStone(QStringView folder, Taken taken)
    {
        qint64 &found = m_takenFound[seriesKey(u's', folder, {}, {})];
        for (;; ++found) {
            QString name = steppingStoneName(found + 1);
            if (!taken(name))
                return name;
        }
    }

    // Where the next search of the numbered series starts: every lower number was taken.
    qint64 numberedResumesAt(QStringView folder, QStringView base, QStringView ext) const
    {
        return m_takenFound.value(seriesKey(u'n', folder, base, ext)) + 1;
    }

    static QString numberedName(QStringView base, qint64 n, QStringView ext);
    static QString steppingStoneName(qint64 n);
    // The n for which name is numberedName(base, n, ext), or 0 when there is none.
    static qint64 numberIn(QStringView name, QStringView base, QStringView ext);

private:
    static QString seriesKey(QChar kind, QStringView folder, QStringView base, QStringView ext);

    // For each series, how many of its first numbers were found taken.
    QHash<QString, qint64> m_takenFound;
};
