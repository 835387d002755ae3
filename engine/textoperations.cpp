#include "engine/textoperations.h"

#include <QLocale>

#include <algorithm>

NameOperations NameOperations::fromOptions(const RenameOptions &options)
{
    NameOperations ops;
    ops.removeFirst = intOrDefault(options.removeFirst, 0);
    ops.removeLast = intOrDefault(options.removeLast, 0);
    ops.removeFromPos = intOrDefault(trimControl(options.removeFromPos), 0);
    ops.removeTillPos = intOrDefault(trimControl(options.removeTillPos), 0);
    ops.charactersToRemove = options.charactersToRemove;
    ops.collapseDoubleSpaces = options.collapseDoubleSpaces;
    ops.trimFrom = options.trimFrom;
    ops.trimUntil = options.trimUntil;
    ops.insertText = options.insertText;
    ops.insertPos = intOrDefault(options.insertPos, 1);
    ops.padNumbers = intOrDefault(options.padNumbers, 0);
    return ops;
}

QString applyNameOperations(QStringView originalName, int index, const NameOperations &ops,
                            const QStringList &importedNames)
{
    if (index >= 0 && index < importedNames.size()) {
        const QString &imported = importedNames.at(index);
        if (!trimControl(imported).isEmpty())
            return imported;
    }

    QString text = originalName.toString();
    if (ops.removeFirst > 0)
        text.remove(0, ops.removeFirst);
    if (ops.removeLast > 0 && ops.removeLast <= text.size())
        text.chop(ops.removeLast);
    text = removeRange(text, ops.removeFromPos, ops.removeTillPos);
    if (!ops.charactersToRemove.isEmpty())
        text = removeCharacters(text, ops.charactersToRemove);
    if (ops.collapseDoubleSpaces)
        text = collapseSpaces(text);
    text = trimAtMarkers(text, ops.trimFrom, ops.trimUntil);
    if (!ops.insertText.isEmpty())
        text = insertAt(text, ops.insertText, ops.insertPos);
    if (ops.padNumbers > 0)
        text = padNumbers(text, ops.padNumbers);
    return text;
}

QString applyNameOperations(QStringView originalName, int index, const RenameOptions &options,
                            const QStringList &importedNames)
{
    return applyNameOperations(originalName, index, NameOperations::fromOptions(options),
                               importedNames);
}

QString removeRange(const QString &text, int from, int till)
{
    if (from <= 0 || till < from || from > text.size())
        return text;
    const qsizetype last = std::min<qsizetype>(till, text.size());
    QString result = text;
    result.remove(from - 1, last - from + 1);
    return result;
}

QString removeCharacters(const QString &text, const QString &set)
{
    QString result;
    result.reserve(text.size());
    for (QChar c : text) {
        if (!set.contains(c))
            result.append(c);
    }
    return result;
}

QString collapseSpaces(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (QChar c : text) {
        if (c == u' ' && !result.isEmpty() && result.back() == u' ')
            continue;
        result.append(c);
    }
    return result;
}

QString trimAtMarkers(const QString &text, const QString &trimFrom, const QString &trimUntil)
{
    QString result = text;
    if (!trimFrom.isEmpty()) {
        const qsizetype at = result.indexOf(trimFrom);
        if (at >= 0)
            result.truncate(at);
    }
    if (!trimUntil.isEmpty()) {
        const qsizetype at = result.indexOf(trimUntil);
        if (at >= 0)
            result.remove(0, at + trimUntil.size());
    }
    return result;
}

QString insertAt(const QString &text, const QString &insertion, int position)
{
    const qsizetype at = std::clamp<qsizetype>(position, 1, text.size() + 1) - 1;
    QString result = text;
    result.insert(at, insertion);
    return result;
}

QString padNumbers(const QString &text, int width)
{
    // No file system takes a name longer than 255 units, while a mistyped width of a
    // billion would ask for gigabytes of zeros per name.
    constexpr int maxWidth = 255;
    width = std::min(width, maxWidth);

    QString result;
    result.reserve(text.size() + 8);
    const qsizetype n = text.size();
    qsizetype i = 0;
    const auto isAsciiDigit = [&text](qsizetype k) {
        return text.at(k).unicode() >= u'0' && text.at(k).unicode() <= u'9';
    };
    while (i < n) {
        if (!isAsciiDigit(i)) {
            result.append(text.at(i));
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < n && isAsciiDigit(end))
            ++end;
        // The run's value written without leading zeros; a run too large for 32 bits
        // keeps all its digits rather than turning into zeros.
        qsizetype first = i;
        while (first < end - 1 && text.at(first) == u'0')
            ++first;
        const qsizetype length = end - first;
        for (qsizetype k = length; k < width; ++k)
            result.append(u'0');
        result.append(QStringView(text).sliced(first, length));
        i = end;
    }
    return result;
}

