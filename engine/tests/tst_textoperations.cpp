#include "engine/renameoptions.h"
#include "engine/textoperations.h"

#include <QLocale>
#include <QTest>

#include <functional>

using namespace Qt::StringLiterals;

using OptionsEdit = std::function<void(RenameOptions &)>;
Q_DECLARE_METATYPE(OptionsEdit)

class TestTextOperations : public QObject
{
    Q_OBJECT

private slots:
    void nameOperations_data();
    void nameOperations();
    void importedNames_data();
    void importedNames();
    void padNumbers_data();
    void padNumbers();
    void plainReplace();
    void applyCase_data();
    void applyCase();
    void turkicCasingFollowsLocale();
};

// Each row sets some options on top of the initial ones and runs the whole chain.
void TestTextOperations::nameOperations_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<OptionsEdit>("edit");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char *tag, const QString &name, OptionsEdit edit,
                        const QString &expected) {
        QTest::newRow(tag) << name << edit << expected;
    };
    row(
        "initial-options-change-nothing", u"Holiday 2026"_s, [](RenameOptions &) {},
        u"Holiday 2026"_s);
    row(
        "remove-first-beyond-length", u"ab"_s, [](auto &o) { o.removeFirst = u"3"_s; }, u""_s);
    row(
        "remove-first-negative", u"abc"_s, [](auto &o) { o.removeFirst = u"-1"_s; }, u"abc"_s);
    row(
        "remove-last-beyond-length-keeps-all", u"ab"_s, [](auto &o) { o.removeLast = u"3"_s; },
        u"ab"_s);
    row(
        "remove-last-whole-length", u"abcde"_s, [](auto &o) { o.removeLast = u"5"_s; }, u""_s);
    row(
        "remove-first-trailing-space-is-zero", u"abcde"_s, [](auto &o) { o.removeFirst = u"3 "_s; },
        u"abcde"_s);
    row(
        "remove-range-middle", u"abcdef"_s,
        [](auto &o) {
            o.removeFromPos = u"2"_s;
            o.removeTillPos = u"4"_s;
        },
        u"aef"_s);
    row(
        "remove-range-single", u"abcdef"_s,
        [](auto &o) {
            o.removeFromPos = u"3"_s;
            o.removeTillPos = u"3"_s;
        },
        u"abdef"_s);
    row(
        "remove-range-till-before-from", u"abcde"_s,
        [](auto &o) {
            o.removeFromPos = u"4"_s;
            o.removeTillPos = u"2"_s;
        },
        u"abcde"_s);
    row(
        "remove-range-till-beyond-end", u"abcde"_s,
        [](auto &o) {
            o.removeFromPos = u"2"_s;
            o.removeTillPos = u"99"_s;
        },
        u"a"_s);
    row(
        "remove-range-from-beyond-end", u"abcde"_s,
        [](auto &o) {
            o.removeFromPos = u"6"_s;
            o.removeTillPos = u"9"_s;
        },
        u"abcde"_s);
    row(
        "remove-range-positions-trimmed", u"abcde"_s,
        [](auto &o) {
            o.removeFromPos = u" 3 "_s;
            o.removeTillPos = u"\t3"_s;
        },
        u"abde"_s);
    row(
        "remove-characters", u"a-b_c"_s, [](auto &o) { o.charactersToRemove = u"-_"_s; }, u"abc"_s);
    row(
        "remove-characters-case-sensitive", u"aAa"_s,
        [](auto &o) { o.charactersToRemove = u"A"_s; }, u"aa"_s);
    row(
        "collapse-four-spaces", u"a    b"_s, [](auto &o) { o.collapseDoubleSpaces = true; },
        u"a b"_s);
    row(
        "collapse-keeps-tabs-and-single-end-spaces", u" a\t\tb  "_s,
        [](auto &o) { o.collapseDoubleSpaces = true; }, u" a\t\tb "_s);
    row(
        "trim-both-markers", u"x-y_z"_s,
        [](auto &o) {
            o.trimFrom = u"_"_s;
            o.trimUntil = u"-"_s;
        },
        u"y"_s);
    row(
        "trim-before-only", u"x-y_z"_s, [](auto &o) { o.trimFrom = u"_"_s; }, u"x-y"_s);
    row(
        "trim-markers-absent", u"x-y_z"_s,
        [](auto &o) {
            o.trimFrom = u"#"_s;
            o.trimUntil = u"Y"_s;
        },
        u"x-y_z"_s);
    row(
        "trim-first-occurrence", u"a-b-c"_s, [](auto &o) { o.trimUntil = u"-"_s; }, u"b-c"_s);
    row(
        "insert-position-0", u"abc"_s,
        [](auto &o) {
            o.insertText = u"X"_s;
            o.insertPos = u"0"_s;
        },
        u"Xabc"_s);
    row(
        "insert-position-1", u"abc"_s,
        [](auto &o) {
            o.insertText = u"X"_s;
            o.insertPos = u"1"_s;
        },
        u"Xabc"_s);
    row(
        "insert-position-empty-is-1", u"abc"_s,
        [](auto &o) {
            o.insertText = u"X"_s;
            o.insertPos = QString();
        },
        u"Xabc"_s);
    row(
        "insert-position-50-appends", u"abc"_s,
        [](auto &o) {
            o.insertText = u"X"_s;
            o.insertPos = u"50"_s;
        },
        u"abcX"_s);
    row(
        "insert-middle", u"abc"_s,
        [](auto &o) {
            o.insertText = u"X"_s;
            o.insertPos = u"3"_s;
        },
        u"abXc"_s);
    row(
        "positions-count-code-units", u"\U0001F600ab"_s, [](auto &o) { o.removeFirst = u"2"_s; },
        u"ab"_s);
    // The steps run in their fixed order: remove first before insert before padding.
    row(
        "chain-order", u"xx7 a"_s,
        [](auto &o) {
            o.removeFirst = u"2"_s;
            o.insertText = u"9"_s;
            o.insertPos = u"2"_s;
            o.padNumbers = u"3"_s;
        },
        u"079 a"_s);
}

