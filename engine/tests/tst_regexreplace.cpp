#include "engine/regexreplace.h"
#include "engine/tessalyerror.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestRegexReplace : public QObject
{
    Q_OBJECT

private slots:
    void replaces_data();
    void replaces();
    void invalidPatternReportsOffset_data();
    void invalidPatternReportsOffset();
    void replacerIsReusable();
    void runawayGrowthStops();
};

void TestRegexReplace::replaces_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("templ");
    QTest::addColumn<QString>("expected");

    // Matching
    QTest::newRow("swap-groups") << u"one-two"_s << u"(\\w+)-(\\w+)"_s << u"$2-$1"_s
                                 << u"two-one"_s;
    QTest::newRow("every-match") << u"a1b22"_s << u"\\d+"_s << u"#"_s << u"a#b#"_s;
    QTest::newRow("empty-matches-never-taken") << u"bbb"_s << u"a*"_s << u"x"_s << u"bbb"_s;
    QTest::newRow("non-empty-alternative-taken") << u"baab"_s << u"a*"_s << u"x"_s << u"bxb"_s;
    QTest::newRow("lookahead-only-never-matches") << u"abc"_s << u"(?=b)"_s << u"x"_s << u"abc"_s;
    QTest::newRow("case-sensitive") << u"Abc"_s << u"a"_s << u"x"_s << u"Abc"_s;
    QTest::newRow("inline-case-folding") << u"Abc"_s << u"(?i)a"_s << u"x"_s << u"xbc"_s;
    QTest::newRow("ascii-digits-only") << u"\u0663 3"_s << u"\\d"_s << u"#"_s << u"\u0663 #"_s;
    QTest::newRow("ascii-word-only") << u"é-e"_s << u"\\w"_s << u"#"_s << u"é-#"_s;
    QTest::newRow("surrogate-pair-is-one-char") << u"\U0001F600"_s << u"^.$"_s << u"x"_s << u"x"_s;
    QTest::newRow("any-newline-ends-line")
        << u"a\u2028b"_s << u"(?m)a$"_s << u"x"_s << u"x\u2028b"_s;
    QTest::newRow("search-goes-on-after-insert") << u"aa"_s << u"a"_s << u"aa"_s << u"aaaa"_s;
    QTest::newRow("lookbehind-sees-replaced-text")
        << u"aaa"_s << u"(?<=b)a|^a"_s << u"b"_s << u"bbb"_s;
    QTest::newRow("invalid-utf16-is-matched")
        << QString(QChar(0xD800)) + u"a"_s << u"a"_s << u"b"_s << QString(QChar(0xD800)) + u"b"_s;

    // Template
    QTest::newRow("group-0") << u"ab"_s << u"b"_s << u"[$0|\\0]"_s << u"a[b|b]"_s;
    QTest::newRow("backslash-groups")
        << u"one-two"_s << u"(\\w+)-(\\w+)"_s << u"\\2\\1"_s << u"twoone"_s;
    QTest::newRow("group-beyond-count") << u"a-b"_s << u"(a)-(b)"_s << u"[$9]"_s << u"[]"_s;
    QTest::newRow("unset-group") << u"b"_s << u"(a)?b"_s << u"[$1]"_s << u"[]"_s;
    QTest::newRow("two-digits-when-enough-groups")
        << u"abcdefghijkl"_s << u"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)"_s << u"$12|\\11"_s
        << u"l|k"_s;
    QTest::newRow("second-digit-literal") << u"ab"_s << u"(a)(b)"_s << u"$12"_s << u"a2"_s;
    QTest::newRow("braced-number") << u"ab"_s << u"(a)(b)"_s << u"${2}${1}"_s << u"ba"_s;
    QTest::newRow("braced-number-leading-zeros") << u"ab"_s << u"(a)(b)"_s << u"${002}"_s << u"b"_s;
    QTest::newRow("braced-huge-number") << u"ab"_s << u"(a)b"_s << u"[${99999999999}]"_s << u"[]"_s;
    QTest::newRow("named-dollar") << u"2026-12"_s << u"(?<y>\\d+)-(?<m>\\d+)"_s << u"${m}.${y}"_s
                                  << u"12.2026"_s;
    QTest::newRow("named-backslash-g")
        << u"2026-12"_s << u"(?<y>\\d+)-(?<m>\\d+)"_s << u"\\g<m>/\\g<y>"_s << u"12/2026"_s;
    QTest::newRow("unknown-name-is-empty")
        << u"ab"_s << u"(?<x>a)"_s << u"[${nope}\\g<nope>]"_s << u"[]b"_s;
    QTest::newRow("duplicate-names-first-set")
        << u"b"_s << u"(?J)(?<n>a)|(?<n>b)"_s << u"[${n}]"_s << u"[b]"_s;
    QTest::newRow("malformed-braces-literal") << u"a"_s << u"a"_s << u"${x y}${"_s << u"${x y}${"_s;
    QTest::newRow("whole-match") << u"ab"_s << u"b"_s << u"$&\\&"_s << u"abb"_s;
    QTest::newRow("before-and-after") << u"xay"_s << u"a"_s << u"[$`|$']"_s << u"x[x|y]y"_s;
    QTest::newRow("backslash-before-and-after")
        << u"xay"_s << u"a"_s << u"[\\`|\\']"_s << u"x[x|y]y"_s;
    QTest::newRow("before-sees-earlier-replacement")
        << u"aa"_s << u"a"_s << u"<$`>"_s << u"<><<>>"_s;
    QTest::newRow("whole-text-mid-pass") << u"ab"_s << u"[ab]"_s << u"($_)"_s << u"(ab)((ab)b)"_s;
    QTest::newRow("backslash-underscore-literal") << u"a"_s << u"a"_s << u"\\_"_s << u"\\_"_s;
    QTest::newRow("highest-group") << u"ab"_s << u"(a)(b)"_s << u"$+\\+"_s << u"bb"_s;
    QTest::newRow("highest-group-no-groups") << u"ab"_s << u"b"_s << u"[$+]"_s << u"a[b]"_s;
    QTest::newRow("escaped-dollar-and-backslash")
        << u"a"_s << u"a"_s << u"$$\\$\\\\"_s << u"$$\\"_s;
    QTest::newRow("dollar-x-literal") << u"a"_s << u"a"_s << u"$x"_s << u"$x"_s;
    QTest::newRow("trailing-dollar") << u"a"_s << u"a"_s << u"b$"_s << u"b$"_s;
    QTest::newRow("trailing-backslash") << u"a"_s << u"a"_s << u"b\\"_s << u"b\\"_s;
    QTest::newRow("backslash-n-literal") << u"a"_s << u"a"_s << u"\\n"_s << u"\\n"_s;
    QTest::newRow("case-letter-without-digit") << u"a"_s << u"a"_s << u"\\U"_s << u"\\U"_s;

    // Case changes in the template
    QTest::newRow("upper-group") << u"ab-cd"_s << u"(\\w+)-(\\w+)"_s << u"\\U1-$2"_s << u"AB-cd"_s;
    QTest::newRow("upper-full-mapping") << u"straße"_s << u"(.+)"_s << u"\\u1"_s << u"STRASSE"_s;
    QTest::newRow("lower-group") << u"ABC"_s << u"(.+)"_s << u"\\L1"_s << u"abc"_s;
    QTest::newRow("first-upper-rest-lower")
        << u"hELLO wORLD"_s << u"(.+)"_s << u"\\F1"_s << u"Hello world"_s;
    QTest::newRow("first-upper-ascii-only") << u"éCOLE"_s << u"(.+)"_s << u"\\f1"_s << u"école"_s;
    QTest::newRow("capitalise-words") << u"hELLO wORLD-foo.bar(baz)x_y"_s << u"(.+)"_s << u"\\I1"_s
                                      << u"Hello World-Foo.Bar(Baz)x_y"_s;
    QTest::newRow("capitalise-after-apostrophe")
        << u"'tis o'neil"_s << u"(.+)"_s << u"\\I1"_s << u"'Tis O'neil"_s;
    QTest::newRow("capitalise-after-middle-dot")
        << u"a\u00b7b"_s << u"(.+)"_s << u"\\I1"_s << u"A\u00b7B"_s;
    QTest::newRow("case-of-unset-group") << u"b"_s << u"(a)?b"_s << u"[\\U1]"_s << u"[]"_s;
    // A direction control removed as other languages write it; quoted or escaped
    // backslashes stay what they were.
    QTest::newRow("u-escape") << u"invoice\u202Efdp.exe"_s << u"\\u202E"_s << QString()
                              << u"invoicefdp.exe"_s;
    QTest::newRow("u-escape-in-class")
        << u"a\u200Bb\u2066c"_s << u"[\\u200B\\u2066]"_s << QString() << u"abc"_s;
    QTest::newRow("u-escape-quoted") << u"a\\u0041"_s << u"\\Q\\u0041\\E"_s << u"-"_s << u"a-"_s;
    QTest::newRow("escaped-backslash-then-u") << u"\\u0041"_s << u"\\\\u0041"_s << u"-"_s << u"-"_s;
}

