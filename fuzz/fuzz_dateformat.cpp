// The date-time format language on any format and moment.
#include "dateformat.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzFormatDateTimeText(reinterpret_cast<const char *>(data), qsizetype(size));
    return 0;
}
