#include "engine/formattedkeywords.h"
#include "engine/imagesize.h"
#include "engine/namebuilder.h"
#include "testsupport/testdir.h"

#include <QImage>
#include <QTest>

#include <ctime>

using namespace Qt::StringLiterals;

namespace {

RenameItem itemNamed(const QString &path)
{
    RenameItem item = makeRenameItem(path);
    setItemFacts(item,
                 {10, fileTimeFromQDateTime(QDateTime(QDate(2026, 3, 1), QTime(23, 30), Qt::UTC)),
                  fileTimeFromQDateTime(QDateTime(QDate(2026, 7, 4), QTime(6, 7, 8), Qt::UTC))});
    return item;
}

QByteArray littleEndian(std::initializer_list<std::pair<qint64, int>> fields)
{
    QByteArray bytes;
    for (const auto &[value, width] : fields) {
        // Fields wider than 8 bytes are padding: their upper bytes are zero.
        for (int k = 0; k < width; ++k)
            bytes.append(k < 8 ? char((quint64(value) >> (8 * k)) & 0xFF) : '\0');
    }
    return bytes;
}

} // namespace

class TestFormattedKeywords : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void expands_data();
    void expands();
    void currentMoment();
    void localTimeFollowsDaylightSaving();
    void rangeIgnoresNameOperations();
    void pictureSizes_data();
    void pictureSizes();
    void pictureKeywordsInPattern();

private:
    TestDir m_dir;
};

void TestFormattedKeywords::initTestCase()
{
    // Two hours east of UTC all year, so that created and modified times are exact.
    qputenv("TZ", "XXX-2");
    tzset();
}

void TestFormattedKeywords::expands_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");

    const QString img = u"IMG_1234"_s;
    QTest::newRow("range-start") << img << u"{name:1:3}"_s << u"IMG"_s;
    QTest::newRow("range-from-end") << img << u"{name:-4:4}"_s << u"1234"_s;
    QTest::newRow("range-past-end") << img << u"{name:-4:10}"_s << u"1234"_s;
    QTest::newRow("range-start-0") << img << u"{name:0:3}"_s << u"IMG"_s;
    QTest::newRow("range-start-beyond") << img << u"{name:20:3}"_s << QString();
    QTest::newRow("range-negative-length") << img << u"{name:3:-1}"_s << QString();
    QTest::newRow("range-far-before-start") << img << u"{name:-20:2}"_s << u"IM"_s;
    QTest::newRow("range-any-case") << img << u"{NAME:5:4}"_s << u"1234"_s;
    QTest::newRow("range-huge-length") << img << u"{name:2:99999999999}"_s << u"MG_1234"_s;
    QTest::newRow("range-twice") << img << u"{name:1:1}-{name:-1:1}"_s << u"I-4"_s;
    QTest::newRow("malformed-range")
        << img << u"{name:a:b}{name:1:}{name:1:2:3}"_s << u"{name:a:b}{name:1:}{name:1:2:3}"_s;
    QTest::newRow("simple-keywords-untouched")
        << img << u"{date}{name}{date:}"_s << u"{date}{name}{date:}"_s;
    QTest::newRow("created-across-midnight")
        << img << u"{created:yyyymmdd hh:nn}"_s << u"20260302 01:30"_s;
    QTest::newRow("modified-mixed-case")
        << img << u"{Modified:yyyy-MM-dd_HH-mm-ss}"_s << u"2026-07-04_08-07-08"_s;
    QTest::newRow("two-keywords") << img << u"{created:yyyy}{created:mm}"_s << u"202603"_s;
    QTest::newRow("format-up-to-first-brace") << img << u"{created:yyyy}}"_s << u"2026}"_s;
    QTest::newRow("dates-before-ranges") << u"abcdef"_s << u"{name:{created:d}:2}"_s << u"bc"_s;
    // A value that is a keyword itself is not expanded again, so this ends.
    QTest::newRow("value-is-a-keyword") << u"{name:1:11}"_s << u"{name:1:11}"_s << u"{name:1:11}"_s;
    QTest::newRow("value-is-a-keyword-twice")
        << u"{name:1:11}"_s << u"{name:1:11}{name:1:11}"_s << u"{name:1:11}{name:1:11}"_s;
    // A keyword that begins before a value and ends in it is still found.
    QTest::newRow("keyword-completed-by-value") << u"3}x"_s << u"{name:1:{name:1:2}"_s << u"3}x"_s;
}

