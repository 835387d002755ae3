#include "updown.h"

#include "renameoptions.h"

#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

UpDown::UpDown(QWidget *parent)
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
    connect(m_up, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { stepBy(-1); });
}

void UpDown::stepBy(int steps)
{
    if (!m_buddy)
        return;
    const int value = std::clamp(IntOrDefault(m_buddy->text(), Minimum), Minimum, Maximum);
    m_buddy->setText(QString::number(std::clamp(value + steps, Minimum, Maximum)));
}

void UpDown::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int half = height() / 2;
    m_up->setGeometry(0, 0, width(), half);
    m_down->setGeometry(0, half, width(), height() - half);
}
