// The undo log reader: lines and records of any bytes.
#include "undolog.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList lines =
        UndoLogLines(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    UndoLogInterrupted(lines);
    for (const QString &line : lines)
        ParseUndoRecord(line);
    return 0;
}
