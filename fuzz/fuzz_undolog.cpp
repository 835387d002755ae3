// The undo log reader: lines and records of any bytes.
#include "undolog.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    undoLogLines(content);
    parseUndoLog(content);
    return 0;
}
