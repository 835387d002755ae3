#include "engine/metadatakeywords.h"

#include "engine/asciitext.h"
#include "engine/renameoptions.h"

#include <QTimeZone>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

struct NamedField
{
    QLatin1StringView name;
    MetadataField field;
};

constexpr NamedField PhotoFields[] = {
    {"taken"_L1, MetadataField::Taken},     {"camera"_L1, MetadataField::Camera},
    {"lens"_L1, MetadataField::Lens},       {"iso"_L1, MetadataField::Iso},
    {"fnumber"_L1, MetadataField::FNumber}, {"exposure"_L1, MetadataField::Exposure},
    {"focal"_L1, MetadataField::Focal},     {"width"_L1, MetadataField::Width},
    {"height"_L1, MetadataField::Height},
};

constexpr NamedField AudioFields[] = {
    {"artist"_L1, MetadataField::Artist}, {"albumartist"_L1, MetadataField::AlbumArtist},
    {"album"_L1, MetadataField::Album},   {"title"_L1, MetadataField::Title},
    {"track"_L1, MetadataField::Track},   {"disc"_L1, MetadataField::Disc},
    {"year"_L1, MetadataField::Year},     {"genre"_L1, MetadataField::Genre},
    {"length"_L1, MetadataField::Length},
};

template <size_t N>
std::optional<MetadataField> namedField(const NamedField (&table)[N], QStringView name)
{
    for (const NamedField &entry : table) {
        if (name.size() == entry.name.size() && asciiWordAt(name, 0, entry.name))
            return entry.field;
    }
    return std::nullopt;
}

// FAMILY.GROUP.TAG with a family that Exiv2 reads: Exif, Iptc or Xmp.
bool isTagKey(QStringView key)
{
    const qsizetype firstDot = key.indexOf(u'.');
    if (firstDot <= 0)
        return false;
    const QStringView family = key.first(firstDot);
    if (!equalsAsciiCaseless(family, u"exif") && !equalsAsciiCaseless(family, u"iptc") &&
        !equalsAsciiCaseless(family, u"xmp"))
        return false;
    const qsizetype secondDot = key.indexOf(u'.', firstDot + 1);
    return secondDot > firstDot + 1 && secondDot + 1 < key.size() &&
           std::none_of(key.begin(), key.end(), [](QChar c) { return c.isSpace(); });
}

// The keyword whose inner text (between "{exif:" or "{audio:" and "}") is inner.
std::optional<MetadataKeyword> keywordFrom(bool photo, QStringView inner)
{
    MetadataKeyword keyword;
    const QLatin1StringView withArgument = photo ? "taken:"_L1 : "track:"_L1;
    if (asciiWordAt(inner, 0, withArgument)) {
        if (inner.size() == withArgument.size())
            return std::nullopt; // {exif:taken:} is no keyword, as {date:} is none
        keyword.field = photo ? MetadataField::Taken : MetadataField::Track;
        keyword.argument = inner.sliced(withArgument.size()).toString();
        keyword.hasArgument = true;
        return keyword;
    }
    keyword.field = photo ? namedField(PhotoFields, inner) : namedField(AudioFields, inner);
    if (keyword.field)
        return keyword;
    if (photo && isTagKey(inner)) {
        keyword.tagKey = inner.toString();
        return keyword;
    }
    return std::nullopt;
}

QString padded(const QString &number, const QString &digitsText)
{
    const int digits = std::clamp(intOrDefault(digitsText, 3), 1, 10);
    return number.size() < digits ? QString(digits - number.size(), u'0') + number : number;
}

// A value from a file as a name may hold it: tags hold line breaks, tabs and the NUL
// padding of fixed-size fields, which have no place in a file name.
QString cleaned(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0))
            c = u' ';
    }
    return result.trimmed();
}

LocalMoment takenOnLocalClock(const TakenTime &taken)
{
    if (!taken.utcOffsetSeconds)
        return LocalMoment{taken.date, taken.time};
    // A known offset makes the moment exact: it is written on this machine's clock, as
    // {created} and {modified} are, so photos of cameras set to other zones line up.
    const qint64 utcMs = QDateTime(taken.date, taken.time, QTimeZone::utc()).toMSecsSinceEpoch() -
                         qint64(*taken.utcOffsetSeconds) * 1000;
    return localMomentFromUtc(fileTimeFromUnixMs(utcMs));
}

} // namespace

