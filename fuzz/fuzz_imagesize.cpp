// The picture-header reader on any content: the first byte picks the file's extension
// (which decides the format), the rest is the file. A size read must be positive.
#include "engine/imagesize.h"

#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <unistd.h>

namespace {

const char *const Extensions[] = {".png", ".bmp", ".ico", ".jpg", ".tif", ".wmf", ".emf"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QString extension = QString::fromLatin1(Extensions[data[0] % std::size(Extensions)]);
    const QString path =
        QDir::tempPath() +
        QStringLiteral("/tessaly-fuzz-imagesize-%1%2").arg(::getpid()).arg(extension);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data + 1), qint64(size - 1));
    }
    const std::optional<QSize> pictureSize = readImageSize(path);
    QFile::remove(path);
    if (pictureSize && (pictureSize->width() <= 0 || pictureSize->height() <= 0))
        __builtin_trap();
    return 0;
}
