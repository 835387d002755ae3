#include "engine/filenamecodec.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestFileNameCodec : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void unpairedSurrogates_data();
    void unpairedSurrogates();
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

void TestFileNameCodec::unpairedSurrogates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    const QString high(QChar(char16_t(0xD800)));
    QTest::newRow("first-half-at-end") << u"a"_s + high << "a?"_ba;
    QTest::newRow("first-half-before-text") << high + u"\u00E9"_s << "?\xC3\xA9"_ba;
    QTest::newRow("first-half-before-pair")
        << high + high + QChar(char16_t(0xDC80)) << "?\xF0\x90\x82\x80"_ba;
    QTest::newRow("second-half-outside-escapes")
        << QString(QChar(char16_t(0xDC7F))) + QChar(char16_t(0xDD00)) << "??"_ba;
}

// Text that no listing made (typed, pasted) encodes as the system's UTF-8 conversion
// does, so that the log and the rename agree on every byte.
void TestFileNameCodec::unpairedSurrogates()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);

    QCOMPARE(encodeFileName(text), bytes);
    QByteArray buffer(maxEncodedFileNameSize(text.size()), '\0');
    QCOMPARE(QByteArrayView(buffer.data(), encodeFileNameTo(text, buffer.data())), bytes);
}

QTEST_GUILESS_MAIN(TestFileNameCodec)
#include "tst_filenamecodec.moc"
