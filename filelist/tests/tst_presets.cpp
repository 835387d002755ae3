#include "engine/tessalyerror.h"
#include "filelist/namelist.h"
#include "filelist/presets.h"
#include "filelist/textfiles.h"
#include "testsupport/testdir.h"

#include <QTest>

#include <functional>

using namespace Qt::StringLiterals;

using OptionsEdit = std::function<void(RenameOptions &)>;
Q_DECLARE_METATYPE(OptionsEdit)

class TestPresets : public QObject
{
    Q_OBJECT

private slots:
    void freshStartBytes();
    void roundTrips_data();
    void roundTrips();
    void readsValues_data();
    void readsValues();
    void readsOptions_data();
    void readsOptions();
    void loadErrors_data();
    void loadErrors();
    void nameLists_data();
    void nameLists();
};

void TestPresets::freshStartBytes()
{
    const QByteArray expected =
        "\xEF\xBB\xBF{\r\n"
        "\"find\":\"\",\r\n\"replace\":\"\",\r\n\"regex\":false,\r\n\"pattern\":\"{name}\",\r\n"
        "\"counterStart\":\"1\",\r\n\"digits\":\"3\",\r\n\"case\":0,\r\n\"changeExt\":false,\r\n"
        "\"newExt\":\"\",\r\n\"conflict\":2,\r\n\"insertText\":\"\",\r\n\"insertPos\":\"1\",\r\n"
        "\"removeFirst\":\"0\",\r\n\"removeLast\":\"0\",\r\n\"removeFromPos\":\"0\",\r\n"
        "\"removeTillPos\":\"0\",\r\n\"charactersToRemove\":\"\",\r\n"
        "\"collapseDoubleSpaces\":false,\r\n\"cropBefore\":\"\",\r\n\"cropAfter\":\"\",\r\n"
        "\"padNumbers\":\"0\",\r\n\"includeSubfolders\":false,\r\n\"batchMode\":0,\r\n"
        "\"destination\":\"\",\r\n\"touchModifiedNow\":false\r\n}\r\n";
    QCOMPARE(presetFileBytes(RenameOptions()), expected);
}

void TestPresets::roundTrips_data()
{
    QTest::addColumn<OptionsEdit>("edit");

    QTest::newRow("fresh-start") << OptionsEdit([](RenameOptions &) {});
    QTest::newRow("every-option") << OptionsEdit([](RenameOptions &o) {
        o.find = u"(\\d+)\\.\"x\""_s;
        o.replace = u"\\U1 $1"_s;
        o.regex = true;
        o.pattern = u"{counter}, {name} }"_s;
        o.counterStart = u"-5"_s;
        o.digits = u"12"_s;
        o.caseMode = CaseMode::Title;
        o.changeExt = true;
        o.newExt = u"jpg"_s;
        o.conflict = ConflictMode::Skip;
        o.insertText = u"日本 ü"_s;
        o.insertPos = u"4"_s;
        o.removeFirst = u"1"_s;
        o.removeLast = u"2"_s;
        o.removeFromPos = u" 3 "_s;
        o.removeTillPos = u"9"_s;
        o.charactersToRemove = u"\\\""_s;
        o.collapseDoubleSpaces = true;
        o.trimFrom = u"\r\n"_s;
        o.trimUntil = u"\t"_s;
        o.padNumbers = u"3"_s;
        o.includeSubfolders = true;
        o.batchMode = BatchMode::MoveToFolder;
        o.destination = u"C:\\Photos\\"_s;
        o.touchModifiedNow = true;
    });
    QTest::newRow("empty-texts") << OptionsEdit([](RenameOptions &o) {
        o.pattern.clear();
        o.counterStart.clear();
        o.caseMode = -1;
    });
    // A number text holding a quote (pasted) comes back whole.
    QTest::newRow("quote-in-number-text") << OptionsEdit([](RenameOptions &o) {
        o.digits = u"1\"2"_s;
        o.insertPos = u"\\"_s;
    });
}

