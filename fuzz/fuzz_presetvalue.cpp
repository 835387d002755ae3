// The preset reader on any text: one key looked up, then every option read.
#include "filelist/presets.h"
#include "fuzz/fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QString> texts = fuzzTexts(data, size, 2);
    readPresetValue(texts[1], texts[0], QStringLiteral("default"));
    const RenameOptions options = optionsFromPreset(texts[1], RenameOptions());
    // What the writer makes of any options must read back as the same options.
    const QString written = QString::fromUtf8(presetFileBytes(options)).mid(1);
    if (!(optionsFromPreset(written, RenameOptions()) == options))
        __builtin_trap();
    return 0;
}
