#include "engine/imagesize.h"

#include "engine/filenamecodec.h"
#include "engine/renameitem.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// Reads integers out of a header that was read into memory; any read past its end
// makes ok() false instead of reading garbage.
class Bytes
{
public:
    explicit Bytes(QByteArray data)
        : m_data(std::move(data))
    {}

    qsizetype size() const { return m_data.size(); }
    bool ok() const { return m_ok; }

    quint32 le(qsizetype at, int width)
    {
        if (!has(at, width))
            return 0;
        quint32 value = 0;
        for (int k = width - 1; k >= 0; --k)
            value = (value << 8) | quint8(m_data[at + k]);
        return value;
    }

    quint32 be(qsizetype at, int width)
    {
        if (!has(at, width))
            return 0;
        quint32 value = 0;
        for (int k = 0; k < width; ++k)
            value = (value << 8) | quint8(m_data[at + k]);
        return value;
    }

    bool startsWith(QByteArrayView prefix) const { return m_data.startsWith(prefix); }

private:
    bool has(qsizetype at, int width)
    {
        if (at < 0 || at + width > m_data.size())
            m_ok = false;
        return m_ok;
    }

    QByteArray m_data;
    bool m_ok = true;
};

std::optional<QSize> validSize(qint64 width, qint64 height)
{
    constexpr qint64 limit = 0x7FFFFFFF;
    if (width <= 0 || height <= 0 || width > limit || height > limit)
        return std::nullopt;
    return QSize(int(width), int(height));
}

std::optional<QSize> pngSize(QFile &file)
{
    Bytes b(file.read(24));
    if (!b.startsWith("\x89PNG\r\n\x1a\n") || b.be(12, 4) != 0x49484452) // IHDR
        return std::nullopt;
    const quint32 width = b.be(16, 4);
    const quint32 height = b.be(20, 4);
    return b.ok() ? validSize(width, height) : std::nullopt;
}

std::optional<QSize> bmpSize(QFile &file)
{
    Bytes b(file.read(26));
    if (!b.startsWith("BM"))
        return std::nullopt;
    const quint32 headerSize = b.le(14, 4);
    if (headerSize == 12) {
        const quint32 width = b.le(18, 2);
        const quint32 height = b.le(20, 2);
        return b.ok() ? validSize(width, height) : std::nullopt;
    }
    if (headerSize < 40)
        return std::nullopt;
    const qint32 width = qint32(b.le(18, 4));
    const qint32 height = qint32(b.le(22, 4));
    // A negative height marks a picture stored top-down.
    return b.ok() ? validSize(width, std::abs(qint64(height))) : std::nullopt;
}

std::optional<QSize> icoSize(QFile &file)
{
    Bytes b(file.read(6));
    if (b.le(0, 2) != 0 || b.le(2, 2) != 1)
        return std::nullopt;
    const quint32 count = b.le(4, 2);
    if (!b.ok() || count == 0)
        return std::nullopt;
    Bytes entries(file.read(qint64(count) * 16));
    if (entries.size() != qsizetype(count) * 16)
        return std::nullopt;
    // An icon file holds several pictures of one icon; the largest one stands for it.
    std::optional<QSize> largest;
    for (quint32 k = 0; k < count; ++k) {
        const int width = int(entries.le(k * 16, 1));
        const int height = int(entries.le(k * 16 + 1, 1));
        const QSize size(width == 0 ? 256 : width, height == 0 ? 256 : height);
        if (!largest ||
            qint64(size.width()) * size.height() > qint64(largest->width()) * largest->height())
            largest = size;
    }
    return largest;
}

std::optional<QSize> jpegSize(QFile &file)
{
    Bytes start(file.read(2));
    if (!start.startsWith("\xff\xd8"))
        return std::nullopt;
    // Walk the marker segments up to the frame header; the segments before it (Exif
    // data with its thumbnail, among others) are skipped by their lengths.
    for (;;) {
        char c = 0;
        if (!file.getChar(&c))
            return std::nullopt;
        if (quint8(c) != 0xFF)
            return std::nullopt;
        do {
            if (!file.getChar(&c))
                return std::nullopt;
        } while (quint8(c) == 0xFF);
        const quint8 marker = quint8(c);
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue; // markers without a segment
        if (marker == 0xD9 || marker == 0xDA)
            return std::nullopt; // end of image or scan data before any frame header
        Bytes lengthBytes(file.read(2));
        const quint32 length = lengthBytes.be(0, 2);
        if (!lengthBytes.ok() || length < 2)
            return std::nullopt;
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            Bytes header(file.read(5));
            const quint32 height = header.be(1, 2);
            const quint32 width = header.be(3, 2);
            return header.ok() ? validSize(width, height) : std::nullopt;
        }
        if (!file.seek(file.pos() + length - 2))
            return std::nullopt;
    }
}

