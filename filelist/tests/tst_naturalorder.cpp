#include "engine/parallel.h"
#include "filelist/naturalorder.h"

#include <QCollatorSortKey>
#include <QTest>

#include <algorithm>
#include <numeric>
#include <random>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(QCollator)

namespace {

// The order spelled out in the plainest way: folders ranked by the collator (those it
// takes as equal in the order they first appear), then a stable sort by folder rank and
// the collator's sort key of the file name.
QStringList plainOrder(const QStringList &paths, const QCollator &collator)
{
    QStringList folders;
    QList<qsizetype> folderOf;
    for (const QString &path : paths) {
        const QString folder = folderPart(path);
        if (!folders.contains(folder))
            folders.append(folder);
        folderOf.append(folders.indexOf(folder));
    }
    QList<qsizetype> folderOrder(folders.size());
    std::iota(folderOrder.begin(), folderOrder.end(), 0);
    std::stable_sort(folderOrder.begin(), folderOrder.end(), [&](qsizetype a, qsizetype b) {
        return collator.compare(folders.at(a), folders.at(b)) < 0;
    });
    QList<qsizetype> rank(folders.size());
    for (qsizetype i = 0; i < folderOrder.size(); ++i)
        rank[folderOrder.at(i)] = i;
    QList<QCollatorSortKey> keys;
    for (const QString &path : paths)
        keys.append(collator.sortKey(fileNamePart(path)));
    QList<qsizetype> order(paths.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        if (folderOf.at(a) != folderOf.at(b))
            return rank.at(folderOf.at(a)) < rank.at(folderOf.at(b));
        return keys.at(a).compare(keys.at(b)) < 0;
    });
    QStringList sorted;
    for (qsizetype i : order)
        sorted.append(paths.at(i));
    return sorted;
}

QStringList inFolder(const QString &folder, const QStringList &names)
{
    QStringList paths;
    for (const QString &name : names)
        paths.append(folder + name);
    return paths;
}

// Names built from pieces that sort alike or apart depending on the language: case
// variants, digit runs with leading zeros, Danish aa, German and Turkish letters, kana.
QStringList randomPaths(int count)
{
    static const QStringList plain{u"IMG_"_s, u"img_"_s, u"Photo "_s, u"a"_s,  u"A"_s, u"b"_s,
                                   u"-"_s,    u"_"_s,    u"."_s,      u" "_s,  u"("_s, u"'"_s,
                                   u"ch"_s,   u"v"_s,    u"w"_s,      u"x2"_s, u"Z"_s, u"y"_s};
    static const QStringList exotic{u"aa"_s, u"Aa"_s, u"å"_s,  u"ä"_s, u"Ä"_s,    u"ö"_s,
                                    u"é"_s,  u"ß"_s,  u"ss"_s, u"ı"_s, u"İ"_s,    u"i"_s,
                                    u"I"_s,  u"ş"_s,  u"æ"_s,  u"ø"_s, u"写真"_s, u"カメラ"_s};
    static const QStringList folders{u"/p/"_s,       u"/p/Trip/"_s, u"/p/trip/"_s,
                                     u"/p/Ärger/"_s, u"/p/10/"_s,   u"/p/9/"_s};
    std::mt19937 random(2026);
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        QString name;
        const int pieces = 1 + int(random() % 4);
        for (int piece = 0; piece < pieces; ++piece) {
            if (random() % 3 == 0)
                name += QString(int(random() % 3), u'0') + QString::number(random() % 2000);
            else if (random() % 8 == 0)
                name += exotic.at(random() % exotic.size());
            else
                name += plain.at(random() % plain.size());
        }
        paths.append(folders.at(random() % folders.size()) + name + u".jpg"_s);
    }
    return paths;
}

QCollator collatorFor(const QString &localeName)
{
    QCollator collator{QLocale(localeName)};
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

} // namespace

