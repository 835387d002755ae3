#include "containers/nameindex.h"
#include "containers/pathindex.h"
#include "containers/rowindex.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Hashes a test chooses, so that it decides which slots rows and names meet in. A new
// RowIndex has 16 slots and a new NameIndex 64: 15 and 63 are their last.
enum class Hashes {
    Distinct,   // spread as a real hash spreads
    AllOne,     // every key collides
    LastSlot,   // every key starts at the table's last slot and wraps to its first
    MixedAtEnd, // homes 13, 14, 15 and 0: runs that cross the end hold other homes
};

quint32 rowHash(Hashes hashes, qsizetype key)
{
    switch (hashes) {
    case Hashes::Distinct:
        return quint32(qHash(key));
    case Hashes::AllOne:
        return 7;
    case Hashes::LastSlot:
        return 15;
    case Hashes::MixedAtEnd:
        return quint32(13 + key % 4);
    }
    return 0;
}

// The same choices for NameIndex, whose hash is a type; the 16-bit tag (the hash's top
// bits) is 0 for all but Distinct, so that every name in a run is compared.
template <Hashes hashes>
struct ChosenHash
{
    size_t operator()(QStringView name) const
    {
        switch (hashes) {
        case Hashes::Distinct:
            return qHash(name, 0);
        case Hashes::AllOne:
            return 7;
        case Hashes::LastSlot:
            return 63;
        case Hashes::MixedAtEnd:
            return 61 + name.size() % 4;
        }
        return 0;
    }
};

struct Value
{
    quint16 hashTag = 0;
    int number = -1;
};

struct Item
{
    QString folder;
    QString fileName;
};

template <Hashes hashes>
void checkNames(qsizetype count)
{
    using Index = NameIndex<Value, ChosenHash<hashes>>;
    QStringList names; // the index reads their characters
    for (qsizetype i = 0; i < count; ++i)
        names.append(u"n"_s + QString(int(i % 7), u'x') + QString::number(i));
    Index index;
    for (qsizetype i = 0; i < count; ++i) {
        const size_t hash = Index::hashOf(names.at(i));
        QVERIFY(!index.find(names.at(i), hash));
        index.findOrAdd(names.at(i), hash).number = int(i);
    }
    QCOMPARE(index.size(), count);
    QVERIFY(index.slotCount() >= 2 * count); // grown on the way, at most half used
    for (qsizetype i = 0; i < count; ++i) {
        const size_t hash = Index::hashOf(names.at(i));
        // Found by an equal text elsewhere, never by the same characters alone.
        const QString copy = QString(names.at(i).constData(), names.at(i).size());
        Value *value = index.find(copy, hash);
        QVERIFY2(value, qPrintable(names.at(i)));
        QCOMPARE(value->number, int(i));
        QCOMPARE(index.indexOf(*value), size_t(i));
        QCOMPARE(&index.findOrAdd(copy, hash), value);
    }
    QCOMPARE(index.size(), count);
    const QString absent = u"absent"_s;
    QVERIFY(!index.find(absent, Index::hashOf(absent)));

    index.clear();
    QCOMPARE(index.size(), 0);
    QVERIFY(!index.find(names.at(0), Index::hashOf(names.at(0))));
    index.findOrAdd(names.at(0), Index::hashOf(names.at(0))).number = 42;
    QCOMPARE(index.find(names.at(0), Index::hashOf(names.at(0)))->number, 42);
}

} // namespace

Q_DECLARE_METATYPE(Hashes)

class TestContainers : public QObject
{
    Q_OBJECT

private slots:
    void rowIndexFindsEveryRow_data();
    void rowIndexFindsEveryRow();
    void nameIndexFindsEveryName_data();
    void nameIndexFindsEveryName();
    void pathIndexComparesPaths_data();
    void pathIndexComparesPaths();
    void pathIndexKeepsRowsOfOnePath();
};

void TestContainers::rowIndexFindsEveryRow_data()
{
    QTest::addColumn<Hashes>("hashes");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("removeEvery"); // then every removeEvery-th row is taken out

    QTest::newRow("distinct") << Hashes::Distinct << 10 << 3;
    QTest::newRow("all-one-hash") << Hashes::AllOne << 11 << 2;
    QTest::newRow("last-slot-wraps") << Hashes::LastSlot << 11 << 3;
    QTest::newRow("mixed-homes-across-end") << Hashes::MixedAtEnd << 11 << 2;
    QTest::newRow("removing-the-first-of-a-wrapped-run") << Hashes::LastSlot << 6 << 6;
    QTest::newRow("growth-distinct") << Hashes::Distinct << 5000 << 4;
    QTest::newRow("growth-all-one-hash") << Hashes::AllOne << 300 << 5;
}

