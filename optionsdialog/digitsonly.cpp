#include "optionsdialog/digitsonly.h"

#include "engine/renameoptions.h"

#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>

namespace {

class DigitsOnlyFilter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            // Shortcuts (Ctrl+Z, Ctrl+V) type nothing and pass.
            if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
                return QObject::eventFilter(watched, event);
            const QString text = key->text();
            // Control characters (editing keys) pass; printable text must be digits.
            for (const QChar c : text) {
                if (c.unicode() >= 0x20 && c.unicode() != 0x7F && (c < u'0' || c > u'9'))
                    return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

class ArrowKeyStepper : public QObject
{
public:
    ArrowKeyStepper(QLineEdit *edit, int minimum, int maximum, int fallback)
        : QObject(edit)
        , m_edit(edit)
        , m_minimum(minimum)
        , m_maximum(maximum)
        , m_fallback(fallback)
    {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
                if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
                    stepNumber(m_edit, key->key() == Qt::Key_Up ? 1 : -1, m_minimum, m_maximum,
                               m_fallback);
                    return true;
                }
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QLineEdit *m_edit;
    int m_minimum;
    int m_maximum;
    int m_fallback;
};

} // namespace

void acceptOnlyDigits(QLineEdit *edit)
{
    edit->installEventFilter(new DigitsOnlyFilter(edit));
}

void stepNumber(QLineEdit *edit, int steps, int minimum, int maximum, int fallback)
{
    const int value = std::clamp(intOrDefault(edit->text(), fallback), minimum, maximum);
    // In 64 bits, so that a step past the largest int cannot overflow.
    const qint64 stepped = std::clamp<qint64>(qint64(value) + steps, minimum, maximum);
    // As typing would: the edit's own undo and textEdited follow.
    edit->selectAll();
    edit->insert(QString::number(stepped));
}

void stepWithArrowKeys(QLineEdit *edit, int minimum, int maximum, int fallback)
{
    edit->installEventFilter(new ArrowKeyStepper(edit, minimum, maximum, fallback));
}
