#include "shell/optionspanel.h"

#include <QApplication>
#include <QBoxLayout>
#include <QEvent>
#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>

namespace {

constexpr int ColumnSpacing = 16;
constexpr int BoxSpacing = 12;

int minimumWidthOf(const QWidget *box)
{
    return box->minimumSizeHint().expandedTo(box->minimumSize()).width();
}

} // namespace

OptionsPanel::OptionsPanel(QWidget *parent)
    : QScrollArea(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    // A control reached by the keyboard (Tab, a shortcut) comes into view.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (now && widget() && widget()->isAncestorOf(now))
            ensureWidgetVisible(now, 8, 8);
    });
}

void OptionsPanel::setColumns(const QList<QList<QWidget *>> &columns)
{
    QWidget *content = widget();
    Q_ASSERT(content && !content->layout());
    m_columns = columns;
    auto *outer = new QVBoxLayout(content);
    outer->setContentsMargins(11, 14, 11, 17);
    outer->setSpacing(BoxSpacing);
    auto *row = new QHBoxLayout;
    row->setSpacing(ColumnSpacing);
    outer->addLayout(row, 1);
    m_columnRow = row;
    for (const QList<QWidget *> &column : columns) {
        auto *layout = new QVBoxLayout;
        layout->setSpacing(BoxSpacing);
        for (QWidget *box : column)
            layout->addWidget(box, 1);
        row->addLayout(layout, 1);
        m_columnLayouts.append(layout);
    }
    m_lastRow = new QHBoxLayout;
    m_lastRow->setSpacing(ColumnSpacing);
    outer->addLayout(m_lastRow);
    m_wide = true;
    arrange();
}

int OptionsPanel::wideWidth() const
{
    const QWidget *content = widget();
    if (!content || !content->layout())
        return 0;
    const QMargins margins = content->layout()->contentsMargins();
    int width = margins.left() + margins.right() + ColumnSpacing * int(m_columns.size() - 1);
    for (const QList<QWidget *> &column : m_columns) {
        int widest = 0;
        for (const QWidget *box : column)
            widest = std::max(widest, minimumWidthOf(box));
        width += widest;
    }
    return width;
}

void OptionsPanel::arrange()
{
    if (m_columns.size() < 2 || !m_lastRow)
        return;
    // The panel's own width, not its viewport's: a scroll bar coming and going must not
    // switch the arrangement back and forth.
    const bool wide = width() - 2 * frameWidth() >= wideWidth();
    if (wide == m_wide)
        return;
    m_wide = wide;
    QBoxLayout *lastColumn = m_columnLayouts.back();
    for (QWidget *box : m_columns.back()) {
        if (wide) {
            m_lastRow->removeWidget(box);
            lastColumn->addWidget(box, 1);
        } else {
            lastColumn->removeWidget(box);
            m_lastRow->addWidget(box, 1);
        }
    }
    // An emptied column would still take its share of the width.
    m_columnRow->setStretchFactor(lastColumn, wide ? 1 : 0);
    updateGeometry();
}

int OptionsPanel::contentHeightForWidth(int width) const
{
    const QWidget *content = widget();
    if (!content)
        return 0;
    const int contentWidth = std::max(width, content->minimumSizeHint().width());
    int height = content->hasHeightForWidth() ? content->heightForWidth(contentWidth) : -1;
    if (height < 0)
        height = content->sizeHint().height();
    return std::max(height, content->minimumHeight());
}

QSize OptionsPanel::sizeHint() const
{
    const QWidget *content = widget();
    if (!content)
        return QScrollArea::sizeHint();
    const int frame = 2 * frameWidth();
    const int available = width() - frame;
    int height = contentHeightForWidth(available) + frame;
    if (content->minimumSizeHint().width() > available)
        height += horizontalScrollBar()->sizeHint().height();
    return {content->sizeHint().width() + frame, height};
}

QSize OptionsPanel::minimumSizeHint() const
{
    // Small enough for a small screen, where the panel scrolls, but high enough to show
    // any one box whole.
    const QSize hint = sizeHint();
    const QWidget *content = widget();
    if (!content || !content->layout())
        return hint;
    int tallest = 0;
    for (const QList<QWidget *> &column : m_columns) {
        for (const QWidget *box : column)
            tallest = std::max(tallest, box->sizeHint().height());
    }
    const QMargins margins = content->layout()->contentsMargins();
    const int height = tallest + margins.top() + margins.bottom() + 2 * frameWidth() +
                       horizontalScrollBar()->sizeHint().height();
    return {std::min(hint.width(), fontMetrics().height() * 8), std::min(hint.height(), height)};
}

void OptionsPanel::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    arrange();
    // The height follows the width: narrower boxes may need more lines.
    if (event->size().width() != event->oldSize().width())
        updateGeometry();
}

bool OptionsPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == widget() && event->type() == QEvent::LayoutRequest) {
        // The boxes' needs changed (another language): arrange and size again.
        arrange();
        updateGeometry();
    }
    return QScrollArea::eventFilter(watched, event);
}
