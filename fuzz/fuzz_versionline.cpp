// The update host's pages: the version page, then after the first NUL byte the changes
// page. A dialog is offered exactly when the first line reads as two numbers and one of
// them is above the running version; forced exactly when the minimum is.
#include "update/updateoffer.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    constexpr int runningVersion = 23;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype end = bytes.indexOf('\0');
    const QByteArray versionPage = end < 0 ? bytes : bytes.left(end);
    const QByteArray changesPage = end < 0 ? QByteArray() : bytes.mid(end + 1);

    const std::optional<UpdateOffer> offer = decideUpdate(versionPage, changesPage, runningVersion);
    const QStringList lines = pageLines(versionPage);
    const std::optional<VersionLine> version =
        lines.isEmpty() ? std::nullopt : parseVersionLine(lines.front());
    const bool newer =
        version && (version->minimum > runningVersion || version->latest > runningVersion);
    if (offer.has_value() != newer)
        __builtin_trap();
    if (offer && offer->forced != (version->minimum > runningVersion))
        __builtin_trap();
    return 0;
}
