#include "engine/hiddencharacters.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestHiddenCharacters : public QObject
{
    Q_OBJECT

private slots:
    void marked_data();
    void marked();
};

void TestHiddenCharacters::marked_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("found");

    QTest::newRow("plain") << u"holiday 2024.jpg"_s << u"holiday 2024.jpg"_s << QStringList{};
    QTest::newRow("right-to-left-override")
        << u"invoice\u202Efdp.exe"_s << u"invoice⟨RLO⟩fdp.exe"_s << QStringList{u"RLO"_s};
    QTest::newRow("isolates-and-zero-width")
        << u"a\u2066b\u2069c\u200Bd\uFEFF"_s << u"a⟨LRI⟩b⟨PDI⟩c⟨ZWSP⟩d⟨BOM⟩"_s
        << QStringList{u"LRI"_s, u"PDI"_s, u"ZWSP"_s, u"BOM"_s};
    QTest::newRow("controls-named-once")
        << u"a\x1b[31m\x1b\x07\x01.txt"_s << u"a⟨ESC⟩[31m⟨ESC⟩⟨BEL⟩⟨U+0001⟩.txt"_s
        << QStringList{u"ESC"_s, u"BEL"_s, u"U+0001"_s};
    QTest::newRow("c1-control") << u"x\u0085y"_s << u"x⟨U+0085⟩y"_s << QStringList{u"U+0085"_s};
    // Letters outside the first plane and right-to-left letters are shown as they are.
    QTest::newRow("emoji-and-arabic") << u"😀 صورة.png"_s << u"😀 صورة.png"_s << QStringList{};
}

void TestHiddenCharacters::marked()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QFETCH(QStringList, found);
    QCOMPARE(holdsHiddenCharacters(name), !found.isEmpty());
    QCOMPARE(withHiddenCharactersMarked(name), shown);
    QCOMPARE(hiddenCharactersIn(name), found);
}

QTEST_GUILESS_MAIN(TestHiddenCharacters)
#include "tst_hiddencharacters.moc"
