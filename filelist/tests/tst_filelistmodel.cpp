#include "engine/filenamecodec.h"
#include "filelist/filelistmodel.h"
#include "testsupport/testdir.h"

#include <QAbstractItemModelTester>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestFileListModel : public QObject
{
    Q_OBJECT

private slots:
    void rowsShowTheItems();
    void folderSizesReadWhenShown();
    void sizeTexts_data();
    void sizeTexts();
    void addsEachFileOnce();
    void removeRows_data();
    void removeRows();
    void updateItemsKeepsTheIndex();
    void indexFollowsMovedRows();
    void namesThatAreNotUtf8();
    void invisibleCharactersShown();
};

void TestFileListModel::rowsShowTheItems()
{
    TestDir dir;
    const QString big = dir.file(u"Big File.tar.gz"_s, QByteArray(1234567, 'x'));
    const QString hidden = dir.file(u".gitignore"_s);
    FileListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.addFiles({big, hidden}), 2);

    const auto text = [&](int row, int column) {
        return model.index(row, column).data().toString();
    };
    QCOMPARE(text(0, 0), u"Big File.tar.gz"_s);
    QCOMPARE(text(0, 1), QString());
    QCOMPARE(text(0, 2), dir.path() + u'/');
    QCOMPARE(text(1, 0), u".gitignore"_s);
    QCOMPARE(model.items().at(1).originalName(), QString());
    QCOMPARE(model.items().at(1).ext(), u".gitignore"_s);
    QCOMPARE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable, Qt::NoItemFlags);

    // The list shows the size with a unit; the tip gives every byte.
    QCOMPARE(text(0, 3), FileListModel::formatSize(1234567));
    QCOMPARE(model.index(0, 3).data(Qt::ToolTipRole).toString(),
             FileListModel::formatExactSize(1234567));

    model.updateNewNames([](RenameItems &items) { items[0].newName = u"new.gz"_s; });
    QCOMPARE(text(0, 1), u"new.gz"_s);

    // Options that give no names: no row keeps a name, each tells why, until new names.
    model.showPreviewFailure(u"missing closing parenthesis"_s);
    QCOMPARE(text(0, 1), QString());
    QCOMPARE(model.items().at(0).newName, QString());
    QCOMPARE(text(1, 4), u"Error"_s);
    QCOMPARE(model.index(1, 4).data(Qt::ToolTipRole).toString(), u"missing closing parenthesis"_s);
    QCOMPARE(model.index(0, 1).data(FileListModel::PlanStatusRole).toInt(),
             int(PlanStatus::NoPreview));
    model.updateNewNames([](RenameItems &items) { items[1].newName = u"x"_s; });
    QCOMPARE(text(1, 4), QString());
    QVERIFY(model.previewFailure().isEmpty());
}

// A folder's files are listed without their sizes; the column and the sort read them.
void TestFileListModel::folderSizesReadWhenShown()
{
    TestDir dir;
    dir.file(u"sizes/a.txt"_s, "333");
    dir.file(u"sizes/b.txt"_s, "1");
    dir.file(u"sizes/c.txt"_s, "22");
    FileListModel model;
    QCOMPARE(model.addFolderFiles(dir.filePath(u"sizes"_s), false), 3);
    model.sort(FileListModel::SizeColumn);
    QStringList shown;
    for (int row = 0; row < model.count(); ++row) {
        shown.append(model.index(row, FileListModel::OriginalNameColumn).data().toString() + u' ' +
                     model.index(row, FileListModel::SizeColumn).data().toString());
    }
    QCOMPARE(shown, (QStringList{u"b.txt "_s + FileListModel::formatSize(1),
                                 u"c.txt "_s + FileListModel::formatSize(2),
                                 u"a.txt "_s + FileListModel::formatSize(3)}));
}

