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

// A text's characters, and the count of its sharers just before them, which a copy of
// the text changes.
inline void prefetchText(const QString &text)
{
    prefetch(reinterpret_cast<const char *>(text.constData()) - sizeof(QArrayData));
    prefetch(text.constData());
}
