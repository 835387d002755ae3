#include "digitsonly.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace {

class DigitsOnlyFilter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const QString text = static_cast<QKeyEvent *>(event)->text();
            // Control characters (editing keys, Ctrl+V) pass; printable text must be digits.
            for (const QChar c : text) {
                if (c.unicode() >= 0x20 && c.unicode() != 0x7F && (c < u'0' || c > u'9'))
                    return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void AcceptOnlyDigits(QLineEdit *edit)
{
    edit->installEventFilter(new DigitsOnlyFilter(edit));
}
