// Writes first inputs for fuzz_imagesize into the folder given: a small picture of each
// format, behind the byte that picks its extension in fuzz_imagesize's table.
#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImage>

#include <initializer_list>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// Numbers of the given widths in bytes, least significant byte first; a width beyond
// four bytes is filled with zeros.
QByteArray littleEndian(std::initializer_list<std::pair<quint32, int>> fields)
{
    QByteArray bytes;
    for (const auto &[value, width] : fields) {
        for (int k = 0; k < width; ++k)
            bytes.append(k < 4 ? char((value >> (8 * k)) & 0xFF) : '\0');
    }
    return bytes;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString corpus = QString::fromLocal8Bit(argv[1]);
    QImage picture(12, 7, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    // A placeable metafile, 0,0-1440,720 at 1440 units per inch; an enhanced metafile
    // header with bounds 10,20-209,119.
    const QByteArray wmf = littleEndian(
        {{0x9AC6CDD7, 4}, {0, 2}, {0, 2}, {0, 2}, {1440, 2}, {720, 2}, {1440, 2}, {0, 4}, {0, 2}});
    const QByteArray emf = littleEndian(
        {{1, 4}, {108, 4}, {10, 4}, {20, 4}, {209, 4}, {119, 4}, {0, 16}, {0x464D4520, 4}});
    const QList<std::pair<QString, QByteArray>> seeds = {
        {u"png"_s, char(0) + encoded(picture, "png")},
        {u"bmp"_s, char(1) + encoded(picture, "bmp")},
        {u"ico"_s, char(2) + encoded(picture.scaled(16, 16), "ico")},
        {u"jpg"_s, char(3) + encoded(picture, "jpg")},
        {u"tif"_s, char(4) + encoded(picture, "tiff")},
        {u"wmf"_s, char(5) + wmf},
        {u"emf"_s, char(6) + emf},
    };
    for (const auto &[name, bytes] : seeds) {
        QFile out(corpus + u"/seed-"_s + name);
        if (bytes.size() < 2 || !out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            return 1;
    }
    return 0;
}
