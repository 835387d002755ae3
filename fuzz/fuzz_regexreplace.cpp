// Find and replace with any pattern, template and text.
#include "engine/regexreplace.h"
#include "engine/tessalyerror.h"
#include "fuzz/fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QString> texts = fuzzTexts(data, size, 3);
    try {
        RegexReplacer replacer(texts[0].isEmpty() ? QStringLiteral("(?<n>a)(b)?|c") : texts[0],
                               texts[1]);
        replacer.replaceAll(texts[2].left(200));
    } catch (const TessalyError &) {
    }
    return 0;
}
