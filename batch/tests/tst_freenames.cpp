#include "batch/freenames.h"
#include "engine/renameitem.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

class TestFreeNames : public QObject
{
    Q_OBJECT

private slots:
    void numbered_data();
    void numbered();
    void sameAsAScanFromOne();
    void numberIn_data();
    void numberIn();
};

void TestFreeNames::numbered_data()
{
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    QTest::newRow("first") << QStringList{u"photo.jpg"_s} << u"photo.jpg"_s << u"photo (1).jpg"_s;
    QTest::newRow("next-free") << QStringList{u"photo.jpg"_s, u"photo (1).jpg"_s} << u"photo.jpg"_s
                               << u"photo (2).jpg"_s;
    QTest::newRow("last-extension")
        << QStringList() << u"archive.tar.gz"_s << u"archive.tar (1).gz"_s;
    QTest::newRow("no-extension") << QStringList() << u"README"_s << u"README (1)"_s;
    QTest::newRow("dot-file") << QStringList() << u".gitignore"_s << u" (1).gitignore"_s;
    QTest::newRow("percent-signs") << QStringList() << u"%1 %2.txt"_s << u"%1 %2 (1).txt"_s;
}

// A numbered name as the plan and the batch ask for one: the name split at its last dot.
void TestFreeNames::numbered()
{
    QFETCH(QStringList, taken);
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QString base;
    QString ext;
    splitFileName(name, &base, &ext);
    FreeNames names;
    QCOMPARE(names.numbered(u"/d"_s, base, ext,
                            [&](const QString &candidate) { return taken.contains(candidate); }),
             expected);
}

// Searches interleaved over several series, while names are taken by the searches
// (each answer is claimed) and meanwhile (names only ever get taken): every answer must
// be the first free number, as a scan from 1 finds it.
void TestFreeNames::sameAsAScanFromOne()
{
    struct Series
    {
        QString folder;
        QString base;
        QString ext; // a stepping stone's series when base and ext are null
    };
    const QList<Series> series{
        {u"0"_s, u"photo"_s, u".jpg"_s},
        {u"0"_s, u"photo"_s, u".png"_s},
        {u"0"_s, u"Photo"_s, u".jpg"_s},
        {u"1"_s, u"photo"_s, u".jpg"_s},
        {u"0"_s, u"README"_s, QString()},
        {u"0"_s, {}, {}},
        {u"1"_s, {}, {}},
    };
    const auto nameAt = [](const Series &s, qint64 n) {
        return s.base.isNull() && s.ext.isNull() ? FreeNames::steppingStoneName(n)
                                                 : FreeNames::numberedName(s.base, n, s.ext);
    };
    QHash<QString, QSet<QString>> taken; // folder -> names
    QRandomGenerator random(20261210);
    FreeNames names;
    for (int round = 0; round < 6000; ++round) {
        const Series &s = series.at(random.bounded(int(series.size())));
        QSet<QString> &folder = taken[s.folder];
        if (random.bounded(3) == 0) {
            folder.insert(nameAt(s, random.bounded(1, 80)));
            continue;
        }
        qint64 first = 1;
        while (folder.contains(nameAt(s, first)))
            ++first;
        const auto isTaken = [&](const QString &name) { return folder.contains(name); };
        const QString found = s.base.isNull() && s.ext.isNull()
                                  ? names.steppingStone(s.folder, isTaken)
                                  : names.numbered(s.folder, s.base, s.ext, isTaken);
        QCOMPARE(found, nameAt(s, first));
        folder.insert(found);
    }
}

void TestFreeNames::numberIn_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<qint64>("number");

    QTest::newRow("numbered") << u"photo (12).jpg"_s << u"photo"_s << u".jpg"_s << qint64(12);
    QTest::newRow("no-extension") << u"README (1)"_s << u"README"_s << QString() << qint64(1);
    QTest::newRow("dot-file") << u" (3).gitignore"_s << QString() << u".gitignore"_s << qint64(3);
    QTest::newRow("percent-signs") << u"%1 (2).txt"_s << u"%1"_s << u".txt"_s << qint64(2);
    QTest::newRow("largest") << u"a (999999999999999999)"_s << u"a"_s << QString()
                             << qint64(999999999999999999);
    // Names that no number gives.
    QTest::newRow("the-plain-name") << u"photo.jpg"_s << u"photo"_s << u".jpg"_s << qint64(0);
    QTest::newRow("leading-zero") << u"photo (01).jpg"_s << u"photo"_s << u".jpg"_s << qint64(0);
    QTest::newRow("zero") << u"photo (0).jpg"_s << u"photo"_s << u".jpg"_s << qint64(0);
    QTest::newRow("no-digits") << u"photo ().jpg"_s << u"photo"_s << u".jpg"_s << qint64(0);
    QTest::newRow("letter") << u"photo (1a).jpg"_s << u"photo"_s << u".jpg"_s << qint64(0);
    QTest::newRow("sign") << u"photo (-1).jpg"_s << u"photo"_s << u".jpg"_s << qint64(0);
    QTest::newRow("no-space") << u"photo(1).jpg"_s << u"photo"_s << u".jpg"_s << qint64(0);
    QTest::newRow("other-base") << u"photos (1).jpg"_s << u"photo"_s << u".jpg"_s << qint64(0);
    QTest::newRow("other-extension") << u"photo (1).png"_s << u"photo"_s << u".jpg"_s << qint64(0);
    QTest::newRow("base-and-extension-overlap")
        << u"a (1).b"_s << u"a (1)"_s << u"(1).b"_s << qint64(0);
    QTest::newRow("nineteen-digits")
        << u"a (1000000000000000000)"_s << u"a"_s << QString() << qint64(0);
}

void TestFreeNames::numberIn()
{
    QFETCH(QString, name);
    QFETCH(QString, base);
    QFETCH(QString, ext);
    QFETCH(qint64, number);

    QCOMPARE(FreeNames::numberIn(name, base, ext), number);
    if (number > 0)
        QCOMPARE(FreeNames::numberedName(base, number, ext), name);
}

QTEST_GUILESS_MAIN(TestFreeNames)
#include "tst_freenames.moc"
