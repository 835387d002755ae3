#include "testsupport/testdir.h"
#include "translation/translation.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

class TestTranslation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void parses_data();
    void parses();
    void translates();
    void choosesLanguage_data();
    void choosesLanguage();
    void languageCodes_data();
    void languageCodes();
    void spokenCaptions_data();
    void spokenCaptions();

private:
    TestDir m_dir;
};

void TestTranslation::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestTranslation::init()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, u"Tessaly"_s).clear();
    setTranslationState({}, 0, QString());
}

void TestTranslation::parses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<QStringList>>("columns");

    QTest::newRow("two-columns") << u"2\r\nEnglish\r\nDeutsch\r\nen\r\nde\r\nFile\r\nDatei\r\n"_s
                                 << QList<QStringList>{{u"English"_s, u"en"_s, u"File"_s},
                                                       {u"Deutsch"_s, u"de"_s, u"Datei"_s}};
    QTest::newRow("bom-lf-and-cr") << u"\uFEFF2\nEnglish\rDeutsch\nen\nde\n Edit \n\n"_s
                                   << QList<QStringList>{{u"English"_s, u"en"_s, u" Edit "_s},
                                                         {u"Deutsch"_s, u"de"_s, QString()}};
    QTest::newRow("partial-record-ignored")
        << u"2\nEnglish\nDeutsch\nen\nde\nFile"_s
        << QList<QStringList>{{u"English"_s, u"en"_s}, {u"Deutsch"_s, u"de"_s}};
    QTest::newRow("not-a-number") << u"two\na\nb\nc\nd\n"_s << QList<QStringList>();
    QTest::newRow("too-short") << u"3\nEnglish\n"_s << QList<QStringList>();
}

void TestTranslation::parses()
{
    QFETCH(QString, text);
    QFETCH(QList<QStringList>, columns);
    const std::optional<TranslationCatalogue> catalogue = parseCatalogue(text);
    QCOMPARE(catalogue ? catalogue->columns : QList<QStringList>(), columns);
}

void TestTranslation::translates()
{
    TranslationCatalogue catalogue = *parseCatalogue(
        u"3\nEnglish\nDeutsch\nFrançais\nen\nde\nfr\nFile\nDatei\nFichier\nEdit\n\nÉditer\n"
        "File\nDoppelt\nDouble\n"_s);
    QCOMPARE(translateText(u"File"_s), u"File"_s); // nothing selected yet
    setTranslationState(catalogue, 1, u"de"_s);
    QCOMPARE(translateText(u"File"_s), u"Datei"_s); // the first record wins
    QCOMPARE(translateText(u"Edit"_s), u"Edit"_s);  // an empty translation
    QCOMPARE(translateText(u"file"_s), u"file"_s);  // exact texts only
    QCOMPARE(translateText(u"en"_s), u"de"_s);      // the first records take part too
    setTranslationState(catalogue, 2, u"fr"_s);
    QCOMPARE(translateText(u"Edit"_s), u"Éditer"_s);
}

void TestTranslation::choosesLanguage_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("catalogue");
    QTest::addColumn<int>("index");

    const QString three = u"3\nEnglish\nDeutsch\nFrançais\nen\nDE\nfr\nFile\nDatei\nFichier\n"_s;
    QTest::newRow("stored-choice-any-case") << u"de"_s << three << 1;
    QTest::newRow("stored-unknown-code") << u"xx"_s << three << 0;
    QTest::newRow("no-catalogue") << u"de"_s << QString() << 0;
    QTest::newRow("broken-catalogue") << u"de"_s << u"x\n"_s << 0;
}

void TestTranslation::choosesLanguage()
{
    QFETCH(QString, stored);
    QFETCH(QString, catalogue);
    QFETCH(int, index);

    QSettings(QSettings::NativeFormat, QSettings::UserScope, u"Tessaly"_s)
        .setValue(u"CurrentLanguage"_s, stored);
    const QString path = catalogue.isNull() ? m_dir.filePath(u"none.dt"_s)
                                            : m_dir.file(u"transl.dt"_s, catalogue.toUtf8());
    loadTranslations(path);
    QCOMPARE(languageIndex(), index);
    QCOMPARE(currentLanguageCode(), stored);
    QCOMPARE(translateText(u"File"_s), index == 1 ? u"Datei"_s : u"File"_s);

    if (index > 0) {
        // Choosing another language remembers its code for the next start.
        selectLanguage(2);
        QCOMPARE(translateText(u"File"_s), u"Fichier"_s);
        QCOMPARE(QSettings(QSettings::NativeFormat, QSettings::UserScope, u"Tessaly"_s)
                     .value(u"CurrentLanguage"_s)
                     .toString(),
                 u"fr"_s);
        selectLanguage(0);
        QCOMPARE(translateText(u"File"_s), u"File"_s);
    }
}

void TestTranslation::languageCodes_data()
{
    QTest::addColumn<QLocale::Language>("language");
    QTest::addColumn<QString>("code");

    QTest::newRow("german") << QLocale::German << u"de"_s;
    QTest::newRow("chinese") << QLocale::Chinese << u"cn"_s;
    QTest::newRow("japanese") << QLocale::Japanese << u"jp"_s;
    QTest::newRow("korean") << QLocale::Korean << u"kr"_s;
    QTest::newRow("greek") << QLocale::Greek << u"el"_s;
    QTest::newRow("portuguese") << QLocale::Portuguese << u"pt"_s;
    QTest::newRow("swedish-falls-back") << QLocale::Swedish << u"en"_s;
}

void TestTranslation::languageCodes()
{
    QFETCH(QLocale::Language, language);
    QFETCH(QString, code);
    QCOMPARE(languageCodeFor(language), code);
    QVERIFY(!defaultLanguageCode().isEmpty());
}

void TestTranslation::spokenCaptions_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("spoken");
    QTest::newRow("ellipsis") << u"Add Files..."_s << u"Add Files"_s;
    QTest::newRow("ellipsis-character") << u"Ajouter\u2026"_s << u"Ajouter"_s;
    QTest::newRow("exclamation") << u"Rename Files!"_s << u"Rename Files"_s;
    QTest::newRow("colon") << u"Remove first:"_s << u"Remove first"_s;
    QTest::newRow("french-colon") << u"Modèle :"_s << u"Modèle"_s;
    QTest::newRow("full-width-colon") << u"模式\uFF1A"_s << u"模式"_s;
    QTest::newRow("inner-marks-kept") << u"Copy/Move: a.b"_s << u"Copy/Move: a.b"_s;
    QTest::newRow("only-a-mark") << u"..."_s << u"..."_s;
    QTest::newRow("question-kept") << u"?"_s << u"?"_s;
}

// A caption read as a control's name keeps its words and loses the marks that only
// belong to how it looks.
void TestTranslation::spokenCaptions()
{
    QFETCH(QString, caption);
    QFETCH(QString, spoken);
    QCOMPARE(spokenCaption(caption), spoken);
}

QTEST_GUILESS_MAIN(TestTranslation)
#include "tst_translation.moc"
