#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

// The text to show for an English source text: the current language's translation
// when the catalogue holds a non-empty one for exactly that text, otherwise the text
// itself (also before and without a catalogue). Format strings are translated before
// their arguments are filled in.
QString translateText(const QString &text);

// A caption as a screen reader should say it, as the name of a control: without the
// ellipsis that promises a dialog, the "!" of a command, or the colon that joins a label
// to its field ("Add Files..." -> "Add Files", "Muster:" -> "Muster", "模式：" -> "模式").
QString spokenCaption(const QString &caption);

// Marks an English text that is passed through translateText later, when it is
// shown; it is listed in the catalogue like every other translated text.
inline QString translatable(const char16_t *source)
{
    return QString::fromUtf16(source);
}

// A translation catalogue: column 0 holds the English texts, column c the texts of
// language c, entry r of every column belonging together. Record 0 holds the
// languages' display names, record 1 their codes.
struct TranslationCatalogue
{
    QList<QStringList> columns;

    qsizetype languageCount() const { return columns.size(); }
    QString displayName(qsizetype column) const { return entry(column, 0); }
    QString code(qsizetype column) const { return entry(column, 1); }
    QString entry(qsizetype column, qsizetype record) const
    {
        return column >= 0 && column < columns.size() ? columns.at(column).value(record)
                                                      : QString();
    }
};

// Reads a catalogue's text: line 1 the number of columns N, then records of N lines.
// Nothing when line 1 is not a positive number.
std::optional<TranslationCatalogue> parseCatalogue(const QString &text);

// The language code for the system's user-interface language ("de", "fr", "cn",
// "jp", "kr", ... and "en" for every language without a code of its own).
QString defaultLanguageCode();
QString languageCodeFor(QLocale::Language language);

// Start-up: takes the stored language choice (else the system's), reads the catalogue
// at path and selects the matching column. Never fails: without a catalogue every
// text stays English.
void loadTranslations(const QString &catalogPath);

const TranslationCatalogue &currentCatalogue();
int languageIndex();
QString currentLanguageCode();
// Switches to column index of the catalogue and remembers its code as the choice.
void selectLanguage(int index);
// Stores the current language code in the user's settings.
void saveCurrentLanguage();
// Replaces the whole translation state (tests, and a catalogue built in memory).
void setTranslationState(TranslationCatalogue catalogue, int languageIndex, QString code);
