#include "translation.h"

namespace {

QHash<QString, QString> &currentTable()
{
    static QHash<QString, QString> table;
    return table;
}

} // namespace

QString TranslateText(const QString &text)
{
    const auto &table = currentTable();
    const auto it = table.constFind(text);
    if (it == table.constEnd() || it->isEmpty())
        return text;
    return *it;
}

void SetTranslationTable(QHash<QString, QString> table)
{
    currentTable() = std::move(table);
}
