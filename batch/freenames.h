#pragma once

#include <QHash>
#include <QString>

// The names a batch gives a file whose own is taken: numbered ones ("photo (2).jpg") and
// hidden stepping stones (".tessaly-3") that a file waits under within its folder. Each
// is the first of its series that the caller finds free.
//
// A series is the numbered names of one base and extension in one folder, or the
// stones of one folder. A search resumes past the name the last search of its series
// handed out instead of counting from 1 again, which keeps a thousand files numbered
// into one name linear rather than quadratic. Every number below that point was found
// taken or handed out; as long as a taken name stays taken and the caller takes each
// name it is handed (a plan only ever adds claims), the answer is still the first free
// number. Where names can free up (the disk while a batch runs), the answer is a free
// number, no longer always the lowest.
class FreeNames
{
public:
    // The first "base (n)ext" (n from 1) in folder for which taken(name) is false, from
    // then on counted as taken. folder is any text that tells the caller's folders apart.
    template <typename Taken>
    QString numbered(const QString &folder, const QString &base, const QString &ext, Taken taken)
    {
        return first(
            m_passed[{folder, base, ext, false}],
            [&](qint64 n) { return numberedName(base, n, ext); }, taken);
    }

    // The first ".tessaly-n" (n from 1) in folder for which taken(name) is false, from
    // then on counted as taken.
    template <typename Taken>
    QString steppingStone(const QString &folder, Taken taken)
    {
        return first(m_passed[{folder, {}, {}, true}], steppingStoneName, taken);
    }

    // Where the next search of the numbered series starts: every lower number was taken
    // or handed out.
    qint64 numberedResumesAt(const QString &folder, const QString &base, const QString &ext) const
    {
        return m_passed.value({folder, base, ext, false}) + 1;
    }

    static QString numberedName(QStringView base, qint64 n, QStringView ext);
    static QString steppingStoneName(qint64 n);
    // The n for which name is numberedName(base, n, ext), or 0 when there is none.
    static qint64 numberIn(QStringView name, QStringView base, QStringView ext);

private:
    struct Series
    {
        QString folder;
        QString base;
        QString ext;
        bool stones;

        bool operator==(const Series &) const = default;
    };
    friend size_t qHash(const Series &series, size_t seed)
    {
        return qHashMulti(seed, series.folder, series.base, series.ext, series.stones);
    }

    template <typename NameAt, typename Taken>
    static QString first(qint64 &passed, NameAt nameAt, Taken taken)
    {
        for (;;) {
            QString name = nameAt(++passed);
            if (!taken(name))
                return name;
        }
    }

    // For each series, how many of its first numbers were found taken or handed out.
    QHash<Series, qint64> m_passed;
};