void TestFileListModel::sizeTexts_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("exact");

    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    QTest::newRow("megabytes") << english << qint64(1234567) << u"1.2 MB"_s << u"1,234,567 bytes"_s;
    QTest::newRow("below-a-kilobyte") << english << qint64(999) << u"999 bytes"_s << u"999 bytes"_s;
    QTest::newRow("empty") << english << qint64(0) << u"0 bytes"_s << u"0 bytes"_s;
    QTest::newRow("powers-of-1000")
        << english << qint64(4'200'000) << u"4.2 MB"_s << u"4,200,000 bytes"_s;
    QTest::newRow("gigabytes") << english << qint64(5'368'709'120) << u"5.4 GB"_s
                               << u"5,368,709,120 bytes"_s;
    QTest::newRow("unreadable") << english << qint64(-1) << QString() << QString();
    QTest::newRow("german") << german << qint64(1234567) << u"1,2 MB"_s << u"1.234.567 Bytes"_s;
    // The C locale leaves out group separators unless asked; exact sizes still group.
    QTest::newRow("c-locale") << QLocale::c() << qint64(1234567) << u"1.2 MB"_s
                              << u"1,234,567 bytes"_s;
}

void TestFileListModel::sizeTexts()
{
    QFETCH(QLocale, locale);
    QFETCH(qint64, size);
    QFETCH(QString, shown);
    QFETCH(QString, exact);
    QCOMPARE(FileListModel::formatSize(size, locale), shown);
    QCOMPARE(FileListModel::formatExactSize(size, locale), exact);
}

void TestFileListModel::addsEachFileOnce()
{
    TestDir dir;
    const QString a = dir.file(u"photo.jpg"_s);
    const QString upper = dir.file(u"photo.JPG"_s);
    FileListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    // One insertion for the whole command, duplicates inside it included.
    QCOMPARE(model.addFiles({a, a, dir.path(), dir.filePath(u"gone"_s), QString(), upper}), 2);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(model.count(), 2);
    QVERIFY(model.isListed(a));
    QVERIFY(model.isListed(upper)); // two files on Linux, one name on Windows
    QVERIFY(!model.addFile(a));
    QCOMPARE(inserted.size(), 1);
}

void TestFileListModel::removeRows_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("remove");

    QTest::newRow("one-row") << 3 << QList<int>{1};
    QTest::newRow("runs-out-of-order") << 6 << QList<int>{5, 0, 1, 3, 1};
    QTest::newRow("all") << 4 << QList<int>{0, 1, 2, 3};
    QList<int> everyOther;
    for (int row = 0; row < 300; row += 2)
        everyOther.append(row);
    QTest::newRow("many-scattered-runs") << 301 << everyOther;
    QTest::newRow("out-of-range-ignored") << 2 << QList<int>{-1, 7};
}

void TestFileListModel::removeRows()
{
    QFETCH(int, count);
    QFETCH(QList<int>, remove);

    TestDir dir;
    QStringList paths;
    for (int i = 0; i < count; ++i)
        paths.append(dir.file(u"f%1"_s.arg(i)));
    FileListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.addFiles(paths);

    model.removeRowsAt(remove);
    QStringList expected;
    for (int i = 0; i < count; ++i) {
        if (!remove.contains(i))
            expected.append(paths.at(i));
    }
    QStringList actual;
    for (const RenameItem &item : model.items())
        actual.append(item.originalPath());
    QCOMPARE(actual, expected);
    QCOMPARE(model.rowCount(), expected.size());
    for (int i = 0; i < count; ++i)
        QCOMPARE(model.isListed(paths.at(i)), expected.contains(paths.at(i)));
}

void TestFileListModel::updateItemsKeepsTheIndex()
{
    TestDir dir;
    const QString a = dir.file(u"a.txt"_s);
    const QString b = dir.file(u"b.txt"_s);
    FileListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.addFiles({a, b});

    // A batch that moved a.txt to c.txt and then failed on the next file.
    const QString c = dir.filePath(u"c.txt"_s);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, model.updateItems([&](RenameItems &items) {
        items[0] = makeRenameItem(c);
        throw std::runtime_error("disk full");
    }));
    QVERIFY(model.isListed(c));
    QVERIFY(!model.isListed(a));
    QCOMPARE(model.index(0, 0).data().toString(), u"c.txt"_s);

    // Two items that a batch left on one path: removing one keeps the other listed.
    model.updateItems([&](RenameItems &items) { setItemPath(items[1], c); });
    model.removeRowsAt({0});
    QVERIFY(model.isListed(c));
}

