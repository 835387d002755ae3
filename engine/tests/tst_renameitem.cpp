#include "engine/renameitem.h"
#include "engine/renameoptions.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestRenameItem : public QObject
{
    Q_OBJECT

private slots:
    void splitsNameAndExtension_data();
    void splitsNameAndExtension();
    void intOrDefault_data();
    void intOrDefault();
    void trimControl();
    void parentFolderName_data();
    void parentFolderName();
    void fileTimeRoundTrip_data();
    void fileTimeRoundTrip();
};

void TestRenameItem::splitsNameAndExtension_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("ext");

    QTest::newRow("plain") << u"/data/report.pdf"_s << u"report"_s << u".pdf"_s;
    QTest::newRow("last-dot-wins") << u"/data/archive.tar.gz"_s << u"archive.tar"_s << u".gz"_s;
    QTest::newRow("no-dot") << u"/data/README"_s << u"README"_s << QString();
    QTest::newRow("dot-file") << u"/data/.gitignore"_s << QString() << u".gitignore"_s;
    QTest::newRow("trailing-dot") << u"/data/name."_s << u"name"_s << u"."_s;
    QTest::newRow("dot-in-folder-only") << u"/da.ta/README"_s << u"README"_s << QString();
    QTest::newRow("no-folder") << u"a.b"_s << u"a"_s << u".b"_s;
    QTest::newRow("colon-is-a-name-character") << u"/data/a:b.txt"_s << u"a:b"_s << u".txt"_s;
}

void TestRenameItem::splitsNameAndExtension()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(QString, ext);

    const RenameItem item = makeRenameItem(path);
    QCOMPARE(item.originalPath(), path);
    QCOMPARE(item.originalName(), name);
    QCOMPARE(item.ext(), ext);
    QCOMPARE(item.fileName, fileNamePart(path));
    QVERIFY(item.newName.isEmpty());
}

void TestRenameItem::intOrDefault_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    QTest::newRow("decimal") << u"12"_s << 12;
    QTest::newRow("leading-spaces") << u"  12"_s << 12;
    QTest::newRow("trailing-space") << u"12 "_s << -7;
    QTest::newRow("empty") << QString() << -7;
    QTest::newRow("blank") << u"   "_s << -7;
    QTest::newRow("minus") << u"-3"_s << -3;
    QTest::newRow("plus") << u"+3"_s << 3;
    QTest::newRow("sign-only") << u"-"_s << -7;
    QTest::newRow("space-after-sign") << u"- 3"_s << -7;
    QTest::newRow("dollar-hex") << u"$1F"_s << 31;
    QTest::newRow("x-hex") << u"x1f"_s << 31;
    QTest::newRow("X-hex") << u"X10"_s << 16;
    QTest::newRow("0x-hex") << u"0x1F"_s << 31;
    QTest::newRow("0X-hex") << u"0X1F"_s << 31;
    QTest::newRow("negative-hex") << u"-$10"_s << -16;
    QTest::newRow("hex-prefix-alone") << u"$"_s << -7;
    QTest::newRow("hex-digit-in-decimal") << u"1F"_s << -7;
    QTest::newRow("leading-zero-decimal") << u"012"_s << 12;
    QTest::newRow("max") << u"2147483647"_s << 2147483647;
    QTest::newRow("above-max") << u"2147483648"_s << -7;
    QTest::newRow("min") << u"-2147483648"_s << int(-2147483648LL);
    QTest::newRow("below-min") << u"-2147483649"_s << -7;
    QTest::newRow("hex-above-max") << u"$80000000"_s << -7;
    QTest::newRow("very-long") << u"99999999999999999999999"_s << -7;
    QTest::newRow("letters") << u"abc"_s << -7;
    QTest::newRow("tab-is-not-a-space") << u"\t5"_s << -7;
    QTest::newRow("arabic-digits-are-not-digits") << u"\u0663"_s << -7;
}

void TestRenameItem::intOrDefault()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(::intOrDefault(text, -7), expected);
}

void TestRenameItem::trimControl()
{
    QCOMPARE(::trimControl(u"\t 3 \n"_s), u"3"_s);
    QCOMPARE(::trimControl(u"\u00a0x\u00a0"_s), u"\u00a0x\u00a0"_s);
    QCOMPARE(::trimControl(u"  "_s), QString());
}

void TestRenameItem::parentFolderName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("parent");

    QTest::newRow("nested") << u"/home/ann/photos/a.jpg"_s << u"photos"_s;
    QTest::newRow("root") << u"/a.jpg"_s << QString();
    QTest::newRow("bare-name") << u"a.jpg"_s << QString();
    QTest::newRow("doubled-separator") << u"/home//a.jpg"_s << QString();
}

void TestRenameItem::parentFolderName()
{
    QFETCH(QString, path);
    QFETCH(QString, parent);
    QCOMPARE(::parentFolderName(path), parent);
}

void TestRenameItem::fileTimeRoundTrip_data()
{
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<qint64>("unixMs");

    QTest::newRow("epoch") << QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC) << qint64(0);
    QTest::newRow("before-epoch") << QDateTime(QDate(1969, 12, 31), QTime(23, 59, 59, 999), Qt::UTC)
                                  << qint64(-1);
    QTest::newRow("modern-with-ms")
        << QDateTime(QDate(2026, 12, 9), QTime(18, 0, 0, 123), Qt::UTC) << qint64(1796839200123);
}

void TestRenameItem::fileTimeRoundTrip()
{
    QFETCH(QDateTime, moment);
    QFETCH(qint64, unixMs);
    QCOMPARE(fileTimeFromQDateTime(moment), fileTimeFromUnixMs(unixMs));
    QCOMPARE(utcFromFileTime(fileTimeFromUnixMs(unixMs)), moment);
}

QTEST_GUILESS_MAIN(TestRenameItem)
#include "tst_renameitem.moc"