void TestTextOperations::nameOperations()
{
    QFETCH(QString, name);
    QFETCH(OptionsEdit, edit);
    QFETCH(QString, expected);

    RenameOptions options;
    edit(options);
    QCOMPARE(applyNameOperations(name, 0, options, {}), expected);
}

void TestTextOperations::importedNames_data()
{
    QTest::addColumn<QStringList>("imported");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("expected");

    QTest::newRow("entry-replaces-name")
        << QStringList{u"first"_s, u"second"_s} << 1 << u"second"_s;
    QTest::newRow("entry-kept-with-its-spaces") << QStringList{u" word "_s} << 0 << u" word "_s;
    QTest::newRow("blank-entry-uses-name") << QStringList{u"   "_s} << 0 << u"OP"_s;
    QTest::newRow("control-only-entry-is-blank") << QStringList{u"\t"_s} << 0 << u"OP"_s;
    QTest::newRow("index-past-list") << QStringList{u"first"_s} << 1 << u"OP"_s;
    QTest::newRow("negative-index") << QStringList{u"first"_s} << -1 << u"OP"_s;
}

void TestTextOperations::importedNames()
{
    QFETCH(QStringList, imported);
    QFETCH(int, index);
    QFETCH(QString, expected);

    // The other options apply only when no imported name stands in for the result.
    RenameOptions options;
    options.removeFirst = u"1"_s;
    options.insertText = u"O"_s;
    QCOMPARE(applyNameOperations(u"xP"_s, index, options, imported), expected);
}

void TestTextOperations::padNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");

    QTest::newRow("several-runs") << u"a1b22c333d4444"_s << 3 << u"a001b022c333d4444"_s;
    QTest::newRow("leading-zeros-dropped") << u"file0001"_s << 2 << u"file01"_s;
    QTest::newRow("zero-run") << u"v000"_s << 2 << u"v00"_s;
    QTest::newRow("only-ascii-digits") << u"\u0661\u0662x5"_s << 2 << u"\u0661\u0662x05"_s;
    QTest::newRow("no-digits") << u"abc"_s << 4 << u"abc"_s;
    QTest::newRow("fits-32-bits") << u"n2147483647"_s << 3 << u"n2147483647"_s;
    // A run above the 32-bit range keeps its digits instead of turning into zeros.
    QTest::newRow("eleven-digit-run") << u"file12345678901"_s << 3 << u"file12345678901"_s;
    QTest::newRow("long-run-leading-zeros") << u"x0012345678901"_s << 14 << u"x00012345678901"_s;
    QTest::newRow("huge-width-is-capped") << u"7"_s << 1000000000 << QString(254, u'0') + u'7';
}

