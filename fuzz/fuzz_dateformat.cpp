// The date-time format language on any format and moment: the first eight bytes pick a
// moment from year 1 to 9999, the rest is the format.
#include "engine/dateformat.h"

#include <QDateTime>
#include <QLocale>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 8)
        return 0;
    quint64 ms = 0;
    for (int k = 0; k < 8; ++k)
        ms = (ms << 8) | data[k];
    constexpr quint64 span = 315537897600000ULL;
    const QDateTime moment =
        QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC).addMSecs(qint64(ms % span));
    static const LocaleFormat locale = LocaleFormat::fromLocale(QLocale::c());
    const QString format =
        QString::fromUtf8(reinterpret_cast<const char *>(data) + 8, qsizetype(size - 8));
    formatDateTimeText(format, moment, locale);
    return 0;
}
