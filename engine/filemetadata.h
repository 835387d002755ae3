#pragma once

#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QTime>

#include <array>
#include <memory>
#include <optional>

// Values from inside the files: a photo's Exif, IPTC and XMP, an audio file's tags. The
// engine only knows this interface; the programs install a reader built on the
// metadata libraries, so the engine itself needs none of them.

enum class MetadataField : int {
    // Photos
    Taken,
    Camera,
    Lens,
    Iso,
    FNumber,
    Exposure,
    Focal,
    Width,
    Height,
    // Audio
    Artist,
    AlbumArtist,
    Album,
    Title,
    Track,
    Disc,
    Year,
    Genre,
    Length,
};
inline constexpr int MetadataFieldCount = int(MetadataField::Length) + 1;

// What a pattern asks of each file: some fields and any Exif/IPTC/XMP keys.
struct MetadataRequest
{
    quint32 fields = 0;  // a bit per MetadataField
    QStringList tagKeys; // as typed in the pattern; matched without regard to case

    bool isEmpty() const { return fields == 0 && tagKeys.isEmpty(); }
    bool wants(MetadataField field) const { return fields & (1u << int(field)); }
    void add(MetadataField field) { fields |= 1u << int(field); }
    bool wantsPhoto() const;
    bool wantsAudio() const;
    // Whether everything other asks for is asked for here too.
    bool covers(const MetadataRequest &other) const;
    void merge(const MetadataRequest &other);
};

// When a photo was taken, as the file states it: the camera's clock, and the offset of
// that clock from UTC when the file records one.
struct TakenTime
{
    QDate date;
    QTime time;
    std::optional<int> utcOffsetSeconds;
};

// The values read from one file; anything the file does not hold is empty.
struct FileMetadata
{
    std::optional<TakenTime> taken;
    // The text of every field but Taken; Track and Disc are plain numbers ("7"),
    // Length is minutes and seconds ("3-07").
    std::array<QString, MetadataFieldCount> texts;
    QHash<QString, QString> tags; // by key in lower case

    const QString &text(MetadataField field) const { return texts[size_t(field)]; }
    QString &text(MetadataField field) { return texts[size_t(field)]; }
};

class MetadataReader
{
public:
    virtual ~MetadataReader() = default;
    // What request asks for from the file at path. Never throws: a file that cannot be
    // read, or whose content is broken, gives empty values. May be called from several
    // threads at once.
    virtual FileMetadata read(const QString &path, const MetadataRequest &request) const = 0;
};

// The reader that name building uses; without one every metadata keyword is empty.
// Installing a reader empties the cache.
void setMetadataReader(std::shared_ptr<const MetadataReader> reader);
std::shared_ptr<const MetadataReader> CurrentMetadataReader();

// The values for the file at path, read through the installed reader at most once while
// the file keeps its size and modification time: a later preview asking no more than an
// earlier one reuses its values. Safe to call from several threads.
FileMetadata readFileMetadata(const QString &path, const MetadataRequest &request);
// Forgets every value read so far.
void clearMetadataCache();