QString plainReplace(const QString &text, const QString &find, const QString &replace)
{
    if (find.isEmpty())
        return text;
    QString result = text;
    result.replace(find, replace, Qt::CaseSensitive);
    return result;
}

bool localeUsesTurkicCasing()
{
    const QLocale::Language language = QLocale().language();
    return language == QLocale::Turkish || language == QLocale::Azerbaijani;
}

namespace {

char32_t lowerCodePoint(char32_t c, bool turkic)
{
    if (turkic && c == U'I')
        return U'\u0131';
    // Qt leaves the dotted capital I alone because its full mapping has two code
    // points; its one-to-one mapping is a plain i.
    if (c == U'\u0130')
        return U'i';
    return QChar::toLower(c);
}

char32_t upperCodePoint(char32_t c, bool turkic)
{
    if (turkic && c == U'i')
        return U'\u0130';
    return QChar::toUpper(c);
}

char32_t titleCodePoint(char32_t c, bool turkic)
{
    if (turkic && c == U'i')
        return U'\u0130';
    return QChar::toTitleCase(c);
}

// Walks the code points of text and writes map(code point) in place. A mapping that
// would need a different number of code units keeps the original code point.
template <typename Map>
QString mapCodePoints(const QString &text, Map map)
{
    QString result = text;
    QChar *out = result.data();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = text.at(i);
        char32_t cp = c.unicode();
        qsizetype width = 1;
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(c, text.at(i + 1));
            width = 2;
        }
        const char32_t mapped = map(cp);
        if (mapped != cp && (QChar::requiresSurrogates(mapped) ? 2 : 1) == width) {
            if (width == 1) {
                out[i] = QChar(char16_t(mapped));
            } else {
                out[i] = QChar(QChar::highSurrogate(mapped));
                out[i + 1] = QChar(QChar::lowSurrogate(mapped));
            }
        }
        i += width;
    }
    return result;
}

bool isWordCharacter(char32_t c)
{
    // Letters, decimal digits and the combining marks that belong to a letter before
    // them (a decomposed é must not start a new word).
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Number_DecimalDigit:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return true;
    default:
        return false;
    }
}

} // namespace

namespace {

// One code point of a case change; wordStart carries the Title Case state. ASCII is
// handled inline because names are mostly ASCII and the Unicode tables cost more.
char32_t changeCase(char32_t c, int mode, bool turkic, bool &wordStart)
{
    if (c < 0x80 && !(turkic && (c == U'I' || c == U'i'))) {
        const bool upper = c >= U'A' && c <= U'Z';
        const bool lower = c >= U'a' && c <= U'z';
        const char32_t lowered = upper ? c + 32 : c;
        switch (mode) {
        case CaseMode::Lower:
            return lowered;
        case CaseMode::Upper:
            return lower ? c - 32 : c;
        default:
            if (wordStart && (upper || lower)) {
                wordStart = false;
                return lowered - 32;
            }
            wordStart = !(upper || lower || (c >= U'0' && c <= U'9'));
            return lowered;
        }
    }
    switch (mode) {
    case CaseMode::Lower:
        return lowerCodePoint(c, turkic);
    case CaseMode::Upper:
        return upperCodePoint(c, turkic);
    default: {
        const char32_t lowered = lowerCodePoint(c, turkic);
        if (wordStart && QChar::isLetter(lowered)) {
            wordStart = false;
            return titleCodePoint(lowered, turkic);
        }
        wordStart = !isWordCharacter(lowered);
        return lowered;
    }
    }
}

} // namespace

QString applyCase(const QString &text, int mode, bool turkic)
{
    if (mode != CaseMode::Lower && mode != CaseMode::Upper && mode != CaseMode::Title)
        return text;
    bool wordStart = true;
    return mapCodePoints(text, [mode, turkic, &wordStart](char32_t c) {
        return changeCase(c, mode, turkic, wordStart);
    });
}

QString applyCase(const QString &text, int mode)
{
    return applyCase(text, mode, localeUsesTurkicCasing());
}