void TestContainers::rowIndexFindsEveryRow()
{
    QFETCH(Hashes, hashes);
    QFETCH(int, count);
    QFETCH(int, removeEvery);

    // Row r holds key 1000 + r; rows are compared by that key only.
    const auto keyOf = [](qsizetype row) { return 1000 + row; };
    RowIndex index;
    const auto find = [&](qsizetype key) {
        return index.find(rowHash(hashes, key), [&](qsizetype row) { return keyOf(row) == key; });
    };
    for (qsizetype row = 0; row < count; ++row)
        index.insert(row, rowHash(hashes, keyOf(row)));
    if (count <= 11) // the small cases stay in the first table, where their hashes put them
        QCOMPARE(index.slotCount(), 16);
    QCOMPARE(index.size(), count);
    for (qsizetype row = 0; row < count; ++row)
        QCOMPARE(find(keyOf(row)), row);
    QCOMPARE(find(keyOf(count)), -1);

    QVERIFY(!index.remove(count, rowHash(hashes, keyOf(count))));
    qsizetype removed = 0;
    for (qsizetype row = 0; row < count; row += removeEvery, ++removed)
        QVERIFY(index.remove(row, rowHash(hashes, keyOf(row))));
    QCOMPARE(index.size(), count - removed);
    for (qsizetype row = 0; row < count; ++row)
        QCOMPARE(find(keyOf(row)), row % removeEvery == 0 ? -1 : row);

    // The holes take rows again.
    for (qsizetype row = 0; row < count; row += removeEvery)
        index.insert(row, rowHash(hashes, keyOf(row)));
    for (qsizetype row = 0; row < count; ++row)
        QCOMPARE(find(keyOf(row)), row);
}

void TestContainers::nameIndexFindsEveryName_data()
{
    QTest::addColumn<Hashes>("hashes");
    QTest::addColumn<int>("count");

    QTest::newRow("distinct") << Hashes::Distinct << 20;
    QTest::newRow("all-one-hash") << Hashes::AllOne << 20;
    QTest::newRow("last-slot-wraps") << Hashes::LastSlot << 20;
    QTest::newRow("mixed-homes-across-end") << Hashes::MixedAtEnd << 25;
    QTest::newRow("growth-distinct") << Hashes::Distinct << 5000;
    QTest::newRow("growth-all-one-hash") << Hashes::AllOne << 300;
}

void TestContainers::nameIndexFindsEveryName()
{
    QFETCH(Hashes, hashes);
    QFETCH(int, count);
    switch (hashes) {
    case Hashes::Distinct:
        return checkNames<Hashes::Distinct>(count);
    case Hashes::AllOne:
        return checkNames<Hashes::AllOne>(count);
    case Hashes::LastSlot:
        return checkNames<Hashes::LastSlot>(count);
    case Hashes::MixedAtEnd:
        return checkNames<Hashes::MixedAtEnd>(count);
    }
}

void TestContainers::pathIndexComparesPaths_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("found"); // when /Photos/ + A.JPG is listed

    QTest::newRow("same-path") << u"/Photos/"_s << u"A.JPG"_s << true;
    QTest::newRow("other-folder") << u"/Other/"_s << u"A.JPG"_s << false;
    QTest::newRow("name-is-a-prefix") << u"/Photos/"_s << u"A.JP"_s << false;
    QTest::newRow("folder-and-name-split-elsewhere") << u"/Photos/A"_s << u".JPG"_s << false;
#ifdef Q_OS_WIN
    QTest::newRow("a-z-fold") << u"/photos/"_s << u"a.jpg"_s << true;
#else
    QTest::newRow("a-z-exact") << u"/photos/"_s << u"a.jpg"_s << false;
#endif
    // Only A-Z fold, and only on Windows: other letters must match exactly everywhere.
    QTest::newRow("other-letters-exact") << u"/Photos/"_s << u"\u00e4.JPG"_s << false;
}

void TestContainers::pathIndexComparesPaths()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(bool, found);

    const QList<Item> items = {{u"/Photos/"_s, u"A.JPG"_s}, {u"/Photos/"_s, u"\u00c4.JPG"_s}};
    const auto itemAt = [&](qsizetype row) -> const Item & { return items.at(row); };
    PathIndex index;
    for (qsizetype row = 0; row < items.size(); ++row)
        QVERIFY(index.insertIfNew(row, items.at(row), itemAt));
    QCOMPARE(index.find(folder, name, itemAt), found ? 0 : -1);
    QCOMPARE(index.insertIfNew(2, Item{folder, name}, itemAt), !found);
}

void TestContainers::pathIndexKeepsRowsOfOnePath()
{
    // Rows 1 and 3 hold one path, as a batch can leave two rows.
    const QList<Item> items = {
        {u"/a/"_s, u"x"_s}, {u"/a/"_s, u"y"_s}, {u"/b/"_s, u"x"_s}, {u"/a/"_s, u"y"_s}};
    const auto itemAt = [&](qsizetype row) -> const Item & { return items.at(row); };
    PathIndex index;
    for (qsizetype row = 0; row < items.size(); ++row)
        index.insert(row, items.at(row));
    QCOMPARE(index.find(u"/a/"_s, u"y"_s, itemAt), 1);
    QVERIFY(!index.insertIfNew(4, items.at(3), itemAt));

    // Removing one keeps the other listed.
    QVERIFY(index.remove(1, items.at(1)));
    QCOMPARE(index.find(u"/a/"_s, u"y"_s, itemAt), 3);
    QVERIFY(!index.remove(1, items.at(1)));

    // The list loses row 0 and swaps the others around: rows follow their items.
    const QList<Item> after = {items.at(3), items.at(2)};
    const auto afterAt = [&](qsizetype row) -> const Item & { return after.at(row); };
    index.renumber({-1, -1, 1, 0});
    QCOMPARE(index.size(), 2);
    QCOMPARE(index.find(u"/a/"_s, u"x"_s, afterAt), -1);
    QCOMPARE(index.find(u"/a/"_s, u"y"_s, afterAt), 0);
    QCOMPARE(index.find(u"/b/"_s, u"x"_s, afterAt), 1);
}

QTEST_GUILESS_MAIN(TestContainers)
#include "tst_containers.moc"
