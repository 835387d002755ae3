// The translation catalogue's text: any bytes give a catalogue or nothing, every column
// of a catalogue holds as many records as the first, and looking texts up in it is safe.
#include "translation/translation.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text =
        QString::fromUtf8(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    const std::optional<TranslationCatalogue> catalogue = parseCatalogue(text);
    if (!catalogue)
        return 0;
    const qsizetype records = catalogue->columns.front().size();
    for (const QStringList &column : catalogue->columns) {
        if (column.size() != records)
            __builtin_trap();
    }
    const int last = int(catalogue->languageCount() - 1);
    setTranslationState(*catalogue, last, catalogue->code(last));
    for (const QString &english : catalogue->columns.front())
        translateText(english);
    return 0;
}
