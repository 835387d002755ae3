#include "metadata/metadatareaders.h"

#include <exiv2/easyaccess.hpp>
#include <exiv2/exif.hpp>
#include <exiv2/image.hpp>
#include <exiv2/iptc.hpp>
#include <exiv2/xmp_exiv2.hpp>

#include <QRegularExpression>

#include <cmath>
#include <strings.h>

using namespace Qt::StringLiterals;

namespace {

// Text of a tag: fixed-size Exif fields are padded with NULs or spaces.
QString textOf(const std::string &value)
{
    const size_t end = value.find('\0');
    return QString::fromUtf8(value.data(), qsizetype(end == std::string::npos ? value.size() : end))
        .trimmed();
}

QString exifText(const Exiv2::ExifData &exif, const char *key)
{
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    return found == exif.end() ? QString() : textOf(found->toString());
}

// A positive rational tag as a number.
std::optional<double> exifNumber(const Exiv2::ExifData &exif, const char *key)
{
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    if (found == exif.end() || found->count() == 0)
        return std::nullopt;
    const Exiv2::Rational r = found->toRational(0);
    if (r.first <= 0 || r.second <= 0)
        return std::nullopt;
    return double(r.first) / double(r.second);
}

// A number with at most the decimals given and no trailing zeros: 2.8, 8, 0.95.
QString decimal(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    return text;
}

// "Canon" and "Canon EOS R6" give "Canon EOS R6"; "NIKON CORPORATION" and "NIKON D850"
// give "NIKON D850": most cameras repeat the maker, or its first word, in the model.
QString cameraName(const QString &make, const QString &model)
{
    if (make.isEmpty() || model.isEmpty())
        return make.isEmpty() ? model : make;
    const QString makeWord = make.section(u' ', 0, 0);
    if (model.startsWith(make, Qt::CaseInsensitive) ||
        model.startsWith(makeWord, Qt::CaseInsensitive))
        return model;
    return make + u' ' + model;
}

// "+02:00", "-0530" or "Z": seconds east of UTC.
std::optional<int> parseOffset(const QString &text)
{
    static const QRegularExpression form(u"^\\s*(?:(Z)|([+-])(\\d{2}):?(\\d{2}))\\s*$"_s);
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    if (!m.captured(1).isEmpty())
        return 0;
    const int hours = m.captured(3).toInt();
    const int minutes = m.captured(4).toInt();
    if (hours > 14 || minutes > 59)
        return std::nullopt;
    const int seconds = hours * 3600 + minutes * 60;
    return m.captured(2) == u"-"_s ? -seconds : seconds;
}

// "2025:07:14 18:03:22" as Exif writes it, or "2025-07-14T18:03:22.5+02:00" as XMP
// does; the zone, when written, gives the offset.
std::optional<TakenTime> parseTime(const QString &text)
{
    static const QRegularExpression form(
        u"^(\\d{4})[:\\-/.](\\d{1,2})[:\\-/.](\\d{1,2})(?:[T ]+(\\d{1,2}):(\\d{1,2})"
        "(?::(\\d{1,2}))?(?:[.,](\\d+))?)?\\s*(Z|[+-]\\d{2}:?\\d{2})?\\s*$"_s);
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    TakenTime taken;
    taken.date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QString fraction = (m.captured(7) + u"00"_s).left(3);
    taken.time = QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(),
                       fraction.toInt());
    if (!taken.date.isValid() || !taken.time.isValid())
        return std::nullopt;
    if (!m.captured(8).isEmpty())
        taken.utcOffsetSeconds = parseOffset(m.captured(8));
    return taken;
}