MetadataPattern::MetadataPattern(const QString &pattern)
{
    qsizetype copied = 0;
    for (qsizetype at = pattern.indexOf(u'{'); at >= 0; at = pattern.indexOf(u'{', at + 1)) {
        const bool photo = asciiWordAt(pattern, at, "{exif:"_L1);
        if (!photo && !asciiWordAt(pattern, at, "{audio:"_L1))
            continue;
        const qsizetype innerStart = at + (photo ? 6 : 7);
        const qsizetype close = pattern.indexOf(u'}', innerStart);
        if (close < 0)
            break;
        const QStringView inner = QStringView(pattern).sliced(innerStart, close - innerStart);
        if (inner.contains(u'{'))
            continue;
        const std::optional<MetadataKeyword> keyword = keywordFrom(photo, inner);
        if (!keyword)
            continue;
        m_texts.append(pattern.sliced(copied, at - copied));
        m_keywords.append(*keyword);
        if (keyword->field)
            m_request.add(*keyword->field);
        else if (!m_request.tagKeys.contains(keyword->tagKey, Qt::CaseInsensitive))
            m_request.tagKeys.append(keyword->tagKey);
        copied = close + 1;
        at = close;
    }
    m_texts.append(pattern.sliced(copied));
}

QString metadataKeywordValue(const MetadataKeyword &keyword, const FileMetadata &values,
                             const LocaleFormat &locale)
{
    if (!keyword.field)
        return cleaned(values.tags.value(keyword.tagKey.toLower()));
    switch (*keyword.field) {
    case MetadataField::Taken:
        if (!values.taken || !values.taken->date.isValid() || !values.taken->time.isValid())
            return {};
        return formatDateTimeText(keyword.hasArgument ? keyword.argument : u"yyyymmdd"_s,
                                  takenOnLocalClock(*values.taken), locale);
    case MetadataField::Track: {
        const QString number = cleaned(values.text(MetadataField::Track));
        return keyword.hasArgument && !number.isEmpty() ? padded(number, keyword.argument) : number;
    }
    default:
        return cleaned(values.text(*keyword.field));
    }
}

const QList<KeywordHelpLine> &metadataKeywordHelp()
{
    static const QList<KeywordHelpLine> lines{
        {u"{exif:taken}, {exif:taken:yyyy-MM-dd_HH-mm-ss}"_s, u"when the photo was taken"_s},
        {u"{exif:camera}"_s, u"camera make and model"_s},
        {u"{exif:lens}, {exif:iso}, {exif:fnumber}, {exif:exposure}, {exif:focal}"_s,
         u"lens and exposure settings"_s},
        {u"{exif:width}/{exif:height}"_s, u"photo width/height as it is shown"_s},
        {u"{exif:Exif.Photo.LensModel}"_s, u"any Exif, IPTC or XMP key"_s},
        {u"{audio:artist}, {audio:albumartist}, {audio:album}, {audio:title}"_s,
         u"artist, album artist, album and title"_s},
        {u"{audio:track}, {audio:track:2}, {audio:disc}"_s,
         u"track number (padded to 2 digits) and disc number"_s},
        {u"{audio:year}, {audio:genre}"_s, u"year and genre"_s},
        {u"{audio:length}"_s, u"playing time in minutes and seconds (3-07)"_s},
    };
    return lines;
}

QStringList metadataKeywordList()
{
    QStringList keywords;
    for (const NamedField &entry : PhotoFields)
        keywords.append(u"{exif:"_s + entry.name + u'}');
    keywords.append(u"{exif:taken:yyyy-MM-dd_HH-mm-ss}"_s);
    keywords.append(u"{exif:Exif.Photo.LensModel}"_s);
    for (const NamedField &entry : AudioFields)
        keywords.append(u"{audio:"_s + entry.name + u'}');
    keywords.append(u"{audio:track:2}"_s);
    return keywords;
}