void TestTextOperations::padNumbers()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QCOMPARE(::padNumbers(text, width), expected);
}

void TestTextOperations::plainReplace()
{
    QCOMPARE(::plainReplace(u"banana"_s, u"a"_s, u"A"_s), u"bAnAnA"_s);
    QCOMPARE(::plainReplace(u"banana"_s, u"A"_s, u"x"_s), u"banana"_s);
    QCOMPARE(::plainReplace(u"aaa"_s, u"aa"_s, u"b"_s), u"ba"_s);
    QCOMPARE(::plainReplace(u"ab"_s, u"a"_s, u"aa"_s), u"aab"_s);
    QCOMPARE(::plainReplace(u"ab"_s, QString(), u"x"_s), u"ab"_s);
}

void TestTextOperations::applyCase_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("expected");

    QTest::newRow("unchanged") << u"MiXed"_s << 0 << u"MiXed"_s;
    QTest::newRow("no-selection") << u"MiXed"_s << -1 << u"MiXed"_s;
    QTest::newRow("out-of-range") << u"MiXed"_s << 4 << u"MiXed"_s;
    QTest::newRow("lower") << u"ÄBC Ω"_s << 1 << u"äbc ω"_s;
    QTest::newRow("upper") << u"äbc ω"_s << 2 << u"ÄBC Ω"_s;
    QTest::newRow("upper-keeps-length-sharp-s") << u"straße"_s << 2 << u"STRAßE"_s;
    QTest::newRow("upper-outside-bmp") << u"\U00010428"_s << 2 << u"\U00010400"_s;
    QTest::newRow("lower-dotted-capital-i") << u"\u0130"_s << 1 << u"i"_s;
    QTest::newRow("title-ascii") << u"hello WORLD-foo_bar 2nd"_s << 3
                                 << u"Hello World-Foo_Bar 2nd"_s;
    QTest::newRow("title-digit-ends-word-start") << u"1st 3RD"_s << 3 << u"1st 3rd"_s;
    QTest::newRow("title-apostrophe") << u"don't"_s << 3 << u"Don'T"_s;
    // Non-ASCII letters are letters: no capital in the middle of a word.
    QTest::newRow("title-accented-first-letter") << u"élan"_s << 3 << u"Élan"_s;
    QTest::newRow("title-accented-words") << u"ÜBER alles"_s << 3 << u"Über Alles"_s;
    QTest::newRow("title-greek") << u"ΑΒΓ δεζ"_s << 3 << u"Αβγ Δεζ"_s;
    QTest::newRow("title-combining-mark") << u"e\u0301cole"_s << 3 << u"E\u0301cole"_s;
    QTest::newRow("title-arabic-digit") << u"\u0661st"_s << 3 << u"\u0661st"_s;
    QTest::newRow("title-digraph") << u"\u01C6ungla"_s << 3 << u"\u01C5ungla"_s;
}

void TestTextOperations::applyCase()
{
    QFETCH(QString, text);
    QFETCH(int, mode);
    QFETCH(QString, expected);

    const QString result = ::applyCase(text, mode, false);
    QCOMPARE(result, expected);
    QCOMPARE(result.size(), text.size());
}

void TestTextOperations::turkicCasingFollowsLocale()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    QVERIFY(localeUsesTurkicCasing());
    QCOMPARE(::applyCase(u"iı"_s, CaseMode::Upper), u"\u0130I"_s);
    QCOMPARE(::applyCase(u"I\u0130"_s, CaseMode::Lower), u"\u0131i"_s);
    QCOMPARE(::applyCase(u"istanbul"_s, CaseMode::Title), u"\u0130stanbul"_s);

    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(!localeUsesTurkicCasing());
    QCOMPARE(::applyCase(u"iı"_s, CaseMode::Upper), u"II"_s);
    QLocale::setDefault(saved);
}

QTEST_GUILESS_MAIN(TestTextOperations)
#include "tst_textoperations.moc"
