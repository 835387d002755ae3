// The shipped catalogue must translate every text the program passes through
// translateText, into every language it offers.

#include "shell/aboutbox.h"
#include "shell/newversiondialog.h"
#include "shell/startup.h"
#include "translation/translation.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The folders of the program's parts, as the top CMakeLists.txt adds them, so that a
// new part is scanned without being named here. The tests' helpers, the fuzz targets
// and the benchmarks show no text to a user.
QStringList sourceFolders()
{
    QFile file(QStringLiteral(TESSALY_SOURCE_DIR "/CMakeLists.txt"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read the top CMakeLists.txt");
    static const QRegularExpression subdirectory(uR"(^\s*add_subdirectory\((\w+)\))"_s,
                                                 QRegularExpression::MultilineOption);
    QStringList folders;
    for (const QRegularExpressionMatch &match :
         subdirectory.globalMatch(QString::fromUtf8(file.readAll()))) {
        if (!QStringList{u"testsupport"_s, u"fuzz"_s, u"bench"_s}.contains(match.captured(1)))
            folders.append(match.captured(1));
    }
    return folders;
}

// The English texts of the sources: the literal arguments of translateText and
// translatable.
QStringList translatedTexts()
{
    // A long text may be written as adjacent literals, as clang-format breaks it.
    static const QRegularExpression call(
        uR"re((?:translateText|translatable)\(\s*(?:((?:u"(?:[^"\\]|\\.)*"\s*)+)(?:_s)?|QStringLiteral\("((?:[^"\\]|\\.)*)"\)))re"_s);
    static const QRegularExpression literal(uR"re(u"((?:[^"\\]|\\.)*)")re"_s);
    QStringList texts;
    for (const QString &folder : sourceFolders()) {
        QDirIterator it(QStringLiteral(TESSALY_SOURCE_DIR) + u'/' + folder, {u"*.cpp"_s, u"*.h"_s},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.contains(u"/tests/"_s))
                continue;
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                qFatal("cannot read %s", qPrintable(path));
            const QString source = QString::fromUtf8(file.readAll());
            for (const QRegularExpressionMatch &match : call.globalMatch(source)) {
                QString text = match.captured(2);
                if (!match.captured(1).isNull()) {
                    for (const QRegularExpressionMatch &part :
                         literal.globalMatch(match.captured(1)))
                        text += part.captured(1);
                }
                text.replace(u"\\\""_s, u"\""_s).replace(u"\\\\"_s, u"\\"_s);
                if (!texts.contains(text))
                    texts.append(text);
            }
        }
    }
    return texts;
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void coversEveryText();
};

void TestCatalogue::coversEveryText()
{
    QFile file(QStringLiteral(TESSALY_CATALOGUE));
    QVERIFY2(file.open(QIODevice::ReadOnly), "transl.dt lies beside the program");
    const std::optional<TranslationCatalogue> catalogue =
        parseCatalogue(QString::fromUtf8(file.readAll()));
    QVERIFY(catalogue);
    QStringList codes;
    for (qsizetype c = 0; c < catalogue->languageCount(); ++c)
        codes.append(catalogue->code(c));
    QCOMPARE(codes,
             (QStringList{u"en"_s, u"ar"_s, u"cn"_s, u"cs"_s, u"de"_s, u"el"_s, u"es"_s, u"fr"_s,
                          u"hu"_s, u"it"_s, u"jp"_s, u"kr"_s, u"nl"_s, u"pl"_s, u"pt"_s, u"tr"_s}));
    // Every language a system can be set to finds its column.
    for (int language = QLocale::AnyLanguage; language <= QLocale::LastLanguage; ++language) {
        const QString code = languageCodeFor(QLocale::Language(language));
        QVERIFY2(codes.contains(code), qPrintable(code));
    }

    // Texts kept in named constants, which the scan of the sources cannot see.
    const QStringList texts = translatedTexts() + newVersionSourceTexts() +
                              aboutAndHelpSourceTexts() + qtButtonSourceTexts();
    QVERIFY2(texts.size() > 50, "the sources were found");
    QStringList missing;
    for (const QString &text : texts) {
        const qsizetype record = catalogue->columns.front().indexOf(text);
        for (qsizetype c = 1; c < catalogue->languageCount(); ++c) {
            if (record < 0 || catalogue->entry(c, record).isEmpty())
                missing.append(catalogue->code(c) + u": "_s + text);
        }
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u'\n')));

    // Placeholders survive translation.
    for (qsizetype r = 2; r < catalogue->columns.front().size(); ++r) {
        for (const QString &placeholder : {u"%1"_s, u"%2"_s, u"%d"_s, u"%s"_s}) {
            if (!catalogue->entry(0, r).contains(placeholder))
                continue;
            for (qsizetype c = 1; c < catalogue->languageCount(); ++c)
                QVERIFY2(catalogue->entry(c, r).contains(placeholder),
                         qPrintable(catalogue->entry(c, r)));
        }
    }
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
