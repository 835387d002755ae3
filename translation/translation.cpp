#include "translation/translation.h"

#include "text/textlines.h"

#include <QFile>
#include <QHash>
#include <QSettings>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace {

struct TranslationState
{
    TranslationCatalogue catalogue;
    QHash<QString, qsizetype> recordOfSource; // the first record of each English text
    int languageIndex = 0;
    QString languageCode;

    void index()
    {
        recordOfSource.clear();
        if (catalogue.columns.isEmpty())
            return;
        // Backwards, so that the first of two equal English texts wins.
        const QStringList &sources = catalogue.columns.front();
        for (qsizetype r = sources.size() - 1; r >= 0; --r)
            recordOfSource[sources.at(r)] = r;
    }
};

TranslationState &state()
{
    static TranslationState instance;
    return instance;
}

QSettings languageSettings()
{
#ifdef Q_OS_WIN
    return QSettings(u"HKEY_CURRENT_USER\\Software\\Tessaly"_s, QSettings::NativeFormat);
#else
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, u"Tessaly"_s);
#endif
}

const QString settingsKey = u"CurrentLanguage"_s;

} // namespace

QString translateText(const QString &text)
{
    const TranslationState &s = state();
    if (s.languageIndex <= 0)
        return text;
    const auto it = s.recordOfSource.constFind(text);
    if (it == s.recordOfSource.constEnd())
        return text;
    const QString translated = s.catalogue.entry(s.languageIndex, *it);
    return translated.isEmpty() ? text : translated;
}

QString spokenCaption(const QString &caption)
{
    // The Western marks and the full-width ones of Chinese, Japanese and Korean captions.
    static const QString endings[] = {u"..."_s, u"\u2026"_s, u"!"_s,
                                      u":"_s,   u"\uFF01"_s, u"\uFF1A"_s};
    QString text = caption.trimmed();
    for (bool cut = true; cut;) {
        cut = false;
        for (const QString &ending : endings) {
            if (text.endsWith(ending) && text.size() > ending.size()) {
                text.chop(ending.size());
                text = text.trimmed();
                cut = true;
            }
        }
    }
    return text;
}

std::optional<TranslationCatalogue> parseCatalogue(const QString &text)
{
    QStringList lines = splitTextLines(text);
    if (!lines.isEmpty() && lines.front().startsWith(QChar(0xFEFF)))
        lines.front().remove(0, 1);

    bool ok = false;
    const int columns = lines.value(0).trimmed().toInt(&ok);
    if (!ok || columns <= 0 || lines.size() < 1 + 2 * qsizetype(columns))
        return std::nullopt;
    TranslationCatalogue catalogue;
    const qsizetype records = (lines.size() - 1) / columns;
    for (int c = 0; c < columns; ++c) {
        QStringList column;
        column.reserve(records);
        for (qsizetype r = 0; r < records; ++r)
            column.append(lines.at(1 + r * columns + c));
        catalogue.columns.append(column);
    }
    return catalogue;
}

QString languageCodeFor(QLocale::Language language)
{
    switch (language) {
    case QLocale::Arabic:
        return u"ar"_s;
    case QLocale::Chinese:
        return u"cn"_s;
    case QLocale::Czech:
        return u"cs"_s;
    case QLocale::German:
        return u"de"_s;
    case QLocale::Greek:
        return u"el"_s;
    case QLocale::Spanish:
        return u"es"_s;
    case QLocale::French:
        return u"fr"_s;
    case QLocale::Hungarian:
        return u"hu"_s;
    case QLocale::Italian:
        return u"it"_s;
    case QLocale::Japanese:
        return u"jp"_s;
    case QLocale::Korean:
        return u"kr"_s;
    case QLocale::Dutch:
        return u"nl"_s;
    case QLocale::Polish:
        return u"pl"_s;
    case QLocale::Portuguese:
        return u"pt"_s;
    case QLocale::Turkish:
        return u"tr"_s;
    default:
        return u"en"_s;
    }
}

QString defaultLanguageCode()
{
    const QStringList languages = QLocale::system().uiLanguages();
    const QLocale locale = languages.isEmpty() ? QLocale::system() : QLocale(languages.front());
    return languageCodeFor(locale.language());
}

void loadTranslations(const QString &catalogPath)
{
    TranslationState &s = state();
    s.languageCode = defaultLanguageCode();
    const QString stored = languageSettings().value(settingsKey).toString();
    if (!stored.isEmpty())
        s.languageCode = stored;
    s.languageIndex = 0;

    QFile file(catalogPath);
    if (!file.open(QIODevice::ReadOnly))
        return;
    std::optional<TranslationCatalogue> catalogue =
        parseCatalogue(QString::fromUtf8(file.readAll()));
    if (!catalogue)
        return;
    s.catalogue = std::move(*catalogue);
    s.index();
    for (qsizetype c = 0; c < s.catalogue.languageCount(); ++c) {
        if (s.catalogue.code(c).compare(s.languageCode, Qt::CaseInsensitive) == 0) {
            s.languageIndex = int(c);
            break;
        }
    }
}

const TranslationCatalogue &currentCatalogue()
{
    return state().catalogue;
}

int languageIndex()
{
    return state().languageIndex;
}

QString currentLanguageCode()
{
    return state().languageCode;
}

void selectLanguage(int index)
{
    TranslationState &s = state();
    s.languageIndex = index;
    s.languageCode = s.catalogue.code(index);
    saveCurrentLanguage();
}

void saveCurrentLanguage()
{
    QSettings settings = languageSettings();
    settings.setValue(settingsKey, state().languageCode);
}

void setTranslationState(TranslationCatalogue catalogue, int languageIndex, QString code)
{
    TranslationState &s = state();
    s.catalogue = std::move(catalogue);
    s.index();
    s.languageIndex = languageIndex;
    s.languageCode = std::move(code);
}
