#include "metadata/samplefiles.h"

#include <exiv2/exif.hpp>
#include <exiv2/image.hpp>
#include <exiv2/iptc.hpp>
#include <exiv2/xmp_exiv2.hpp>
#include <taglib/fileref.h>
#include <taglib/tfile.h>
#include <taglib/tpropertymap.h>

#include <QBuffer>
#include <QFile>
#include <QImage>

using namespace Qt::StringLiterals;

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

void appendLe32(QByteArray &bytes, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes.append(char((value >> (8 * i)) & 0xFF));
}

void appendLe64(QByteArray &bytes, quint64 value)
{
    for (int i = 0; i < 8; ++i)
        bytes.append(char((value >> (8 * i)) & 0xFF));
}

// CRCs without reflection, as FLAC and Ogg use them.
template <typename Crc>
Crc crcOf(QByteArrayView bytes, Crc polynomial)
{
    constexpr int width = 8 * sizeof(Crc);
    Crc crc = 0;
    for (char byte : bytes) {
        crc ^= Crc(quint8(byte)) << (width - 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & (Crc(1) << (width - 1))) ? Crc((crc << 1) ^ polynomial) : Crc(crc << 1);
    }
    return crc;
}

// One Ogg page holding whole packets.
QByteArray oggPage(const QList<QByteArray> &packets, quint8 flags, quint64 granule,
                   quint32 sequence)
{
    QByteArray segments;
    QByteArray body;
    for (const QByteArray &packet : packets) {
        qsizetype left = packet.size();
        while (left >= 255) {
            segments.append(char(255));
            left -= 255;
        }
        segments.append(char(left));
        body += packet;
    }
    QByteArray page("OggS");
    page.append(char(0));
    page.append(char(flags));
    appendLe64(page, granule);
    appendLe32(page, 0x54455353); // serial number
    appendLe32(page, sequence);
    appendLe32(page, 0); // the CRC, filled in below
    page.append(char(segments.size()));
    page += segments;
    page += body;
    const quint32 crc = crcOf<quint32>(page, 0x04C11DB7);
    for (int i = 0; i < 4; ++i)
        page[22 + i] = char((crc >> (8 * i)) & 0xFF);
    return page;
}

} // namespace

QByteArray sampleJpegBytes(QSize size)
{
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb(x * 255 / size.width(), y * 255 / size.height(), (x ^ y) & 0xFF);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "jpg", 90);
    return bytes;
}

bool writeSampleJpeg(const QString &path, QSize size, const SampleTags &tags, bool withThumbnail)
{
    return writeFile(path, sampleJpegBytes(size)) && writePhotoTags(path, tags, withThumbnail);
}

