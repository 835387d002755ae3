#include "shell/aboutbox.h"

#include "engine/metadatakeywords.h"
#include "shell/startup.h"
#include "translation/translation.h"

#include <QDate>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

const QString VersionLabel = u"Version:"_s;
const QString WebsiteLabel = u"Website:"_s;
const QStringList LegalNotice{
    u"This software is provided \"as is\", without warranty of any kind."_s,
    u"You use it at your own risk."_s,
    u"The author is not liable for lost data or any other damage caused by its use."_s,
    u"Keep a backup of important files before you rename them."_s,
};
const QString RightsSentence = u"All rights reserved."_s;

// A keyword or example and, after " - ", the sentence that explains it; examples
// without a sentence are shown as they are.
struct HelpLine
{
    QString fixed;
    QString sentence;
};

const QList<HelpLine> &patternHelpLines()
{
    static const QList<HelpLine> lines{
        {{}, u"Pattern defines how the new file name will be built."_s},
        {{}, {}},
        {{}, u"You can combine plain text with keywords in braces."_s},
        {{}, u"Examples:"_s},
        {u"{counter}_{name}"_s, {}},
        {u"yourprefix_{name}"_s, {}},
        {u"{name}_{imgw}x{imgh}"_s, {}},
        {{}, {}},
        {{}, u"Supported keywords:"_s},
        {u"{name} - "_s, u"file name after string replacement"_s},
        {u"{ext} - "_s, u"original file extension without dot"_s},
        {u"{counter} - "_s, u"auto-increment number"_s},
        {u"{date} - "_s, u"current date"_s},
        {u"{time} - "_s, u"current time"_s},
        {u"{created} - "_s, u"file creation date"_s},
        {u"{modified} - "_s, u"file modification date"_s},
        {u"{parent}/{folder} - "_s, u"parent folder name"_s},
        {u"{size} - "_s, u"file size in bytes"_s},
        {u"{list} - "_s, u"imported name list entry"_s},
        {u"{imgw}/{imgh} - "_s, u"image width/height when available"_s},
        {{}, u"{counter} and {list} follow the list from top to bottom, in the order shown."_s},
        {{}, {}},
        {{}, u"Formatting examples:"_s},
        {u"{date:yyyy-MM-dd}"_s, {}},
        {u"{created:yyyyMMdd}"_s, {}},
        {u"{modified:yyyy-MM-dd_HH-mm-ss}"_s, {}},
        {u"{name:1:8} - "_s, u"substring of the original name"_s},
        {{}, {}},
        {{}, u"Keywords from inside the files (empty when a file lacks the value):"_s},
    };
    static const QList<HelpLine> withMetadata = [] {
        QList<HelpLine> all = lines;
        for (const KeywordHelpLine &line : metadataKeywordHelp())
            all.append({line.keywords + u" - "_s, line.sentence});
        return all;
    }();
    return withMetadata;
}

const QString KeywordSeparator = u" - "_s;
const QChar RightToLeftMark(0x200F);

// A run that reads left to right whatever stands around it, without changing the order
// of the text around it (a left-to-right isolate).
QString leftToRight(const QString &text)
{
    return QChar(0x2066) + text + QChar(0x2069);
}

// The keywords ("{list}") and number examples ("3-07") of a translated sentence as
// left-to-right runs: between Arabic letters, "3-07" would otherwise read "07-3".
QString isolateExamples(const QString &sentence)
{
    static const QRegularExpression examples(u"\\{[^{}\\s]*\\}|[0-9]+(?:[-:._/x][0-9]+)+"_s);
    QString result;
    qsizetype done = 0;
    for (const QRegularExpressionMatch &match : examples.globalMatch(sentence)) {
        result += sentence.mid(done, match.capturedStart() - done);
        result += leftToRight(match.captured());
        done = match.capturedEnd();
    }
    return result + sentence.mid(done);
}

// The website as the About box shows it: the host of the homepage link, without scheme.
QString websiteName()
{
    return QUrl(HomepageAddress).host();
}

} // namespace

QString aboutText(int year)
{
    QStringList lines{
        ApplicationTitle, translateText(VersionLabel) + u' ' + ApplicationVersion,
        QString(),        translateText(WebsiteLabel) + u' ' + websiteName(),
        QString(),
    };
    for (const QString &sentence : LegalNotice)
        lines.append(translateText(sentence));
    lines.append(QString());
    lines.append(u"\u00A9 %1 %2. "_s.arg(year).arg(MakerName) + translateText(RightsSentence));
    return lines.join(u"\r\n"_s);
}

QString aboutText()
{
    return aboutText(QDate::currentDate().year());
}

QString patternHelpText()
{
    const bool rightToLeft = QGuiApplication::layoutDirection() == Qt::RightToLeft;
    QStringList lines;
    for (const HelpLine &line : patternHelpLines()) {
        const QString sentence = line.sentence.isEmpty() ? QString() : translateText(line.sentence);
        if (!rightToLeft) {
            lines.append(line.fixed + sentence);
            continue;
        }
        if (line.fixed.isEmpty() && sentence.isEmpty()) {
            lines.append(QString());
            continue;
        }
        // Each line starts right to left, so that all stand at the same edge; keywords
        // and examples read left to right inside it.
        QString fixed = line.fixed;
        QString separator;
        if (fixed.endsWith(KeywordSeparator)) {
            fixed.chop(KeywordSeparator.size());
            separator = KeywordSeparator;
        }
        QString shown = RightToLeftMark;
        if (!fixed.isEmpty())
            shown += leftToRight(fixed);
        lines.append(shown + separator + isolateExamples(sentence));
    }
    return lines.join(u"\r\n"_s);
}

QStringList aboutAndHelpSourceTexts()
{
    QStringList texts{VersionLabel, WebsiteLabel};
    texts += LegalNotice;
    texts.append(RightsSentence);
    for (const HelpLine &line : patternHelpLines()) {
        if (!line.sentence.isEmpty())
            texts.append(line.sentence);
    }
    return texts;
}
