#include "engine/renameitem.h"

#include "engine/asciitext.h"
#include "engine/filenamecodec.h"

#include <QFileInfo>
#include <QTimeZone>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <ctime>

FileTime fileTimeFromQDateTime(const QDateTime &moment)
{
    return fileTimeFromUnixMs(moment.toMSecsSinceEpoch());
}

FileTime fileTimeFromUnixMs(qint64 msSinceUnixEpoch)
{
    return FileTime(std::chrono::milliseconds(msSinceUnixEpoch));
}

QDateTime utcFromFileTime(FileTime value)
{
    return QDateTime::fromMSecsSinceEpoch(value.time_since_epoch().count(), QTimeZone::utc());
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

LocalMoment localMomentFromUtc(FileTime utcValue)
{
    return localMomentFromEpochMs(utcValue.time_since_epoch().count());
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
        facts.modifiedUtc = facts.createdUtc = fileTimeFromUnixMs(unixMs(sx.stx_mtime));
    if (sx.stx_mask & STATX_BTIME)
        facts.createdUtc = fileTimeFromUnixMs(unixMs(sx.stx_btime));
#else
    const QFileInfo info(path);
    if (!info.exists())
        return facts;
    facts.size = info.size();
    const QDateTime modified = info.lastModified();
    QDateTime created = info.birthTime();
    if (!created.isValid())
        created = modified;
    facts.modifiedUtc = modified.isValid() ? fileTimeFromQDateTime(modified) : FileTime{};
    facts.createdUtc = created.isValid() ? fileTimeFromQDateTime(created) : FileTime{};
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