void TestFormattedKeywords::expands()
{
    QFETCH(QString, name);
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    const RenameItem item = itemNamed(u"/nowhere/"_s + name + u".txt"_s);
    QCOMPARE(expandFormattedKeywords(pattern, item, LocaleFormat::fromLocale(QLocale::c())),
             expected);
}

void TestFormattedKeywords::currentMoment()
{
    const RenameItem item = itemNamed(u"/nowhere/a.txt"_s);
    const LocaleFormat locale = LocaleFormat::fromLocale(QLocale::c());
    const QDate before = QDate::currentDate();
    const QString text =
        expandFormattedKeywords(u"{date:yyyy-mm-dd}|{DATE:YYYY}|{time:yyyy}"_s, item, locale);
    const QDate after = QDate::currentDate();
    QStringList possible;
    for (const QDate &day : {before, after}) {
        possible.append(day.toString(u"yyyy-MM-dd"_s) + u'|' + QString::number(day.year()) + u'|' +
                        QString::number(day.year()));
    }
    QVERIFY2(possible.contains(text), qPrintable(text));
}

void TestFormattedKeywords::localTimeFollowsDaylightSaving()
{
    // Central European rules: UTC+1 in winter, UTC+2 from the last Sunday of March.
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
    const LocaleFormat locale = LocaleFormat::fromLocale(QLocale::c());
    RenameItem item = itemNamed(u"/nowhere/a.txt"_s);
    const auto written = [&](const QDateTime &utc) {
        FileFacts facts = itemFacts(item);
        facts.modifiedUtc = fileTimeFromQDateTime(utc);
        setItemFacts(item, facts);
        return expandFormattedKeywords(u"{modified:yyyy-mm-dd hh:nn}"_s, item, locale);
    };
    QCOMPARE(written(QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC)), u"2026-01-15 13:00"_s);
    QCOMPARE(written(QDateTime(QDate(2026, 7, 15), QTime(12, 0), Qt::UTC)), u"2026-07-15 14:00"_s);
    // The last moment before the change and the first one after it.
    QCOMPARE(written(QDateTime(QDate(2026, 3, 29), QTime(0, 59), Qt::UTC)), u"2026-03-29 01:59"_s);
    QCOMPARE(written(QDateTime(QDate(2026, 3, 29), QTime(1, 0), Qt::UTC)), u"2026-03-29 03:00"_s);
    initTestCase();
}

void TestFormattedKeywords::rangeIgnoresNameOperations()
{
    RenameOptions options;
    options.pattern = u"{name:1:3}-{name}-{time:hh:nn}"_s;
    options.removeFirst = u"4"_s;
    const RenameItem item = itemNamed(u"/nowhere/IMG_1234.jpg"_s);
    const QString name = NameBuilder(options, {}).build(item, 0);
    // The time separator ":" cannot stay in a file name.
    QVERIFY2(QRegularExpression(u"^IMG-1234-\\d\\d_\\d\\d\\.jpg$"_s).match(name).hasMatch(),
             qPrintable(name));

    options.pattern = u"{name:-4:4}{name}"_s;
    const QStringList importedNames{u"other"_s};
    const QString imported = NameBuilder(options, importedNames).build(item, 0);
    QCOMPARE(imported, u"1234other.jpg"_s);
}

