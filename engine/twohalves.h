#pragma once

#include <QtGlobal>

#include <exception>
#include <optional>
#include <system_error>
#include <thread>

// Long lists are worked through in two halves at the same time when the machine has
// two cores; below this many items a thread costs more than it saves.
inline constexpr qsizetype SplitFrom = 8192;

inline bool twoCores()
{
    static const bool two = std::thread::hardware_concurrency() >= 2;
    return two;
}

// Runs first() and second() at the same time, second on a thread of its own, or one
// after the other when together is false or no thread is to be had. What second()
// throws is thrown here after first() has ended; what first() throws wins.
template <typename First, typename Second>
void runBoth(bool together, First first, Second second)
{
    if (!together) {
        first();
        second();
        return;
    }
    std::exception_ptr secondFailure;
    std::optional<std::thread> other;
    try {
        other.emplace([&] {
            try {
                second();
            } catch (...) {
                secondFailure = std::current_exception();
            }
        });
    } catch (const std::system_error &) {
        first();
        second();
        return;
    }
    try {
        first();
    } catch (...) {
        other->join();
        throw;
    }
    other->join();
    if (secondFailure)
        std::rethrow_exception(secondFailure);
}

// Where the second half of count begins: count itself when they are not split.
inline qsizetype secondHalfOf(qsizetype count)
{
    return count >= SplitFrom && twoCores() ? count / 2 : count;
}

// Runs work(part, begin, end) over [0, count): as one part, or for large counts as two
// halves at the same time (part 1 from secondHalfOf(count) on).
template <typename Work>
void runInHalves(qsizetype count, Work work)
{
    const qsizetype half = secondHalfOf(count);
    runBoth(
        half < count, [&] { work(0, qsizetype(0), half); }, [&] { work(1, half, count); });
}