class TestNaturalOrder : public QObject
{
    Q_OBJECT

private slots:
    void ordersAsTheCollatorsKeys_data();
    void ordersAsTheCollatorsKeys();
    void systemLocale();
};

void TestNaturalOrder::ordersAsTheCollatorsKeys_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QCollator>("collator");

    // In Danish aa is one letter after z: the model, which takes it as two, puts
    // every such name in the wrong place.
    QStringList doubleA;
    for (int i = 1; i <= 30; ++i)
        doubleA << u"Aa %1"_s.arg(i) << u"b %1"_s.arg(i);
    QStringList printable;
    for (char16_t c = 0x20; c < 0x7F; ++c) {
        printable.append(u"x"_s + QChar(c) + u"1"_s);
        printable.append(QChar(c) + u"name"_s);
    }
    const QList<std::pair<const char *, QStringList>> sets{
        {"digit-runs", inFolder(u"/f/"_s, {u"IMG_1.jpg"_s,
                                           u"IMG_01.jpg"_s,
                                           u"img_001.JPG"_s,
                                           u"IMG_10.jpg"_s,
                                           u"IMG_2.jpg"_s,
                                           u"IMG_0.jpg"_s,
                                           u"IMG_00.jpg"_s,
                                           u"IMG_.jpg"_s,
                                           u"IMG.jpg"_s,
                                           u"IMG_1a.jpg"_s,
                                           u"IMG_1_2.jpg"_s,
                                           u"IMG_1.2.jpg"_s,
                                           u"IMG 1.jpg"_s,
                                           u"IMG-1.jpg"_s,
                                           u"IMG_9.jpg"_s,
                                           u"IMG_09.jpg"_s,
                                           u"IMG_1234567890123456789012345.jpg"_s,
                                           u"IMG_1234567890123456789012346.jpg"_s,
                                           u"IMG_"_s + QString(300, u'7'),
                                           u"IMG_"_s + QString(299, u'7') + u"8"_s,
                                           u"2.jpg"_s,
                                           u"10.jpg"_s})},
        {"case-and-punctuation",
         inFolder(u"/f/"_s, {u"a"_s,   u"A"_s,   u"b"_s,   u"B"_s,   u"aa"_s,  u"AA"_s,  u"Aa"_s,
                             u"aA"_s,  u"ab"_s,  u"a b"_s, u"a-b"_s, u"a_b"_s, u"a.b"_s, u"a  b"_s,
                             u"a,b"_s, u"a~b"_s, u"a$b"_s, u"a1b"_s, u"ch"_s,  u"cz"_s,  u"h"_s,
                             u"v1"_s,  u"w1"_s,  u"V2"_s,  u"W0"_s})},
        {"printable-ascii", inFolder(u"/f/"_s, printable)},
        {"double-a", inFolder(u"/f/"_s, doubleA)},
        {"accents-and-letters",
         inFolder(u"/f/"_s,
                  {u"e"_s,     u"é"_s,      u"É"_s,       u"è"_s,       u"ê"_s,      u"ë"_s,
                   u"ea"_s,    u"éa"_s,     u"eb"_s,      u"eé"_s,      u"ée"_s,     u"Ärger"_s,
                   u"Arger"_s, u"Aerger"_s, u"ärger"_s,   u"Zebra"_s,   u"Öl"_s,     u"Ol"_s,
                   u"Oel"_s,   u"straße"_s, u"strasse"_s, u"Strasse"_s, u"strase"_s, u"Å"_s,
                   u"aa"_s,    u"Aa"_s,     u"aaa"_s,     u"ae"_s,      u"æ"_s,      u"Æ"_s,
                   u"ø"_s,     u"ı"_s,      u"i"_s,       u"I"_s,       u"İ"_s,      u"ş"_s,
                   u"s"_s,     u"ç"_s,      u"c"_s,       u"ğ"_s,       u"g"_s,      u"ü"_s,
                   u"u"_s,     u"y"_s,      u"z"_s,       u"ǖ"_s,       u"ū"_s,      u"ŧ2"_s})},
        {"beyond-latin",
         inFolder(
             u"/f/"_s,
             {u"写真1.jpg"_s, u"写真01.jpg"_s, u"写真10.jpg"_s,   u"しゃしん"_s,  u"シャシン"_s,
              u"カメラ"_s,    u"IMG_1.jpg"_s,  u"漢字"_s,         u"e\u0301"_s,   u"é"_s,
              u"a\u00ADb"_s,  u"ab"_s,         u"a\u200Bb"_s,     u"１２"_s,      u"12"_s,
              u"٣"_s,         u"3"_s,          u"\U0001F600 1"_s, u"tab\there"_s, u"Ωmega"_s})},
        {"folders", inFolder(u"/p/a/"_s, {u"x1"_s, u"X1"_s, u"x01"_s}) +
                        inFolder(u"/p/A/"_s, {u"x1"_s, u"x2"_s}) + inFolder(u"/p/é/"_s, {u"x1"_s}) +
                        inFolder(u"/p/10/"_s, {u"x1"_s}) + inFolder(u"/p/9/"_s, {u"x1"_s}) +
                        inFolder(u"/p/e/"_s, {u"x1"_s}) + inFolder(u"/q/"_s, {u"x1"_s}) +
                        QStringList{u"loose"_s, u"Loose"_s}},
        {"random", randomPaths(30000)},
    };
    for (const char *locale : {"en", "da", "sv", "de", "tr"}) {
        for (const auto &[name, paths] : sets) {
            QTest::addRow("%s-%s", name, locale)
                << paths << collatorFor(QString::fromLatin1(locale));
        }
    }
}

