#include "engine/namebuilder.h"

#include "containers/prefetch.h"
#include "engine/asciitext.h"
#include "engine/formattedkeywords.h"
#include "engine/parallel.h"
#include "engine/usermessages.h"
#include "translation/translation.h"

#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <deque>

QString formatCounter(qint64 start, qint64 index, int digits)
{
    const qint64 value = start + index;
    QString text = QString::number(value < 0 ? -value : value);
    if (text.size() < digits)
        text.prepend(QString(digits - text.size(), u'0'));
    if (value < 0)
        text.prepend(u'-');
    return text;
}

namespace {

// The text of the keyword steps with the positions of its "{" characters, so that
// each step only looks where a keyword can begin.
class KeywordText
{
public:
    explicit KeywordText(QString text)
        : m_text(std::move(text))
    {
        findBraces();
    }

    QString take() { return std::move(m_text); }

    // Replaces every occurrence of keyword (lower-case, braces included) with A-Z
    // matching a-z; no other case folding, so no look-alike letter of another script
    // stands in for a keyword letter. value() is only asked for when one is found;
    // the inserted values are not searched by this step again.
    template <typename Value>
    void replace(QLatin1StringView keyword, Value value)
    {
        qsizetype first = 0;
        while (first < m_braces.size() && !matchesAt(m_braces[first], keyword))
            ++first;
        if (first == m_braces.size())
            return;
        const QString replacement = value();
        if (m_text.size() == keyword.size()) {
            m_text = replacement;
            findBraces();
            return;
        }
        QString result;
        result.reserve(m_text.size() + replacement.size() + 8);
        qsizetype copied = 0;
        for (qsizetype b = first; b < m_braces.size(); ++b) {
            const qsizetype at = m_braces[b];
            if (at < copied || !matchesAt(at, keyword))
                continue;
            result += QStringView(m_text).sliced(copied, at - copied);
            result += replacement;
            copied = at + keyword.size();
        }
        result += QStringView(m_text).sliced(copied);
        m_text = std::move(result);
        findBraces();
    }

private:
    bool matchesAt(qsizetype at, QLatin1StringView keyword) const
    {
        return asciiWordAt(m_text, at, keyword);
    }

    void findBraces()
    {
        m_braces.clear();
        const char16_t *text = reinterpret_cast<const char16_t *>(m_text.constData());
        for (qsizetype i = 0; i < m_text.size(); ++i) {
            if (text[i] == u'{')
                m_braces.append(i);
        }
    }

    QString m_text;
    QVarLengthArray<qsizetype, 8> m_braces;
};

// ForbiddenNameCharacters as a table: one look per character rather than a search.
constexpr std::array<bool, 128> ForbiddenAscii = [] {
    std::array<bool, 128> table{};
    for (qsizetype i = 0; i < ForbiddenNameCharacters.size(); ++i)
        table[ForbiddenNameCharacters.utf16()[i]] = true;
    return table;
}();

bool isForbiddenNameCharacter(char16_t c)
{
    return c < ForbiddenAscii.size() && ForbiddenAscii[c];
}

void replaceForbiddenCharacters(QString &text)
{
    const char16_t *data = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size && !isForbiddenNameCharacter(data[i]))
        ++i;
    if (i == size)
        return;
    char16_t *out = reinterpret_cast<char16_t *>(text.data()); // one copy, if shared
    for (; i < size; ++i) {
        if (isForbiddenNameCharacter(out[i]))
            out[i] = u'_';
    }
}

} // namespace

NameBuilder::NameBuilder(const RenameOptions &options, const QStringList &importedNames)
    : m_pattern(options.pattern)
    , m_metadataPattern(options.pattern)
    , m_keepExt(!options.changeExt)
    , m_find(options.find)
    , m_replace(options.replace)
    , m_caseMode(options.caseMode)
    , m_turkic(localeUsesTurkicCasing())
    , m_locale(LocaleFormat::system())
    , m_counterStart(intOrDefault(options.counterStart, 1))
    , m_digits(std::clamp(intOrDefault(options.digits, 3), 1, 10))
    , m_operations(NameOperations::fromOptions(options))
    , m_importedNames(importedNames)
{
    refreshLocalTimeZone();
    const QString newExt = trimControl(options.newExt);
    if (!newExt.isEmpty())
        m_newExtPart = newExt.startsWith(u'.') ? newExt : u'.' + newExt;
    if (options.regex && !m_find.isEmpty())
        m_regex = std::make_unique<RegexReplacer>(m_find, m_replace);
}

NameBuilder::~NameBuilder() = default;

QString NameBuilder::build(const RenameItem &item, int index)
{
    return buildWith(item, index, [&] { return formatCounter(m_counterStart, index, m_digits); });
}