void TestFormattedKeywords::pictureSizes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");

    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const auto saved = [&](const QString &name, const char *format, const QImage &image) {
        const QString path = m_dir.filePath(name);
        if (!image.save(path, format))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    };
    QTest::newRow("png") << saved(u"a.png"_s, "png", picture) << QSize(64, 48);
    QTest::newRow("png-upper-case-ext") << saved(u"b.PNG"_s, "png", picture) << QSize(64, 48);
    QTest::newRow("jpg") << saved(u"c.jpg"_s, "jpg", picture) << QSize(64, 48);
    QTest::newRow("jpeg") << saved(u"d.jpeg"_s, "jpg", picture.scaled(640, 480)) << QSize(640, 480);
    QTest::newRow("bmp") << saved(u"e.bmp"_s, "bmp", picture) << QSize(64, 48);
    QTest::newRow("tiff") << saved(u"f.tiff"_s, "tiff", picture) << QSize(64, 48);
    QTest::newRow("tif") << saved(u"g.tif"_s, "tiff", picture.scaled(300, 70000 / 100))
                         << QSize(300, 700);
    QTest::newRow("ico") << saved(u"h.ico"_s, "ico", picture.scaled(32, 32)) << QSize(32, 32);

    // A placeable metafile: bounds 0,0-1440,720 at 1440 units per inch, so 96 x 48 pixels.
    QTest::newRow("wmf") << m_dir.file(u"i.wmf"_s, littleEndian({{0x9AC6CDD7, 4},
                                                                 {0, 2},
                                                                 {0, 2},
                                                                 {0, 2},
                                                                 {1440, 2},
                                                                 {720, 2},
                                                                 {1440, 2},
                                                                 {0, 4},
                                                                 {0, 2}}))
                         << QSize(96, 48);
    QTest::newRow("wmf-not-placeable")
        << m_dir.file(u"j.wmf"_s, littleEndian({{0x00090001, 4}, {0, 18}})) << QSize();
    // An enhanced metafile header: inclusive bounds 10,20-209,119, so 200 x 100 pixels.
    QTest::newRow("emf") << m_dir.file(u"k.emf"_s, littleEndian({{1, 4},
                                                                 {108, 4},
                                                                 {10, 4},
                                                                 {20, 4},
                                                                 {209, 4},
                                                                 {119, 4},
                                                                 {0, 16},
                                                                 {0x464D4520, 4}}))
                         << QSize(200, 100);
    QTest::newRow("gif") << m_dir.file(u"l.gif"_s, "GIF89a\x40\x00\x30\x00\x00\x00\x00"_ba)
                         << QSize();
    QTest::newRow("text-file") << m_dir.file(u"m.txt"_s, "just text") << QSize();
    QTest::newRow("text-named-png") << m_dir.file(u"n.png"_s, "just text") << QSize();
    QTest::newRow("png-named-jpg") << saved(u"o.jpg"_s, "png", picture) << QSize();
    QTest::newRow("truncated-jpeg")
        << m_dir.file(u"p.jpg"_s, "\xff\xd8\xff\xe0\x00\x10JFIF"_ba) << QSize();
    QTest::newRow("empty-bmp") << m_dir.file(u"q.bmp"_s) << QSize();
    QTest::newRow("missing") << m_dir.filePath(u"none.png"_s) << QSize();
    QTest::newRow("no-extension") << saved(u"r"_s, "png", picture) << QSize();
}

void TestFormattedKeywords::pictureSizes()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const std::optional<QSize> read = readImageSize(path);
    QCOMPARE(read.value_or(QSize()), size);
}

void TestFormattedKeywords::pictureKeywordsInPattern()
{
    QImage picture(640, 480, QImage::Format_RGB32);
    picture.fill(Qt::white);
    const QString png = m_dir.filePath(u"photo.png"_s);
    QVERIFY(picture.save(png));
    const QString text = m_dir.file(u"notes.txt"_s, "x");
    const LocaleFormat locale = LocaleFormat::fromLocale(QLocale::c());

    QCOMPARE(expandFormattedKeywords(u"{imgw}x{imgh}"_s, itemNamed(png), locale), u"640x480"_s);
    QCOMPARE(expandFormattedKeywords(u"{IMGW}x{ImgH}-{imgw}"_s, itemNamed(png), locale),
             u"640x480-640"_s);
    QCOMPARE(expandFormattedKeywords(u"{imgw}x{imgh}"_s, itemNamed(text), locale), u"x"_s);
}

QTEST_GUILESS_MAIN(TestFormattedKeywords)
#include "tst_formattedkeywords.moc"
