#pragma once

#include "engine/filemetadata.h"

#include <QByteArray>

// Reads photos (JPEG, TIFF, PNG, the camera raw formats, ...) with Exiv2 and audio
// files (MP3, FLAC, Ogg, MP4, WAV, ...) with TagLib. Each library only runs when the
// request asks for its values.
class LibraryMetadataReader : public MetadataReader
{
public:
    FileMetadata read(const QString &path, const MetadataRequest &request) const override;
};

// Photo values (the photo fields and the Exif, IPTC and XMP keys) of the file at path.
void readPhotoMetadata(const QByteArray &path, const MetadataRequest &request,
                       FileMetadata &values);
// Audio values of the file at path.
void readAudioMetadata(const QByteArray &path, const MetadataRequest &request,
                       FileMetadata &values);

// Makes name building read through LibraryMetadataReader, with the libraries' own
// messages about broken files silenced. Called once at start, before other threads run.
void installMetadataReader();
