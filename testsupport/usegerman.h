#pragma once

#include "translation/translation.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

// Translates the given English texts to German, leaving every other text English.
inline void useGerman(const QList<std::pair<QString, QString>> &pairs)
{
    TranslationCatalogue catalogue;
    QStringList english{QStringLiteral("English"), QStringLiteral("en")};
    QStringList german{QStringLiteral("Deutsch"), QStringLiteral("de")};
    for (const auto &[source, translation] : pairs) {
        english.append(source);
        german.append(translation);
    }
    catalogue.columns = {english, german};
    setTranslationState(catalogue, 1, QStringLiteral("de"));
}