// DateTimeOriginal with its fraction and offset; else the same for CreateDate (Exif's
// DateTimeDigitized); else the same two in XMP.
std::optional<TakenTime> takenTime(const Exiv2::ExifData &exif, const Exiv2::XmpData &xmp)
{
    static const char *const exifKeys[][3] = {
        {"Exif.Photo.DateTimeOriginal", "Exif.Photo.SubSecTimeOriginal",
         "Exif.Photo.OffsetTimeOriginal"},
        {"Exif.Photo.DateTimeDigitized", "Exif.Photo.SubSecTimeDigitized",
         "Exif.Photo.OffsetTimeDigitized"},
    };
    for (const auto &keys : exifKeys) {
        std::optional<TakenTime> taken = parseTime(exifText(exif, keys[0]));
        if (!taken)
            continue;
        const QString subSeconds = exifText(exif, keys[1]);
        bool digits = !subSeconds.isEmpty();
        for (QChar c : subSeconds)
            digits = digits && c.isDigit() && c.unicode() < 0x80;
        if (digits && taken->time.msec() == 0)
            taken->time = taken->time.addMSecs((subSeconds + u"00"_s).left(3).toInt());
        if (!taken->utcOffsetSeconds)
            taken->utcOffsetSeconds = parseOffset(exifText(exif, keys[2]));
        return taken;
    }
    for (const char *key : {"Xmp.exif.DateTimeOriginal", "Xmp.xmp.CreateDate"}) {
        const auto found = xmp.findKey(Exiv2::XmpKey(key));
        if (found == xmp.end())
            continue;
        if (std::optional<TakenTime> taken = parseTime(textOf(found->toString())))
            return taken;
    }
    return std::nullopt;
}

QString exposureText(const Exiv2::ExifData &exif)
{
    std::optional<double> seconds = exifNumber(exif, "Exif.Photo.ExposureTime");
    if (!seconds) {
        // The APEX shutter speed value: 2 to the minus value.
        const auto found = exif.findKey(Exiv2::ExifKey("Exif.Photo.ShutterSpeedValue"));
        if (found != exif.end() && found->count() > 0) {
            const Exiv2::Rational r = found->toRational(0);
            if (r.second != 0 && std::abs(double(r.first) / r.second) < 64)
                seconds = std::pow(2.0, -double(r.first) / r.second);
        }
    }
    if (!seconds || !std::isfinite(*seconds) || *seconds <= 0)
        return {};
    // As cameras show it: a fraction for short times, seconds for long ones.
    if (*seconds <= 0.25)
        return u"1/"_s + QString::number(std::llround(1 / *seconds));
    return decimal(*seconds, 1);
}

QString fNumberText(const Exiv2::ExifData &exif)
{
    std::optional<double> f = exifNumber(exif, "Exif.Photo.FNumber");
    if (!f) {
        // The APEX aperture value: the square root of 2 to the value.
        if (const std::optional<double> av = exifNumber(exif, "Exif.Photo.ApertureValue");
            av && *av < 64)
            f = std::pow(std::sqrt(2.0), *av);
    }
    return f ? decimal(*f, 2) : QString();
}

QString lensText(const Exiv2::ExifData &exif)
{
    const QString model = exifText(exif, "Exif.Photo.LensModel");
    if (!model.isEmpty())
        return model;
    // The maker notes name the lens where the standard tag is missing.
    const auto found = Exiv2::lensName(exif);
    if (found == exif.end())
        return {};
    const QString printed = textOf(found->print(&exif));
    // An identifier the library has no name for prints as a bare number or "(n)".
    static const QRegularExpression unnamed(u"^[(]?[\\d\\s]*[)]?$"_s);
    return unnamed.match(printed).hasMatch() ? QString() : printed;
}

bool sameKey(const std::string &key, const QByteArray &wanted)
{
    return key.size() == size_t(wanted.size()) &&
           ::strcasecmp(key.c_str(), wanted.constData()) == 0;
}

// The value of an Exif, IPTC or XMP key as Exiv2 prints it; a key that occurs more than
// once (IPTC keywords) or an XMP list gives its values joined with ", ".
QString tagValue(const Exiv2::Image &image, const QString &key)
{
    const QByteArray wanted = key.toLatin1();
    QStringList parts;
    if (key.startsWith(u"exif."_s, Qt::CaseInsensitive)) {
        const Exiv2::ExifData &exif = image.exifData();
        for (const Exiv2::Exifdatum &datum : exif) {
            if (sameKey(datum.key(), wanted))
                parts.append(textOf(datum.print(&exif)));
        }
    } else if (key.startsWith(u"iptc."_s, Qt::CaseInsensitive)) {
        for (const Exiv2::Iptcdatum &datum : image.iptcData()) {
            if (sameKey(datum.key(), wanted))
                parts.append(textOf(datum.toString()));
        }
    } else {
        for (const Exiv2::Xmpdatum &datum : image.xmpData()) {
            if (!sameKey(datum.key(), wanted))
                continue;
            const Exiv2::Value &value = datum.value();
            if (value.typeId() == Exiv2::langAlt) {
                parts.append(textOf(value.toString(0)));
            } else if (value.count() > 1) {
                for (long i = 0; i < value.count(); ++i)
                    parts.append(textOf(value.toString(i)));
            } else {
                parts.append(textOf(value.toString()));
            }
        }
    }
    parts.removeAll(QString());
    return parts.join(u", "_s);
}

