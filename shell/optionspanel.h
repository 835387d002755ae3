#pragma once

#include <QList>
#include <QScrollArea>

class QBoxLayout;

// The options panel: group boxes in columns side by side, as the window's width allows.
// When the columns do not fit side by side, the boxes of the last column go into one row
// below the others; when even that does not fit (a small screen, a large scale), the
// panel scrolls, and a control that takes the keyboard focus is scrolled into view.
// Its height is what its boxes need at its width, never more.
class OptionsPanel : public QScrollArea
{
    Q_OBJECT

public:
    explicit OptionsPanel(QWidget *parent = nullptr);

    // Lays out the boxes of the panel's widget: each inner list is a column, top to
    // bottom. The columns share the width equally.
    void setColumns(const QList<QList<QWidget *>> &columns);
    // Whether every column stands side by side at the present width.
    bool isWide() const { return m_wide; }
    // The width that the columns need side by side.
    int wideWidth() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void arrange();
    int contentHeightForWidth(int width) const;

    QList<QList<QWidget *>> m_columns;
    QList<QBoxLayout *> m_columnLayouts;
    QBoxLayout *m_columnRow = nullptr;
    QBoxLayout *m_lastRow = nullptr;
    bool m_wide = true;
};
