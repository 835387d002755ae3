#include "update/updateoffer.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestUpdateOffer : public QObject
{
    Q_OBJECT

private slots:
    void versionLine_data();
    void versionLine();
};

void TestUpdateOffer::versionLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("latest");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<QString>("shown");

    QTest::newRow("plain") << u"24/23"_s << true << 24 << 23 << u"2.4"_s;
    QTest::newRow("two-digit-minor") << u"105/23"_s << true << 105 << 23 << u"10.5"_s;
    QTest::newRow("blanks-and-signs") << u" +24/\t-23"_s << true << 24 << -23 << u" +2.4"_s;
    QTest::newRow("largest") << u"2147483647/-2147483648"_s << true << 2147483647
                             << int(-2147483648LL) << u"214748364.7"_s;
    QTest::newRow("no-slash") << u"24"_s << false << 0 << 0 << QString();
    QTest::newRow("empty-latest") << u"/23"_s << false << 0 << 0 << QString();
    QTest::newRow("empty-minimum") << u"24/"_s << false << 0 << 0 << QString();
    QTest::newRow("minimum-not-a-number") << u"24/x"_s << false << 0 << 0 << QString();
    QTest::newRow("trailing-blank") << u"24/23 "_s << false << 0 << 0 << QString();
    QTest::newRow("second-slash") << u"24/23/22"_s << false << 0 << 0 << QString();
    QTest::newRow("sign-alone") << u"+/23"_s << false << 0 << 0 << QString();
    QTest::newRow("hexadecimal") << u"$18/23"_s << false << 0 << 0 << QString();
    QTest::newRow("hexadecimal-0x") << u"0x18/23"_s << false << 0 << 0 << QString();
    QTest::newRow("out-of-range") << u"2147483648/23"_s << false << 0 << 0 << QString();
}

void TestUpdateOffer::versionLine()
{
    QFETCH(QString, line);
    QFETCH(bool, valid);
    QFETCH(int, latest);
    QFETCH(int, minimum);
    QFETCH(QString, shown);

    const std::optional<VersionLine> version = parseVersionLine(line);
    QCOMPARE(version.has_value(), valid);
    if (!version)
        return;
    QCOMPARE(version->latest, latest);
    QCOMPARE(version->minimum, minimum);
    QCOMPARE(displayVersion(version->latestText), shown);
}

QTEST_GUILESS_MAIN(TestUpdateOffer)
#include "tst_updateoffer.moc"
