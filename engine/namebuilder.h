#pragma once

#include "engine/dateformat.h"
#include "engine/metadatakeywords.h"
#include "engine/regexreplace.h"
#include "engine/renameitem.h"
#include "engine/renameoptions.h"
#include "engine/textoperations.h"

#include <QString>
#include <QStringList>

#include <memory>

class UserMessages;

// The characters that file names cannot hold; each becomes "_".
inline constexpr QStringView ForbiddenNameCharacters = u"<>:\"/\\|?*";

// start + index in decimal, zero-padded to at least digits digits ("-005").
QString formatCounter(qint64 start, qint64 index, int digits);

// Builds new names for one set of options. Everything that does not depend on the
// item (numbers, the compiled regular expression) is prepared once here.
class NameBuilder
{
public:
    // Throws TessalyError when regular expressions are on and find does not compile.
    NameBuilder(const RenameOptions &options, const QStringList &importedNames);
    ~NameBuilder();

    // The new name of the item at index, numbered by its position.
    QString build(const RenameItem &item, int index);
    // Whether names are made from what the files hold (metadata keywords).
    bool readsFileContents() const { return m_metadataPattern.hasKeywords(); }

private:
    template <typename CounterText>
    QString buildWith(const RenameItem &item, int index, CounterText counterText);
    template <typename CounterText>
    QString expandKeywords(const QString &pattern, const RenameItem &item, int index,
                           CounterText &counterText);

    QString m_pattern;
    MetadataPattern m_metadataPattern;
    bool m_keepExt;
    QString m_newExtPart; // the extension part to append when not keeping: "" or ".xyz"
    QString m_find;
    QString m_replace;
    int m_caseMode;
    bool m_turkic;
    const LocaleFormat &m_locale;
    int m_counterStart;
    int m_digits;
    NameOperations m_operations;
    const QStringList &m_importedNames;
    std::unique_ptr<RegexReplacer> m_regex;
};

// Sets the NewName of every item (a long list that nothing else holds in two halves at
// the same time); items whose NewName stays are not written to, so a shared list is
// copied only when a name changes. An empty list is reported through messages and
// gives false. A failure (an invalid regular expression) is thrown; the items before
// the failing one keep their new names.
bool previewNames(RenameItems &items, const RenameOptions &options,
                  const QStringList &importedNames, UserMessages &messages);
