#include "update/updateoffer.h"

#include "engine/renameoptions.h"
#include "text/textlines.h"
#include "translation/translation.h"

#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace {

const QString NewVersionText = u"The new version %s is available"_s;
const QString OutOfDateText = u"This version of the software is out of date. You must download "
                              u"the current version %s to continue using the software."_s;
const QString WhatsNewText = u"What's new:"_s;

std::optional<int> readVersionCode(QStringView text)
{
    return readInteger(text, IntegerDigits::DecimalOnly, u" \t");
}

QString fillVersion(const QString &sourceText, const QString &shown)
{
    QString text = translateText(sourceText);
    text.replace(u"%s"_s, shown);
    return text;
}

} // namespace

std::optional<VersionLine> parseVersionLine(const QString &line)
{
    const qsizetype slash = line.indexOf(u'/');
    if (slash < 0)
        return std::nullopt;
    const QString latestText = line.left(slash);
    const std::optional<int> latest = readVersionCode(latestText);
    const std::optional<int> minimum = readVersionCode(QStringView(line).mid(slash + 1));
    if (!latest || !minimum)
        return std::nullopt;
    return VersionLine{*latest, *minimum, latestText};
}

QString displayVersion(const QString &versionCodeText)
{
    if (versionCodeText.isEmpty())
        return QString();
    return versionCodeText.left(versionCodeText.size() - 1) + u'.' + versionCodeText.back();
}

QStringList pageLines(const QByteArray &body)
{
    QStringDecoder decoder(QStringDecoder::Utf8); // drops a leading byte-order mark
    return splitTextLines(decoder.decode(body));
}

std::optional<UpdateOffer> decideUpdate(const QByteArray &versionPage,
                                        const QByteArray &changesPage, int runningVersion)
{
    const QStringList versionLines = pageLines(versionPage);
    if (versionLines.isEmpty())
        return std::nullopt;
    const std::optional<VersionLine> version = parseVersionLine(versionLines.front());
    if (!version)
        return std::nullopt;

    const QString shown = displayVersion(version->latestText);
    QString changes;
    for (const QString &line : pageLines(changesPage)) {
        // Only empty lines go; a line of blanks is kept as the host wrote it.
        if (!line.isEmpty())
            changes += line + u"\r\n"_s;
    }
    const QString whatsNew = u"\r\n\r\n"_s + translateText(WhatsNewText) + u"\r\n"_s + changes;

    // Compared with the running version, not with each other: a minimum above it forces
    // the update even when the latest is not newer.
    if (version->minimum > runningVersion)
        return UpdateOffer{fillVersion(OutOfDateText, shown) + whatsNew, true};
    if (version->latest > runningVersion)
        return UpdateOffer{fillVersion(NewVersionText, shown) + whatsNew, false};
    return std::nullopt;
}

QStringList updateOfferSourceTexts()
{
    return {NewVersionText, OutOfDateText, WhatsNewText};
}