template <typename CounterText>
QString NameBuilder::expandKeywords(const QString &pattern, const RenameItem &item, int index,
                                    CounterText &counterText)
{
    KeywordText text(expandFormattedKeywords(pattern, item, m_locale));
    // Every value is computed only when its keyword occurs; none of them has effects.
    text.replace(QLatin1StringView("{name}"), [&] {
        return applyNameOperations(item.originalName(), index, m_operations, m_importedNames);
    });
    text.replace(QLatin1StringView("{list}"), [&] {
        return index >= 0 && index < m_importedNames.size() ? m_importedNames.at(index) : QString();
    });
    text.replace(QLatin1StringView("{ext}"), [&] { return item.ext().mid(1).toString(); });
    text.replace(QLatin1StringView("{counter}"), counterText);
    const auto written = [this](const QString &format, const LocalMoment &moment) {
        return formatDateTimeText(format, moment, m_locale);
    };
    text.replace(QLatin1StringView("{date}"),
                 [&] { return written(QStringLiteral("yyyymmdd"), currentLocalMoment()); });
    text.replace(QLatin1StringView("{time}"),
                 [&] { return written(QStringLiteral("hhnnss"), currentLocalMoment()); });
    text.replace(QLatin1StringView("{created}"), [&] {
        return written(QStringLiteral("yyyymmdd"), localMomentFromUtc(itemFacts(item).createdUtc));
    });
    text.replace(QLatin1StringView("{modified}"), [&] {
        return written(QStringLiteral("yyyymmdd"), localMomentFromUtc(itemFacts(item).modifiedUtc));
    });
    text.replace(QLatin1StringView("{parent}"),
                 [&] { return parentFolderName(item.originalPath()); });
    text.replace(QLatin1StringView("{folder}"),
                 [&] { return parentFolderName(item.originalPath()); });
    text.replace(QLatin1StringView("{size}"),
                 [&] { return QString::number(itemFacts(item).size); });
    return text.take();
}

template <typename CounterText>
QString NameBuilder::buildWith(const RenameItem &item, int index, CounterText counterText)
{
    QString name;
    if (!m_metadataPattern.hasKeywords()) {
        name = expandKeywords(m_pattern, item, index, counterText);
    } else {
        // The texts around the metadata keywords are expanded apart from the values, so
        // that a tag holding "{counter}" stays as it is.
        const FileMetadata values =
            readFileMetadata(item.originalPath(), m_metadataPattern.request());
        const QStringList &texts = m_metadataPattern.texts();
        const QList<MetadataKeyword> &keywords = m_metadataPattern.keywords();
        for (qsizetype i = 0; i < texts.size(); ++i) {
            name += expandKeywords(texts.at(i), item, index, counterText);
            if (i < keywords.size())
                name += metadataKeywordValue(keywords.at(i), values, m_locale);
        }
    }

    if (m_regex)
        name = m_regex->replaceAll(name);
    else if (!m_find.isEmpty())
        name = plainReplace(name, m_find, m_replace);

    name = applyCase(name, m_caseMode, m_turkic);

    name += m_keepExt ? item.ext() : m_newExtPart;
    replaceForbiddenCharacters(name);
    return name;
}

bool previewNames(RenameItems &items, const RenameOptions &options,
                  const QStringList &importedNames, UserMessages &messages)
{
    if (items.isEmpty()) {
        messages.information(translateText(QStringLiteral("No files loaded. Add files first.")));
        return false;
    }
    NameBuilder builder(options, importedNames);
    const auto build = [&](NameBuilder &namer, qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i) {
            if (i + 8 < end)
                prefetch(items.at(i + 8).fileName.constData());
            // A name that stays is not written: a list shared with another thread is
            // then not copied, and the old text stays shared.
            QString name = namer.build(items.at(i), int(i));
            if (name != items.at(i).newName)
                items[i].newName = std::move(name);
        }
    };
    // A long list that nothing else holds is named in parts at the same time, each with
    // a builder of its own (a compiled expression keeps its match state). A shared list
    // is named by one thread, which copies it only if a name changes. Names that read
    // the files' contents are made one after the other: the readers' libraries are not
    // all known to be safe on several threads.
    const int parts = partsFor(items.size());
    if (builder.readsFileContents() || !items.isDetached() || parts == 1) {
        build(builder, 0, items.size());
        return true;
    }
    std::deque<NameBuilder> others;
    for (int part = 1; part < parts; ++part)
        others.emplace_back(options, importedNames);
    runInParts(items.size(), parts, [&](int part, qsizetype begin, qsizetype end) {
        build(part == 0 ? builder : others[size_t(part - 1)], begin, end);
    });
    return true;
}