// Rows moved, sorted and removed: every path is found at its row's new place, and
// adding all paths again brings back exactly the removed ones.
void TestFileListModel::indexFollowsMovedRows()
{
    TestDir dir;
    QStringList paths;
    for (int i = 0; i < 40; ++i)
        paths.append(dir.file((i % 2 ? u"a/f%1"_s : u"b/f%1"_s).arg(i)));
    FileListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.addFiles(paths), 40);
    model.moveRowsTo({0, 5, 39}, 20);
    model.sort(FileListModel::OriginalNameColumn, Qt::DescendingOrder);
    model.moveRowsBy({3, 4}, -1);
    QStringList removed;
    for (int row : {0, 7, 8, 30})
        removed.append(model.items().at(row).originalPath());
    model.removeRowsAt({0, 7, 8, 30});
    for (const QString &path : paths)
        QCOMPARE(model.isListed(path), !removed.contains(path));
    QCOMPARE(model.addFiles(paths), 4);
    QCOMPARE(model.count(), 40);
}

// Two Latin-1 names differ only in their byte that is not UTF-8: each is a row of its
// own, shown with a replacement mark, and its item reaches the file again.
void TestFileListModel::namesThatAreNotUtf8()
{
    TestDir dir;
    const QByteArray folder = QFile::encodeName(dir.folder(u"old"_s));
    QList<QByteArray> created;
    const auto removeAll = qScopeGuard([&] {
        for (const QByteArray &path : created)
            ::unlink(path.constData());
    });
    for (const QByteArray &name : {"caf\xE9.txt"_ba, "caf\xE8.txt"_ba}) {
        created.append(folder + '/' + name);
        const int fd = ::open(created.back().constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
    }
    FileListModel model;
    QCOMPARE(model.addFolderFiles(QFile::decodeName(folder), false), 2);
    QCOMPARE(model.index(0, 0).data().toString(), u"caf\uFFFD.txt"_s);
    QCOMPARE(model.index(1, 0).data().toString(), u"caf\uFFFD.txt"_s);
    QList<QByteArray> reached;
    for (const RenameItem &item : model.items())
        reached.append(encodeFileName(item.originalPath()));
    std::sort(reached.begin(), reached.end());
    std::sort(created.begin(), created.end());
    QCOMPARE(reached, created);
}

// A name that would show as something else ("invoiceexe.pdf") shows what it holds, in
// every column that shows a name, and its tooltip names the characters.
void TestFileListModel::invisibleCharactersShown()
{
    TestDir dir;
    const QString path = dir.file(u"in\u2066v\u2069/invoice\u202Efdp\u200B.exe"_s);
    FileListModel model;
    QCOMPARE(model.addFolderFiles(dir.filePath(u"in\u2066v\u2069"_s), false), 1);
    QCOMPARE(model.index(0, FileListModel::OriginalNameColumn).data().toString(),
             u"invoice\u27E8RLO\u27E9fdp\u27E8ZWSP\u27E9.exe"_s);
    QVERIFY(model.index(0, FileListModel::FolderColumn)
                .data()
                .toString()
                .endsWith(u"/in\u27E8LRI\u27E9v\u27E8PDI\u27E9/"_s));
    QCOMPARE(model.index(0, FileListModel::OriginalNameColumn).data(Qt::ToolTipRole).toString(),
             u"invoice\u27E8RLO\u27E9fdp\u27E8ZWSP\u27E9.exe\nInvisible characters: RLO, ZWSP"_s);
    // The file itself keeps its name.
    QCOMPARE(model.items().at(0).originalPath(), path);
}

QTEST_GUILESS_MAIN(TestFileListModel)
#include "tst_filelistmodel.moc"
