#include "namebuilder.h"

#include "formattedkeywords.h"
#include "translation.h"
#include "usermessages.h"

#include <algorithm>

QString FormatCounter(qint64 start, qint64 index, int digits)
{
    const qint64 value = start + index;
    QString text = QString::number(value < 0 ? -value : value);
    if (text.size() < digits)
        text.prepend(QString(digits - text.size(), u'0'));
    if (value < 0)
        text.prepend(u'-');
    return text;
}

QString FixedDateText(const QDateTime &localMoment)
{
    const QDate date = localMoment.date();
    return QStringLiteral("%1%2%3")
        .arg(date.year(), 4, 10, QLatin1Char('0'))
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.day(), 2, 10, QLatin1Char('0'));
}

QString FixedTimeText(const QDateTime &localMoment)
{
    const QTime time = localMoment.time();
    return QStringLiteral("%1%2%3")
        .arg(time.hour(), 2, 10, QLatin1Char('0'))
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(time.second(), 2, 10, QLatin1Char('0'));
}

namespace {

// Finds keyword (lower-case, braces included) with A-Z matching a-z; no other case
// folding, so no look-alike letter of another script stands in for a keyword letter.
qsizetype indexOfKeyword(const QString &text, QLatin1StringView keyword, qsizetype from)
{
    const qsizetype last = text.size() - keyword.size();
    for (qsizetype at = text.indexOf(u'{', from); at >= 0 && at <= last;
         at = text.indexOf(u'{', at + 1)) {
        qsizetype k = 1;
        for (; k < keyword.size(); ++k) {
            char16_t c = text.at(at + k).unicode();
            if (c >= u'A' && c <= u'Z')
                c += u'a' - u'A';
            if (c != char16_t(keyword.at(k).unicode()))
                break;
        }
        if (k == keyword.size())
            return at;
    }
    return -1;
}

// Replaces every occurrence of keyword; value() is only asked for when one is found.
// The inserted values are not searched again.
template <typename Value>
void replaceKeyword(QString &text, QLatin1StringView keyword, Value value)
{
    qsizetype at = indexOfKeyword(text, keyword, 0);
    if (at < 0)
        return;
    const QString replacement = value();
    QString result;
    result.reserve(text.size() + replacement.size());
    qsizetype from = 0;
    while (at >= 0) {
        result += QStringView(text).sliced(from, at - from);
        result += replacement;
        from = at + keyword.size();
        at = indexOfKeyword(text, keyword, from);
    }
    result += QStringView(text).sliced(from);
    text = std::move(result);
}

void replaceForbiddenCharacters(QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (ForbiddenNameCharacters.contains(text.at(i)))
            text[i] = u'_';
    }
}

} // namespace

NameBuilder::NameBuilder(const RenameOptions &options, const QStringList &importedNames)
    : m_pattern(options.pattern)
    , m_keepExt(!options.changeExt)
    , m_find(options.find)
    , m_replace(options.replace)
    , m_caseMode(options.caseMode)
    , m_turkic(LocaleUsesTurkicCasing())
    , m_counterStart(IntOrDefault(options.counterStart, 1))
    , m_digits(std::clamp(IntOrDefault(options.digits, 3), 1, 10))
    , m_operations(NameOperations::fromOptions(options))
    , m_importedNames(importedNames)
{
    const QString newExt = TrimControl(options.newExt);
    if (!newExt.isEmpty())
        m_newExtPart = newExt.startsWith(u'.') ? newExt : u'.' + newExt;
    if (options.regex && !m_find.isEmpty())
        m_regex = std::make_unique<RegexReplacer>(m_find, m_replace);
}

NameBuilder::~NameBuilder() = default;

QString NameBuilder::build(const TRenameItem &item, const QString &counterText, int index)
{
    const QString name =
        ApplyNameOperations(item.OriginalName, index, m_operations, m_importedNames);

    QString text = ExpandFormattedKeywords(m_pattern, item);

    replaceKeyword(text, QLatin1StringView("{name}"), [&] { return name; });
    replaceKeyword(text, QLatin1StringView("{list}"), [&] {
        return index >= 0 && index < m_importedNames.size() ? m_importedNames.at(index) : QString();
    });
    replaceKeyword(text, QLatin1StringView("{ext}"), [&] { return item.Ext.mid(1); });
    replaceKeyword(text, QLatin1StringView("{counter}"), [&] { return counterText; });
    replaceKeyword(text, QLatin1StringView("{date}"),
                   [] { return FixedDateText(QDateTime::currentDateTime()); });
    replaceKeyword(text, QLatin1StringView("{time}"),
                   [] { return FixedTimeText(QDateTime::currentDateTime()); });
    replaceKeyword(text, QLatin1StringView("{created}"),
                   [&] { return FixedDateText(LocalFromUtcDateTime(item.CreatedUtc)); });
    replaceKeyword(text, QLatin1StringView("{modified}"),
                   [&] { return FixedDateText(LocalFromUtcDateTime(item.ModifiedUtc)); });
    replaceKeyword(text, QLatin1StringView("{parent}"),
                   [&] { return ParentFolderName(item.OriginalPath); });
    replaceKeyword(text, QLatin1StringView("{folder}"),
                   [&] { return ParentFolderName(item.OriginalPath); });
    replaceKeyword(text, QLatin1StringView("{size}"), [&] { return QString::number(item.Size); });

    if (m_regex)
        text = m_regex->replaceAll(text);
    else if (!m_find.isEmpty())
        text = PlainReplace(text, m_find, m_replace);

    text = ApplyCase(text, m_caseMode, m_turkic);

    text += m_keepExt ? item.Ext : m_newExtPart;
    replaceForbiddenCharacters(text);
    return text;
}

QString BuildNewName(const TRenameItem &item, const QString &pattern, const QString &counterText,
                     bool keepExt, const QString &newExt, int index, const RenameOptions &options,
                     const QStringList &importedNames)
{
    RenameOptions effective = options;
    effective.pattern = pattern;
    effective.changeExt = !keepExt;
    effective.newExt = newExt;
    NameBuilder builder(effective, importedNames);
    return builder.build(item, counterText, index);
}

bool PreviewNames(TRenameItems &items, const RenameOptions &options,
                  const QStringList &importedNames, UserMessages &messages)
{
    if (items.isEmpty()) {
        messages.information(TranslateText(QStringLiteral("No files loaded. Add files first.")));
        return false;
    }
    NameBuilder builder(options, importedNames);
    for (qsizetype i = 0; i < items.size(); ++i) {
        TRenameItem &item = items[i];
        item.NewName =
            builder.build(item, FormatCounter(builder.counterStart(), i, builder.digits()), int(i));
    }
    return true;
}
