// Number texts: any text gives a number, and a decimal number reads back as itself.
#include "engine/renameoptions.h"
#include "fuzz/fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = fuzzTexts(data, size, 1)[0];
    const int value = intOrDefault(text, 7);
    if (intOrDefault(QString::number(value), 8) != value)
        __builtin_trap();
    return 0;
}
