#pragma once

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

// Long lists are worked through in parts at the same time, one part per core.

// Below this many items a thread costs more than it saves.
inline constexpr qsizetype SplitFrom = 8192;
// The passes split here wait on memory more than they compute: past this many threads
// they gain little, and the window's thread and the file system need a core too.
inline constexpr int MostParts = 8;

namespace parallel {
inline std::atomic<int> testParts{0};
inline std::atomic<qsizetype> testSplitFrom{0};
} // namespace parallel

// How many parts a long list is worked in: the machine's threads, at most MostParts.
// TESSALY_PARTS=N (1 to 64) sets it instead, so that the split runs, and can be timed
// and checked, on a machine of one core as well.
inline int parallelParts()
{
    if (const int parts = parallel::testParts.load(std::memory_order_relaxed); parts > 0)
        return parts;
    static const int machine = [] {
        if (const char *given = std::getenv("TESSALY_PARTS")) {
            const int parts = std::atoi(given);
            if (parts >= 1 && parts <= 64)
                return parts;
        }
        return std::clamp(int(std::thread::hardware_concurrency()), 1, MostParts);
    }();
    return machine;
}

// For tests: lists of at least splitFrom items go in parts parts, whatever the machine
// has (parts 0 gives the machine's choice back).
inline void setParallelPartsForTests(int parts, qsizetype splitFrom = SplitFrom)
{
    parallel::testParts.store(parts, std::memory_order_relaxed);
    parallel::testSplitFrom.store(parts > 0 ? splitFrom : 0, std::memory_order_relaxed);
}

// How many parts a list of count items is worked in, at most maxParts: one for a short
// list, and no part shorter than half of SplitFrom.
inline int partsFor(qsizetype count, int maxParts = MostParts)
{
    const qsizetype testFrom = parallel::testSplitFrom.load(std::memory_order_relaxed);
    const qsizetype from = testFrom > 0 ? testFrom : SplitFrom;
    if (count < from)
        return 1;
    const qsizetype shortest = std::max<qsizetype>(1, from / 2);
    const qsizetype parts = std::min<qsizetype>({parallelParts(), maxParts, count / shortest});
    return int(std::max<qsizetype>(1, parts));
}

// Where part of parts begins in a list of count items (partBegin(count, parts, parts) is
// count); the parts differ in length by one at most.
inline qsizetype partBegin(qsizetype count, int parts, int part)
{
    return qsizetype(qint64(count) * part / parts);
}

// Runs work(part, begin, end) for each of parts parts of [0, count) at the same time, part
// 0 on the calling thread and each other on a thread of its own, and returns when all
// have ended. A part for which no thread is to be had runs on the calling thread after
// part 0. What a part throws is thrown here once every part has ended; the lowest part's
// failure wins.
template <typename Work>
void runInParts(qsizetype count, int parts, Work work)
{
    parts = std::max(parts, 1);
    std::vector<std::exception_ptr> failures(static_cast<size_t>(parts));
    const auto runPart = [&](int part) {
        try {
            work(part, partBegin(count, parts, part), partBegin(count, parts, part + 1));
        } catch (...) {
            failures[size_t(part)] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(size_t(parts - 1));
    int started = 1;
    for (; started < parts; ++started) {
        try {
            threads.emplace_back(runPart, started);
        } catch (const std::system_error &) {
            break;
        }
    }
    runPart(0);
    for (int part = started; part < parts; ++part)
        runPart(part);
    for (std::thread &thread : threads)
        thread.join();
    for (const std::exception_ptr &failure : failures) {
        if (failure)
            std::rethrow_exception(failure);
    }
}

// Runs first() and second() at the same time, second on a thread of its own, or one
// after the other when together is false or no thread is to be had. What second()
// throws is thrown here after first() has ended; what first() throws wins.
template <typename First, typename Second>
void runBoth(bool together, First first, Second second)
{
    runInParts(2, together ? 2 : 1, [&](int, qsizetype begin, qsizetype end) {
        for (qsizetype task = begin; task < end; ++task)
            task == 0 ? first() : second();
    });
}