bool writePhotoTags(const QString &path, const SampleTags &tags, bool withThumbnail)
{
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        for (const auto &[key, value] : tags) {
            const std::string k = key.toStdString();
            const std::string v = value.toStdString();
            if (key.startsWith(u"Exif."_s))
                image->exifData()[k] = v;
            else if (key.startsWith(u"Iptc."_s))
                image->iptcData()[k] = v;
            else
                image->xmpData()[k] = v;
        }
        if (withThumbnail) {
            const QByteArray thumbnail = sampleJpegBytes(QSize(160, 120));
            Exiv2::ExifThumb(image->exifData())
                .setJpegThumbnail(reinterpret_cast<const Exiv2::byte *>(thumbnail.constData()),
                                  long(thumbnail.size()));
        }
        image->writeMetadata();
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

bool writeSilentMp3(const QString &path, int seconds)
{
    // MPEG-1 Layer III, 32 kbit/s, 32 kHz, mono, no CRC: 144 bytes and 1,152 samples a
    // frame. Zero side information means no coded data: silence.
    QByteArray frame(144, '\0');
    frame[0] = char(0xFF);
    frame[1] = char(0xFB);
    frame[2] = char(0x18);
    frame[3] = char(0xC0);
    const int frames = (seconds * 32000 + 1151) / 1152;
    return writeFile(path, frame.repeated(frames));
}

bool writeSilentFlac(const QString &path, int seconds)
{
    constexpr int blockSize = 4096;
    constexpr int sampleRate = 44100;
    const int frames = (seconds * sampleRate + blockSize - 1) / blockSize;
    const quint64 samples = quint64(frames) * blockSize;

    QByteArray bytes("fLaC");
    // STREAMINFO, the last metadata block: block sizes, unknown frame sizes, then
    // 20 bits of sample rate, 3 of channels - 1, 5 of bits per sample - 1 and 36 of
    // samples, then an MD5 left unknown.
    bytes += QByteArray::fromHex("80000022");
    bytes += QByteArray::fromHex("10001000000000000000");
    const quint64 packed =
        (quint64(sampleRate) << 44) | (quint64(0) << 41) | (quint64(15) << 36) | samples;
    for (int i = 7; i >= 0; --i)
        bytes.append(char((packed >> (8 * i)) & 0xFF));
    bytes += QByteArray(16, '\0');

    for (int n = 0; n < frames; ++n) {
        // Fixed block size 4096 (code 12), 44.1 kHz (code 9), mono, 16 bits, the frame
        // number in FLAC's UTF-8-like coding, a CRC-8; one CONSTANT subframe of 0; a CRC-16.
        QByteArray frame = QByteArray::fromHex("FFF8C908");
        if (n < 0x80) {
            frame.append(char(n));
        } else if (n < 0x800) {
            frame.append(char(0xC0 | (n >> 6)));
            frame.append(char(0x80 | (n & 0x3F)));
        } else {
            frame.append(char(0xE0 | (n >> 12)));
            frame.append(char(0x80 | ((n >> 6) & 0x3F)));
            frame.append(char(0x80 | (n & 0x3F)));
        }
        frame.append(char(crcOf<quint8>(frame, 0x07)));
        frame += QByteArray(3, '\0');
        const quint16 crc = crcOf<quint16>(frame, 0x8005);
        frame.append(char(crc >> 8));
        frame.append(char(crc & 0xFF));
        bytes += frame;
    }
    return writeFile(path, bytes);
}

bool writeSilentOgg(const QString &path, int seconds)
{
    constexpr quint32 sampleRate = 44100;
    QByteArray identification("\x01vorbis", 7);
    appendLe32(identification, 0); // version
    identification.append(char(1));
    appendLe32(identification, sampleRate);
    appendLe32(identification, 0);
    appendLe32(identification, 64000); // nominal bit rate
    appendLe32(identification, 0);
    identification.append(char(0xB8)); // block sizes 256 and 2048
    identification.append(char(1));

    QByteArray comments("\x03vorbis", 7);
    const QByteArray vendor("Tessaly samples");
    appendLe32(comments, quint32(vendor.size()));
    comments += vendor;
    appendLe32(comments, 0);
    comments.append(char(1));
    const QByteArray setup = QByteArray("\x05vorbis", 7) + QByteArray(32, '\0');

    QByteArray bytes = oggPage({identification}, 0x02, 0, 0);
    bytes += oggPage({comments, setup}, 0x00, 0, 1);
    for (int second = 1; second <= seconds; ++second)
        bytes += oggPage({QByteArray(1, '\0')}, second == seconds ? 0x04 : 0x00,
                         quint64(second) * sampleRate, quint32(second + 1));
    return writeFile(path, bytes);
}

bool writeAudioTags(const QString &path, const SampleTags &properties)
{
    TagLib::FileRef file(QFile::encodeName(path).constData(), false);
    if (file.isNull())
        return false;
    TagLib::PropertyMap map = file.file()->properties();
    for (const auto &[key, value] : properties)
        map.replace(TagLib::String(key.toStdString(), TagLib::String::UTF8),
                    TagLib::StringList(TagLib::String(value.toStdString(), TagLib::String::UTF8)));
    file.file()->setProperties(map);
    return file.save();
}