void TestNaturalOrder::ordersAsTheCollatorsKeys()
{
    QFETCH(QStringList, paths);
    QFETCH(QCollator, collator);

    // Shuffled, then already in order, then in reverse order: names the collator takes
    // as equal keep the order of each.
    std::shuffle(paths.begin(), paths.end(), std::mt19937(7));
    const QStringList sorted = plainOrder(paths, collator);
    QStringList reversed = sorted;
    std::reverse(reversed.begin(), reversed.end());
    // Each in one part, and in two wherever the list is long enough to split at all,
    // whatever the machine has.
    for (const QStringList &input : {paths, sorted, reversed}) {
        const QStringList expected = plainOrder(input, collator);
        for (int parts : {1, 2}) {
            setParallelPartsForTests(parts, 8);
            RenameItems items;
            for (const QString &path : input)
                items.append(makeRenameItem(path));
            sortNaturally(items, collator);
            setParallelPartsForTests(0);
            QStringList result;
            for (const RenameItem &item : items)
                result.append(item.originalPath());
            QCOMPARE(result, expected);
        }
    }
}

// Without a collator the system's language decides; under the C locale, English does.
void TestNaturalOrder::systemLocale()
{
    QStringList paths = inFolder(u"/f/"_s, {u"IMG_10.jpg"_s, u"img_2.jpg"_s, u"IMG_02.jpg"_s,
                                            u"Ärger.txt"_s, u"zebra.txt"_s, u"apple.txt"_s}) +
                        randomPaths(500);
    RenameItems items;
    for (const QString &path : paths)
        items.append(makeRenameItem(path));
    sortNaturally(items);
    QStringList result;
    for (const RenameItem &item : items)
        result.append(item.originalPath());
    QCOMPARE(result, plainOrder(paths, naturalCollator()));
    if (QLocale::system().language() == QLocale::C) {
        QVERIFY(result.indexOf(u"/f/img_2.jpg"_s) < result.indexOf(u"/f/IMG_10.jpg"_s));
        QVERIFY(result.indexOf(u"/f/Ärger.txt"_s) < result.indexOf(u"/f/zebra.txt"_s));
    }
}

QTEST_GUILESS_MAIN(TestNaturalOrder)
#include "tst_naturalorder.moc"
