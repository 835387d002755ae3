// The name list decoder: strict UTF-8, then lines and fields.
#include "engine/tessalyerror.h"
#include "filelist/namelist.h"
#include "filelist/textfiles.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    try {
        const QString text =
            decodeUtf8Strictly(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
        parseNameList(text);
    } catch (const TessalyError &) {
    }
    return 0;
}
