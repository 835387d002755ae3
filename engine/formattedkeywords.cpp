#include "engine/formattedkeywords.h"

#include "engine/asciitext.h"
#include "engine/imagesize.h"
#include "engine/renameoptions.h"

#include <QList>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

struct Match
{
    qsizetype start = -1;
    qsizetype end = 0; // after the closing brace
    QString first;     // the keyword's name, or a range's start
    QString second;    // the format, or a range's length
};

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// {date|time|created|modified:FORMAT} with a FORMAT of one or more characters
// other than "}".
std::optional<Match> dateKeyAsciiWordAt(const QString &text, qsizetype at)
{
    static const QLatin1StringView names[] = {"date"_L1, "time"_L1, "created"_L1, "modified"_L1};
    for (QLatin1StringView name : names) {
        const qsizetype colon = at + 1 + name.size();
        if (!asciiWordAt(text, at + 1, name) || colon >= text.size() || text.at(colon) != u':')
            continue;
        const qsizetype close = text.indexOf(u'}', colon + 1);
        if (close <= colon + 1)
            return std::nullopt;
        return Match{at, close + 1, name, text.sliced(colon + 1, close - colon - 1)};
    }
    return std::nullopt;
}

// Reads "-?digits" at text[at]; returns the position after it, or -1.
qsizetype numberAt(const QString &text, qsizetype at)
{
    qsizetype i = at;
    if (i < text.size() && text.at(i) == u'-')
        ++i;
    const qsizetype digits = i;
    while (i < text.size() && isAsciiDigit(text.at(i)))
        ++i;
    return i > digits ? i : -1;
}

// {name:START:LENGTH} with START and LENGTH of the form -?digits.
std::optional<Match> nameRangeAt(const QString &text, qsizetype at)
{
    if (!asciiWordAt(text, at + 1, "name:"_L1))
        return std::nullopt;
    const qsizetype startFrom = at + 6;
    const qsizetype startEnd = numberAt(text, startFrom);
    if (startEnd < 0 || startEnd >= text.size() || text.at(startEnd) != u':')
        return std::nullopt;
    const qsizetype lengthEnd = numberAt(text, startEnd + 1);
    if (lengthEnd < 0 || lengthEnd >= text.size() || text.at(lengthEnd) != u'}')
        return std::nullopt;
    return Match{at, lengthEnd + 1, text.sliced(startFrom, startEnd - startFrom),
                 text.sliced(startEnd + 1, lengthEnd - startEnd - 1)};
}

void replaceAllCaseless(QString &text, QLatin1StringView keyword, const QString &value)
{
    for (qsizetype at = text.indexOf(u'{'); at >= 0; at = text.indexOf(u'{', at)) {
        if (asciiWordAt(text, at, keyword)) {
            text.replace(at, keyword.size(), value);
            at += value.size();
        } else {
            ++at;
        }
    }
}

} // namespace

QString nameRange(const QString &name, const QString &startText, const QString &lengthText)
{
    const qint64 length = name.size();
    qint64 start = intOrDefault(startText, 1);
    qint64 count = intOrDefault(lengthText, int(std::min<qint64>(length, INT_MAX)));
    if (start < 0)
        start += length + 1;
    start = std::clamp<qint64>(start, 1, length + 1);
    count = std::max<qint64>(count, 0);
    return name.mid(start - 1, count);
}

QString expandFormattedKeywords(const QString &text, const RenameItem &item,
                                const LocaleFormat &locale)
{
    if (!text.contains(u'{'))
        return text;
    QString result = text;

    // Pass 1: each replacement uses up one "}" and a value never holds one, so the
    // search can start again from the beginning until nothing is found.
    for (qsizetype at = result.indexOf(u'{'); at >= 0;) {
        const std::optional<Match> match = dateKeyAsciiWordAt(result, at);
        if (!match) {
            at = result.indexOf(u'{', at + 1);
            continue;
        }
        LocalMoment moment;
        if (match->first == "created"_L1)
            moment = localMomentFromUtc(itemFacts(item).createdUtc);
        else if (match->first == "modified"_L1)
            moment = localMomentFromUtc(itemFacts(item).modifiedUtc);
        else
            moment = currentLocalMoment();
        const QString value = formatDateTimeText(match->second, moment, locale);
        result.replace(match->start, match->end - match->start, value);
        // Only a locale text holding a "}" could bring one in; then go on after it.
        at = value.contains(u'}') ? result.indexOf(u'{', match->start + value.size())
                                  : result.indexOf(u'{');
    }

    // Pass 2: name ranges, again from the beginning after each replacement. A value
    // comes from the file name and may itself look like a keyword; a match that would
    // begin inside an inserted value is not taken, which ends every such loop.
    QList<std::pair<qsizetype, qsizetype>> inserted; // [start, end) of inserted values
    const auto insideValue = [&inserted](qsizetype at) {
        return std::any_of(inserted.cbegin(), inserted.cend(), [at](const auto &range) {
            return at >= range.first && at < range.second;
        });
    };
    for (qsizetype at = result.indexOf(u'{'); at >= 0;) {
        const std::optional<Match> match = insideValue(at) ? std::nullopt : nameRangeAt(result, at);
        if (!match) {
            at = result.indexOf(u'{', at + 1);
            continue;
        }
        const QString value =
            nameRange(item.originalName().toString(), match->first, match->second);
        const qsizetype shift = value.size() - (match->end - match->start);
        for (auto &range : inserted) {
            // Parts of earlier values that the match covered are gone with it.
            if (range.first >= match->end) {
                range.first += shift;
                range.second += shift;
            } else if (range.second > match->start) {
                range.first = std::max(range.first, match->end) + shift;
                range.second += shift;
            }
        }
        inserted.removeIf([](const auto &range) { return range.first >= range.second; });
        result.replace(match->start, match->end - match->start, value);
        inserted.append({match->start, match->start + value.size()});
        at = result.indexOf(u'{');
    }

    // Pass 3: picture sizes, read only when asked for.
    const bool wantsSize = [&] {
        for (qsizetype at = result.indexOf(u'{'); at >= 0; at = result.indexOf(u'{', at + 1)) {
            if (asciiWordAt(result, at, "{imgw}"_L1) || asciiWordAt(result, at, "{imgh}"_L1))
                return true;
        }
        return false;
    }();
    if (wantsSize) {
        const std::optional<QSize> size = readImageSize(item.originalPath());
        replaceAllCaseless(result, "{imgw}"_L1, size ? QString::number(size->width()) : QString());
        replaceAllCaseless(result, "{imgh}"_L1, size ? QString::number(size->height()) : QString());
    }
    return result;
}

QString expandFormattedKeywords(const QString &text, const RenameItem &item)
{
    return expandFormattedKeywords(text, item, LocaleFormat::system());
}
