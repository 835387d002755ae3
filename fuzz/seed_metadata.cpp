// Writes first inputs for fuzz_metadata into the folder given: tagged photos and audio
// files, each behind the byte that picks its extension.
#include "metadata/samplefiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString corpus = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir work;
    const SampleTags photoTags{{u"Exif.Image.Make"_s, u"Canon"_s},
                               {u"Exif.Image.Model"_s, u"Canon EOS R6"_s},
                               {u"Exif.Image.Orientation"_s, u"6"_s},
                               {u"Exif.Photo.DateTimeOriginal"_s, u"2025:07:14 18:03:22"_s},
                               {u"Exif.Photo.OffsetTimeOriginal"_s, u"+02:00"_s},
                               {u"Exif.Photo.ExposureTime"_s, u"1/250"_s},
                               {u"Iptc.Application2.City"_s, u"Bern"_s},
                               {u"Xmp.dc.title"_s, u"lang=\"x-default\" Lake"_s}};
    const SampleTags audioTags{{u"ARTIST"_s, u"Artist"_s},
                               {u"TITLE"_s, u"Title"_s},
                               {u"TRACKNUMBER"_s, u"7/12"_s},
                               {u"DATE"_s, u"2019"_s}};
    // Each seed is its extension's index in fuzz_metadata's table, then the file.
    const auto seed = [&](const QString &path, char extension) {
        QFile in(path);
        QFile out(corpus + u"/seed-"_s + QFileInfo(path).fileName());
        return in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly) &&
               out.write(QByteArray(1, extension) + in.readAll()) > 0;
    };
    const QString jpg = work.filePath(u"a.jpg"_s);
    const QString mp3 = work.filePath(u"a.mp3"_s);
    const QString flac = work.filePath(u"a.flac"_s);
    const QString ogg = work.filePath(u"a.ogg"_s);
    const bool written = writeSampleJpeg(jpg, QSize(32, 24), photoTags) && seed(jpg, 0) &&
                         writeSilentMp3(mp3, 1) && writeAudioTags(mp3, audioTags) && seed(mp3, 5) &&
                         writeSilentFlac(flac, 1) && writeAudioTags(flac, audioTags) &&
                         seed(flac, 6) && writeSilentOgg(ogg, 1) &&
                         writeAudioTags(ogg, audioTags) && seed(ogg, 7);
    return written ? 0 : 1;
}