void TestRegexReplace::replaces()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(QString, templ);
    QFETCH(QString, expected);
    QCOMPARE(RegexReplacer(pattern, templ).replaceAll(text), expected);
}

void TestRegexReplace::invalidPatternReportsOffset_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("message");

    QTest::newRow("missing-parenthesis")
        << u"(a"_s << u"Error in regular expression at offset 2: missing closing parenthesis"_s;
    QTest::newRow("nothing-to-repeat")
        << u"ab*+*"_s
        << u"Error in regular expression at offset 4: quantifier does not follow a repeatable item"_s;
    QTest::newRow("offset-as-typed-after-u-escape")
        << u"\\u202E("_s
        << u"Error in regular expression at offset 7: missing closing parenthesis"_s;
}

void TestRegexReplace::invalidPatternReportsOffset()
{
    QFETCH(QString, pattern);
    QFETCH(QString, message);
    try {
        RegexReplacer(pattern, u"x"_s);
        QFAIL("an invalid pattern must fail");
    } catch (const TessalyError &error) {
        QCOMPARE(error.message(), message);
    }
}

void TestRegexReplace::replacerIsReusable()
{
    RegexReplacer replacer(u"(\\d+)"_s, u"x$1"_s);
    QCOMPARE(replacer.replaceAll(u"a1"_s), u"ax1"_s);
    QCOMPARE(replacer.replaceAll(u"b"_s), u"b"_s);
    QCOMPARE(replacer.replaceAll(u"22c33"_s), u"x22cx33"_s);
}

// Each match inserts the whole text twice: the text would double with every character.
void TestRegexReplace::runawayGrowthStops()
{
    try {
        RegexReplacer(u"a"_s, u"$_$_"_s).replaceAll(QString(40, u'a'));
        QFAIL("the growth must stop");
    } catch (const TessalyError &error) {
        QCOMPARE(error.message(), u"The new name is longer than 32767 characters."_s);
    }
    // Long but bounded results are fine.
    QCOMPARE(RegexReplacer(u"a"_s, u"bbbbbbbbbb"_s).replaceAll(QString(100, u'a')),
             QString(1000, u'b'));
}

QTEST_GUILESS_MAIN(TestRegexReplace)
#include "tst_regexreplace.moc"
