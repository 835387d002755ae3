// The photo and audio readers on any content: the first byte picks the file's extension
// (which decides TagLib's parser), the rest is the file. A broken file must give empty
// values; a crash or a leak is a finding.
#include "metadata/metadatareaders.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <unistd.h>

namespace {

const char *const Extensions[] = {".jpg", ".tif",  ".png", ".cr2", ".webp", ".mp3", ".flac",
                                  ".ogg", ".opus", ".m4a", ".wav", ".aiff", ".ape", ".wma"};

MetadataRequest everything()
{
    MetadataRequest request;
    for (int field = 0; field < MetadataFieldCount; ++field)
        request.add(MetadataField(field));
    request.tagKeys = {QStringLiteral("Exif.Photo.LensModel"),
                       QStringLiteral("Iptc.Application2.City"), QStringLiteral("Xmp.dc.title"),
                       QStringLiteral("Exif.Canon.LensModel")};
    return request;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const MetadataRequest request = everything();
    static const LibraryMetadataReader reader = [] {
        installMetadataReader(); // silences the libraries' messages
        return LibraryMetadataReader();
    }();
    if (size == 0)
        return 0;
    const QString extension = QString::fromLatin1(Extensions[data[0] % std::size(Extensions)]);
    const QString path =
        QDir::tempPath() +
        QStringLiteral("/tessaly-fuzz-metadata-%1%2").arg(::getpid()).arg(extension);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data + 1), qint64(size - 1));
    }
    reader.read(path, request);
    QFile::remove(path);
    return 0;
}
