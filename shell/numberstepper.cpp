#include "shell/numberstepper.h"

#include "optionsdialog/digitsonly.h"
#include "translation/translation.h"

#include <QLineEdit>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

constexpr int ButtonWidth = 17;

} // namespace

NumberStepper::NumberStepper(QWidget *parent)
    : QWidget(parent)
    , m_up(new QToolButton(this))
    , m_down(new QToolButton(this))
{
    m_up->setObjectName(QStringLiteral("up"));
    m_down->setObjectName(QStringLiteral("down"));
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    for (QToolButton *button : {m_up, m_down}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
    }
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(m_up, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { stepBy(-1); });
}

void NumberStepper::setBuddy(QLineEdit *edit)
{
    m_buddy = edit;
    stepWithArrowKeys(edit, Minimum, Maximum, Minimum);
    updateGeometry();
}

void NumberStepper::setFieldName(const QString &fieldName)
{
    m_up->setAccessibleName(translateText(u"Increase %1"_s).arg(fieldName));
    m_down->setAccessibleName(translateText(u"Decrease %1"_s).arg(fieldName));
}

void NumberStepper::stepBy(int steps)
{
    if (m_buddy)
        stepNumber(m_buddy, steps, Minimum, Maximum, Minimum);
}

QSize NumberStepper::sizeHint() const
{
    return {ButtonWidth, m_buddy ? m_buddy->sizeHint().height() : 23};
}

void NumberStepper::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int half = height() / 2;
    m_up->setGeometry(0, 0, width(), half);
    m_down->setGeometry(0, half, width(), height() - half);
}
