#include "metadata/metadatareaders.h"

#include <taglib/fileref.h>
#include <taglib/tfile.h>
#include <taglib/tpropertymap.h>

using namespace Qt::StringLiterals;

namespace {

QString textOf(const TagLib::String &value)
{
    return QString::fromStdString(value.to8Bit(true)).trimmed();
}

// Every value of a property, joined with ", " (an ID3v2.4 frame or a Vorbis comment
// can name several artists).
QString property(const TagLib::PropertyMap &properties, const char *key)
{
    const auto found = properties.find(key);
    if (found == properties.end())
        return {};
    QStringList parts;
    for (const TagLib::String &value : found->second)
        parts.append(textOf(value));
    parts.removeAll(QString());
    return parts.join(u", "_s);
}

// The number at the start of "7/12" or "07": 7; empty when there is none or it is 0.
QString leadingNumber(const QString &text)
{
    qsizetype digits = 0;
    while (digits < text.size() && digits < 9 && text.at(digits).unicode() >= u'0' &&
           text.at(digits).unicode() <= u'9')
        ++digits;
    const int number = text.left(digits).toInt();
    return number > 0 ? QString::number(number) : QString();
}

} // namespace

void readAudioMetadata(const QByteArray &path, const MetadataRequest &request, FileMetadata &values)
{
    // The audio properties cost a scan of the stream's start; only the length needs them.
    const bool wantsLength = request.wants(MetadataField::Length);
    const TagLib::FileRef file(path.constData(), wantsLength, TagLib::AudioProperties::Fast);
    if (file.isNull())
        return;
    const TagLib::PropertyMap properties = file.file()->properties();

    const struct
    {
        MetadataField field;
        const char *key;
    } texts[] = {
        {MetadataField::Artist, "ARTIST"}, {MetadataField::AlbumArtist, "ALBUMARTIST"},
        {MetadataField::Album, "ALBUM"},   {MetadataField::Title, "TITLE"},
        {MetadataField::Genre, "GENRE"},
    };
    for (const auto &entry : texts) {
        if (request.wants(entry.field))
            values.text(entry.field) = property(properties, entry.key);
    }
    if (request.wants(MetadataField::Track))
        values.text(MetadataField::Track) = leadingNumber(property(properties, "TRACKNUMBER"));
    if (request.wants(MetadataField::Disc))
        values.text(MetadataField::Disc) = leadingNumber(property(properties, "DISCNUMBER"));
    if (request.wants(MetadataField::Year)) {
        // DATE may be a whole date ("2019-05-03"); the year is its start.
        const QString date = property(properties, "DATE");
        if (date.size() >= 4 && leadingNumber(date.left(4)).size() == 4)
            values.text(MetadataField::Year) = date.left(4);
    }
    if (wantsLength && file.audioProperties()) {
        const qint64 seconds =
            (qint64(file.audioProperties()->lengthInMilliseconds()) + 500) / 1000;
        if (seconds > 0)
            values.text(MetadataField::Length) =
                u"%1-%2"_s.arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    }
}