// The still-picture formats of Exiv2 0.27 by their ImageType numbers: JPEG, EXV, CRW,
// TIFF and the TIFF-based raw formats, MRW, PNG, CR2, RAF, ORF, XMP, GIF, PSD, TGA, BMP,
// JPEG 2000, RW2, PGF, EPS, BMFF (HEIC, AVIF, CR3) and WebP. Left out are its video
// readers (RIFF 20, Matroska 21, QuickTime 22, ASF 24), which can loop without end on
// a broken file: one such file would stop the whole preview.
bool isPhotoType(int type)
{
    return (type >= 1 && type <= 19) || type == 23;
}

} // namespace

void readPhotoMetadata(const QByteArray &path, const MetadataRequest &request, FileMetadata &values)
{
    auto image = Exiv2::ImageFactory::open(std::string(path.constData(), size_t(path.size())));
    if (!image.get() || !isPhotoType(image->imageType()))
        return;
    image->readMetadata();
    const Exiv2::ExifData &exif = image->exifData();

    if (request.wants(MetadataField::Taken))
        values.taken = takenTime(exif, image->xmpData());
    if (request.wants(MetadataField::Camera))
        values.text(MetadataField::Camera) =
            cameraName(exifText(exif, "Exif.Image.Make"), exifText(exif, "Exif.Image.Model"));
    if (request.wants(MetadataField::Lens))
        values.text(MetadataField::Lens) = lensText(exif);
    if (request.wants(MetadataField::Iso)) {
        const auto found = Exiv2::isoSpeed(exif);
        const long iso = found == exif.end() || found->count() == 0 ? 0 : found->toLong(0);
        if (iso > 0)
            values.text(MetadataField::Iso) = QString::number(iso);
    }
    if (request.wants(MetadataField::FNumber))
        values.text(MetadataField::FNumber) = fNumberText(exif);
    if (request.wants(MetadataField::Exposure))
        values.text(MetadataField::Exposure) = exposureText(exif);
    if (request.wants(MetadataField::Focal)) {
        if (const std::optional<double> focal = exifNumber(exif, "Exif.Photo.FocalLength"))
            values.text(MetadataField::Focal) = decimal(*focal, 1);
    }
    if (request.wants(MetadataField::Width) || request.wants(MetadataField::Height)) {
        // The size stored with the pixels; Exif's own copy can be stale after an edit.
        long width = image->pixelWidth();
        long height = image->pixelHeight();
        if (width <= 0 || height <= 0) {
            const auto x = exif.findKey(Exiv2::ExifKey("Exif.Photo.PixelXDimension"));
            const auto y = exif.findKey(Exiv2::ExifKey("Exif.Photo.PixelYDimension"));
            width = x == exif.end() || x->count() == 0 ? 0 : x->toLong(0);
            height = y == exif.end() || y->count() == 0 ? 0 : y->toLong(0);
        }
        // Orientations 5 to 8 turn the picture by a quarter: shown, width and height swap.
        const auto orientation = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        if (orientation != exif.end() && orientation->count() > 0 && orientation->toLong(0) >= 5 &&
            orientation->toLong(0) <= 8)
            std::swap(width, height);
        if (width > 0 && height > 0) {
            values.text(MetadataField::Width) = QString::number(width);
            values.text(MetadataField::Height) = QString::number(height);
        }
    }
    for (const QString &key : request.tagKeys)
        values.tags.insert(key.toLower(), tagValue(*image, key));
}
