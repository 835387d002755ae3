#include "engine/parallel.h"

#include <QTest>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

class TestParallel : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void partsCoverTheListOnce_data();
    void partsCoverTheListOnce();
    void failureArrivesAfterEveryPart();
};

void TestParallel::cleanup()
{
    setParallelPartsForTests(0);
}

void TestParallel::partsCoverTheListOnce_data()
{
    QTest::addColumn<int>("parts");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("expectedParts"); // what partsFor gives

    QTest::newRow("one-part") << 1 << 100 << 1;
    QTest::newRow("two-parts") << 2 << 101 << 2;
    QTest::newRow("three-parts") << 3 << 100 << 3;
    QTest::newRow("seven-parts") << 7 << 1000 << 7;
    QTest::newRow("below-the-split-size") << 7 << 15 << 1;
    QTest::newRow("too-short-for-seven") << 7 << 20 << 2; // no part shorter than 8
}

void TestParallel::partsCoverTheListOnce()
{
    QFETCH(int, parts);
    QFETCH(int, count);
    QFETCH(int, expectedParts);

    setParallelPartsForTests(parts, 16);
    QCOMPARE(partsFor(count), expectedParts);
    // Each item is written by its part alone: the list ends up as one pass would leave it.
    std::vector<int> partOf(size_t(count), -1);
    std::vector<qsizetype> begins(size_t(expectedParts), -1);
    runInParts(count, expectedParts, [&](int part, qsizetype begin, qsizetype end) {
        begins[size_t(part)] = begin;
        for (qsizetype i = begin; i < end; ++i)
            partOf[size_t(i)] = part;
    });
    QCOMPARE(begins.front(), 0);
    for (int i = 0; i < count; ++i) {
        const int part = partOf[size_t(i)];
        QVERIFY2(part >= 0, "an item no part took");
        QVERIFY(i >= begins[size_t(part)]);
        QVERIFY(part + 1 == expectedParts || i < begins[size_t(part + 1)]);
    }
    // The parts differ in length by one at most.
    for (int part = 0; part < expectedParts; ++part) {
        const qsizetype length = partBegin(count, expectedParts, part + 1) - begins[size_t(part)];
        QVERIFY(length == count / expectedParts || length == count / expectedParts + 1);
    }
}

void TestParallel::failureArrivesAfterEveryPart()
{
    std::atomic<int> ended = 0;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                             runInParts(7, 7, [&](int part, qsizetype, qsizetype) {
                                 if (part == 3 || part == 5)
                                     throw std::runtime_error(part == 3 ? "3" : "5");
                                 ++ended;
                             }));
    QCOMPARE(ended.load(), 5);
    try {
        runInParts(7, 7, [&](int part, qsizetype, qsizetype) {
            if (part >= 3)
                throw std::runtime_error(std::to_string(part));
        });
        QFAIL("no failure arrived");
    } catch (const std::runtime_error &error) {
        QCOMPARE(error.what(), "3"); // the lowest part's, whichever thread ended first
    }
}

QTEST_GUILESS_MAIN(TestParallel)
#include "tst_parallel.moc"
