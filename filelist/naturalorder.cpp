#include "naturalorder.h"

#include <QCollatorSortKey>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <numeric>

QCollator naturalCollator()
{
    QLocale locale = QLocale::system();
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

void sortNaturally(RenameItems &items)
{
    if (items.size() < 2)
        return;
    const QCollator collator = naturalCollator();
    // A sort key per name makes each comparison a comparison of bytes; the few folders
    // are ranked once.
    QHash<QString, int> folderRanks;
    QStringList folders;
    QList<int> folderOf(items.size());
    QList<QCollatorSortKey> nameKeys;
    nameKeys.reserve(items.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString folder = folderPart(items.at(i).originalPath());
        auto it = folderRanks.find(folder);
        if (it == folderRanks.end()) {
            it = folderRanks.insert(folder, int(folders.size()));
            folders.append(folder);
        }
        folderOf[i] = *it;
        nameKeys.append(collator.sortKey(fileNamePart(items.at(i).originalPath())));
    }
    QList<int> folderOrder(folders.size());
    std::iota(folderOrder.begin(), folderOrder.end(), 0);
    std::stable_sort(folderOrder.begin(), folderOrder.end(), [&](int a, int b) {
        return collator.compare(folders.at(a), folders.at(b)) < 0;
    });
    QList<int> folderRank(folders.size());
    for (int rank = 0; rank < folderOrder.size(); ++rank)
        folderRank[folderOrder.at(rank)] = rank;

    QList<qsizetype> order(items.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        if (folderOf.at(a) != folderOf.at(b))
            return folderRank.at(folderOf.at(a)) < folderRank.at(folderOf.at(b));
        return nameKeys.at(a).compare(nameKeys.at(b)) < 0;
    });
    RenameItems sorted;
    sorted.reserve(items.size());
    for (qsizetype index : order)
        sorted.append(std::move(items[index]));
    items = std::move(sorted);
}