void TestPresets::roundTrips()
{
    QFETCH(OptionsEdit, edit);
    RenameOptions options;
    edit(options);
    RenameOptions other;
    other.find = u"something else"_s;
    other.changeExt = false;
    const QString text = decodeUtf8Strictly(presetFileBytes(options));
    QCOMPARE(optionsFromPreset(text, other), options);
}

void TestPresets::readsValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("quoted") << u"{\"a\":\"x y\"}"_s << u"a"_s << u"x y"_s;
    QTest::newRow("escapes") << u"{\"a\":\"\\\\d\\\"q\\n\"}"_s << u"a"_s << u"\\d\"q\\n"_s;
    QTest::newRow("backslash-before-closing-quote")
        << u"{\"a\":\"C:\\\\\"}"_s << u"a"_s << u"C:\\"_s;
    QTest::newRow("blanks-after-colon") << u"{\"a\": \t\r\n \"v\"}"_s << u"a"_s << u"v"_s;
    QTest::newRow("blank-before-colon") << u"{\"a\" :\"v\"}"_s << u"a"_s << u"<default>"_s;
    QTest::newRow("first-occurrence") << u"{\"a\":\"1\",\"a\":\"2\"}"_s << u"a"_s << u"1"_s;
    QTest::newRow("key-case-matters") << u"{\"A\":\"1\"}"_s << u"a"_s << u"<default>"_s;
    QTest::newRow("bare-cut-at-comma") << u"{\"a\": x, y}"_s << u"a"_s << u"x"_s;
    QTest::newRow("bare-cut-at-brace") << u"{\"a\":7}"_s << u"a"_s << u"7"_s;
    QTest::newRow("bare-cut-at-line-end") << u"\"a\":true\r\n\"b\":1"_s << u"a"_s << u"true"_s;
    QTest::newRow("bare-to-end") << u"\"a\": 12 "_s << u"a"_s << u"12"_s;
    QTest::newRow("quoted-holds-comma-brace-break")
        << u"\"a\":\"x,}\r\ny\""_s << u"a"_s << u"x,}\r\ny"_s;
    QTest::newRow("unclosed-quote") << u"{\"a\":\"abc}"_s << u"a"_s << u"<default>"_s;
    QTest::newRow("missing") << u"anything"_s << u"a"_s << u"<default>"_s;
    QTest::newRow("empty-bare") << u"\"a\":,"_s << u"a"_s << QString();
}

void TestPresets::readsValues()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QCOMPARE(readPresetValue(text, key, u"<default>"_s), expected);
}

void TestPresets::readsOptions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<OptionsEdit>("expectedEdit");

    // The current options the rows start from: every check box set, nothing default.
    QTest::newRow("not-a-preset") << u"hello"_s << OptionsEdit([](RenameOptions &o) {
        o.regex = false;
        o.collapseDoubleSpaces = false;
        o.includeSubfolders = false;
        o.touchModifiedNow = false;
        o.changeExt = true;
    });
    QTest::newRow("other-order-several-lines")
        << u"{ \"pattern\" :\"no\",\n \"digits\":\n  \"7\", \"find\":\"f\", \"extra\":1,\"regex\":true }"_s
        << OptionsEdit([](RenameOptions &o) {
               o.digits = u"7"_s;
               o.find = u"f"_s;
               o.collapseDoubleSpaces = false;
               o.includeSubfolders = false;
               o.touchModifiedNow = false;
           });
    QTest::newRow("booleans")
        << u"\"regex\":\"true\",\"changeExt\":TRUE,\"collapseDoubleSpaces\":yes,"
           "\"includeSubfolders\":1,\"touchModifiedNow\":True"_s
        << OptionsEdit([](RenameOptions &o) {
               o.collapseDoubleSpaces = false;
               o.includeSubfolders = false;
           });
    QTest::newRow("indices") << u"\"case\":7,\"conflict\":abc,\"batchMode\":\"2\""_s
                             << OptionsEdit([](RenameOptions &o) {
                                    o.caseMode = -1;
                                    o.batchMode = BatchMode::MoveToFolder;
                                    o.regex = false;
                                    o.collapseDoubleSpaces = false;
                                    o.includeSubfolders = false;
                                    o.touchModifiedNow = false;
                                });
    QTest::newRow("negative-number-text")
        << u"\"counterStart\":\"-5\",\"regex\":true,"
           "\"collapseDoubleSpaces\":true,\"includeSubfolders\":true,"
           "\"touchModifiedNow\":true"_s
        << OptionsEdit([](RenameOptions &o) { o.counterStart = u"-5"_s; });
    QTest::newRow("unclosed-boolean-quote")
        << u"\"regex\":\"true"_s << OptionsEdit([](RenameOptions &o) {
               o.regex = false;
               o.collapseDoubleSpaces = false;
               o.includeSubfolders = false;
               o.touchModifiedNow = false;
           });
}

