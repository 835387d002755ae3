#include "renameitem.h"

#include "asciitext.h"
#include "filenamecodec.h"

#include <QFileInfo>
#include <QTimeZone>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <cmath>
#include <ctime>

namespace {

constexpr qint64 msPerDay = 86400000;

const QDateTime &dateTimeEpoch()
{
    static const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
    return epoch;
}

} // namespace

TDateTime dateTimeFromQDateTime(const QDateTime &moment)
{
    return dateTimeFromUnixMs(moment.toMSecsSinceEpoch());
}

TDateTime dateTimeFromUnixMs(qint64 msSinceUnixEpoch)
{
    // 1970-01-01 is day 25569 of the TDateTime count.
    const qint64 ms = msSinceUnixEpoch + 25569 * msPerDay;
    const qint64 days = ms >= 0 ? ms / msPerDay : -((-ms + msPerDay - 1) / msPerDay);
    const qint64 msOfDay = ms - days * msPerDay;
    const double fraction = double(msOfDay) / double(msPerDay);
    // Days before the epoch keep a forward-counting time of day: -1 plus 06:00 is -1.25.
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

QDateTime utcFromDateTime(TDateTime value)
{
    if (!std::isfinite(value))
        value = 0;
    const double days = std::trunc(value);
    const double fraction = std::fabs(value - days);
    const double ms = std::round(days * double(msPerDay)) + std::round(fraction * msPerDay);
    // Keep far-off values inside the range that QDateTime can represent.
    constexpr double limit = 1e15;
    return dateTimeEpoch().addMSecs(qint64(std::clamp(ms, -limit, limit)));
}

namespace {

// The C library's conversion, without QDateTime's re-reading of the zone settings
// for every call, which makes it many times slower over a long list.
LocalMoment localMomentFromEpochMs(qint64 ms)
{
    const qint64 seconds = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
    const int msOfSecond = int(ms - seconds * 1000);
    const std::time_t t = std::time_t(seconds);
    std::tm parts{};
#ifdef Q_OS_WIN
    if (localtime_s(&parts, &t) != 0)
        return {QDate(1899, 12, 30), QTime(0, 0)};
#else
    if (!localtime_r(&t, &parts))
        return {QDate(1899, 12, 30), QTime(0, 0)};
#endif
    return {QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
            QTime(parts.tm_hour, parts.tm_min, std::min(parts.tm_sec, 59), msOfSecond)};
}

} // namespace

LocalMoment localMomentFromUtc(TDateTime utcValue)
{
    return localMomentFromEpochMs(utcFromDateTime(utcValue).toMSecsSinceEpoch());
}

void refreshLocalTimeZone()
{
#ifdef Q_OS_WIN
    _tzset();
#else
    tzset();
#endif
}

LocalMoment currentLocalMoment()
{
    return localMomentFromEpochMs(QDateTime::currentMSecsSinceEpoch());
}

bool isPathSeparator(QChar c)
{
#ifdef Q_OS_WIN
    return c == u'\\' || c == u'/';
#else
    return c == u'/';
#endif
}

namespace {

qsizetype lastSeparator(const QString &path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (isPathSeparator(path.at(i)))
            return i;
    }
    return -1;
}

} // namespace

QString fileNamePart(const QString &path)
{
    return path.mid(lastSeparator(path) + 1);
}

QString folderPart(const QString &path)
{
    return path.left(lastSeparator(path) + 1);
}

QString parentFolderName(const QString &path)
{
    QString folder = path.left(std::max<qsizetype>(lastSeparator(path), 0));
    QString parent = fileNamePart(folder);
#ifdef Q_OS_WIN
    // "C:" is a drive, not a folder.
    if (parent.size() == 2 && parent.at(1) == u':')
        return QString();
#endif
    return parent;
}

QString pathKey(const QString &path)
{
#ifdef Q_OS_WIN
    QString folded = path;
    for (QChar &c : folded)
        c = QChar(asciiLower(c.unicode()));
    return folded;
#else
    return path;
#endif
}

void splitFileName(const QString &fileName, QString *name, QString *ext)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot < 0) {
        *name = fileName;
        ext->clear();
        return;
    }
    *name = fileName.left(dot);
    *ext = fileName.mid(dot);
}

void setItemPath(RenameItem &item, const QString &path)
{
    const qsizetype nameStart = lastSeparator(path) + 1;
    const QStringView folder = QStringView(path).first(nameStart);
    if (item.folder != folder)
        item.folder = folder.toString();
    item.fileName = path.sliced(nameStart);
}

void setItemPlace(RenameItem &item, const QString &folder, const QString &fileName)
{
    if (item.folder != folder)
        item.folder = folder;
    item.fileName = fileName;
}

RenameItem makeRenameItem(const QString &path)
{
    RenameItem item;
    setItemPath(item, path);
    return item;
}

namespace {

qsizetype extensionStart(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot < 0 ? fileName.size() : dot;
}

} // namespace

QStringView RenameItem::originalName() const
{
    return QStringView(fileName).first(extensionStart(fileName));
}

QStringView RenameItem::ext() const
{
    return QStringView(fileName).sliced(extensionStart(fileName));
}

FileFacts readFileFacts(const QString &path)
{
    FileFacts facts;
    if (path.isEmpty() || path.contains(QChar(0)))
        return facts;
#ifdef Q_OS_LINUX
    struct statx sx;
    if (statx(AT_FDCWD, encodeFileName(path).constData(), AT_STATX_SYNC_AS_STAT,
              STATX_SIZE | STATX_MTIME | STATX_BTIME, &sx) != 0)
        return facts;
    const auto unixMs = [](const struct statx_timestamp &t) {
        return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
    };
    if (sx.stx_mask & STATX_SIZE)
        facts.size = qint64(sx.stx_size);
    if (sx.stx_mask & STATX_MTIME)
        facts.modifiedUtc = facts.createdUtc = dateTimeFromUnixMs(unixMs(sx.stx_mtime));
    if (sx.stx_mask & STATX_BTIME)
        facts.createdUtc = dateTimeFromUnixMs(unixMs(sx.stx_btime));
#else
    const QFileInfo info(path);
    if (!info.exists())
        return facts;
    facts.size = info.size();
    const QDateTime modified = info.lastModified();
    QDateTime created = info.birthTime();
    if (!created.isValid())
        created = modified;
    facts.modifiedUtc = modified.isValid() ? dateTimeFromQDateTime(modified) : 0;
    facts.createdUtc = created.isValid() ? dateTimeFromQDateTime(created) : 0;
#endif
    return facts;
}

FileFacts itemFacts(const RenameItem &item)
{
    if (const FileFacts *stored = item.storedFacts())
        return *stored;
    return readFileFacts(item.originalPath());
}

void setItemFacts(RenameItem &item, const FileFacts &facts)
{
    if (!item.m_facts)
        item.m_facts = new RenameItem::SharedFacts;
    else
        item.m_facts.detach();
    item.m_facts->facts = facts;
}
