#include "naturalorder.h"

#include <QCollatorSortKey>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <future>
#include <optional>
#include <vector>
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
    // The keys cost most; a long list shares them out between two threads, each with
    // a collator of its own.
    std::vector<std::optional<QCollatorSortKey>> nameKeys(size_t(items.size()));
    const auto makeKeys = [&](const QCollator &keyCollator, qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i)
            nameKeys[size_t(i)].emplace(keyCollator.sortKey(items.at(i).fileName));
    };
    const qsizetype half = items.size() >= 20000 ? items.size() / 2 : items.size();
    std::future<void> secondHalf;
    if (half < items.size()) {
        secondHalf = std::async(std::launch::async,
                                [&] { makeKeys(naturalCollator(), half, items.size()); });
    }
    makeKeys(collator, 0, half);
    if (secondHalf.valid())
        secondHalf.get();
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString &folder = items.at(i).folder;
        auto it = folderRanks.find(folder);
        if (it == folderRanks.end()) {
            it = folderRanks.insert(folder, int(folders.size()));
            folders.append(folder);
        }
        folderOf[i] = *it;
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
        return nameKeys[size_t(a)]->compare(*nameKeys[size_t(b)]) < 0;
    });
    RenameItems sorted;
    sorted.reserve(items.size());
    for (qsizetype index : order)
        sorted.append(std::move(items[index]));
    items = std::move(sorted);
}
