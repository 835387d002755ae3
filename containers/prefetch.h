#pragma once

#include <QString>
#include <QtGlobal>

// Asks the processor for memory that is read soon at a place no pattern announces:
// the texts of a long list lie all over the heap once it is sorted, and a pass that
// waits for each of them in turn spends more time waiting than working.
inline void prefetch(const void *address)
{
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(address);
#else
    Q_UNUSED(address);
#endif
}

// A text's characters, through Qt's public interface only: where Qt keeps the count of
// a text's sharers is its own business.
inline void prefetchText(const QString &text)
{
    prefetch(text.constData());
}