void TestPresets::readsOptions()
{
    QFETCH(QString, text);
    QFETCH(OptionsEdit, expectedEdit);

    RenameOptions current;
    current.find = u"old find"_s;
    current.pattern = u"old {name}"_s;
    current.regex = true;
    current.changeExt = true;
    current.collapseDoubleSpaces = true;
    current.includeSubfolders = true;
    current.touchModifiedNow = true;
    current.caseMode = CaseMode::Upper;
    current.conflict = ConflictMode::Skip;
    RenameOptions expected = current;
    expectedEdit(expected);
    QCOMPARE(optionsFromPreset(text, current), expected);
}

void TestPresets::loadErrors_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");

    QTest::newRow("missing-file") << u"none.json"_s << QByteArray()
                                  << u"The specified file was not found\n[<dir>/none.json]"_s;
    QTest::newRow("missing-folder") << u"no/where.json"_s << QByteArray()
                                    << u"The specified path was not found\n[<dir>/no/where.json]"_s;
    QTest::newRow("not-utf8")
        << u"latin.json"_s << "{\"find\":\"caf\xE9\"}"_ba
        << u"No mapping for the Unicode character exists in the target multi-byte code page"_s;
}

void TestPresets::loadErrors()
{
    QFETCH(QString, relative);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);

    TestDir dir;
    if (!content.isEmpty())
        dir.file(relative, content);
    try {
        loadPresetFile(dir.filePath(relative), RenameOptions());
        QFAIL("the load must fail");
    } catch (const TessalyError &error) {
        QCOMPARE(error.message(), QString(message).replace(u"<dir>"_s, dir.path()));
    }
    try {
        loadNameList(dir.filePath(relative));
        QFAIL("the load must fail");
    } catch (const TessalyError &error) {
        QCOMPARE(error.message(), QString(message).replace(u"<dir>"_s, dir.path()));
    }
}

void TestPresets::nameLists_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("words-in-words")
        << "  Bob\t\r\n\"Alice Smith\",x\r\n\"Smith, John\"\r\n   \r\n"_ba
        << QStringList{u"Bob"_s, u"Alice Smith"_s, u"Smith"_s, QString()};
    QTest::newRow("no-final-line-end") << "a\r\nb\r\nc"_ba << QStringList{u"a"_s, u"b"_s, u"c"_s};
    QTest::newRow("blank-line-in-middle")
        << "a\n\nc\n"_ba << QStringList{u"a"_s, QString(), u"c"_s};
    QTest::newRow("cr-only") << "a\rb\r"_ba << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("bom-skipped") << "\xEF\xBB\xBFname\n"_ba << QStringList{u"name"_s};
    QTest::newRow("inner-blanks-kept") << "\"\" a b \"\"\n"_ba << QStringList{u" a b "_s};
    QTest::newRow("header-is-a-name")
        << "Name,Size\nx.jpg,3\n"_ba << QStringList{u"Name"_s, u"x.jpg"_s};
    QTest::newRow("empty-file") << QByteArray() << QStringList();
    QTest::newRow("bom-only") << "\xEF\xBB\xBF"_ba << QStringList();
    QTest::newRow("non-ascii") << "Zoë\nカメラ\n"_ba << QStringList{u"Zoë"_s, u"カメラ"_s};
}

void TestPresets::nameLists()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, names);
    TestDir dir;
    QCOMPARE(loadNameList(dir.file(u"names.txt"_s, content)), names);
}

QTEST_GUILESS_MAIN(TestPresets)
#include "tst_presets.moc"
