#include "filenamecodec.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestFileNameCodec : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
};

void TestFileNameCodec::roundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");

    const QString mark(QChar::ReplacementCharacter);
    QTest::newRow("ascii") << "report.pdf"_ba << u"report.pdf"_s;
    QTest::newRow("utf-8") << "caf\xC3\xA9 \xF0\x9D\x84\x9E.txt"_ba << u"café 𝄞.txt"_s;
    QTest::newRow("latin-1") << "caf\xE9.txt"_ba << u"caf"_s + mark + u".txt"_s;
    QTest::newRow("two-latin-1-bytes") << "\xE9\xE8"_ba << mark + mark;
    QTest::newRow("lone-continuation") << "a\x80z"_ba << u"a"_s + mark + u"z"_s;
    QTest::newRow("cut-short-at-end") << "ab\xC3"_ba << u"ab"_s + mark;
    QTest::newRow("cut-short-before-ascii") << "\xE2\x82z"_ba << mark + mark + u"z"_s;
    QTest::newRow("overlong") << "\xC0\xAF"_ba << mark + mark;
    QTest::newRow("encoded-surrogate") << "\xED\xB2\x80"_ba << mark + mark + mark;
    QTest::newRow("above-unicode") << "\xF4\x90\x80\x80"_ba << mark + mark + mark + mark;
    // Valid text whose surrogate pair ends in the range the escapes use.
    QTest::newRow("pair-ending-like-an-escape")
        << "\xF0\x90\x82\x80\xE9"_ba << QString::fromUcs4(U"\U00010080") + mark;
}

// Every byte sequence comes back exactly; the text shown marks what was not UTF-8.
void TestFileNameCodec::roundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);

    const QString text = decodeFileName(bytes);
    QCOMPARE(encodeFileName(text), bytes);
    QCOMPARE(displayFileName(text), shown);
    if (bytes.isValidUtf8())
        QCOMPARE(text, QString::fromUtf8(bytes));
}

QTEST_GUILESS_MAIN(TestFileNameCodec)
#include "tst_filenamecodec.moc"
