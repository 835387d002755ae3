#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

#include <utility>

// Photos and audio files with known tags, written on the spot: the tests, the benchmark
// and the fuzzers need real files, and none may come from outside.

using SampleTags = QList<std::pair<QString, QString>>;

// A JPEG picture of size (a colour gradient, so the file is as large as a real one)
// with the Exiv2 keys given, each value as Exiv2 reads it from text: {"Exif.Image.Make",
// "Canon"}, {"Exif.Image.Orientation", "6"}, {"Exif.Photo.ExposureTime", "1/250"}.
// With a thumbnail, as cameras write one. Returns false when anything failed.
bool writeSampleJpeg(const QString &path, QSize size, const SampleTags &tags,
                     bool withThumbnail = false);
// Sets the tags given (as above) in an existing photo.
bool writePhotoTags(const QString &path, const SampleTags &tags, bool withThumbnail = false);
// The bytes of a JPEG picture without tags.
QByteArray sampleJpegBytes(QSize size);

// Silent audio of about the length given: MPEG-1 Layer III frames at 32 kbit/s whose
// side information is zero, a FLAC stream of constant frames, or an Ogg Vorbis stream
// whose headers say so (its audio packets are not decodable).
bool writeSilentMp3(const QString &path, int seconds);
bool writeSilentFlac(const QString &path, int seconds);
bool writeSilentOgg(const QString &path, int seconds);

// Writes tags into an audio file through TagLib's property names: {"ARTIST", "..."},
// {"TRACKNUMBER", "7/12"}, {"DISCNUMBER", "1"}, {"DATE", "2019"}.
bool writeAudioTags(const QString &path, const SampleTags &properties);
