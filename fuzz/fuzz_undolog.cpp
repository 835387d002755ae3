// The undo log reader: the records of any bytes; and any two paths written as a
// record read back as exactly those paths, marked or not.
#include "batch/undolog.h"
#include "fuzz/fuzzinput.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    parseUndoLog(content);

    // No name holds a NUL.
    const QList<QString> texts = fuzzTexts(data, size, 2);
    const QString original = u'/' + texts.at(0);
    const QString moved = u'/' + QString(texts.at(1)).remove(QChar(0));
    QByteArray log = "\xEF\xBB\xBFOriginal,New\r\n" + undoRecord(original, moved);
    for (const UndoMark mark : {UndoMark::None, UndoMark::Undone}) {
        const UndoLogContent read = parseUndoLog(log);
        if (read.records.size() != 1 || read.unreadable != 0 ||
            read.records.front().original != original || read.records.front().moved != moved ||
            read.records.front().mark != mark)
            std::abort();
        log[read.records.front().at] = char(UndoMark::Undone);
    }
    return 0;
}
