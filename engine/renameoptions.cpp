#include "engine/renameoptions.h"

#include <limits>

namespace {

int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

} // namespace

const QList<OptionField> &renameOptionFields()
{
    using O = RenameOptions;
    using K = OptionKind;
    static const QList<OptionField> fields{
        {.presetKey = u"find",
         .kind = K::Text,
         .text = &O::find,
         .control = u"findEdit",
         .cliSwitch = u"find",
         .cliValueName = u"TEXT",
         .cliHelp = u"Text to find in the new name."},
        {.presetKey = u"replace",
         .kind = K::Text,
         .text = &O::replace,
         .control = u"replaceEdit",
         .cliSwitch = u"replace",
         .cliValueName = u"TEXT",
         .cliHelp = u"Replacement for the found text."},
        {.presetKey = u"regex",
         .kind = K::Flag,
         .flag = &O::regex,
         .presetFallback = u"false",
         .control = u"regexCheck",
         .cliSwitch = u"regex",
         .cliHelp = u"Find is a regular expression."},
        {.presetKey = u"pattern",
         .kind = K::Text,
         .text = &O::pattern,
         .control = u"patternEdit",
         .cliSwitch = u"pattern",
         .cliValueName = u"TEXT",
         .cliHelp = u"Pattern of the new name (default {name})."},
        {.presetKey = u"counterStart",
         .kind = K::Number,
         .text = &O::counterStart,
         .control = u"counterStartEdit",
         .cliSwitch = u"counter-start",
         .cliValueName = u"N",
         .cliHelp = u"First value of {counter} (default 1)."},
        {.presetKey = u"digits",
         .kind = K::Number,
         .text = &O::digits,
         .control = u"digitsEdit",
         .cliSwitch = u"digits",
         .cliValueName = u"N",
         .cliHelp = u"Digits of {counter}, 1 to 10 (default 3)."},
        {.presetKey = u"case",
         .kind = K::Choice,
         .choice = &O::caseMode,
         .control = u"caseCombo",
         .cliSwitch = u"case",
         .cliValueName = u"MODE",
         .cliHelp = u"Case change: unchanged, lower, upper or title.",
         .choiceWords = {u"unchanged", u"lower", u"upper", u"title"},
         .choiceName = u"case mode"},
        // A preset from before the extension had its check box changed it when set.
        {.presetKey = u"changeExt",
         .kind = K::Flag,
         .flag = &O::changeExt,
         .presetFallback = u"true",
         .control = u"newExtensionCheck"},
        {.presetKey = u"newExt",
         .kind = K::Text,
         .text = &O::newExt,
         .control = u"newExtensionEdit",
         .cliSwitch = u"new-ext",
         .cliValueName = u"TEXT",
         .cliHelp = u"Give every file this extension; an empty TEXT removes extensions.",
         .switchAlsoSets = &O::changeExt},
        {.presetKey = u"conflict",
         .kind = K::Choice,
         .choice = &O::conflict,
         .control = u"conflictCombo",
         .cliSwitch = u"conflict",
         .cliValueName = u"RULE",
         .cliHelp = u"When a target exists: skip, overwrite or number (the default).",
         .choiceWords = {u"skip", u"overwrite", u"number"},
         .choiceName = u"conflict rule"},
        {.presetKey = u"insertText",
         .kind = K::Text,
         .text = &O::insertText,
         .control = u"insertTextEdit",
         .cliSwitch = u"insert-text",
         .cliValueName = u"TEXT",
         .cliHelp = u"Text to insert into the name."},
        {.presetKey = u"insertPos",
         .kind = K::Number,
         .text = &O::insertPos,
         .control = u"insertPositionEdit",
         .cliSwitch = u"insert-pos",
         .cliValueName = u"N",
         .cliHelp = u"Position of the inserted text (default 1)."},
        {.presetKey = u"removeFirst",
         .kind = K::Number,
         .text = &O::removeFirst,
         .control = u"removeFirstEdit",
         .cliSwitch = u"remove-first",
         .cliValueName = u"N",
         .cliHelp = u"Characters to remove from the start."},
        {.presetKey = u"removeLast",
         .kind = K::Number,
         .text = &O::removeLast,
         .control = u"removeLastEdit",
         .cliSwitch = u"remove-last",
         .cliValueName = u"N",
         .cliHelp = u"Characters to remove from the end."},
        {.presetKey = u"removeFromPos",
         .kind = K::Number,
         .text = &O::removeFromPos,
         .control = u"removeFromPositionEdit",
         .cliSwitch = u"remove-from",
         .cliValueName = u"N",
         .cliHelp = u"First position of a range to remove."},
        {.presetKey = u"removeTillPos",
         .kind = K::Number,
         .text = &O::removeTillPos,
         .control = u"removeUntilPositionEdit",
         .cliSwitch = u"remove-till",
         .cliValueName = u"N",
         .cliHelp = u"Last position of a range to remove."},
        {.presetKey = u"charactersToRemove",
         .kind = K::Text,
         .text = &O::charactersToRemove,
         .control = u"removeCharactersEdit",
         .cliSwitch = u"remove-chars",
         .cliValueName = u"TEXT",
         .cliHelp = u"Characters to remove wherever they occur."},
        {.presetKey = u"collapseDoubleSpaces",
         .kind = K::Flag,
         .flag = &O::collapseDoubleSpaces,
         .presetFallback = u"false",
         .control = u"collapseSpacesCheck",
         .cliSwitch = u"collapse-spaces",
         .cliHelp = u"Collapse runs of spaces to one."},
        {.presetKey = u"cropBefore",
         .kind = K::Text,
         .text = &O::trimFrom,
         .control = u"trimFromEdit",
         .cliSwitch = u"trim-from",
         .cliValueName = u"TEXT",
         .cliHelp = u"Cut the name from the first occurrence of TEXT on."},
        {.presetKey = u"cropAfter",
         .kind = K::Text,
         .text = &O::trimUntil,
         .control = u"trimUntilEdit",
         .cliSwitch = u"trim-until",
         .cliValueName = u"TEXT",
         .cliHelp = u"Cut the name up to and including the first TEXT."},
        {.presetKey = u"padNumbers",
         .kind = K::Number,
         .text = &O::padNumbers,
         .control = u"padNumbersEdit",
         .cliSwitch = u"pad-numbers",
         .cliValueName = u"N",
         .cliHelp = u"Pad numbers in the name with zeros to N digits."},
        {.presetKey = u"includeSubfolders",
         .kind = K::Flag,
         .flag = &O::includeSubfolders,
         .presetFallback = u"false",
         .control = u"includeSubfoldersCheck",
         .cliSwitch = u"recursive",
         .cliHelp = u"Take the files of subfolders of a folder too."},
        {.presetKey = u"batchMode",
         .kind = K::Choice,
         .choice = &O::batchMode,
         .control = u"operationCombo",
         .cliSwitch = u"mode",
         .cliValueName = u"MODE",
         .cliHelp = u"With --execute: rename (in place, the default), copy or move.",
         .choiceWords = {u"rename", u"copy", u"move"},
         .choiceName = u"mode"},
        {.presetKey = u"destination",
         .kind = K::Text,
         .text = &O::destination,
         .control = u"destinationEdit",
         .cliSwitch = u"destination",
         .cliValueName = u"DIR",
         .cliHelp = u"Folder that copy and move put the files into."},
        {.presetKey = u"touchModifiedNow",
         .kind = K::Flag,
         .flag = &O::touchModifiedNow,
         .presetFallback = u"false",
         .control = u"touchModifiedNowCheck",
         .cliSwitch = u"touch",
         .cliHelp = u"Give every renamed, copied or moved file the current time."},
    };
    return fields;
}

std::optional<int> readInteger(QStringView text, IntegerDigits digits, QStringView blanks)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && blanks.contains(text.at(i)))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    int base = 10;
    if (digits == IntegerDigits::DecimalOrHexadecimal) {
        if (i < n && (text.at(i) == u'$' || text.at(i) == u'x' || text.at(i) == u'X')) {
            base = 16;
            ++i;
        } else if (i + 1 < n && text.at(i) == u'0' &&
                   (text.at(i + 1) == u'x' || text.at(i + 1) == u'X')) {
            base = 16;
            i += 2;
        }
    }
    if (i >= n)
        return std::nullopt;

    constexpr qint64 limit = qint64(std::numeric_limits<int>::max()) + 1;
    qint64 value = 0;
    for (; i < n; ++i) {
        const int digit = hexDigitValue(text.at(i));
        if (digit < 0 || digit >= base)
            return std::nullopt;
        value = value * base + digit;
        if (value > limit)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(value);
}

int intOrDefault(const QString &text, int fallback)
{
    return readInteger(text).value_or(fallback);
}

QString trimControl(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}