std::optional<QSize> tiffSize(QFile &file)
{
    Bytes head(file.read(8));
    const bool little = head.startsWith("II*\0"_ba);
    const bool big = head.startsWith("MM\0*"_ba);
    if (!little && !big)
        return std::nullopt;
    const auto number = [little](Bytes &b, qsizetype at, int width) {
        return little ? b.le(at, width) : b.be(at, width);
    };
    const quint32 ifdOffset = number(head, 4, 4);
    if (!head.ok() || !file.seek(ifdOffset))
        return std::nullopt;
    Bytes countBytes(file.read(2));
    const quint32 count = number(countBytes, 0, 2);
    if (!countBytes.ok())
        return std::nullopt;
    Bytes entries(file.read(qint64(count) * 12));
    qint64 width = 0;
    qint64 height = 0;
    for (quint32 k = 0; k < count; ++k) {
        const qsizetype at = qsizetype(k) * 12;
        const quint32 tag = number(entries, at, 2);
        const quint32 type = number(entries, at + 2, 2);
        quint32 value = 0;
        if (type == 3) // SHORT
            value = number(entries, at + 8, 2);
        else if (type == 4) // LONG
            value = number(entries, at + 8, 4);
        else
            continue;
        if (tag == 256)
            width = value;
        else if (tag == 257)
            height = value;
    }
    return entries.ok() ? validSize(width, height) : std::nullopt;
}

std::optional<QSize> wmfSize(QFile &file)
{
    // Only a placeable metafile states its size: its bounds in logical units and the
    // units per inch, shown at 96 pixels per inch.
    Bytes b(file.read(22));
    if (b.le(0, 4) != 0x9AC6CDD7)
        return std::nullopt;
    const qint16 left = qint16(b.le(6, 2));
    const qint16 top = qint16(b.le(8, 2));
    const qint16 right = qint16(b.le(10, 2));
    const qint16 bottom = qint16(b.le(12, 2));
    const quint32 unitsPerInch = b.le(14, 2);
    if (!b.ok() || unitsPerInch == 0)
        return std::nullopt;
    const auto pixels = [unitsPerInch](qint64 units) {
        return (std::abs(units) * 96 + unitsPerInch / 2) / unitsPerInch;
    };
    return validSize(pixels(qint64(right) - left), pixels(qint64(bottom) - top));
}

std::optional<QSize> emfSize(QFile &file)
{
    // The header record's bounds are inclusive device pixels.
    Bytes b(file.read(44));
    if (b.le(0, 4) != 1 || b.le(40, 4) != 0x464D4520)
        return std::nullopt;
    const qint32 left = qint32(b.le(8, 4));
    const qint32 top = qint32(b.le(12, 4));
    const qint32 right = qint32(b.le(16, 4));
    const qint32 bottom = qint32(b.le(20, 4));
    if (!b.ok())
        return std::nullopt;
    return validSize(qint64(right) - left + 1, qint64(bottom) - top + 1);
}

} // namespace

std::optional<QSize> readImageSize(const QString &path)
{
    const QString name = fileNamePart(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return std::nullopt;
    const QString ext = name.mid(dot + 1).toLower();

    using Reader = std::optional<QSize> (*)(QFile &);
    Reader reader = nullptr;
    if (ext == "png"_L1)
        reader = pngSize;
    else if (ext == "bmp"_L1)
        reader = bmpSize;
    else if (ext == "ico"_L1)
        reader = icoSize;
    else if (ext == "jpg"_L1 || ext == "jpeg"_L1)
        reader = jpegSize;
    else if (ext == "tif"_L1 || ext == "tiff"_L1)
        reader = tiffSize;
    else if (ext == "wmf"_L1)
        reader = wmfSize;
    else if (ext == "emf"_L1)
        reader = emfSize;
    else
        return std::nullopt;

    QFile file;
#ifdef Q_OS_UNIX
    // Opened by the name's exact bytes, which Qt's own encoding can lose.
    const int fd = ::open(encodeFileName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
#else
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
#endif
    return reader(file);
}
