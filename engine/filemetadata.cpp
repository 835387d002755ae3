#include "engine/filemetadata.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <sys/stat.h>

bool MetadataRequest::wantsPhoto() const
{
    constexpr quint32 photoFields = (1u << int(MetadataField::Artist)) - 1;
    return (fields & photoFields) || !tagKeys.isEmpty();
}

bool MetadataRequest::wantsAudio() const
{
    constexpr quint32 photoFields = (1u << int(MetadataField::Artist)) - 1;
    return fields & ~photoFields;
}

bool MetadataRequest::covers(const MetadataRequest &other) const
{
    if ((fields & other.fields) != other.fields)
        return false;
    for (const QString &key : other.tagKeys) {
        if (!tagKeys.contains(key, Qt::CaseInsensitive))
            return false;
    }
    return true;
}

void MetadataRequest::merge(const MetadataRequest &other)
{
    fields |= other.fields;
    for (const QString &key : other.tagKeys) {
        if (!tagKeys.contains(key, Qt::CaseInsensitive))
            tagKeys.append(key);
    }
}

namespace {

// What tells one state of a file from another without reading it. The device and
// inode catch a path that names another file after a batch (two names swapped).
struct FileState
{
    qint64 size = -1;
    qint64 modifiedNs = 0;
    quint64 device = 0;
    quint64 inode = 0;

    bool operator==(const FileState &) const = default;
};

std::optional<FileState> currentState(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileState{qint64(info.st_size),
                     qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                     quint64(info.st_dev), quint64(info.st_ino)};
}

struct CacheEntry
{
    FileState state;
    MetadataRequest answered;
    FileMetadata values;
};

// A list of a few hundred thousand files is the most anyone previews; past that the
// cache starts again rather than grow without end.
constexpr qsizetype CacheLimit = 500000;

struct Registry
{
    QMutex mutex;
    std::shared_ptr<const MetadataReader> reader;
    QHash<QString, CacheEntry> cache;
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

} // namespace

void setMetadataReader(std::shared_ptr<const MetadataReader> reader)
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    r.reader = std::move(reader);
    r.cache.clear();
}

std::shared_ptr<const MetadataReader> CurrentMetadataReader()
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    return r.reader;
}

void clearMetadataCache()
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    r.cache.clear();
}

FileMetadata readFileMetadata(const QString &path, const MetadataRequest &request)
{
    if (request.isEmpty())
        return {};
    const std::optional<FileState> state = currentState(path);
    if (!state)
        return {};
    Registry &r = registry();
    std::shared_ptr<const MetadataReader> reader;
    MetadataRequest wanted = request;
    {
        QMutexLocker lock(&r.mutex);
        if (!r.reader)
            return {};
        reader = r.reader;
        const auto found = r.cache.constFind(path);
        if (found != r.cache.cend() && found->state == *state) {
            if (found->answered.covers(request))
                return found->values;
            // Read once for both, so that alternating patterns do not read every time.
            wanted.merge(found->answered);
        }
    }
    // The reading itself runs unlocked, so that several threads can read at once.
    FileMetadata values = reader->read(path, wanted);
    QMutexLocker lock(&r.mutex);
    if (r.reader == reader) {
        if (r.cache.size() >= CacheLimit)
            r.cache.clear();
        r.cache.insert(path, CacheEntry{*state, wanted, values});
    }
    return values;
}
